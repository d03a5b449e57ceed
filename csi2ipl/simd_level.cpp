#include "csi2ipl/simd_level.hpp"

namespace csi2ipl {

bool SimdLevelSupported(SimdLevel level) {
    switch (level) {
        case SimdLevel::kScalar:
            return true;
        case SimdLevel::kSsse3:
            return __builtin_cpu_supports("ssse3");
        case SimdLevel::kAvx2:
            return __builtin_cpu_supports("avx2");
        case SimdLevel::kAvx512:
            // As for AVX2, the run-time library reports these only where the system also
            // saves the registers they use.
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                   __builtin_cpu_supports("avx512vbmi");
    }
    return false;
}

// Asked once: every geometry request starts from it, one a frame while the decoder learns
// a stream's lines, and the processor does not change under a process.
SimdLevel DetectSimdLevel() {
    static const SimdLevel detected = [] {
        if (SimdLevelSupported(SimdLevel::kAvx512)) return SimdLevel::kAvx512;
        if (SimdLevelSupported(SimdLevel::kAvx2)) return SimdLevel::kAvx2;
        if (SimdLevelSupported(SimdLevel::kSsse3)) return SimdLevel::kSsse3;
        return SimdLevel::kScalar;
    }();
    return detected;
}

const char* SimdLevelName(SimdLevel level) {
    switch (level) {
        case SimdLevel::kScalar:
            return "scalar";
        case SimdLevel::kSsse3:
            return "ssse3";
        case SimdLevel::kAvx2:
            return "avx2";
        case SimdLevel::kAvx512:
            return "avx512";
    }
    return "?";
}

}  // namespace csi2ipl
