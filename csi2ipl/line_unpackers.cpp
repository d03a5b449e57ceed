#include "csi2ipl/line_unpackers.hpp"

#include <algorithm>
#include <iterator>

#include "csi2ipl/scalar_unpackers.hpp"
#include "csi2ipl/simd_unpackers.hpp"

namespace csi2ipl {

namespace {

// The forms of one instruction level; null where the level has none of its own.
struct LevelForms {
    LineUnpacker wide;  // 16-bit output
    LineUnpacker narrow;
};

struct UnpackerForms {
    uint8_t decodeType;
    LevelForms byLevel[kSimdLevelCount];  // indexed by SimdLevel; the plain forms have no wide one at depth 8
};

constexpr UnpackerForms kForms[] = {
    {data_type::kRaw8, {{nullptr, scalar::Raw8_8bit}}},
    {data_type::kRgb888, {{nullptr, scalar::Rgb888_8bit}}},
    {data_type::kRaw10,
     {{scalar::Raw10_16bit, scalar::Raw10_8bit},
      {simd::Raw10_16bit_Ssse3, simd::Raw10_8bit_Ssse3},
      {simd::Raw10_16bit_Avx2, simd::Raw10_8bit_Avx2},
      {nullptr, simd::Raw10_8bit_Avx512}}},
    {data_type::kRaw12,
     {{scalar::Raw12_16bit, scalar::Raw12_8bit},
      {simd::Raw12_16bit_Ssse3, simd::Raw12_8bit_Ssse3},
      {simd::Raw12_16bit_Avx2, simd::Raw12_8bit_Avx2},
      {nullptr, simd::Raw12_8bit_Avx512}}},
    {data_type::kRaw16,
     {{scalar::Raw16_16bit, scalar::Raw16_8bit},
      {simd::Raw16_16bit_Ssse3, simd::Raw16_8bit_Ssse3},
      {simd::Raw16_16bit_Avx2, simd::Raw16_8bit_Avx2}}},
    {data_type::kRaw20,
     {{scalar::Raw20_16bit, scalar::Raw20_8bit},
      {simd::Raw20_16bit_Ssse3, simd::Raw20_8bit_Ssse3},
      {simd::Raw20_16bit_Avx2, simd::Raw20_8bit_Avx2}}},
    {data_type::kRaw24,
     {{scalar::Raw24_16bit, scalar::Raw24_8bit},
      {simd::Raw24_16bit_Ssse3, simd::Raw24_8bit_Ssse3},
      {simd::Raw24_16bit_Avx2, simd::Raw24_8bit_Avx2}}},
    {data_type::kYuv422_10,
     {{scalar::Yuv422_10_16bit, scalar::Yuv422_10_8bit},
      {simd::Yuv422_10_16bit_Ssse3, simd::Yuv422_10_8bit_Ssse3},
      {simd::Yuv422_10_16bit_Avx2, simd::Yuv422_10_8bit_Avx2}}},
    {data_type::kYuv422_8,
     {{nullptr, scalar::Yuv422_8_8bit},
      {nullptr, simd::Yuv422_8_8bit_Ssse3},
      {nullptr, simd::Yuv422_8_8bit_Avx2}}},
    {data_type::kYuv422_8_YUSwapped,
     {{nullptr, scalar::Yuv422_8_YUSwapped_8bit},
      {nullptr, simd::Yuv422_8_YUSwapped_8bit_Ssse3},
      {nullptr, simd::Yuv422_8_YUSwapped_8bit_Avx2}}},
};

}  // namespace

LineUnpacker SelectUnpacker(uint8_t decodeType, bool limitTo8, SimdLevel level) {
    const UnpackerForms* forms =
        std::find_if(std::begin(kForms), std::end(kForms),
                     [decodeType](const UnpackerForms& entry) { return entry.decodeType == decodeType; });
    if (forms == std::end(kForms)) return nullptr;
    const bool narrow = limitTo8 || forms->byLevel[0].wide == nullptr;
    // The best form at or below the level asked for that this processor can run.
    for (int at = std::min(static_cast<int>(level), kSimdLevelCount - 1); at > 0; --at) {
        const LevelForms& candidates = forms->byLevel[at];
        const LineUnpacker form = narrow ? candidates.narrow : candidates.wide;
        if (form != nullptr && SimdLevelSupported(static_cast<SimdLevel>(at))) return form;
    }
    return narrow ? forms->byLevel[0].narrow : forms->byLevel[0].wide;
}

uint64_t PayloadBytesRead(const DataFormat& format, uint32_t width, uint32_t wordCount) {
    if (format.copiesLine)
        return std::min<uint64_t>(wordCount, static_cast<uint64_t>(width) * format.channels);
    return static_cast<uint64_t>(width / format.groupPixels) * format.groupBytes;
}

}  // namespace csi2ipl
