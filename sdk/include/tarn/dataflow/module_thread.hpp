// The thread objects a module lists: what the module's "processor", "contextSwitches" and
// "CPULoad" properties reach of each of its threads.
#pragma once

// The engine owns these objects and puts them in a module's thread list; the module only
// reads and tunes them, and never deletes them. This package measures nothing per thread:
// the getters answer 0 and the setters change nothing. An engine (or a test) that keeps
// such figures derives from this class.
class TARNThread {
  public:
    TARNThread() = default;
    virtual ~TARNThread() = default;

    TARNThread(const TARNThread&) = delete;
    TARNThread& operator=(const TARNThread&) = delete;

    // Context switches of the thread, in hundredths.
    virtual int GetContextSwitches() { return 0; }
    // Processor load of the thread, in hundredths of a per cent.
    virtual int GetCPULoad() { return 0; }
    // Binds the thread to one processor; -1 releases the binding.
    virtual void SetProcessor(int processor) { (void)processor; }
    // 0 (lowest) to 255 (highest).
    virtual void SetPriority(int priority) { (void)priority; }
};
