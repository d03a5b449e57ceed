// The kernel's symbol-table lock, held for a scope: LockSymbols on entry, UnlockSymbols on
// every way out. The table is the engine's, shared by every package: a lock left held by an
// exception would stop every later creation, removal and look-up by name.
#pragma once

#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"

namespace TARNPrivate {

class SymbolTableLock {
  public:
    SymbolTableLock() { kernel->LockSymbols(); }
    ~SymbolTableLock() { kernel->UnlockSymbols(); }

    SymbolTableLock(const SymbolTableLock&) = delete;
    SymbolTableLock& operator=(const SymbolTableLock&) = delete;
};

}  // namespace TARNPrivate
