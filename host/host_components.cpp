#include "host_components.hpp"

#include <algorithm>
#include <chrono>

#include "tarn/dataflow/definitions.hpp"

bool HostComponents::AddModel(TARNComponentDefinition& definition) {
    if (definition.name == nullptr) return false;
    std::lock_guard lock(m_lock);
    return m_models.try_emplace(definition.name, &definition).second;
}

TARNComponentDefinition* HostComponents::Model(const std::string& name) const {
    std::lock_guard lock(m_lock);
    auto found = m_models.find(name);
    return found == m_models.end() ? nullptr : found->second;
}

std::vector<std::string> HostComponents::ModelNames() const {
    std::lock_guard lock(m_lock);
    std::vector<std::string> names;
    for (const auto& [name, definition] : m_models) names.push_back(name);
    return names;
}

void HostComponents::Add(const std::string& name, TARNComponent* component) {
    std::lock_guard lock(m_lock);
    m_components.emplace_back(name, component);
}

TARNComponent* HostComponents::Find(const std::string& name) const {
    std::lock_guard lock(m_lock);
    for (const auto& [known, component] : m_components)
        if (known == name) return component;
    return nullptr;
}

void HostComponents::Remove(const TARNComponent* component) {
    std::lock_guard lock(m_lock);
    std::erase_if(m_components, [&](const auto& entry) { return entry.second == component; });
    std::erase(m_killed, component);
    std::erase(m_leftBehind, component);
}

bool HostComponents::Rename(const std::string& oldName, const std::string& newName) {
    std::lock_guard lock(m_lock);
    auto named = [&](const std::string& name) {
        return std::find_if(m_components.begin(), m_components.end(),
                            [&](const auto& entry) { return entry.first == name; });
    };
    auto found = named(oldName);
    if (found == m_components.end() || named(newName) != m_components.end()) return false;
    found->first = newName;
    return true;
}

std::vector<std::string> HostComponents::Names() const {
    std::lock_guard lock(m_lock);
    std::vector<std::string> names;
    for (const auto& [name, component] : m_components) names.push_back(name);
    return names;
}

bool HostComponents::Has(const TARNComponent* component) const {
    std::lock_guard lock(m_lock);
    return std::any_of(m_components.begin(), m_components.end(),
                       [&](const auto& entry) { return entry.second == component; });
}

void HostComponents::MarkKilled(const TARNComponent* component) {
    std::lock_guard lock(m_lock);
    if (std::find(m_killed.begin(), m_killed.end(), component) == m_killed.end())
        m_killed.push_back(component);
}

bool HostComponents::IsKilled(const TARNComponent* component) const {
    std::lock_guard lock(m_lock);
    return std::find(m_killed.begin(), m_killed.end(), component) != m_killed.end();
}

void HostComponents::LeaveBehind(TARNComponent* component) {
    std::lock_guard lock(m_lock);
    std::erase_if(m_components, [&](const auto& entry) { return entry.second == component; });
    if (std::find(m_leftBehind.begin(), m_leftBehind.end(), component) == m_leftBehind.end())
        m_leftBehind.push_back(component);
}

std::vector<TARNComponent*> HostComponents::LeftBehind() const {
    std::lock_guard lock(m_lock);
    return m_leftBehind;
}

bool HostComponents::IsLeftBehind(const TARNComponent* component) const {
    std::lock_guard lock(m_lock);
    return std::find(m_leftBehind.begin(), m_leftBehind.end(), component) != m_leftBehind.end();
}

void HostComponents::ThreadBegins(const void* module) {
    std::lock_guard lock(m_lock);
    ++m_threads[module];
}

// Notified under the lock: the waiter may destroy the module, and with it the kernel, as
// soon as it sees the count fall; this thread must be done with everything by then.
void HostComponents::ThreadEnds(const void* module) {
    std::lock_guard lock(m_lock);
    if (--m_threads[module] <= 0) m_threads.erase(module);
    m_threadEnded.notify_all();
}

int HostComponents::Threads(const void* module) const {
    std::lock_guard lock(m_lock);
    auto found = m_threads.find(module);
    return found == m_threads.end() ? 0 : found->second;
}

bool HostComponents::AwaitThreadsEnded(const void* module, long timeout) {
    std::unique_lock lock(m_lock);
    auto ended = [&] { return m_threads.find(module) == m_threads.end(); };
    if (timeout < 0) {
        m_threadEnded.wait(lock, ended);
        return true;
    }
    return m_threadEnded.wait_for(lock, std::chrono::microseconds(timeout), ended);
}

bool HostComponents::AwaitThreadsEnded(const void* module, std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(m_lock);
    return m_threadEnded.wait_until(lock, deadline,
                                    [&] { return m_threads.find(module) == m_threads.end(); });
}

void HostComponents::AwaitAllThreadsEnded() {
    std::unique_lock lock(m_lock);
    m_threadEnded.wait(lock, [&] {
        return std::all_of(m_threads.begin(), m_threads.end(), [&](const auto& entry) {
            return std::find(m_leftBehind.begin(), m_leftBehind.end(), entry.first) != m_leftBehind.end();
        });
    });
}
