#include "engine/property_by_name.hpp"

#include "dataflow/module.hpp"
#include "dataflow/property.hpp"
#include "engine/kernel.hpp"

namespace {

// The property registered under `fullName` and its owner, read under the symbol-table lock
// (released on every way out).
TARNProperty* findWithOwner(TARNKernel& kernel, const char* fullName, TARNModule** owner) {
    kernel.LockSymbols();
    TARNProperty* property = nullptr;
    try {
        property = kernel.FindProperty(fullName);
        if (property != nullptr) *owner = property->Owner();
    } catch (...) {
        kernel.UnlockSymbols();
        throw;
    }
    kernel.UnlockSymbols();
    return property;
}

}  // namespace

TARNPropertyByName::TARNPropertyByName(TARNKernel& kernel, const char* fullName) {
    TARNModule* owner = nullptr;
    TARNProperty* property = findWithOwner(kernel, fullName, &owner);
    if (property == nullptr || owner == nullptr) return;
    m_moduleLock.emplace(owner->moduleLock);
    TARNModule* ownerNow = nullptr;
    if (findWithOwner(kernel, fullName, &ownerNow) != property || ownerNow != owner) {
        m_moduleLock.reset();
        return;
    }
    m_property = property;
    m_owner = owner;
}
