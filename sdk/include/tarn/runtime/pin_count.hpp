// A count of threads that hold on to an object beyond the lock that let them find it, which
// the object's end waits out.
#pragma once

#include <condition_variable>
#include <mutex>

// A thread takes a pin while something else keeps the object alive (a lock under which the
// object is known to be registered), and may then block on the object, with nothing of its
// own held, after that lock is gone. The object's end, once nobody can find the object any
// more, waits until every pin was dropped. Whoever drops the last pin touches the count no
// more after Drop returns, so the object may go as soon as AwaitNone returns.
class TARNPinCount {
  public:
    TARNPinCount() = default;
    TARNPinCount(const TARNPinCount&) = delete;
    TARNPinCount& operator=(const TARNPinCount&) = delete;

    void Take();
    void Drop();
    // Blocks until no pin is held.
    void AwaitNone();
    // Pins held now (for tests).
    int Count();

  private:
    std::mutex m_lock;
    std::condition_variable m_dropped;
    int m_count = 0;
};
