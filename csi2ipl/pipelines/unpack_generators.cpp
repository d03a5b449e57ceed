// Generators of the two unpacking pipelines. Each reads one frame of CSI-2 payload
// in place (dimension 0: byte of a two-pixel group, 1: group within a line, 2: line;
// the line stride steps over the packet headers and footers) and writes the pixels of
// the output image, whose line stride is the image's row step.
//
// The target picks the schedule. On the processor: each line in blocks of 32 groups
// computed as vectors, one parallel task per block of 32 lines, and a second copy of that
// loop specialised on the layout the decoder always passes. On a GPU: a 32 x 32 tiling of
// groups and lines.
#include "Halide.h"

namespace {

using namespace Halide;

constexpr int kVectorGroups = 32;
constexpr int kLinesPerTask = 32;

// The variables of an unpacking stage: v0 byte of a group, v1 group, v2 line.
struct StageVars {
    Var v0, v1, v2;
};

// Processor schedule of one copy of the output loop. `groupBlock` is the loop over
// blocks of 32 groups, whose stores are vectors of `storeGroups` groups (32 or a divisor).
//
// Dimension 0 has a fixed extent and is unrolled, so the selects that pick source bytes
// are evaluated once per call (or, in the specialised copy, folded away).
//
// The last block is shifted inwards to end at the line's last group: this is why a line
// needs 32 groups (64 pixels) and why a shorter line is refused rather than read or
// written past its end.
//
// Lines go to the thread pool in blocks: one task per line costs more in scheduling than
// it computes. The block's tail is guarded instead of shifted inwards, so that any
// number of lines, even fewer than 32, is accepted.
void ScheduleOnProcessor(Stage stage, const StageVars& vars, const Var& groupBlock, int storeGroups) {
    Var groupInBlock, lineBlock, lineInBlock;
    stage.unroll(vars.v0)
        .split(vars.v1, groupBlock, groupInBlock, kVectorGroups, TailStrategy::ShiftInwards)
        .vectorize(groupInBlock, storeGroups)
        .split(vars.v2, lineBlock, lineInBlock, kLinesPerTask, TailStrategy::GuardWithIf)
        .parallel(lineBlock);
}

// The layout the decoder passes: groups packed back to back in both buffers
// (`inputGroupBytes`, `outputGroupBytes`) and the output's byte index starting at 0.
// `storeGroups` is the width of the output vectors that the processor's shuffles handle
// best for this format, measured: 32 groups for RAW12; 8 for YUV422, whose 48 output
// bytes from 32 input bytes map onto 16-byte shuffles far better than 192 from 128.
struct PackedLayout {
    Expr inputGroupStride;
    int inputGroupBytes;
    int outputGroupBytes;
    int storeGroups;
};

// Shared schedule. `groups` is the stage that reads the input (a wrapper of it); `output`
// reads only `groups`.
//
// With the group strides only known at run time, each vector is gathered and
// scattered a byte at a time. The specialised copy of the loop has them as constants:
// the unrolled stores of one vector become one dense interleaved store and the selects
// over dimension 0 fold away. Every other layout takes the general copy, with the same
// checks and results.
//
// On the processor the 32 groups of a block are first copied, whole, into a small
// buffer on the stack. Read in place, each byte position of a group is a separate
// strided load that stops short of the group's end (the runtime cannot know the bytes
// after the last group are there), and odd-sized loads are assembled byte by byte; from
// the stack buffer the same reads are one dense load and shuffles.
void Schedule(const Target& target, Func output, Func groups, const StageVars& vars,
              const PackedLayout& packed) {
    output.bound_extent(vars.v0, packed.outputGroupBytes);
    if (target.has_gpu_feature()) {
        Var tx, ty;
        groups.compute_inline();
        output.unroll(vars.v0).gpu_tile(vars.v1, vars.v2, tx, ty, 32, 32);
        return;
    }
    Var groupBlock;
    ScheduleOnProcessor(output.specialize(packed.inputGroupStride == packed.inputGroupBytes &&
                                          output.output_buffer().dim(1).stride() == packed.outputGroupBytes &&
                                          output.output_buffer().dim(0).min() == 0),
                        vars, groupBlock, packed.storeGroups);
    ScheduleOnProcessor(output, vars, groupBlock, packed.storeGroups);
    const std::vector<Var> byteGroupLine = groups.args();
    groups.compute_at(output, groupBlock).unroll(byteGroupLine[0]).vectorize(byteGroupLine[1]);
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
        StageVars vars;
        const Var& v0 = vars.v0;
        Func groups = input.in();
        Expr source = select(v0 == 0, 2, v0 == 1, 0, v0 == 2, 2, 1);
        Expr mask = cast<uint8_t>(select(v0 == 0, 0x0F, v0 == 2, 0xF0, 0xFF));
        Expr shift = cast<uint8_t>(select(v0 == 0, 4, 0));
        output(vars.v0, vars.v1, vars.v2) = (groups(source, vars.v1, vars.v2) & mask) << shift;
        Schedule(get_target(), output, groups, vars, {input.dim(1).stride(), 3, 4, 32});
    }
};

// YUV422 8-bit: the CSI-2 group U Y0 V Y1 becomes two three-channel pixels Y0 U V, Y1 U V.
class Yuv422Unpack : public Generator<Yuv422Unpack> {
  public:
    Input<Buffer<uint8_t, 3>> input{"input"};
    Output<Buffer<uint8_t, 3>> output{"output"};

    void generate() {
        StageVars vars;
        const Var& v0 = vars.v0;
        Func groups = input.in();
        Expr source = select(v0 == 0, 1, v0 == 1, 0, v0 == 2, 2, v0 == 3, 3, v0 == 4, 0, 2);
        output(vars.v0, vars.v1, vars.v2) = groups(source, vars.v1, vars.v2);
        Schedule(get_target(), output, groups, vars, {input.dim(1).stride(), 4, 6, 8});
    }
};

}  // namespace

HALIDE_REGISTER_GENERATOR(Raw12Unpack, pixtract_raw12)
HALIDE_REGISTER_GENERATOR(Yuv422Unpack, pixtract_yuv422_8)
