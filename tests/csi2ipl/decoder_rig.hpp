#pragma once
// A decoder component wired for a test: a source whose byte-stream output feeds
// "raw_image", a sink recording what "ipl_image" publishes, and the life cycle run by
// hand (Birth, one Core pass per frame fed, Death). The decoder may be the tests' own
// build of the component or one made by a loaded package's factory: both are driven
// through the same SDK interfaces, as the engine drives them.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host_recorder.hpp"
#include "support/capture_writer.hpp"
#include "support/component_stepper.hpp"
#include "support/feeding_source.hpp"
#include "support/recording_sink.hpp"
#include "support/reference_decoder.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/dataflow/input.hpp"
#include "tarn/dataflow/output.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/engine_graph.hpp"

namespace decoder_rig {

constexpr unsigned long kByteStream = TARNTypeInfo::Stream8 | TARNTypeInfo::Vector;
// What the decoder reports before each of its texts.
constexpr const char* kReportPrefix = "component decoder: ";

// Destroys a component through its own (virtual) destructor, which belongs to the package
// that made it.
struct ComponentDeleter {
    void operator()(TARNComponent* component) const { delete component; }
};
using ComponentPointer = std::unique_ptr<TARNComponent, ComponentDeleter>;

class DecoderRig {
  public:
    // `maxFrameBytes`: the largest frame the test feeds (the source's element buffers).
    DecoderRig(ComponentPointer made, size_t maxFrameBytes) : decoder(std::move(made)), stepper(*decoder) {
        frames = &source.VectorOutput("frames", kByteStream, static_cast<int>(maxFrameBytes));
        TARN::Attach(*frames, decoder->Input("raw_image"));
        TARN::Attach(decoder->Output("ipl_image"), *sink.input);
    }
    ~DecoderRig() { stepper.Finish(); }

    TARNComponent& Decoder() { return *decoder; }

    // Properties by name, as the engine and tarnhost set them: texts select an
    // enumeration's value by its name.
    void Set(const char* name, const char* text) { decoder->Set(decoder->Property(name), text); }
    void Set(const char* name, bool value) { decoder->Set(decoder->Property(name), value); }
    void Set(const char* name, long value) { decoder->Set(decoder->Property(name), value); }
    std::string Text(const char* name) {
        TARNStackedString<40> text;
        decoder->Get(decoder->Property(name), text);
        return text.c_str();
    }

    int Begin() { return stepper.Begin(); }
    void Finish() { stepper.Finish(); }
    // Publishes the frame on the source and runs one Core pass; the integer Core threw, or 0.
    int Feed(const std::vector<uint8_t>& frame, long timestamp = 0) {
        source.WriteBytes(*frames, frame, timestamp);
        return stepper.Pass();
    }

    std::vector<SinkRecord> Images() const { return sink.Records(); }
    size_t ImageCount() const { return sink.Count(); }

  private:
    // Declared so that the sink goes first and the source last: each disconnects from
    // what is still there.
    FeedingSource source{"source"};
    ComponentPointer decoder;
    RecordingSink sink{"sink"};
    ComponentStepper stepper;
    TARNOutput* frames = nullptr;
};

// The decoder's own reports (level 0), without the prefix, in order.
inline std::vector<std::string> DecoderReports(const HostRecorder& recorder) {
    std::vector<std::string> texts;
    const std::string prefix = kReportPrefix;
    for (const HostReport& report : recorder.Reports())
        if (report.level == 0 && report.message.compare(0, prefix.size(), prefix) == 0)
            texts.push_back(report.message.substr(prefix.size()));
    return texts;
}

// Level-2 reports: none may come from a decoder fed any bytes.
inline std::vector<std::string> ErrorReports(const HostRecorder& recorder) {
    std::vector<std::string> texts;
    for (const HostReport& report : recorder.Reports())
        if (report.level == 2) texts.push_back(report.message);
    return texts;
}

// The samples of a published image, in the reference decoder's order.
inline std::vector<uint32_t> SamplesOf(const SinkRecord& image, uint32_t channels, uint32_t depth) {
    return reference::SamplesOf(image.bytes.data(), static_cast<size_t>(image.widthStep),
                                static_cast<uint32_t>(image.width), static_cast<uint32_t>(image.height), channels,
                                depth);
}

// Compares a published image with the reference decoder's image of `frame`.
inline void ExpectImage(const SinkRecord& image, const capture::CaptureFrame& frame, uint8_t decodeType,
                        bool limitTo8, unsigned shift) {
    const reference::Image expected = reference::Decode(frame.bytes, frame.lines, decodeType, limitTo8, shift);
    ASSERT_EQ(static_cast<uint32_t>(image.width), expected.width);
    ASSERT_EQ(static_cast<uint32_t>(image.height), expected.height);
    EXPECT_TRUE(SamplesOf(image, expected.channels, expected.depth) == expected.samples)
        << "the image differs from the reference decoder's";
}

}  // namespace decoder_rig
