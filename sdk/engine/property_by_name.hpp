// A property found by its full name through a kernel object, held for reading through its
// owning module.
#pragma once

class TARNKernel;
class TARNModule;
class TARNProperty;

// Finds the property under the kernel's symbol-table lock and pins its owner there: the
// owner's module lock is taken before the symbol-table lock is released. A module unregisters
// and deletes its elements, in its destructor as in every removal, under its module lock, so
// while the symbol-table lock shows the property registered its owner is alive, and once the
// module lock is held neither can go. The module lock is only tried there, never waited for:
// creating an element takes the module lock and then, to register it, the symbol-table lock,
// so blocking the other way round could deadlock with it. When the owner's lock is busy the
// symbol-table lock is released and the search starts again; the property may have gone by
// then, and the reader finds nothing.
class TARNPropertyByName {
  public:
    TARNPropertyByName(TARNKernel& kernel, const char* fullName);
    // Releases the owner's module lock.
    ~TARNPropertyByName();

    TARNPropertyByName(const TARNPropertyByName&) = delete;
    TARNPropertyByName& operator=(const TARNPropertyByName&) = delete;

    // The property, its owner's module lock held; null when no property of that name is
    // registered.
    TARNProperty* Property() const { return m_property; }
    TARNModule* Owner() const { return m_owner; }

  private:
    TARNProperty* m_property = nullptr;
    TARNModule* m_owner = nullptr;
};
