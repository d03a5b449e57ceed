#include "dataflow/property_by_name.hpp"

#include "engine/kernel.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/dataflow/property.hpp"

namespace {

// The property registered under `fullName`, found under the symbol-table lock (released on
// every way out), with its owner's module lock tried there: taken, the owner comes back in
// `pinned`; busy, the owner carries a reader pin and comes back in `busy`. Nothing found
// leaves both null.
void find(TARNKernel& kernel, const char* fullName, TARNProperty*& property, TARNModule*& pinned,
          TARNModule*& busy) {
    pinned = nullptr;
    busy = nullptr;
    kernel.LockSymbols();
    try {
        property = kernel.FindProperty(fullName);
        TARNModule* owner = property != nullptr ? property->Owner() : nullptr;
        if (owner != nullptr) {
            if (owner->moduleLock.TryLock()) {
                pinned = owner;
            } else {
                // Registered, so alive: its end waits for this pin.
                owner->byNameReaders.Take();
                busy = owner;
            }
        }
    } catch (...) {
        kernel.UnlockSymbols();
        throw;
    }
    kernel.UnlockSymbols();
}

// Whether `property` is still registered under `fullName` with `owner`; the caller holds
// the owner's module lock, which comes before the symbol-table lock.
bool stillOwned(TARNKernel& kernel, const char* fullName, TARNModule* owner, TARNProperty*& property) {
    kernel.LockSymbols();
    bool owned = false;
    try {
        property = kernel.FindProperty(fullName);
        owned = property != nullptr && property->Owner() == owner;
    } catch (...) {
        kernel.UnlockSymbols();
        throw;
    }
    kernel.UnlockSymbols();
    return owned;
}

}  // namespace

TARNPropertyByName::TARNPropertyByName(TARNKernel& kernel, const char* fullName) {
    for (;;) {
        TARNProperty* property = nullptr;
        TARNModule* pinned = nullptr;
        TARNModule* busy = nullptr;
        find(kernel, fullName, property, pinned, busy);
        if (pinned != nullptr) {
            m_property = property;
            m_owner = pinned;
            return;
        }
        if (busy == nullptr) return;
        // The reader pin keeps the owner (and its lock) alive while this thread sleeps on the
        // lock, holding nothing else. Meanwhile the holder may have removed the property or
        // be ending the module: look again with the lock held.
        busy->moduleLock.Lock();
        bool owned = false;
        try {
            owned = stillOwned(kernel, fullName, busy, property);
        } catch (...) {
            busy->moduleLock.Release();
            busy->byNameReaders.Drop();
            throw;
        }
        if (owned) {
            // Its elements are registered, so the module is not past the start of its end,
            // which needs the lock held here: the pin is no longer needed.
            busy->byNameReaders.Drop();
            m_property = property;
            m_owner = busy;
            return;
        }
        // Gone, or now another module's: the lock first, then the pin, after which an ending
        // module may go at once.
        busy->moduleLock.Release();
        busy->byNameReaders.Drop();
        if (property == nullptr) return;
    }
}

TARNPropertyByName::~TARNPropertyByName() {
    if (m_owner != nullptr) m_owner->moduleLock.Release();
}
