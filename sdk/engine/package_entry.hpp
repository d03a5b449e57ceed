// The two entry points the engine finds in every package by their plain C names.
//
// A package's author never calls them: the engine finds them by name, and tarn_add_package
// has the linker take them from the SDK into every package. They are declared here, for the
// SDK that defines them and for the host and tests that stand in for the engine, and not
// among the public headers.
#pragma once

// The kernel build and the magic TARNPckInit takes.
#include "tarn/engine/kernel_forwarding.hpp"

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

// Serialises TARNPckInit.
extern TARNMutex TARNPckInit_Mutex;
