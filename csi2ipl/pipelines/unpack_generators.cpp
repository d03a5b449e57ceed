// Generators of the two unpacking pipelines. Each reads one frame of CSI-2 payload
// in place (dimension 0: byte of a two-pixel group, 1: group within a line, 2: line;
// the line stride steps over the packet headers and footers) and writes the pixels of
// the output image. The target picks the schedule: 32-wide vectors over the groups
// and one parallel task per line on the processor, a 32 x 32 tiling of groups and
// lines on a GPU.
#include "Halide.h"

namespace {

using namespace Halide;

// Shared schedule. Dimension 0 has a fixed extent and is unrolled, so the selects that
// pick source bytes are evaluated once per call instead of once per byte.
void Schedule(const Target& target, Func output, const Var& v0, const Var& v1, const Var& v2,
              int groupBytes) {
    output.bound_extent(v0, groupBytes).unroll(v0);
    if (target.has_gpu_feature()) {
        Var tx, ty;
        output.gpu_tile(v1, v2, tx, ty, 32, 32);
    } else {
        output.vectorize(v1, 32).parallel(v2);
    }
}

// RAW12: three input bytes b0 b1 b2 hold two 12-bit pixels; each becomes a little-endian
// 16-bit word with the sample in bits 15..4: (b2 & 0x0F) << 4, b0, b2 & 0xF0, b1.
class Raw12Unpack : public Generator<Raw12Unpack> {
  public:
    Input<Buffer<uint8_t, 3>> input{"input"};
    Output<Buffer<uint8_t, 3>> output{"output"};

    void generate() {
        // Unnamed on purpose: they come out as v0, v1, v2, and hand-given names would
        // collide with the names the vectoriser makes.
        Var v0, v1, v2;
        Expr source = select(v0 == 0, 2, v0 == 1, 0, v0 == 2, 2, 1);
        Expr mask = cast<uint8_t>(select(v0 == 0, 0x0F, v0 == 2, 0xF0, 0xFF));
        Expr shift = cast<uint8_t>(select(v0 == 0, 4, 0));
        output(v0, v1, v2) = (input(source, v1, v2) & mask) << shift;
        Schedule(get_target(), output, v0, v1, v2, 4);
    }
};

// YUV422 8-bit: the CSI-2 group U Y0 V Y1 becomes two three-channel pixels Y0 U V, Y1 U V.
class Yuv422Unpack : public Generator<Yuv422Unpack> {
  public:
    Input<Buffer<uint8_t, 3>> input{"input"};
    Output<Buffer<uint8_t, 3>> output{"output"};

    void generate() {
        Var v0, v1, v2;
        Expr source = select(v0 == 0, 1, v0 == 1, 0, v0 == 2, 2, v0 == 3, 3, v0 == 4, 0, 2);
        output(v0, v1, v2) = input(source, v1, v2);
        Schedule(get_target(), output, v0, v1, v2, 6);
    }
};

}  // namespace

HALIDE_REGISTER_GENERATOR(Raw12Unpack, pixtract_raw12)
HALIDE_REGISTER_GENERATOR(Yuv422Unpack, pixtract_yuv422_8)
