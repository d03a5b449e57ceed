#include "host_recorder.hpp"

#include "host_kernel.hpp"

HostRecorder::HostRecorder(HostKernel& kernel) : m_kernel(kernel) {
    m_kernel.SetRecorder(this);
}

HostRecorder::~HostRecorder() {
    m_kernel.SetRecorder(nullptr);
}

std::vector<HostReport> HostRecorder::Reports() const {
    std::lock_guard lock(m_lock);
    return m_reports;
}

void HostRecorder::ClearReports() {
    std::lock_guard lock(m_lock);
    m_reports.clear();
}

std::vector<std::string> HostRecorder::ChangeReasons() const {
    std::lock_guard lock(m_lock);
    return m_changeReasons;
}

std::vector<HostModuleStateNotice> HostRecorder::ModuleStateNotices() const {
    std::lock_guard lock(m_lock);
    return m_moduleStateNotices;
}

std::vector<int> HostRecorder::SynchronizationCommands() const {
    std::lock_guard lock(m_lock);
    return m_synchronizationCommands;
}

std::vector<long> HostRecorder::RequestedDelays() const {
    std::lock_guard lock(m_lock);
    return m_requestedDelays;
}

void HostRecorder::AddReport(const HostReport& report) {
    std::lock_guard lock(m_lock);
    m_reports.push_back(report);
}

void HostRecorder::AddChangeReason(const std::string& reason) {
    std::lock_guard lock(m_lock);
    m_changeReasons.push_back(reason);
}

void HostRecorder::AddModuleStateNotice(const HostModuleStateNotice& notice) {
    std::lock_guard lock(m_lock);
    m_moduleStateNotices.push_back(notice);
}

void HostRecorder::AddSynchronizationCommand(int command) {
    std::lock_guard lock(m_lock);
    m_synchronizationCommands.push_back(command);
}

void HostRecorder::AddRequestedDelay(long delay) {
    std::lock_guard lock(m_lock);
    m_requestedDelays.push_back(delay);
}

std::vector<std::string> HostRecorder::RefreshedInputs() const {
    std::lock_guard lock(m_lock);
    return m_refreshedInputs;
}

void HostRecorder::AddRefreshedInput(const std::string& inputName) {
    std::lock_guard lock(m_lock);
    m_refreshedInputs.push_back(inputName);
}
