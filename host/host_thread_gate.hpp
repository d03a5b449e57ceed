// The way back into a host kernel for the threads it runs, from a component's code that
// may outlive the kernel.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <vector>

// A thread the kernel runs for a module leaves the kernel while it runs the module's code
// (Birth, Core, a thread function) and comes back through the gate once that code returns.
// A Core that never returns is left behind by the kernel's end, which abandons its module
// here: from then on the kernel may be gone, and a thread of that module coming back finds
// the gate shut and touches nothing of it. Each thread holds the gate itself (shared with
// the kernel), so that the gate outlives the kernel as long as one of them runs.
//
// All operations may be called from any thread.
class HostThreadGate {
  public:
    // A thread of `module` back from the module's code: true, and it is inside the kernel
    // until Leave; false once the module was abandoned and none of its threads is inside,
    // and the thread must end without touching the kernel or anything it owns. While one
    // of them is inside the kernel is still there (Abandon waits for it), and that one may
    // be waiting for this one in its death: it comes in.
    bool Enter(const void* module);
    void Leave(const void* module);
    // Shuts the gate on all `modules` at once, then waits until no thread of any of them
    // is inside, so that the kernel may end once this returns. Those inside run a death to
    // its end, whose waits are the component's own.
    void Abandon(const std::vector<const void*>& modules);
    // Whether the gate is shut on `module`.
    bool IsAbandoned(const void* module) const;

  private:
    mutable std::mutex m_lock;
    std::condition_variable m_left;
    std::map<const void*, int> m_inside;
    // Abandoned at the kernel's end only, when no module is made any more: an address here
    // is never that of a later module.
    std::set<const void*> m_abandoned;
};
