#include "host_thread_gate.hpp"

bool HostThreadGate::Enter(const void* module) {
    std::lock_guard lock(m_lock);
    if (m_abandoned.count(module) != 0 && m_inside.count(module) == 0) return false;
    ++m_inside[module];
    return true;
}

// Notified under the lock: the kernel may end as soon as its end sees the thread gone; the
// gate itself is the thread's own.
void HostThreadGate::Leave(const void* module) {
    std::lock_guard lock(m_lock);
    if (--m_inside[module] <= 0) m_inside.erase(module);
    m_left.notify_all();
}

void HostThreadGate::Abandon(const std::vector<const void*>& modules) {
    std::unique_lock lock(m_lock);
    m_abandoned.insert(modules.begin(), modules.end());
    m_left.wait(lock, [&] {
        for (const void* module : modules)
            if (m_inside.count(module) != 0) return false;
        return true;
    });
}

bool HostThreadGate::IsAbandoned(const void* module) const {
    std::lock_guard lock(m_lock);
    return m_abandoned.count(module) != 0;
}
