#pragma once
// Decoding one frame with the line unpackers at the geometry frame's line offsets.
#include <cstddef>
#include <cstdint>

#include "csi2ipl/frame_geometry.hpp"

namespace csi2ipl {

// Writes one row per line into `image`, rows `rowStep` bytes apart (for 16-bit samples
// the step's lowest bit is cleared). Returns false, writing nothing, when the geometry is
// not ready, the frame is shorter than the lines need, a row would not fit in `rowStep`
// or the shift is above 12.
bool UnpackFrame(const FrameGeometry& geometry, const uint8_t* data, size_t size, uint8_t* image, size_t rowStep,
                 unsigned shift);

}  // namespace csi2ipl
