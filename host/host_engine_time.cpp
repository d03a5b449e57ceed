#include "host_engine_time.hpp"

#include <ctime>

#include "tarn/runtime/saturated_arithmetic.hpp"

namespace {

long realMonotonicMicroseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000L + now.tv_nsec / 1000;
}

}  // namespace

// The condition's own abort event is never set: the host has no shutdown that should end
// waits on engine time.
HostEngineTime::HostEngineTime() : m_abort(false), m_condition(&m_timeLock, &m_abort, -1) {
    m_monotonicAtBase = realMonotonicMicroseconds();
}

HostEngineTime::~HostEngineTime() = default;

long HostEngineTime::monotonicLocked() const {
    return m_manualClock ? m_manualNow : realMonotonicMicroseconds();
}

long HostEngineTime::currentTimeLocked() const {
    if (!runningLocked()) return m_base;
    // The span times the speed would wrap a long after an hour or so at the highest speed,
    // and time near the end of the range would wrap round into the past: both are held to
    // the range of long, as the SDK's waits hold their deadlines.
    const long elapsed = TARNPrivate::SaturatedSub(monotonicLocked(), m_monotonicAtBase);
    return TARNPrivate::SaturatedAdd(m_base, TARNPrivate::SaturatedScale(elapsed, m_speed, 1000));
}

void HostEngineTime::rebaseLocked() {
    m_base = currentTimeLocked();
    m_monotonicAtBase = monotonicLocked();
}

template <class Change>
void HostEngineTime::changeAndSignal(Change change) {
    m_timeLock.Lock();
    {
        std::lock_guard<std::mutex> inner(m_inner);
        change();
    }
    m_condition.Signal();
    m_timeLock.Release();
}

long HostEngineTime::MonotonicMicroseconds() const {
    std::lock_guard<std::mutex> inner(m_inner);
    return monotonicLocked();
}

long HostEngineTime::CurrentTime() const {
    std::lock_guard<std::mutex> inner(m_inner);
    return currentTimeLocked();
}

void HostEngineTime::SetCurrentTime(long time) {
    changeAndSignal([&] {
        m_base = time;
        m_monotonicAtBase = monotonicLocked();
    });
}

int HostEngineTime::TimeSpeed() const {
    std::lock_guard<std::mutex> inner(m_inner);
    return m_speed;
}

void HostEngineTime::SetTimeSpeed(int speed) {
    changeAndSignal([&] {
        rebaseLocked();
        m_speed = speed;
    });
}

int HostEngineTime::AbsoluteTimeSpeed() const {
    std::lock_guard<std::mutex> inner(m_inner);
    return m_paused ? 0 : m_speed;
}

int HostEngineTime::TimeState() const {
    std::lock_guard<std::mutex> inner(m_inner);
    return m_state;
}

void HostEngineTime::SetTimeState(int state) {
    changeAndSignal([&] {
        rebaseLocked();
        m_state = state;
    });
}

bool HostEngineTime::IsPaused() const {
    std::lock_guard<std::mutex> inner(m_inner);
    return m_paused;
}

void HostEngineTime::Pause() {
    changeAndSignal([&] {
        rebaseLocked();
        m_paused = true;
    });
}

void HostEngineTime::Resume() {
    changeAndSignal([&] {
        rebaseLocked();
        m_paused = false;
    });
}

void HostEngineTime::BeginEngineTime() {
    m_timeLock.Lock();
    ++m_opened;
}

void HostEngineTime::EndEngineTime() {
    ++m_closed;
    m_timeLock.Release();
}

void HostEngineTime::UseManualClock(long start) {
    std::lock_guard<std::mutex> inner(m_inner);
    rebaseLocked();
    m_manualClock = true;
    m_manualNow = start;
    m_monotonicAtBase = start;
}

void HostEngineTime::AdvanceClock(long microseconds) {
    std::lock_guard<std::mutex> inner(m_inner);
    m_manualNow = TARNPrivate::SaturatedAdd(m_manualNow, microseconds);
}
