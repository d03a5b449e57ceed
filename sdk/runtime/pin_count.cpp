#include "tarn/runtime/pin_count.hpp"

void TARNPinCount::Take() {
    const std::lock_guard lock(m_lock);
    ++m_count;
}

// Notified under the lock: the waiter cannot return, and free the count, before the lock is
// given back, and nothing here touches the count after that.
void TARNPinCount::Drop() {
    const std::lock_guard lock(m_lock);
    if (--m_count == 0) m_dropped.notify_all();
}

void TARNPinCount::AwaitNone() {
    std::unique_lock lock(m_lock);
    m_dropped.wait(lock, [this] { return m_count == 0; });
}

int TARNPinCount::Count() {
    const std::lock_guard lock(m_lock);
    return m_count;
}
