// TARNSoundProcessingComponent: the base of components that transform blocks of sound
// samples. It reads "sndInput", turns 8- or 16-bit sample streams into 32-bit float
// samples, hands each block to the derived class's ProcessSoundBuffer and publishes the
// result on "sndOutput" with the input's timestamp, frequency and sample-format words.
#pragma once

#include "tarn/dataflow/component.hpp"

class TARNInput;
class TARNOutput;

class TARNSoundProcessingComponent : public TARNComponent {
  public:
    static TARNInputDefinition InputDefinitions[2];
    static TARNOutputDefinition OutputDefinitions[2];

    TARNSoundProcessingComponent(const char* name, TARNComponentDefinition& definition);
    ~TARNSoundProcessingComponent() override;

    // Declares "sndInput" and "sndOutput".
    void Dynamic() override;  // 18
    // One block per call.
    void Core() override;   // 19
    void Birth() override;  // 20
    // Frees the float buffer.
    void Death() override;  // 22

    // The derived class's work on one block: `samples` holds samplesPerChannel x channels
    // samples (interleaved as they came), `output` the output element's buffer. Setting
    // `discard` drops the output element.
    virtual void ProcessSoundBuffer(float* samples, long timestamp, void* output, long& outputTimestamp,
                                    int samplesPerChannel, int channels, bool& discard) = 0;  // 26

    // ---- Fields ------------------------------------------------------------------------

    // The converted samples of a stream block; sized from the first element.
    float* floatBuffer = nullptr;
    int floatBufferSize = 0;
    // From Birth until the first element has been handled.
    bool firstElement = true;
    // The input carries an 8-bit stream of integer samples to convert.
    bool streamMode = false;
    // The first element's Misc2 (bits per sample) and Misc1 (channel count), low bytes,
    // and its frequency: what every output element carries.
    unsigned char misc2Copy = 0;
    unsigned char misc1Copy = 0;
    long frequency = 0;

  private:
    // The format and buffers, learnt from the first element.
    void learnFormat(TARNIOElt& element);
    // Converts a stream block into the float buffer; the number of samples.
    int convertStream(TARNIOElt& element);
};
