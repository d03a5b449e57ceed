// A property found by its full name through a kernel object, held for reading through its
// owning module.
#pragma once

class TARNKernel;
class TARNModule;
class TARNProperty;

// Finds the property under the kernel's symbol-table lock and pins its owner: the owner's
// module lock is held from then until this object goes. A module unregisters and deletes its
// elements, in its destructor as in every removal, under its module lock, so while the
// symbol-table lock shows the property registered its owner is alive, and once the module
// lock is held neither can go. Creating an element takes the module lock and then, to
// register it, the symbol-table lock, so the module lock is never waited for with the
// symbol-table lock held: it is tried there, and when it is busy the reader takes a pin on
// the owner (which the module's end waits out), lets the symbol-table lock go and sleeps on
// the module lock. With it, the reader looks again: the property may have gone meanwhile,
// and then the reader finds nothing.
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
