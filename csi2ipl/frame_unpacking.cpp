#include "csi2ipl/frame_unpacking.hpp"

namespace csi2ipl {

bool UnpackFrame(const FrameGeometry& geometry, const uint8_t* data, size_t size, uint8_t* image, size_t rowStep,
                 unsigned shift) {
    if (geometry.unpacker == nullptr || size < geometry.requiredSpan || shift > kMaximumBitShift) return false;
    const size_t step = geometry.depth == 16 ? rowStep & ~size_t{1} : rowStep;
    if (step < geometry.rowBytes) return false;
    uint8_t* row = image;
    for (const PacketItem& line : geometry.lines) {
        geometry.unpacker(data + line.offset + kPacketHeaderBytes, line.WordCount(), row, geometry.width, shift);
        row += step;
    }
    return true;
}

}  // namespace csi2ipl
