// Synchronisers: the way a package sends synchronisation commands to the engine.
#pragma once

#include <atomic>

class TARNSynchronizer {
  public:
    // Counts the instance.
    TARNSynchronizer();
    virtual ~TARNSynchronizer();

    TARNSynchronizer(const TARNSynchronizer&) = delete;
    TARNSynchronizer& operator=(const TARNSynchronizer&) = delete;

    // Hands the command to the engine's graph control.
    void SignalSynchronizationCommand(long command);

    // Live instances. Atomic so that synchronisers made and destroyed on different
    // threads count right without a lock.
    static std::atomic<int> nbInstances;
};
