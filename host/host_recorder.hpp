// What a host kernel received, kept for tests.
#pragma once

#include <mutex>
#include <string>
#include <vector>

class HostKernel;

// One module-state notice as the kernel received it.
struct HostModuleStateNotice {
    std::string module;
    unsigned int state;

    bool operator==(const HostModuleStateNotice&) const = default;
};

// One report as the kernel received it.
struct HostReport {
    std::string message;
    int level;
    int parameter;
    bool fromEngine;

    bool operator==(const HostReport&) const = default;
};

// Keeps, in order, the reports, change reasons, module-state notices, synchronisation
// commands, requested trigger delays and input refreshes its kernel receives while the
// recorder lives. The kernel itself keeps none of them, so that a long run does not grow:
// whoever wants to look at them afterwards (the tests) makes a recorder first.
//
// A kernel has at most one recorder at a time. All operations may be called from any thread.
class HostRecorder {
  public:
    // Attaches to `kernel`, which must outlive the recorder.
    explicit HostRecorder(HostKernel& kernel);
    // Detaches; what the kernel receives from then on is not kept.
    ~HostRecorder();

    HostRecorder(const HostRecorder&) = delete;
    HostRecorder& operator=(const HostRecorder&) = delete;

    std::vector<HostReport> Reports() const;
    void ClearReports();
    // The reason given to each BeginChange.
    std::vector<std::string> ChangeReasons() const;
    std::vector<HostModuleStateNotice> ModuleStateNotices() const;
    std::vector<int> SynchronizationCommands() const;
    // Every delay asked of the event service (trigger time minus the clock when asked).
    std::vector<long> RequestedDelays() const;
    // The input full names the engine module's "refreshInputProperties" ran with.
    std::vector<std::string> RefreshedInputs() const;

    // --- Called by the kernel and its event service -------------------------------------

    void AddReport(const HostReport& report);
    void AddChangeReason(const std::string& reason);
    void AddModuleStateNotice(const HostModuleStateNotice& notice);
    void AddSynchronizationCommand(int command);
    void AddRequestedDelay(long delay);
    void AddRefreshedInput(const std::string& inputName);

  private:
    HostKernel& m_kernel;

    mutable std::mutex m_lock;
    std::vector<HostReport> m_reports;
    std::vector<std::string> m_changeReasons;
    std::vector<HostModuleStateNotice> m_moduleStateNotices;
    std::vector<int> m_synchronizationCommands;
    std::vector<long> m_requestedDelays;
    std::vector<std::string> m_refreshedInputs;
};
