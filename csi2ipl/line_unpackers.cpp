#include "csi2ipl/line_unpackers.hpp"

#include <algorithm>
#include <iterator>

#include "csi2ipl/scalar_unpackers.hpp"
#include "csi2ipl/simd_unpackers.hpp"

namespace csi2ipl {

namespace {

struct UnpackerForms {
    uint8_t decodeType;
    LineUnpacker wide;  // 16-bit output; null for the formats of depth 8
    LineUnpacker narrow;
    LineUnpacker wideSsse3, narrowSsse3, wideAvx2, narrowAvx2;  // null: no vector form
};

constexpr UnpackerForms kForms[] = {
    {data_type::kRaw8, nullptr, scalar::Raw8_8bit, nullptr, nullptr, nullptr, nullptr},
    {data_type::kRgb888, nullptr, scalar::Rgb888_8bit, nullptr, nullptr, nullptr, nullptr},
    {data_type::kRaw10, scalar::Raw10_16bit, scalar::Raw10_8bit, simd::Raw10_16bit_Ssse3, simd::Raw10_8bit_Ssse3,
     simd::Raw10_16bit_Avx2, simd::Raw10_8bit_Avx2},
    {data_type::kRaw12, scalar::Raw12_16bit, scalar::Raw12_8bit, simd::Raw12_16bit_Ssse3, simd::Raw12_8bit_Ssse3,
     simd::Raw12_16bit_Avx2, simd::Raw12_8bit_Avx2},
    {data_type::kRaw16, scalar::Raw16_16bit, scalar::Raw16_8bit, simd::Raw16_16bit_Ssse3, simd::Raw16_8bit_Ssse3,
     simd::Raw16_16bit_Avx2, simd::Raw16_8bit_Avx2},
    {data_type::kRaw20, scalar::Raw20_16bit, scalar::Raw20_8bit, simd::Raw20_16bit_Ssse3, simd::Raw20_8bit_Ssse3,
     simd::Raw20_16bit_Avx2, simd::Raw20_8bit_Avx2},
    {data_type::kRaw24, scalar::Raw24_16bit, scalar::Raw24_8bit, simd::Raw24_16bit_Ssse3, simd::Raw24_8bit_Ssse3,
     simd::Raw24_16bit_Avx2, simd::Raw24_8bit_Avx2},
    {data_type::kYuv422_10, scalar::Yuv422_10_16bit, scalar::Yuv422_10_8bit, simd::Yuv422_10_16bit_Ssse3,
     simd::Yuv422_10_8bit_Ssse3, simd::Yuv422_10_16bit_Avx2, simd::Yuv422_10_8bit_Avx2},
    {data_type::kYuv422_8, nullptr, scalar::Yuv422_8_8bit, nullptr, simd::Yuv422_8_8bit_Ssse3, nullptr,
     simd::Yuv422_8_8bit_Avx2},
    {data_type::kYuv422_8_YUSwapped, nullptr, scalar::Yuv422_8_YUSwapped_8bit, nullptr,
     simd::Yuv422_8_YUSwapped_8bit_Ssse3, nullptr, simd::Yuv422_8_YUSwapped_8bit_Avx2},
};

}  // namespace

LineUnpacker SelectUnpacker(uint8_t decodeType, bool limitTo8, SimdLevel level) {
    const UnpackerForms* forms =
        std::find_if(std::begin(kForms), std::end(kForms),
                     [decodeType](const UnpackerForms& entry) { return entry.decodeType == decodeType; });
    if (forms == std::end(kForms)) return nullptr;
    const bool narrow = limitTo8 || forms->wide == nullptr;
    if (level == SimdLevel::kAvx2 && !SimdLevelSupported(level)) level = SimdLevel::kSsse3;
    if (level == SimdLevel::kSsse3 && !SimdLevelSupported(level)) level = SimdLevel::kScalar;
    LineUnpacker chosen = nullptr;
    if (level == SimdLevel::kAvx2) chosen = narrow ? forms->narrowAvx2 : forms->wideAvx2;
    if (chosen == nullptr && level != SimdLevel::kScalar) chosen = narrow ? forms->narrowSsse3 : forms->wideSsse3;
    if (chosen == nullptr) chosen = narrow ? forms->narrow : forms->wide;
    return chosen;
}

uint64_t PayloadBytesRead(const DataFormat& format, uint32_t width, uint32_t wordCount) {
    if (format.copiesLine) return std::min<uint64_t>(wordCount, static_cast<uint64_t>(width) * format.channels);
    return static_cast<uint64_t>(width / format.groupPixels) * format.groupBytes;
}

}  // namespace csi2ipl
