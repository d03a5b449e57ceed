// A small component on the two-source image-processing base: its operation writes the sum
// of the two input images into the output.
#pragma once

#include <algorithm>
#include <mutex>
#include <vector>

#include "tarn/bases/image_processing_2src1dest.hpp"

class TwoImageOperationTestComponent : public TARNImageProcessing2Src1Dest {
  public:
    static constexpr Definition Operations[] = {
        {1, "Sum", 0, 0, nullptr, false, 0},
        {2, "RegionSum", 1, 0, nullptr, true, 0},
        {0, nullptr, 0, 0, nullptr, false, 0},
    };

    explicit TwoImageOperationTestComponent(const char* name) : TARNImageProcessing2Src1Dest(name, Model()) {}

    static TARNComponentDefinition& Model() {
        static TARNComponentDefinition model = [] {
            TARNComponentDefinition definition{};
            definition.name = "twoImageOperationTest";
            definition.version = "1.0";
            definition.threadingModels = TARNComponentDefinition::Threaded;
            return definition;
        }();
        return model;
    }

    bool ApplyOperation(_IplImage* input0, _IplImage* input1, _IplImage* output, const Definition*,
                        Parameters* parameters) override {
        {
            std::lock_guard lock(callsLock);
            timestamps.push_back({parameters->timestamp0, parameters->timestamp1});
        }
        const int rows = std::min({input0->height, input1->height, output->height});
        const int bytes = std::min({input0->widthStep, input1->widthStep, output->widthStep});
        for (int row = 0; row < rows; ++row)
            for (int i = 0; i < bytes; ++i)
                output->imageData[row * output->widthStep + i] = static_cast<char>(
                    input0->imageData[row * input0->widthStep + i] + input1->imageData[row * input1->widthStep + i]);
        return true;
    }
    const Definition* GetOperationsDefinition() override { return Operations; }

    // The timestamps of the two images of each call.
    std::vector<std::pair<long, long>> Timestamps() {
        std::lock_guard lock(callsLock);
        return timestamps;
    }

  private:
    std::mutex callsLock;
    std::vector<std::pair<long, long>> timestamps;
};
