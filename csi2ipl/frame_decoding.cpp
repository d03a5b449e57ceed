// TARNcsi2ipl::Core: one input element, one published image at most.
#include <algorithm>
#include <cstring>
#include <string>

#include "csi2ipl/csi2ipl_component.hpp"
#include "csi2ipl/data_formats.hpp"
#include "csi2ipl/decoder_reports.hpp"
#include "csi2ipl/frame_check.hpp"
#include "csi2ipl/frame_unpacking.hpp"
#include "csi2ipl/packet_scanner.hpp"
#include "dataflow/output_implementation.hpp"
#include "tarn/dataflow/io_element.hpp"
#include "tarn/runtime/ipl_image.hpp"

namespace {

using csi2ipl::PipelineFormat;

// The bytes of an element that hold the frame: what its writer says it used, within its
// buffer. The ring's buffers are reused, so bytes past the used ones belong to an older
// frame and must not be taken for packets of this one.
size_t FrameBytes(TARNIOElt& element) {
    if (element.Data() == nullptr) return 0;
    return static_cast<size_t>(std::max(0, std::min(element.BufferSize(), element.VectorSize())));
}

// Two image headers lay out pixels alike.
bool SameImageFormat(const _IplImage& a, const _IplImage& b) {
    return a.nChannels == b.nChannels && a.alphaChannel == b.alphaChannel && a.depth == b.depth &&
           std::memcmp(a.colorModel, b.colorModel, sizeof a.colorModel) == 0 &&
           std::memcmp(a.channelSeq, b.channelSeq, sizeof a.channelSeq) == 0 && a.dataOrder == b.dataOrder &&
           a.origin == b.origin && a.align == b.align && a.width == b.width && a.height == b.height &&
           a.widthStep == b.widthStep && a.imageSize == b.imageSize;
}

// The output element's image can take the geometry's rows.
bool ImageFitsGeometry(const _IplImage& image, const csi2ipl::FrameGeometry& geometry) {
    return image.imageData != nullptr && static_cast<uint32_t>(image.width) == geometry.width &&
           static_cast<uint32_t>(image.height) == geometry.height &&
           static_cast<uint32_t>(image.nChannels) == geometry.channels &&
           static_cast<uint32_t>(image.depth) == geometry.depth && image.widthStep >= 0 &&
           static_cast<uint64_t>(image.widthStep) >= geometry.rowBytes &&
           static_cast<uint64_t>(image.imageSize) >= static_cast<uint64_t>(image.widthStep) * geometry.height;
}

bool Offered(long implementation) {
#ifdef PIXTRACT_DECODER_GPU
    return implementation == TARNcsi2ipl::kCpu || implementation == TARNcsi2ipl::kCpuLegacy ||
           implementation == TARNcsi2ipl::kGpu;
#else
    return implementation == TARNcsi2ipl::kCpu || implementation == TARNcsi2ipl::kCpuLegacy;
#endif
}

}  // namespace

void TARNcsi2ipl::Core() {
    TARNIOElt* input = StartReading(Input(0));
    if (input == nullptr) return;
    data = static_cast<const uint8_t*>(input->Data());
    dataSize = FrameBytes(*input);
    // After Core the input may give the element back at any time (its next read, a
    // detach, death): nothing may read it through these.
    struct FrameInProgress {
        const uint8_t*& data;
        size_t& size;
        ~FrameInProgress() {
            data = nullptr;
            size = 0;
        }
    } inProgress{data, dataSize};

    long shift = 0;
    long implementation = kCpu;
    bool skipFirstFrames = true;
    GetProperty("limit_depth_to_8_Bitshift", shift);
    GetProperty("print_debug", printDebug);
    GetProperty("skip_first_frames", skipFirstFrames);
    GetProperty("benchmark_component", benchmark);
    GetProperty("decoding_implementation", implementation);
    GetProperty("frame_size_check", frameSizeCheck);
    bitShift = static_cast<uint32_t>(std::clamp<long>(shift, 0, csi2ipl::kMaximumBitShift));

    if (skipFirstFrames && skippedFrames < kFramesToSkip) {
        ++skippedFrames;
        return;
    }
    const auto coreStart = Clock::now();
    ++frameCounter;

    csi2ipl::GeometryRequest request;
    if (stream.CurrentPhase() == csi2ipl::StreamLines::Phase::kNoLines) request = FirstLinesRequest();
    request.printDebug = printDebug;
    request.startOffset = startOffset;
    csi2ipl::StreamLines::Step step = stream.Take(data, dataSize, input->Timestamp(), request, frameSizeCheck);
    timings.typeCounting += step.countTypeSeconds;
    for (const std::string& text : step.reports) ReportText(text.c_str());
    if (step.keptToPublish) {
        // Published before this frame, from its own bytes, at its own lines.
        const csi2ipl::KeptFrame& kept = *step.keptToPublish;
        const uint8_t* const current = data;
        const size_t currentSize = dataSize;
        Publish(kept.geometry, kept.bytes.data(), kept.bytes.size(), kept.timestamp, implementation);
        data = current;
        dataSize = currentSize;
    }
    if (!step.decodeThis) return;
    Publish(stream.Lines(), data, dataSize, input->Timestamp(), implementation);
    Add(timings.inCore, coreStart);
}

csi2ipl::GeometryRequest TARNcsi2ipl::FirstLinesRequest() {
    long format = 0;
    long overwriteAs = 0;
    bool limitTo8 = false;
    bool overwrite = false;
    GetProperty("CSI2_Dataformat", format);
    GetProperty("overwrite_CSI2_Dataformat_as", overwriteAs);
    GetProperty("limit_depth_to_8", limitTo8);
    GetProperty("overwrite_CSI2_Decoder", overwrite);

    csi2ipl::GeometryRequest request;
    request.targetType = GetEnumCSI2Property(static_cast<unsigned int>(format));
    request.decodeType = overwrite ? GetEnumCSI2Property(static_cast<unsigned int>(overwriteAs)) : 0;
    request.limitTo8 = limitTo8;
    return request;
}

void TARNcsi2ipl::Publish(const csi2ipl::FrameGeometry& lines, const uint8_t* frame, size_t size, long timestamp,
                          long implementation) {
    data = frame;
    dataSize = size;
    decoding = &lines;
    struct Decoding {
        const csi2ipl::FrameGeometry*& lines;
        ~Decoding() { lines = nullptr; }
    } decodingGuard{decoding};

    if (lines.width != outputWidth || lines.height != outputHeight) {
        // The first frame's image, or another that two frames agree on.
        if (outputWidth != 0)
            ReportText((csi2ipl::report::kImageFromNowOn + std::to_string(lines.width) + "x" +
                        std::to_string(lines.height) + csi2ipl::report::kImageFromNowOnEnd)
                           .c_str());
        FitOutputBuffers(lines);
    }
    TARNIOElt* output = StartWriting(Output(0));
    _IplImage* image = output->IplImage();
    if (image == nullptr || !ImageFitsGeometry(*image, lines)) {
        ReportText(csi2ipl::report::kOutputImageMismatch);
        StopWriting(output, true);
        return;
    }
    rowStep = static_cast<uint32_t>(image->widthStep);
    bool implementationUnknown = false;
    if (!DecodeFrame(*image, implementation, implementationUnknown)) {
        // Never publish an image whose pixels are not this frame's.
        if (!implementationUnknown) ReportText(csi2ipl::report::kFrameNotDecoded);
        StopWriting(output, true);
        return;
    }
    output->Timestamp() = timestamp;
    StopWriting(output, false);
}

void TARNcsi2ipl::FitOutputBuffers(const csi2ipl::FrameGeometry& lines) {
    // The geometry pass refuses images beyond INT32_MAX bytes, so the model's sizes fit.
    const _IplImage model =
        TARN::IplImageModel(static_cast<int>(lines.width), static_cast<int>(lines.height), lines.colourCode, 0,
                            lines.depth, static_cast<unsigned int>(csi2ipl::kRowAlignment));
    auto& output = static_cast<TARNOutputImplementation&>(Output(0));
    outputWidth = lines.width;
    outputHeight = lines.height;
    // An output refuses a second allocation. Buffers of an earlier run, or of an image two
    // later frames did not agree on, are kept when the format is the same, else laid out
    // anew. An element a reader still holds keeps its buffer through the new layout, and so
    // does one published and not yet taken: its reader takes it as it was published.
    if (output.buffers.ElementCount() != 0) {
        const auto* held = reinterpret_cast<const _IplImage*>(output.buffers.Block());
        if (held != nullptr && SameImageFormat(*held, model)) return;
        output.FreeBuffer(TARNOutputImplementation::PublishedElements::kKeptReadable);
    }
    output.AllocOutputBufferIplImage(model, false);
}

bool TARNcsi2ipl::DecodeFrame(_IplImage& image, long implementation, bool& implementationUnknown) {
    const csi2ipl::FrameGeometry& geometry = *decoding;
    switch (geometry.decodeType) {
        case csi2ipl::data_type::kYuv422_8:
            if (!Offered(implementation)) {
                ReportText(csi2ipl::report::kYuv422ImplementationUnknown);
                implementationUnknown = true;
                return false;
            }
            return DecodeWithPipeline(PipelineFormat::Yuv422_8, image, implementation);
        case csi2ipl::data_type::kRaw12:
            if (geometry.limitTo8) {
                if (!limitFallbackReported) ReportText(csi2ipl::report::kRaw12LimitFallback);
                limitFallbackReported = true;
                return DecodeWithUnpackers(image, false);
            }
            if (!Offered(implementation)) {
                ReportText(csi2ipl::report::kRaw12ImplementationUnknown);
                implementationUnknown = true;
                return false;
            }
            // The pipelines know no bit shift: a shifted image comes from the unpacker, so
            // every implementation gives the same samples.
            if (bitShift != 0) return DecodeWithUnpackers(image, true);
            return DecodeWithPipeline(PipelineFormat::Raw12, image, implementation);
        default:
            return DecodeWithUnpackers(image, false);
    }
}

bool TARNcsi2ipl::DecodeWithPipeline(PipelineFormat format, _IplImage& image, long implementation) {
    if (implementation == kCpuLegacy || !PipelineFits()) return DecodeWithUnpackers(image, true);
    const csi2ipl::FrameLines frame = PipelineFrame();
    const csi2ipl::ImageRows rows = PipelineImage(image);
#ifdef PIXTRACT_DECODER_GPU
    if (implementation == kGpu && !gpuFailed && csi2ipl::GpuFrameDecoder::Fits(format, frame, rows)) {
        const int result = gpu.Decode(format, frame, rows, timings.gpuCopies, timings.gpuDecoding);
        if (result == 0) return true;
        // A GPU that failed once is not asked again this run: the processor takes over.
        gpuFailed = true;
        gpu.Release();
        ReportText((csi2ipl::report::kGpuFailed + std::to_string(result) + csi2ipl::report::kGpuFailedEnd).c_str());
    }
#endif
    const auto start = Clock::now();
    const int result = csi2ipl::RunCpuPipeline(format, frame, rows);
    if (result == 0) {
        Add(timings.cpuDecoding, start);
        return true;
    }
    // Nothing was written: the line unpackers decode the frame instead.
    if (!pipelineRefusalReported) {
        pipelineRefusalReported = true;
        ReportText((csi2ipl::report::kPipelineRefused + std::to_string(result) + csi2ipl::report::kPipelineRefusedEnd)
                       .c_str());
    }
    return DecodeWithUnpackers(image, true);
}

bool TARNcsi2ipl::DecodeWithUnpackers(_IplImage& image, bool timed) {
    const auto start = Clock::now();
    const bool unpacked = csi2ipl::UnpackFrame(*decoding, data, dataSize, reinterpret_cast<uint8_t*>(image.imageData),
                                               rowStep, bitShift);
    if (timed && unpacked) Add(timings.legacyDecoding, start);
    return unpacked;
}

bool TARNcsi2ipl::PipelineFits() const {
    return decoding->evenlySpaced && decoding->width >= static_cast<uint32_t>(csi2ipl::kPipelineMinimumWidth);
}

csi2ipl::FrameLines TARNcsi2ipl::PipelineFrame() const {
    const csi2ipl::FrameGeometry& geometry = *decoding;
    return csi2ipl::FrameLines{data,
                               dataSize,
                               geometry.firstLineOffset + csi2ipl::kPacketHeaderBytes,
                               geometry.lineLength,
                               static_cast<int>(geometry.width),
                               static_cast<int>(geometry.height)};
}

csi2ipl::ImageRows TARNcsi2ipl::PipelineImage(_IplImage& image) {
    return csi2ipl::ImageRows{reinterpret_cast<uint8_t*>(image.imageData), static_cast<size_t>(image.imageSize),
                              static_cast<size_t>(image.widthStep)};
}

unsigned char* TARNcsi2ipl::AlignTillNextPreable(unsigned char** position) {
    if (position == nullptr) return nullptr;
    const uint8_t* at = *position;
    if (data == nullptr || at < data || at > data + dataSize) return *position;
    const csi2ipl::Resynchronised found =
        csi2ipl::AlignToNextPreamble(data, dataSize, static_cast<size_t>(at - data));
    if (printDebug && found.skipped >= csi2ipl::report::kSkippedReportBytes)
        ReportText((csi2ipl::report::kSkippedInvalidData + std::to_string(found.skipped) +
                    csi2ipl::report::kBytesSkipped)
                       .c_str());
    *position += found.skipped;
    return *position;
}
