// A property found by its full name through a kernel object, held for reading through its
// owning module.
#pragma once

#include <optional>

#include "runtime/mutex.hpp"

class TARNKernel;
class TARNModule;
class TARNProperty;

// Finds the property under the kernel's symbol-table lock, then holds its owner's module lock
// for the life of the object. The two locks are never nested that way round: creating an
// element takes the module lock and then, to register it, the symbol-table lock, so waiting
// for a module lock while holding the symbol-table lock could deadlock with it. The owner is
// read while the symbol-table lock still keeps the registered property alive; once the module
// lock is held the property is looked up again, since it may have gone (or been replaced)
// meanwhile, and a property removed under its module's lock cannot go while it is held.
class TARNPropertyByName {
  public:
    TARNPropertyByName(TARNKernel& kernel, const char* fullName);

    TARNPropertyByName(const TARNPropertyByName&) = delete;
    TARNPropertyByName& operator=(const TARNPropertyByName&) = delete;

    // The property, its owner's module lock held; null when no property of that name is
    // registered.
    TARNProperty* Property() const { return m_property; }
    TARNModule* Owner() const { return m_owner; }

  private:
    TARNProperty* m_property = nullptr;
    TARNModule* m_owner = nullptr;
    std::optional<TARNMutexGuard> m_moduleLock;
};
