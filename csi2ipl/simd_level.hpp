#pragma once
// The vector instructions an unpacker may use. Chosen by what the processor supports
// when the geometry is fixed; tests choose each level the machine has.
namespace csi2ipl {

// kAvx512 stands for AVX-512 with its byte and word instructions (BW) and the byte
// permutes (VBMI); a format without a form of a level uses that of the level below.
enum class SimdLevel { kScalar, kSsse3, kAvx2, kAvx512 };
inline constexpr int kSimdLevelCount = static_cast<int>(SimdLevel::kAvx512) + 1;
inline constexpr SimdLevel kAllSimdLevels[] = {SimdLevel::kScalar, SimdLevel::kSsse3, SimdLevel::kAvx2,
                                               SimdLevel::kAvx512};

// The best level this processor supports.
SimdLevel DetectSimdLevel();
bool SimdLevelSupported(SimdLevel level);
const char* SimdLevelName(SimdLevel level);

}  // namespace csi2ipl
