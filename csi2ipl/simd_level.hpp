#pragma once
// The vector instructions an unpacker may use. Chosen by what the processor supports
// when the geometry is fixed; tests choose each level the machine has.
namespace csi2ipl {

enum class SimdLevel { kScalar, kSsse3, kAvx2 };

// The best level this processor supports.
SimdLevel DetectSimdLevel();
bool SimdLevelSupported(SimdLevel level);
const char* SimdLevelName(SimdLevel level);

}  // namespace csi2ipl
