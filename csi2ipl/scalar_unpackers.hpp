#pragma once
// The plain forms of the line unpackers, one per decode type and output depth, written
// straight from the packing rules. They are the reference the vector forms are tested
// against, and the vector forms call them for a line's last groups.
#include <cstdint>

namespace csi2ipl::scalar {

#define CSI2IPL_UNPACKER(name) \
    void name(const uint8_t* payload, uint32_t wordCount, uint8_t* row, uint32_t width, unsigned shift)

CSI2IPL_UNPACKER(Raw8_8bit);
CSI2IPL_UNPACKER(Rgb888_8bit);
CSI2IPL_UNPACKER(Raw10_16bit);
CSI2IPL_UNPACKER(Raw10_8bit);
CSI2IPL_UNPACKER(Raw12_16bit);
CSI2IPL_UNPACKER(Raw12_8bit);
CSI2IPL_UNPACKER(Raw16_16bit);
CSI2IPL_UNPACKER(Raw16_8bit);
CSI2IPL_UNPACKER(Raw20_16bit);
CSI2IPL_UNPACKER(Raw20_8bit);
CSI2IPL_UNPACKER(Raw24_16bit);
CSI2IPL_UNPACKER(Raw24_8bit);
CSI2IPL_UNPACKER(Yuv422_10_16bit);
CSI2IPL_UNPACKER(Yuv422_10_8bit);
CSI2IPL_UNPACKER(Yuv422_8_8bit);
CSI2IPL_UNPACKER(Yuv422_8_YUSwapped_8bit);

// The forms from group `firstGroup` up to `groups` (a group is the format's unit of
// pixels: 1 for RAW16 and RAW24, 2 for RAW20 and YUV422, 4 for RAW10), for the vector
// forms' tails.
#define CSI2IPL_UNPACKER_FROM(name) \
    void name(const uint8_t* payload, uint8_t* row, uint32_t firstGroup, uint32_t groups, unsigned shift)

CSI2IPL_UNPACKER_FROM(Raw10_16bitFrom);
CSI2IPL_UNPACKER_FROM(Raw10_8bitFrom);
CSI2IPL_UNPACKER_FROM(Raw12_16bitFrom);
CSI2IPL_UNPACKER_FROM(Raw12_8bitFrom);
CSI2IPL_UNPACKER_FROM(Raw16_16bitFrom);
CSI2IPL_UNPACKER_FROM(Raw16_8bitFrom);
CSI2IPL_UNPACKER_FROM(Raw20_16bitFrom);
CSI2IPL_UNPACKER_FROM(Raw20_8bitFrom);
CSI2IPL_UNPACKER_FROM(Raw24_16bitFrom);
CSI2IPL_UNPACKER_FROM(Raw24_8bitFrom);
CSI2IPL_UNPACKER_FROM(Yuv422_10_16bitFrom);
CSI2IPL_UNPACKER_FROM(Yuv422_10_8bitFrom);
CSI2IPL_UNPACKER_FROM(Yuv422_8_8bitFrom);
CSI2IPL_UNPACKER_FROM(Yuv422_8_YUSwapped_8bitFrom);

}  // namespace csi2ipl::scalar
