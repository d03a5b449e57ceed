// Outputs written by hand: images, integer vectors, byte streams and sound blocks, each
// published at once. FeedingOutputs gives these to a module or a component; FeedingSource
// is a module the test thread writes, outside any graph.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "tarn/dataflow/io_element.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/dataflow/output.hpp"
#include "tarn/runtime/ipl_image.hpp"

template <class Module>
class FeedingOutputs : public Module {
  public:
    using Module::Module;

    // An output of IPL images of one format ("GRAY", "BGR", ...), 8 bits per channel.
    TARNOutput& ImageOutput(const char* name, int width, int height, const char* channels = "GRAY",
                            int fifoSize = 4) {
        TARNOutput& output = newOutput(name, TARNTypeInfo::IplImage, 0, fifoSize);
        images.emplace_back(&output, TARN::IplImageModel(width, height, channels, 0, 8, 8));
        LayOutImages();
        return output;
    }
    // A component's shutdown frees its buffers and its start lays out only what the
    // definition gives (nothing, for images): a component must lay its images out again in
    // each Birth. This does it for every image output left without buffers.
    void LayOutImages() {
        for (auto& [output, model] : images)
            if (output->IOEltSizeBytes() == 0) output->AllocOutputBufferIplImage(model, false);
    }
    // An output of `type` elements of `items` items each.
    TARNOutput& VectorOutput(const char* name, unsigned long type, int items, int fifoSize = 4) {
        return newOutput(name, type, items, fifoSize);
    }

    // An image whose every pixel byte is `value`.
    void WriteImage(TARNOutput& output, unsigned char value, long timestamp, long timeOfIssue = 0) {
        TARNIOElt* element = this->StartWriting(output, timestamp);
        element->TimeOfIssue() = timeOfIssue;
        _IplImage* image = element->IplImage();
        if (image == nullptr || image->imageData == nullptr) {
            ADD_FAILURE() << "image output " << output.Name().c_str() << " has no image buffers";
            this->StopWriting(element, true);
            return;
        }
        std::memset(image->imageData, value, static_cast<std::size_t>(image->imageSize));
        this->StopWriting(element, false);
    }
    void WriteIntegers(TARNOutput& output, const std::vector<int>& values, long timestamp = 0, long timeOfIssue = 0) {
        TARNIOElt* element = this->StartWriting(output, timestamp);
        element->TimeOfIssue() = timeOfIssue;
        for (std::size_t i = 0; i < values.size(); ++i) element->Integer32(static_cast<int>(i))[0] = values[i];
        element->VectorSize() = static_cast<int>(values.size());
        this->StopWriting(element, false);
    }
    // Raw bytes with the misc words and frequency a stream or sound element carries.
    void WriteBytes(TARNOutput& output, const std::vector<unsigned char>& bytes, long timestamp, int misc1 = 0,
                    int misc2 = 0, long frequency = 0, int vectorSize = -1) {
        TARNIOElt* element = this->StartWriting(output, timestamp);
        if (!bytes.empty()) std::memcpy(element->Data(), bytes.data(), bytes.size());
        element->VectorSize() = vectorSize >= 0 ? vectorSize : static_cast<int>(bytes.size());
        element->Misc1() = misc1;
        element->Misc2() = misc2;
        element->Frequency() = frequency;
        this->StopWriting(element, false);
    }

  private:
    // Each image output with the model of its images.
    std::vector<std::pair<TARNOutput*, _IplImage>> images;

    TARNOutput& newOutput(const char* name, unsigned long type, int items, int fifoSize) {
        TARNOutputDefinition definition{};
        definition.name = name;
        definition.type = TARNTypeInfo(type);
        definition.bufferSize = static_cast<unsigned int>(items);
        definition.fifoSize = static_cast<unsigned int>(fifoSize);
        definition.subsampling = 1;
        return *this->NewOutput(definition, nullptr);
    }
};

class FeedingSource : public FeedingOutputs<TARNModule> {
  public:
    explicit FeedingSource(const char* name) : FeedingOutputs<TARNModule>(name, false, false) {}
};
