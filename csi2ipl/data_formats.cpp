#include "csi2ipl/data_formats.hpp"

#include <array>

namespace csi2ipl {

namespace {

constexpr std::array<DataFormat, 10> kFormats = {{
    {data_type::kYuv422_8, 4, 2, 8, 3, "YUV", false},
    {data_type::kYuv422_8_YUSwapped, 4, 2, 8, 3, "YUV", false},
    {data_type::kYuv422_10, 5, 2, 16, 3, "YUV", false},
    {data_type::kRgb888, 3, 1, 8, 3, "BGR", true},
    {data_type::kRaw24, 3, 1, 16, 1, "GRAY", false},
    {data_type::kRaw8, 1, 1, 8, 1, "GRAY", true},
    {data_type::kRaw10, 5, 4, 16, 1, "GRAY", false},
    {data_type::kRaw12, 3, 2, 16, 1, "GRAY", false},
    {data_type::kRaw16, 2, 1, 16, 1, "GRAY", false},
    {data_type::kRaw20, 5, 2, 16, 1, "GRAY", false},
}};

constexpr std::array<uint8_t, 11> kChoiceTypes = {
    data_type::kAuto,  data_type::kYuv422_8, data_type::kYuv422_10, data_type::kRgb888,
    data_type::kRaw8,  data_type::kRaw10,    data_type::kRaw12,     data_type::kRaw16,
    data_type::kRaw20, data_type::kRaw24,    data_type::kYuv422_8_YUSwapped};

}  // namespace

const DataFormat* FindDataFormat(uint8_t decodeType) {
    for (const DataFormat& format : kFormats)
        if (format.decodeType == decodeType) return &format;
    return nullptr;
}

uint8_t DataTypeOfChoice(unsigned int index) {
    return index < kChoiceTypes.size() ? kChoiceTypes[index] : data_type::kRaw12;
}

}  // namespace csi2ipl
