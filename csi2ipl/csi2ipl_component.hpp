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
//   frame_decoding.cpp     Core: the geometry pass, the frame checks, the decode by data
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

    // Runs the geometry pass on the current frame and makes the output buffers fit it;
    // false (after its reports) when the frame cannot fix a geometry.
    bool RunGeometryPass();
    // A frame that the checks at the stored lines did not pass, or passed with lines the
    // stored ones do not count, or whose frame-size word is larger: the geometry pass
    // measures its own lines (ComputeGeometryOfALaterFrame). kToDecode: they replace the stored ones, for
    // this frame and the frames after it. kToConfirm: they replace them for the next frame to confirm, and
    // this frame is not decoded; the reasons are appended to `reasons`, as they are with kNo, when the stored
    // lines stay.
    enum class LinesTaken { kNo, kToDecode, kToConfirm };
    LinesTaken TakeFrameLines(std::vector<std::string>& reasons);
    // The output's buffers for the geometry's image: kept when they already have its
    // format, else laid out anew.
    void FitOutputBuffers();
    // Decodes the current frame into `image`; false when nothing was written. Reports
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
    // The input element being decoded: its data and the bytes of it that hold the frame.
    // Set while Core runs, null otherwise. Protected for tests that resynchronise inside
    // a frame of their own.
    const uint8_t* data = nullptr;
    size_t dataSize = 0;
    bool printDebug = false;

  private:
    // ---- Members ----------------------------------------------------------------------

    // The long-packet preamble, B8 B8 B8 B8.
    uint32_t preamble = 0;
    // Set: the next frame runs the geometry pass; cleared once a frame was published.
    bool firstFrame = false;
    // Set once a frame other than the one the geometry's lines were found in had its lines
    // there, every one of them: the frames after it are checked at their first two lines
    // and their last. Cleared whenever the geometry takes the lines of a frame.
    bool linesConfirmed = false;
    // Set once a second frame had lines of the stored image, laid out as the stored lines
    // are (at them, or moved together): from then on the image and the layout are the
    // stream's. Until then a later frame whose lines show less damage replaces them.
    bool geometryConfirmed = false;
    bool frameSizeCheck = false;
    // Frames dropped by "skip_first_frames" since Birth.
    uint32_t skippedFrames = 0;
    // What the geometry pass fixed: target and decode types, width, height, depth,
    // channels, line list, line length, the saved frame header and the unpacker.
    csi2ipl::FrameGeometry geometry;
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
#ifdef PIXTRACT_DECODER_GPU
    csi2ipl::GpuFrameDecoder gpu;
#endif
};
