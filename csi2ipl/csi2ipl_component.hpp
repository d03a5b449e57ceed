#pragma once
// TARNcsi2ipl: the decoder component. It reads one captured CSI-2 frame per element on
// "raw_image" and publishes one IPL image per frame, with the frame's timestamp, on
// "ipl_image". The work is done by the plain functions of this folder (geometry, checks,
// unpackers) and the generated pipelines; the component reads its properties, keeps the
// geometry of the stream between frames, owns the output buffers and times each step.
//
// The member functions are defined across these files:
//   csi2ipl_component.cpp  definition tables, registry declaration, Instantiate, Birth,
//                          Death with the benchmark report
//   frame_decoding.cpp     Core: the stream's lines (StreamLines), the decode by data
//                          type and implementation, publication
//   gpu_decoding.cpp       the GPU build's device copy and GPU pipeline call
//
// The source is built twice: with PIXTRACT_DECODER_GPU defined it is the GPU package's
// model "csi2ipl_gpu", which offers the implementation "GPU"; without, the CPU package's
// "csi2ipl_cpu".
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "csi2ipl/frame_geometry.hpp"
#include "csi2ipl/stream_lines.hpp"
#include "pipelines/pipeline_call.hpp"
#include "tarn/dataflow/component.hpp"

#ifdef PIXTRACT_DECODER_GPU
#include "csi2ipl/gpu_decoding.hpp"
#endif

struct _IplImage;

class TARNcsi2ipl : public TARNComponent {
  public:
    // Values of "decoding_implementation" (its selected index).
    enum Implementation : long { kCpu = 0, kCpuLegacy = 1, kGpu = 2 };
    // Frames dropped after Birth while "skip_first_frames" is set.
    static constexpr uint32_t kFramesToSkip = 10;

    // The factory of the definition record.
    static TARNModuleBase* Instantiate(const char* name, TARNComponentDefinition& definition);
    // The data type code of a "CSI2_Dataformat" choice index (0 AUTO, 0xFE the swapped
    // YUV422 rule; above 10, RAW12).
    static unsigned char GetEnumCSI2Property(unsigned int index);

    TARNcsi2ipl(const char* name, TARNComponentDefinition& definition);
    ~TARNcsi2ipl() override;

    void Core() override;
    void Birth() override;
    void Death() override;

    // Moves *position, a position in the frame being decoded, forward to the next
    // preamble (unless one stands there or the frame-size word is 0), stores it and
    // returns it; with "print_debug", reports a skip of 500 bytes or more. The frame flow
    // itself never needs it: a position outside the frame in progress, or any position
    // outside Core, is left as it is.
    unsigned char* AlignTillNextPreable(unsigned char** position);

    // The static tables the model is built from; counts are NotCounted and every table
    // ends with its all-zero record.
    static TARNComponentDefinition s_componentDefinition;
    static TARNInputDefinition inputsDefinition[2];
    static TARNOutputDefinition outputsDefinition[2];
    static TARNPropertyDefinition propertiesDefinition[11];
    static TARNActionDefinition actionsDefinition[1];

  private:
    using Clock = std::chrono::steady_clock;

    // Seconds spent in each measured step since Birth. Kept in double: single precision
    // stops counting sub-millisecond steps once a long run has summed a few hours.
    struct Timings {
        double inCore = 0;
        double gpuCopies = 0;
        double gpuDecoding = 0;
        double cpuDecoding = 0;
        double legacyDecoding = 0;
        double typeCounting = 0;
    };

    // The request for the geometry pass of the stream's first lines, from the properties.
    csi2ipl::GeometryRequest FirstLinesRequest();
    // Decodes a frame at `lines` and publishes its image under `timestamp`, the output laid
    // out anew first when the image is another than the one it holds.
    void Publish(const csi2ipl::FrameGeometry& lines, const uint8_t* frame, size_t size, long timestamp,
                 long implementation);
    // The output's buffers for the image of `lines`: kept when they already have its
    // format, else laid out anew.
    void FitOutputBuffers(const csi2ipl::FrameGeometry& lines);
    // Decodes the frame being published into `image`; false when nothing was written. Reports
    // what the caller should know (an unknown implementation, a refused pipeline).
    bool DecodeFrame(_IplImage& image, long implementation, bool& implementationUnknown);
    // RAW12 at 16 bits and YUV422 8-bit by the chosen implementation.
    bool DecodeWithPipeline(csi2ipl::PipelineFormat format, _IplImage& image, long implementation);
    // The line unpackers over the whole frame, timed as legacy decoding when `timed`.
    bool DecodeWithUnpackers(_IplImage& image, bool timed);
    // The frame's lines and the image's rows as the pipeline call takes them.
    csi2ipl::FrameLines PipelineFrame() const;
    static csi2ipl::ImageRows PipelineImage(_IplImage& image);
    // Whether a pipeline can take the frame at all: lines evenly spaced and wide enough.
    bool PipelineFits() const;

    static void Add(double& accumulator, Clock::time_point since);
    void ReportText(const char* text) { Report(text, 0, 0); }

  protected:
    // The frame being decoded: the input element's data and the bytes of it that hold the
    // frame, or a kept frame's while it is published. Set while Core runs, null otherwise.
    // Protected for tests that resynchronise inside a frame of their own.
    const uint8_t* data = nullptr;
    size_t dataSize = 0;
    bool printDebug = false;

  private:
    // ---- Members ----------------------------------------------------------------------

    // The long-packet preamble, B8 B8 B8 B8.
    uint32_t preamble = 0;
    bool frameSizeCheck = false;
    // Frames dropped by "skip_first_frames" since Birth.
    uint32_t skippedFrames = 0;
    // The stream's lines, learnt from its first frames, and a frame kept while they are.
    csi2ipl::StreamLines stream;
    // The lines of the frame being decoded: the stream's, or a kept frame's own. Set while
    // a frame is published.
    const csi2ipl::FrameGeometry* decoding = nullptr;
    // The image the output's buffers are laid out for.
    uint32_t outputWidth = 0;
    uint32_t outputHeight = 0;
    // Row step of the output image being written.
    uint32_t rowStep = 0;
    // Selected index of "limit_depth_to_8_Bitshift", 0 to 12.
    uint32_t bitShift = 0;
    // Where the search for lines starts: behind the frame header.
    uint32_t startOffset = 0;
    Timings timings;
    // Frames that passed the skipping since Birth, published or not.
    uint64_t frameCounter = 0;
    bool benchmark = false;
    // Reported once per run, then the fallback holds: a pipeline refused a frame; the GPU
    // failed and the processor pipeline decodes instead.
    bool pipelineRefusalReported = false;
    bool gpuFailed = false;
    // Reported once per run: RAW12 limited to 8 bits is decoded by the line unpackers.
    bool limitFallbackReported = false;
#ifdef PIXTRACT_DECODER_GPU
    csi2ipl::GpuFrameDecoder gpu;
#endif
};
