// Arbitrary bytes given to the decoder's scanning, data-type detection, geometry, frame
// checks and unpacking, for every data type, both depths, every shift and every vector
// level: nothing may be read outside the frame or written outside the image, and nothing
// may loop without end.
//
// Input: three option bytes, then the frame bytes. With the split bit set the frame bytes
// are two frames: the stream's lines come from the first, and the second is measured and
// compared with them, kept, or decoded, as a stream's second frame is, and then given again,
// which publishes it where it was kept; with bit 0x20 of the third byte the first is given
// a second time before it, so that the second is checked at lines two frames agree on, and
// decoded at them or at its own.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "csi2ipl/data_formats.hpp"
#include "csi2ipl/frame_check.hpp"
#include "csi2ipl/frame_geometry.hpp"
#include "csi2ipl/frame_unpacking.hpp"
#include "csi2ipl/packet_scanner.hpp"
#include "csi2ipl/simd_level.hpp"
#include "csi2ipl/stream_lines.hpp"

namespace {

using namespace csi2ipl;

constexpr unsigned kChoices = 11;  // the entries of the data-format property
// An image larger than this is not allocated: the fuzzer's inputs cannot make real ones.
constexpr uint64_t kLargestImage = 64u << 20;

// A level this processor lacks leaves the choice to the unpacker selection's fallback.
SimdLevel LevelFrom(unsigned twoBits) {
    static_assert(kSimdLevelCount <= 4, "the level is chosen by two bits of the input");
    return static_cast<SimdLevel>(twoBits);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t choice = data[0];
    const uint8_t flags = data[1];
    const uint8_t overwrite = data[2];
    const bool split = flags & 0x80;
    const size_t frameBytes = size - 3;
    const size_t firstBytes = split ? frameBytes / 2 : frameBytes;
    // Copies of exactly the frames, so that reading past one is caught.
    const std::vector<uint8_t> first(data + 3, data + 3 + firstBytes);
    const std::vector<uint8_t> second =
        split ? std::vector<uint8_t>(data + 3 + firstBytes, data + size) : first;

    // The listing and detection AUTO uses.
    const PacketList packets = find_all_Longpackages(first.data(), first.size());
    find_primary_image_form_pnt_list(packets);
    // Resynchronisation from a position the input picks, past the end included.
    AlignToNextPreamble(first.data(), first.size(), overwrite * first.size() / 128);

    GeometryRequest request;
    request.targetType = DataTypeOfChoice(choice % kChoices);
    request.decodeType = (overwrite & 0x80) ? DataTypeOfChoice(overwrite % kChoices) : 0;
    request.limitTo8 = flags & 0x01;
    request.printDebug = flags & 0x02;
    request.simd = LevelFrom((flags >> 2) & 0x03);
    const bool frameSizeCheck = flags & 0x10;
    const unsigned shift = (flags >> 5) % 13 + ((overwrite & 0x40) ? 8 : 0);
    const bool confirmed = overwrite & 0x20;
    // Each frame decoded as the component decodes it: a kept frame first, then this one.
    const auto decode = [&](const FrameGeometry& geometry, const std::vector<uint8_t>& frame) {
        const uint64_t rowStep = AlignedRowBytes(geometry);
        const uint64_t imageBytes = rowStep * geometry.height;
        if (imageBytes == 0 || imageBytes > kLargestImage) return;
        std::vector<uint8_t> image(imageBytes);
        UnpackFrame(geometry, frame.data(), frame.size(), image.data(), rowStep, shift);
    };
    StreamLines stream;
    long timestamp = 0;
    std::vector<const std::vector<uint8_t>*> frames{&first};
    if (split) {
        if (confirmed) frames.push_back(&first);
        frames.insert(frames.end(), {&second, &second});
    }
    for (const std::vector<uint8_t>* frame : frames) {
        StreamLines::Step step = stream.Take(frame->data(), frame->size(), ++timestamp, request, frameSizeCheck);
        if (step.keptToPublish) decode(step.keptToPublish->geometry, step.keptToPublish->bytes);
        if (step.decodeThis) decode(stream.Lines(), *frame);
    }
    return 0;
}
