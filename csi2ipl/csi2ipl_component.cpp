#include "csi2ipl/csi2ipl_component.hpp"

#include "csi2ipl/csi2_packet.hpp"
#include "csi2ipl/data_formats.hpp"
#include "csi2ipl/decoder_reports.hpp"
#include "tarn/engine/module_declaration.hpp"
#include "tarn/engine/type_filter.hpp"
#include "tarn/runtime/streamed_string.hpp"

#ifdef PIXTRACT_DECODER_GPU
#define PIXTRACT_DECODER_MODEL "csi2ipl_gpu"
#define PIXTRACT_DECODER_IMPLEMENTATIONS "CPU|CPU_LEGACY|GPU"
#else
#define PIXTRACT_DECODER_MODEL "csi2ipl_cpu"
#define PIXTRACT_DECODER_IMPLEMENTATIONS "CPU|CPU_LEGACY"
#endif

namespace {

constexpr const char* kBitShiftChoices = "0|1|2|3|4|5|6|7|8|9|10|11|12";

// What sets one property record apart from the others.
struct PropertyFlags {
    bool changeableAfterStart = false;
};

// Every property of the model: values locked to their choices, neither required nor
// read-only; only the bit shift and the debug switch may change while running.
TARNPropertyDefinition LockedProperty(const char* name, TARNPropertyValue* value, PropertyFlags flags = {}) {
    return TARNPropertyDefinition(name, value, /*unit=*/nullptr, /*needsInit=*/false,
                                  /*modifiableWhileRunning=*/flags.changeableAfterStart, /*readOnly=*/false,
                                  /*fixedEnumValues=*/true, /*subType=*/0);
}

}  // namespace

TARNInputDefinition TARNcsi2ipl::inputsDefinition[2] = {
    {.name = "raw_image",
     .description = nullptr,
     .typeFilter = &TARN::FilterStream8,
     .readerType = 0,
     .subsampling = 1},
    {},
};

// The buffers are laid out when the first image is published, its size known.
TARNOutputDefinition TARNcsi2ipl::outputsDefinition[2] = {
    {.name = "ipl_image",
     .reserved1 = 0,
     .type = TARNTypeInfo(TARNTypeInfo::IplImage, "", ""),
     .bufferSize = 0,
     .fifoSize = 16,
     .subsampling = 1,
     // Shareable.
     .reserved2 = 1},
    {},
};

TARNPropertyDefinition TARNcsi2ipl::propertiesDefinition[11] = {
    LockedProperty("CSI2_Dataformat", new TARNPropertyValue(csi2ipl::kDataFormatChoices, 0)),
    LockedProperty("overwrite_CSI2_Decoder", new TARNPropertyValue(false)),
    LockedProperty("overwrite_CSI2_Dataformat_as", new TARNPropertyValue(csi2ipl::kDataFormatChoices, 0)),
    LockedProperty("limit_depth_to_8", new TARNPropertyValue(false)),
    LockedProperty("limit_depth_to_8_Bitshift", new TARNPropertyValue(kBitShiftChoices, 0),
                   {.changeableAfterStart = true}),
    LockedProperty("print_debug", new TARNPropertyValue(false), {.changeableAfterStart = true}),
    LockedProperty("skip_first_frames", new TARNPropertyValue(true)),
    LockedProperty("benchmark_component", new TARNPropertyValue(false)),
    LockedProperty("decoding_implementation", new TARNPropertyValue(PIXTRACT_DECODER_IMPLEMENTATIONS, 0)),
    LockedProperty("frame_size_check", new TARNPropertyValue(true)),
    TARNPropertyDefinition(),
};

TARNActionDefinition TARNcsi2ipl::actionsDefinition[1] = {TARNActionDefinition()};

// The counts stay NotCounted: whoever reads the tables counts them up to their end records.
TARNComponentDefinition TARNcsi2ipl::s_componentDefinition = {
    .name = PIXTRACT_DECODER_MODEL,
    .version = "1.1",
    .factory = &TARNcsi2ipl::Instantiate,
    .reserved = {nullptr, nullptr},
    .destroyCount = 0,
    .nbInputs = TARNComponentDefinition::NotCounted,
    .inputs = TARNcsi2ipl::inputsDefinition,
    .nbOutputs = TARNComponentDefinition::NotCounted,
    .outputs = TARNcsi2ipl::outputsDefinition,
    .nbProperties = TARNComponentDefinition::NotCounted,
    .properties = TARNcsi2ipl::propertiesDefinition,
    .nbActions = TARNComponentDefinition::NotCounted,
    .actions = TARNcsi2ipl::actionsDefinition,
    .priority = 128,
    .threadingModels = TARNComponentDefinition::Threaded,
    .threaded = true,
};

// After the tables: the declaration hands the registry the definition record.
TARN_MODULE_DECLARATION(TARNcsi2ipl, TARNComponent, PIXTRACT_DECODER_MODEL, "1.1", nullptr,
                        &TARNcsi2ipl::s_componentDefinition, nullptr, nullptr);

TARNModuleBase* TARNcsi2ipl::Instantiate(const char* name, TARNComponentDefinition& definition) {
    // A constructor that throws frees the object and the exception reaches the engine.
    return new TARNcsi2ipl(name, definition);
}

unsigned char TARNcsi2ipl::GetEnumCSI2Property(unsigned int index) {
    return csi2ipl::DataTypeOfChoice(index);
}

TARNcsi2ipl::TARNcsi2ipl(const char* name, TARNComponentDefinition& definition)
    : TARNComponent(name, definition), preamble(csi2ipl::kPreamble) {}

TARNcsi2ipl::~TARNcsi2ipl() = default;

void TARNcsi2ipl::Birth() {
    stream.Restart();
    // A stop freed the output's buffers: the first image of this run lays them out anew.
    outputWidth = 0;
    outputHeight = 0;
    skippedFrames = 0;
    startOffset = static_cast<uint32_t>(csi2ipl::kFrameHeaderBytes);
    frameCounter = 0;
    benchmark = false;
    timings = Timings{};
    pipelineRefusalReported = false;
    gpuFailed = false;
    limitFallbackReported = false;
}

void TARNcsi2ipl::Death() {
#ifdef PIXTRACT_DECODER_GPU
    gpu.Release();
#endif
    if (const csi2ipl::KeptFrame* kept = stream.Kept())
        ReportText((csi2ipl::report::kKeptFrame + std::to_string(kept->timestamp) +
                    csi2ipl::report::kKeptFrameUnresolved)
                       .c_str());
    if (!benchmark) return;
    TARNStreamedString count;
    count << csi2ipl::report::kNumberOfFrames << static_cast<unsigned long>(frameCounter);
    ReportText(count.c_str());
    const std::pair<const char*, double> means[] = {
        {csi2ipl::report::kTimeInCore, timings.inCore},
        {csi2ipl::report::kTimeForGpuMemcpy, timings.gpuCopies},
        {csi2ipl::report::kTimeForGpuDecoding, timings.gpuDecoding},
        {csi2ipl::report::kTimeForCpuDecoding, timings.cpuDecoding},
        {csi2ipl::report::kTimeForLegacyDecoding, timings.legacyDecoding},
        {csi2ipl::report::kTimeForCountType, timings.typeCounting},
    };
    for (const auto& [label, seconds] : means) {
        // Without a frame there is nothing to average: the mean is 0.
        const float milliseconds =
            frameCounter == 0 ? 0.0f : static_cast<float>(1000.0 * seconds / static_cast<double>(frameCounter));
        TARNStreamedString line;
        line << label << milliseconds << csi2ipl::report::kMilliseconds;
        ReportText(line.c_str());
    }
}

void TARNcsi2ipl::Add(double& accumulator, Clock::time_point since) {
    accumulator += std::chrono::duration<double>(Clock::now() - since).count();
}
