#pragma once
// Vector forms of the unpackers of the packed and rearranged formats. Each handles whole
// blocks of groups with a byte shuffle (or permute) per load and a few mask-and-shift
// steps, and leaves the line's last groups, where a block would read past the payload, to
// the plain form. Only call a form whose instructions the processor has
// (SimdLevelSupported).
#include <cstdint>

namespace csi2ipl::simd {

#define CSI2IPL_SIMD_UNPACKER(name) \
    void name(const uint8_t* payload, uint32_t wordCount, uint8_t* row, uint32_t width, unsigned shift)

CSI2IPL_SIMD_UNPACKER(Raw10_16bit_Ssse3);
CSI2IPL_SIMD_UNPACKER(Raw10_8bit_Ssse3);
CSI2IPL_SIMD_UNPACKER(Raw12_16bit_Ssse3);
CSI2IPL_SIMD_UNPACKER(Raw12_8bit_Ssse3);
CSI2IPL_SIMD_UNPACKER(Raw16_16bit_Ssse3);
CSI2IPL_SIMD_UNPACKER(Raw16_8bit_Ssse3);
CSI2IPL_SIMD_UNPACKER(Raw20_16bit_Ssse3);
CSI2IPL_SIMD_UNPACKER(Raw20_8bit_Ssse3);
CSI2IPL_SIMD_UNPACKER(Raw24_16bit_Ssse3);
CSI2IPL_SIMD_UNPACKER(Raw24_8bit_Ssse3);
CSI2IPL_SIMD_UNPACKER(Yuv422_10_16bit_Ssse3);
CSI2IPL_SIMD_UNPACKER(Yuv422_10_8bit_Ssse3);
CSI2IPL_SIMD_UNPACKER(Yuv422_8_8bit_Ssse3);
CSI2IPL_SIMD_UNPACKER(Yuv422_8_YUSwapped_8bit_Ssse3);

CSI2IPL_SIMD_UNPACKER(Raw10_16bit_Avx2);
CSI2IPL_SIMD_UNPACKER(Raw10_8bit_Avx2);
CSI2IPL_SIMD_UNPACKER(Raw12_16bit_Avx2);
CSI2IPL_SIMD_UNPACKER(Raw12_8bit_Avx2);
CSI2IPL_SIMD_UNPACKER(Raw16_16bit_Avx2);
CSI2IPL_SIMD_UNPACKER(Raw16_8bit_Avx2);
CSI2IPL_SIMD_UNPACKER(Raw20_16bit_Avx2);
CSI2IPL_SIMD_UNPACKER(Raw20_8bit_Avx2);
CSI2IPL_SIMD_UNPACKER(Raw24_16bit_Avx2);
CSI2IPL_SIMD_UNPACKER(Raw24_8bit_Avx2);
CSI2IPL_SIMD_UNPACKER(Yuv422_10_16bit_Avx2);
CSI2IPL_SIMD_UNPACKER(Yuv422_10_8bit_Avx2);
CSI2IPL_SIMD_UNPACKER(Yuv422_8_8bit_Avx2);
CSI2IPL_SIMD_UNPACKER(Yuv422_8_YUSwapped_8bit_Avx2);

CSI2IPL_SIMD_UNPACKER(Raw10_8bit_Avx512);
CSI2IPL_SIMD_UNPACKER(Raw12_8bit_Avx512);

}  // namespace csi2ipl::simd
