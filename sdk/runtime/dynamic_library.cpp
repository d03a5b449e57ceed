#include "tarn/runtime/dynamic_library.hpp"

#include <dlfcn.h>

#include "tarn/runtime/text_conversion.hpp"

namespace {

int openFlags(bool global) {
    int flags = RTLD_NOW;
#ifndef TARN_SANITIZED_BUILD
    // The library's own symbols first, so that two packages in one process never bind to
    // each other's copies of the SDK. The sanitizers' run-times refuse deep binding, so
    // sanitizer builds go without it.
    flags |= RTLD_DEEPBIND;
#endif
    if (global) flags |= RTLD_GLOBAL;
    return flags;
}

}  // namespace

TARNDynamicLoader::~TARNDynamicLoader() {
    if (handle != nullptr) dlclose(handle);
}

bool TARNDynamicLoader::Open(const char* path) {
    return Open(path, false);
}

bool TARNDynamicLoader::Open(const char* path, bool global) {
    // Opening again must not leave the previous library loaded with no one to unload it.
    Close();
    const int flags = openFlags(global);
    dlerror();
    handle = dlopen(path, flags);
    if (handle != nullptr) return true;
    // The file system may store the name in the locale's encoding.
    char* localePath = TARNIconv::UTF8ToLocale(path);
    if (localePath == nullptr) return false;
    handle = dlopen(localePath, flags);
    TARNIconv::releaseLocale(localePath);
    return handle != nullptr;
}

bool TARNDynamicLoader::Close() {
    if (handle == nullptr) return true;
    const bool closed = dlclose(handle) == 0;
    handle = nullptr;
    return closed;
}

void* TARNDynamicLoader::LoadSymbol(const char* name) const {
    dlerror();
    if (handle == nullptr) return nullptr;
    return dlsym(handle, name);
}

const char* TARNDynamicLoader::GetErrorMessage() {
    return dlerror();
}
