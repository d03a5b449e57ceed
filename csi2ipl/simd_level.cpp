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
    }
    return false;
}

SimdLevel DetectSimdLevel() {
    if (SimdLevelSupported(SimdLevel::kAvx2)) return SimdLevel::kAvx2;
    if (SimdLevelSupported(SimdLevel::kSsse3)) return SimdLevel::kSsse3;
    return SimdLevel::kScalar;
}

const char* SimdLevelName(SimdLevel level) {
    switch (level) {
        case SimdLevel::kScalar:
            return "scalar";
        case SimdLevel::kSsse3:
            return "ssse3";
        case SimdLevel::kAvx2:
            return "avx2";
    }
    return "?";
}

}  // namespace csi2ipl
