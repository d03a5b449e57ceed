#include "tarn/bases/sound_processing_component.hpp"

#include <cstdint>
#include <cstring>

#include "bases/pending_output_element.hpp"
#include "tarn/dataflow/input.hpp"
#include "tarn/dataflow/io_element.hpp"
#include "tarn/dataflow/output.hpp"
#include "tarn/engine/type_filter.hpp"

namespace {

constexpr const char* UnsupportedFormat = "Input sound format is not supported.";

// Bytes of one stream sample: 8 or 16 bits, nothing else is converted.
int bytesPerSample(int bitsPerSample) {
    return bitsPerSample == 8 || bitsPerSample == 16 ? bitsPerSample >> 3 : 0;
}

}  // namespace

TARNInputDefinition TARNSoundProcessingComponent::InputDefinitions[2] = {
    {"sndInput", nullptr, &TARN::FilterAudioSignals, 0, 1},
    {},
};

TARNOutputDefinition TARNSoundProcessingComponent::OutputDefinitions[2] = {
    {"sndOutput", 0, TARNTypeInfo(0xD000000000010000UL, "", ""), 0, 16, 1, 0},
    {},
};

TARNSoundProcessingComponent::TARNSoundProcessingComponent(const char* name, TARNComponentDefinition& definition)
    : TARNComponent(name, definition) {}

TARNSoundProcessingComponent::~TARNSoundProcessingComponent() {
    delete[] floatBuffer;
}

void TARNSoundProcessingComponent::Dynamic() {
    NewInput(InputDefinitions[0], nullptr);
    NewOutput(OutputDefinitions[0], nullptr);
}

void TARNSoundProcessingComponent::Birth() {
    firstElement = true;
    streamMode = false;
    delete[] floatBuffer;
    floatBuffer = nullptr;
    floatBufferSize = 0;
}

void TARNSoundProcessingComponent::Death() {
    delete[] floatBuffer;
    floatBuffer = nullptr;
    floatBufferSize = 0;
}

void TARNSoundProcessingComponent::learnFormat(TARNIOElt& element) {
    const TARNTypeInfo& type = element.Type();
    const bool stream = TARN::TypeFilter(type, TARN::FilterStream8);
    if (!stream && TARN::TypeFilter(type, TARN::FilterAudioSignal))
        Error("Handling native audio signal type is not supported yet.", 1, 0);
    // Refused before it divides anything; the next element is the first one again.
    if (stream && bytesPerSample(element.Misc2()) == 0) Error(UnsupportedFormat, 1, 0);
    streamMode = stream;
    firstElement = false;
    int size = element.BufferSize();
    if (streamMode) {
        size /= bytesPerSample(element.Misc2());
        floatBuffer = new float[size > 0 ? size : 0]();
        floatBufferSize = size;
    }
    Output("sndOutput").AllocOutputBuffer(size, true);
    frequency = element.Frequency();
    misc1Copy = static_cast<unsigned char>(element.Misc1());
    misc2Copy = static_cast<unsigned char>(element.Misc2());
}

int TARNSoundProcessingComponent::convertStream(TARNIOElt& element) {
    const int bytes = bytesPerSample(element.Misc2());
    if (bytes == 0) Error(UnsupportedFormat, 1, 0);
    const int count = element.VectorSize() / bytes;
    const unsigned char* data = element.Stream8();
    if (bytes == 1) {
        for (int i = 0; i < count; ++i) floatBuffer[i] = static_cast<float>(data[i] - 128) * 0.0078125f;
    } else {
        for (int i = 0; i < count; ++i) {
            const auto value = static_cast<std::int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
            floatBuffer[i] = static_cast<float>(value) * 3.0517578e-5f;
        }
    }
    return count;
}

void TARNSoundProcessingComponent::Core() {
    TARNIOElt* element = StartReading(Input("sndInput"));
    if (element == nullptr || element->VectorSize() <= 0) return;
    if (firstElement) learnFormat(*element);

    // Every block divides by the channel word: a block without channels has no samples
    // per channel to hand on.
    const int channels = static_cast<std::int16_t>(element->Misc1() & 0xFFFF);
    if (element->Misc1() <= 0 || channels <= 0) {
        Report("Input sound element without channels refused.", 1, 0);
        return;
    }
    // The buffers were sized from the first element: a larger block must not run past them.
    const int bytes = streamMode ? bytesPerSample(element->Misc2()) : 1;
    if (streamMode && bytes == 0) Error(UnsupportedFormat, 1, 0);
    const int count = element->VectorSize() / bytes;
    TARNIOElt* written = StartWriting(Output("sndOutput"));
    if (written == nullptr) return;
    TARNPendingOutputElement pending(*this, written);
    if ((streamMode && count > floatBufferSize) || count > written->BufferSize()) {
        Report("Input sound block larger than the buffers of the first one refused.", 1, 0);
        return;
    }

    written->Timestamp() = element->Timestamp();
    bool discard = false;
    float* samples = streamMode ? floatBuffer : static_cast<float*>(element->Data());
    if (streamMode) convertStream(*element);
    ProcessSoundBuffer(samples, element->Timestamp(), written->Data(), written->Timestamp(),
                       count / element->Misc1(), channels, discard);
    written->VectorSize() = count;
    written->Frequency() = frequency;
    written->Misc1() = misc1Copy;
    written->Misc2() = misc2Copy;
    pending.Finish(discard);
}
