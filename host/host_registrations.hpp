// What packages registered with the host kernel: clocks, listeners, keys handlers,
// synchronisers and engine functions, recorded for tests and for the host's own use.
#pragma once

#include <mutex>
#include <string>
#include <vector>

// One registration call as the kernel received it.
struct HostRegistration {
    // What was (un)registered: "clock", "run/shutdown listener", "time-state listener",
    // "recording-state listener", "keys listener", "keys handler", "synchronizer",
    // "engine function".
    std::string kind;
    const void* object;
    // True for a registration, false for an unregistration.
    bool registered;

    bool operator==(const HostRegistration&) const = default;
};

// A log of every registration and unregistration, and the set of objects registered now.
// The host only records: it never calls back into an object while it registers it (the
// object is still being built, or already being destroyed). Thread-safe.
class HostRegistrations {
  public:
    HostRegistrations() = default;
    HostRegistrations(const HostRegistrations&) = delete;
    HostRegistrations& operator=(const HostRegistrations&) = delete;

    // Records a registration; false (and nothing changes in the set) when the object was
    // already registered under that kind. The call is logged either way.
    bool Register(const char* kind, const void* object);
    // Records an unregistration; false when the object was not registered under that kind.
    bool Unregister(const char* kind, const void* object);

    // Every call, in order.
    std::vector<HostRegistration> Log() const;
    // The objects of that kind registered now, in registration order.
    std::vector<const void*> Registered(const char* kind) const;
    bool IsRegistered(const char* kind, const void* object) const;

  private:
    mutable std::mutex m_lock;
    std::vector<HostRegistration> m_log;
    std::vector<HostRegistration> m_current;
};
