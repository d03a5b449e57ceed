// The two entry points the engine finds in every package by their plain C names.
#pragma once

class TARNDynamicLoader;
class TARNMutex;

// A package is built with hidden visibility; only its entry points are exported.
#define TARN_PACKAGE_EXPORT __attribute__((visibility("default")))

extern "C" {
// Hands the package the engine's kernel object. Any magic but 0x80538 answers 0 and
// changes nothing. The first accepted call runs the registry's init hooks and binds the
// kernel; later calls are accepted and change nothing. Every accepted call answers the
// kernel build's major number, 4.
TARN_PACKAGE_EXPORT int TARNPckInit(void* kernel, int magic);

// Without `out`: the number of module definitions (of `group` and its children, or of
// every group when `group` is null; -1 for an unknown group). With `out`: writes the user
// data (the models' TARNComponentDefinition records) of at most `max` of them and answers
// how many it wrote (0 for an unknown group).
TARN_PACKAGE_EXPORT int TARNGetModulesDefStruct(const char* group, void** out, int max);
}

namespace TARN {
// The kernel build this SDK was made for: 4.9.0 as major << 16 | minor << 8 | patch.
inline constexpr int KernelBuild = 0x40900;
// The magic the engine passes to TARNPckInit.
inline constexpr int PckInitMagic = 0x80538;

// Hands this package's kernel object on to another, already loaded package through its
// TARNPckInit. `result`, when given, receives that call's answer (0x7fffffff when it was
// not made). Failures are reported as errors and answer false.
bool ForwardPckInitToLibrary(const TARNDynamicLoader& library, int* result);
}  // namespace TARN

// Serialises TARNPckInit.
extern TARNMutex TARNPckInit_Mutex;
