#include "tarn/dataflow/core_function.hpp"

TARNCoreFunction::TARNCoreFunction(const char* name) : TARNModule(name, false, true) {}

void* TARNCoreFunction::GetInterface() {
    ++interfaceRefCount;
    return nullptr;
}

void TARNCoreFunction::ReleaseInterface() {
    --interfaceRefCount;
}
