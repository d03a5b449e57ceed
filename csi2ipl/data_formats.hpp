#pragma once
// The data types the decoder unpacks and what each means for the image: how payload bytes
// group into pixels, the depth and channels of the output, and the colour code handed to
// the image model. Also the mapping from the "CSI2_Dataformat" choices to type codes.
#include <cstdint>

namespace csi2ipl {

namespace data_type {
inline constexpr uint8_t kAuto = 0x00;
inline constexpr uint8_t kEmbedded = 0x12;
inline constexpr uint8_t kYuv422_8 = 0x1E;
inline constexpr uint8_t kYuv422_10 = 0x1F;
inline constexpr uint8_t kRgb888 = 0x24;
inline constexpr uint8_t kRaw24 = 0x27;
inline constexpr uint8_t kRaw8 = 0x2A;
inline constexpr uint8_t kRaw10 = 0x2B;
inline constexpr uint8_t kRaw12 = 0x2C;
inline constexpr uint8_t kRaw16 = 0x2E;
inline constexpr uint8_t kRaw20 = 0x2F;
// The decoder's own code for YUV422 8-bit sent as Y0 U Y1 V. No packet carries it: its
// lines are packets of type 0x1E.
inline constexpr uint8_t kYuv422_8_YUSwapped = 0xFE;
}  // namespace data_type

struct DataFormat {
    uint8_t decodeType;
    uint32_t groupBytes;   // payload bytes of one group
    uint32_t groupPixels;  // pixels one group carries
    uint32_t depth;        // bits per channel at full depth (8 or 16)
    uint32_t channels;
    const char* colourCode;  // "GRAY", "YUV" or "BGR"
    bool copiesLine;         // RAW8 and RGB888: the payload is the row
};

// The format of a decode type, or null for a type the decoder cannot unpack.
const DataFormat* FindDataFormat(uint8_t decodeType);

// The data type of the packets that carry a decode type's lines (the swapped YUV422 code
// is looked for as 0x1E).
inline constexpr uint8_t SearchTypeOf(uint8_t decodeType) {
    return decodeType == data_type::kYuv422_8_YUSwapped ? data_type::kYuv422_8 : decodeType & 0x3F;
}

// The choices of "CSI2_Dataformat" and "overwrite_CSI2_Dataformat_as", in index order.
inline constexpr const char* kDataFormatChoices =
    "AUTO|0x1E_YUV422_8Bit|0x1F_YUV422_10Bit|0x24_RGB888|0x2a_RAW8|0x2b_RAW10|0x2c_RAW12|"
    "0x2e_RAW16|0x2f_RAW20|0x27_RAW24|0x1E_YUV422_8Bit_Y_U_swapped";

// The type code of a choice index: 0 is AUTO (0x00), 10 the swapped YUV422 code (0xFE);
// an index above 10 gives 0x2C.
uint8_t DataTypeOfChoice(unsigned int index);

}  // namespace csi2ipl
