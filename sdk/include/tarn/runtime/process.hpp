// Starting other programs: as a child, as a detached child, or in place of this process.
#pragma once

#include "tarn/runtime/hash_table.hpp"
#include "tarn/runtime/pipe.hpp"
#include "tarn/runtime/ring_array.hpp"
#include "tarn/runtime/stacked_string.hpp"

// A program to start, with optional pipes on its standard input, output and error, an
// editable copy of this process's environment and its own working folder; and, once
// started, its state, its end and its killing.
//
// Everything the child needs (arguments, environment, folder) is prepared before the fork:
// between fork and exec the child only makes async-signal-safe system calls, since a lock
// that another thread held at the fork (the allocator's, the text converter's) would never
// be released in the child. A child that cannot run its program ends with status 1 through
// _exit, so that it neither runs this process's exit handlers nor writes out a second copy
// of its buffered streams.
//
// An ended child is collected once, by whichever of getState, wait and terminate sees it
// first; the object remembers that, and never signals or waits for that process id again:
// the system may already have given it to another process.
//
// No locks: one object is used by one thread at a time. The pipes are not owned.
class TARNProcess {
  public:
    // `arguments` are UTF-8, element 0 the path of the program (not searched in PATH; a
    // relative path starts from the working folder). With `copyEnvironment` the program
    // gets this process's environment, else an empty one. With `inTerminal`, and when the
    // standard output is not a terminal, the program runs in a new terminal window: after
    // "xhost" succeeds, the vector becomes the terminal program (the variable "TERM" of the
    // copied environment, else /usr/bin/x-terminal-emulator when it exists), "-e" and the
    // arguments. When there is no such terminal, there is nothing to start.
    TARNProcess(const TARNArray<TARNStackedString<40> >& arguments, TARNPipe* input, TARNPipe* output,
                TARNPipe* error, bool copyEnvironment, bool inTerminal);
    // Closes no pipe and leaves a started child alone.
    ~TARNProcess();
    TARNProcess(const TARNProcess&) = delete;
    TARNProcess& operator=(const TARNProcess&) = delete;

    // Not checked for existence.
    void setCurrentDirectory(const TARNStackedString<40>& folder);
    // Names compare byte for byte. Sets the first pair of that name, or adds one.
    void setEnvironmentVariable(const TARNStackedString<40>& name, const TARNStackedString<40>& value);
    // Removes the first pair of that name.
    void removeEnvironmentVariable(const TARNStackedString<40>& name);
    // The value of the first pair of that name, or null.
    const TARNStackedString<40>* getEnvironmentVariable(const TARNStackedString<40>& name) const;
    int getEnvironmentSize() const { return environment.Size(); }

    // The vector the program will receive, in the locale's encoding, closed by a null
    // entry; null when there is nothing to start.
    char* const* getArguments() const { return arguments; }
    int getArgumentCount() const { return argumentCount; }

    // 1 when a child was created (its id goes to `*pid`), 0 otherwise. The caller keeps the
    // input pipe's write end and the read ends of the output and error pipes; the other
    // ends are closed here.
    int runAsChild(int* pid = nullptr);
    // The same, the child leading a process group of its own.
    int runDetached(int* pid = nullptr);
    // Replaces this process by the program; returns only when that fails, leaving changed
    // what was changed until then (standard streams, pipe ends, working folder).
    void runAsCurrent();

    // 0 never started, 1 running (or stopped), 2 ended.
    int getState();
    // Waits for the child's end: `timeout` microseconds, -1 for no limit, 0 for a single
    // look. 0: ended, with its exit status as a signed byte or the signal that killed it in
    // `code`; 1: never started; 2: failure, the child stopped, or it was already collected
    // (by a blocking wait or a single look); 3: time-out (any other negative time-out, and
    // a timed wait for a child already collected).
    int wait(int& code, long timeout);
    // Kills the child and collects it: 1 when done, 0 when there was nothing to kill.
    int terminate();

  private:
    void buildArguments(const TARNArray<TARNStackedString<40> >& texts,
                        const TARNStackedString<40>* terminal);
    void copyCallerEnvironment();
    // One "name=value" entry per pair in the locale's encoding, closed by null.
    char** buildEnvironment() const;
    static void releaseVector(char** vector, int count);
    int start(bool detached, int* pid);
    // Installs the pipes as standard streams; async-signal-safe.
    bool connectStandardStreams();
    // Collects the child from a waitpid status; 0 when it ended, 2 when it only stopped.
    int collect(int status, int& code);

    TARNStringHashTable<TARNStackedString<40> > environment;
    int argumentCount = 0;
    char** arguments = nullptr;
    TARNPipe* input;
    TARNPipe* output;
    TARNPipe* error;
    TARNStackedString<40> workingFolder;
    [[maybe_unused]] bool inTerminal;  // kept with the settings the process was made with
    int childId = 0;
    // The child with that id has been collected: the id is no longer ours.
    bool collected = false;
};

namespace TARNPrivate {
// How TARNProcess sends a signal to a child (kill unless replaced), so that tests can see
// which signals go where. Returns the one replaced.
using SignalSender = int (*)(int pid, int signal);
SignalSender ReplaceSignalSender(SignalSender sender);
}  // namespace TARNPrivate
