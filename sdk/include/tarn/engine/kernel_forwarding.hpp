// Handing the engine's kernel object on to another package that this one loaded.
#pragma once

class TARNDynamicLoader;

namespace TARN {
// The kernel build this SDK was made for: 4.9.0 as major << 16 | minor << 8 | patch.
inline constexpr int KernelBuild = 0x40900;
// The magic the engine passes to a package's TARNPckInit.
inline constexpr int PckInitMagic = 0x80538;

// Hands this package's kernel object on to another, already loaded package through its
// TARNPckInit. `result`, when given, receives that call's answer (0x7fffffff when it was
// not made). Failures are reported as errors and answer false.
bool ForwardPckInitToLibrary(const TARNDynamicLoader& library, int* result);
}  // namespace TARN
