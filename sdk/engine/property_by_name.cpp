#include "engine/property_by_name.hpp"

#include "dataflow/module.hpp"
#include "dataflow/property.hpp"
#include "engine/kernel.hpp"
#include "runtime/thread.hpp"

namespace {

enum class Search { NotFound, Pinned, OwnerBusy };

// One try under the symbol-table lock (released on every way out): the property registered
// under `fullName`, with its owner's module lock taken when it was free.
Search findAndPin(TARNKernel& kernel, const char* fullName, TARNProperty*& property, TARNModule*& owner) {
    kernel.LockSymbols();
    Search outcome = Search::NotFound;
    try {
        property = kernel.FindProperty(fullName);
        owner = property != nullptr ? property->Owner() : nullptr;
        if (owner != nullptr) outcome = owner->moduleLock.TryLock() ? Search::Pinned : Search::OwnerBusy;
    } catch (...) {
        kernel.UnlockSymbols();
        throw;
    }
    kernel.UnlockSymbols();
    return outcome;
}

}  // namespace

TARNPropertyByName::TARNPropertyByName(TARNKernel& kernel, const char* fullName) {
    TARNProperty* property = nullptr;
    TARNModule* owner = nullptr;
    for (;;) {
        switch (findAndPin(kernel, fullName, property, owner)) {
            case Search::NotFound:
                return;
            case Search::Pinned:
                m_property = property;
                m_owner = owner;
                return;
            case Search::OwnerBusy:
                // The holder may be removing the property or destroying its owner: look again
                // once it had the processor.
                TARN::ReleaseCurrentThread();
                break;
        }
    }
}

TARNPropertyByName::~TARNPropertyByName() {
    if (m_owner != nullptr) m_owner->moduleLock.Release();
}
