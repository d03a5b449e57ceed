// invert.pck: a package with one component model, "invert", which turns each sample of an
// 8-bit image into 255 minus itself. Its operation "Invert" inverts every sample;
// "InvertAbove", given a threshold in "pParameters", inverts the samples at or above it and
// leaves the others.
//
// Written as any author of a package writes one: it includes the SDK's umbrella header and
// nothing else, and builds on the one-source image-processing base, which declares the
// inputs, the output and the properties, reads the images, makes the output images and
// publishes them. The component supplies its table of operations and the operation itself.
#include "tarn/tarn.hpp"

namespace {

class Invert : public TARNImageProcessing1Src1Dest {
  public:
    // The record the engine lists the model by, and builds every instance from.
    static TARNComponentDefinition model;

    // The model's factory: the engine calls it with the instance's name and the record.
    static TARNModuleBase* Instantiate(const char* instanceName, TARNComponentDefinition& record) {
        return new Invert(instanceName, record);
    }

    // Not `name` and `definition`: the base has members of those names, and -Wshadow would
    // point them out.
    Invert(const char* instanceName, TARNComponentDefinition& record)
        : TARNImageProcessing1Src1Dest(instanceName, record) {}

    // Identifiers of the operations: the base hands the selected record to ApplyOperation.
    enum Operation : unsigned long { InvertAll = 1, InvertAbove = 2 };

    // The operations, selected by name through "pOperation" (a to z in any case). Fields:
    // identifier, name, integer and double parameters taken from "pParameters", channel
    // sequence of the output (null: the input's), needs an input region, click points.
    static constexpr Definition operations[] = {
        {InvertAll, "Invert", 0, 0, nullptr, false, 0},
        {InvertAbove, "InvertAbove", 1, 0, nullptr, false, 0},
        {0, nullptr, 0, 0, nullptr, false, 0},
    };

    const Definition* GetOperationsDefinition() override { return operations; }

    // Each run starts afresh: the base's Birth first (it prepares the reading), then ours.
    void Birth() override {
        TARNImageProcessing1Src1Dest::Birth();
        depthRefusalReported = false;
    }

    // The base made `output` on the first image: the input's size and channel sequence, 8
    // bits per sample. `values` holds the parameters the operation takes, from
    // "pParameters". True publishes the output; false drops it.
    bool ApplyOperation(_IplImage* input, _IplImage* output, const Definition* operation,
                        Parameters* values) override {
        if (input->depth != 8 || input->dataOrder != 0) {
            // Once per run, not once per image: the user learns why nothing comes out.
            if (!depthRefusalReported) Report("invert takes interleaved images of 8 bits per sample", 1, 0);
            depthRefusalReported = true;
            return false;
        }
        const int threshold = operation->identifier == InvertAbove ? values->integers[0] : 0;
        const int rows = input->height < output->height ? input->height : output->height;
        const int width = input->width < output->width ? input->width : output->width;
        const int samples = width * input->nChannels;
        for (int y = 0; y < rows; ++y) {
            const auto* from =
                reinterpret_cast<const unsigned char*>(input->imageData + y * input->widthStep);
            auto* to = reinterpret_cast<unsigned char*>(output->imageData + y * output->widthStep);
            for (int i = 0; i < samples; ++i) to[i] = from[i] >= threshold ? 255 - from[i] : from[i];
        }
        return true;
    }

  private:
    bool depthRefusalReported = false;
};

// No element tables of its own: the base declares its inputs, output and properties in
// Dynamic(), which the engine runs on every new instance.
TARNComponentDefinition Invert::model = {
    .name = "invert",
    .version = "1.0",
    .factory = &Invert::Instantiate,
    .reserved = {nullptr, nullptr},
    .destroyCount = 0,
    .nbInputs = 0,
    .inputs = nullptr,
    .nbOutputs = 0,
    .outputs = nullptr,
    .nbProperties = 0,
    .properties = nullptr,
    .nbActions = 0,
    .actions = nullptr,
    .priority = 128,
    .threadingModels = TARNComponentDefinition::Threaded,
    .threaded = true,
};

}  // namespace

// Files the model in the package's registry when the engine loads the package, under the
// group TARNComponent (the second argument is the group, not the C++ base: TARNComponent for
// every component model); the engine then finds it through TARNGetModulesDefStruct.
TARN_MODULE_DECLARATION(Invert, TARNComponent, "invert", "1.0", nullptr, &Invert::model, nullptr, nullptr);
