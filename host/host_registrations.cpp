#include "host_registrations.hpp"

#include <algorithm>

namespace {

auto matching(const char* kind, const void* object) {
    return [kind, object](const HostRegistration& entry) {
        return entry.kind == kind && entry.object == object;
    };
}

}  // namespace

bool HostRegistrations::Register(const char* kind, const void* object) {
    std::lock_guard lock(m_lock);
    m_log.push_back({kind, object, true});
    if (std::any_of(m_current.begin(), m_current.end(), matching(kind, object))) return false;
    m_current.push_back({kind, object, true});
    return true;
}

bool HostRegistrations::Unregister(const char* kind, const void* object) {
    std::lock_guard lock(m_lock);
    m_log.push_back({kind, object, false});
    auto found = std::find_if(m_current.begin(), m_current.end(), matching(kind, object));
    if (found == m_current.end()) return false;
    m_current.erase(found);
    return true;
}

std::vector<HostRegistration> HostRegistrations::Log() const {
    std::lock_guard lock(m_lock);
    return m_log;
}

std::vector<const void*> HostRegistrations::Registered(const char* kind) const {
    std::lock_guard lock(m_lock);
    std::vector<const void*> objects;
    for (const HostRegistration& entry : m_current)
        if (entry.kind == kind) objects.push_back(entry.object);
    return objects;
}

bool HostRegistrations::IsRegistered(const char* kind, const void* object) const {
    std::lock_guard lock(m_lock);
    return std::any_of(m_current.begin(), m_current.end(), matching(kind, object));
}
