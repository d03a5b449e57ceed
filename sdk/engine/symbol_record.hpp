// The kernel's record of one registered symbol.
#pragma once

#include <cstddef>

// The engine hands these out from its symbol table (TARNKernel::FindSymbol and
// RegisterSymbol); the layout is shared with it. A renaming caller copies the kind and
// the two data words from the old record to the new one.
class TARNSymRec {
  public:
    TARNSymRec() = default;
    // Frees the name, which the kernel allocated with malloc.
    ~TARNSymRec();

    TARNSymRec(const TARNSymRec&) = delete;
    TARNSymRec& operator=(const TARNSymRec&) = delete;

    char* name = nullptr;
    int kind = 0;
    // The first data word is the module that owns the symbol.
    void* data[2] = {nullptr, nullptr};
};

static_assert(offsetof(TARNSymRec, name) == 0);
static_assert(offsetof(TARNSymRec, kind) == 8);
static_assert(offsetof(TARNSymRec, data) == 16);
static_assert(sizeof(TARNSymRec) == 32);
