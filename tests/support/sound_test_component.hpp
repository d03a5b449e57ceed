// A small component on the sound-processing base: it copies the samples it is handed
// into the output and records the block sizes it saw.
#pragma once

#include <cstring>
#include <vector>

#include "tarn/bases/sound_processing_component.hpp"

class SoundTestComponent : public TARNSoundProcessingComponent {
  public:
    explicit SoundTestComponent(const char* name) : TARNSoundProcessingComponent(name, Model()) {}

    static TARNComponentDefinition& Model() {
        static TARNComponentDefinition model = [] {
            TARNComponentDefinition definition{};
            definition.name = "soundTest";
            definition.version = "1.0";
            definition.threadingModels = TARNComponentDefinition::Threaded;
            return definition;
        }();
        return model;
    }

    void ProcessSoundBuffer(float* samples, long, void* output, long&, int samplesPerChannel, int channels,
                            bool& discardIt) override {
        blocks.push_back({samplesPerChannel, channels});
        std::memcpy(output, samples, sizeof(float) * static_cast<std::size_t>(samplesPerChannel * channels));
        discardIt = discard;
    }

    struct Block {
        int samplesPerChannel;
        int channels;
    };
    // Written and read on the stepping thread only.
    std::vector<Block> blocks;
    bool discard = false;
};
