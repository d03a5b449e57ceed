#include "tarn/runtime/dynamic_library.hpp"

#include <dlfcn.h>

#include "tarn/runtime/text_conversion.hpp"

namespace {

// Whether this file is built with a sanitizer whose run-time refuses deep binding, by the
// compiler's own signs: however the option was given (the project's presets, the
// author's CMAKE_CXX_FLAGS or target options), GCC defines __SANITIZE_ADDRESS__ or
// __SANITIZE_THREAD__ and clang answers __has_feature.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(__SANITIZE_HWADDRESS__)
constexpr bool builtWithSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer) || \
    __has_feature(hwaddress_sanitizer)
constexpr bool builtWithSanitizer = true;
#else
constexpr bool builtWithSanitizer = false;
#endif
#else
constexpr bool builtWithSanitizer = false;
#endif

// Whether such a run-time runs in the process: a program built with a sanitizer has it
// even where this file was built without one (the option given to the program's own
// targets alone). Its entry points are in the process's global scope, linked into the
// program or in a library the program needs. The undefined-behaviour sanitizer alone takes
// deep binding, and is not looked for.
bool sanitizerRuntimeRuns() {
    if (builtWithSanitizer) return true;
    static const bool runs = [] {
        for (const char* entry : {"__asan_init", "__tsan_init", "__msan_init", "__hwasan_init"})
            if (dlsym(RTLD_DEFAULT, entry) != nullptr) return true;
        return false;
    }();
    return runs;
}

int openFlags(bool global) {
    int flags = RTLD_NOW;
    // The library's own symbols first, so that two packages in one process never bind to
    // each other's copies of the SDK. The sanitizers' run-times refuse deep binding (they
    // end the process at such a dlopen), so a process running one goes without it.
    if (!sanitizerRuntimeRuns()) flags |= RTLD_DEEPBIND;
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
