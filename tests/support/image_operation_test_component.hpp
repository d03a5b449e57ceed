// A small component on the one-source image-processing base: its operations copy the
// input image into the output, adding the first integer parameter to every byte when the
// operation takes one. It records what each call received.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

#include "tarn/bases/image_processing_1src1dest.hpp"

// The pixels of `input` (up to the smaller size) into `output`, plus `add`.
inline void CopyImage(const _IplImage& input, _IplImage& output, int add) {
    const int rows = std::min(input.height, output.height);
    const int bytes = std::min(input.widthStep, output.widthStep);
    for (int row = 0; row < rows; ++row)
        for (int i = 0; i < bytes; ++i)
            output.imageData[row * output.widthStep + i] =
                static_cast<char>(input.imageData[row * input.widthStep + i] + add);
}

class ImageOperationTestComponent : public TARNImageProcessing1Src1Dest {
  public:
    static constexpr Definition Operations[] = {
        {1, "Copy", 0, 0, nullptr, false, 0},
        {2, "ADD", 2, 1, nullptr, false, 0},
        {3, "ERODE", 1, 0, nullptr, false, 0},
        {4, "Blur", 1, 0, nullptr, false, 0},
        {5, "Clicks", 0, 0, nullptr, false, 2},
        {6, "RegionAdd", 1, 0, nullptr, true, 0},
        {7, "ToBGR", 0, 0, "BGR", false, 0},
        {0, nullptr, 0, 0, nullptr, false, 0},
    };

    // What one ApplyOperation call received.
    struct Call {
        const char* operation;
        std::vector<int> integers;
        std::vector<double> doubles;
        std::vector<TARNPoint2D> clicks;
        int inputWidth;
        bool inputHasRegion;
        long timestamp;
    };

    explicit ImageOperationTestComponent(const char* name, const Definition* table = Operations)
        : TARNImageProcessing1Src1Dest(name, Model()), table(table) {}

    static TARNComponentDefinition& Model() {
        static TARNComponentDefinition model = [] {
            TARNComponentDefinition definition{};
            definition.name = "imageOperationTest";
            definition.version = "1.0";
            definition.threadingModels = TARNComponentDefinition::Threaded;
            return definition;
        }();
        return model;
    }

    bool ApplyOperation(_IplImage* input, _IplImage* output, const Definition* operation,
                        Parameters* parameters) override {
        {
            std::lock_guard lock(callsLock);
            calls.push_back({operation->name, std::vector<int>(parameters->integers, parameters->integers + parameters->nbIntegers),
                             std::vector<double>(parameters->doubles, parameters->doubles + parameters->nbDoubles),
                             std::vector<TARNPoint2D>(parameters->clicks, parameters->clicks + parameters->nbClicks),
                             input->width, input->roi != nullptr, parameters->timestamp});
        }
        CopyImage(*input, *output, parameters->nbIntegers > 0 ? parameters->integers[0] : 0);
        if (duringOperation) duringOperation();
        return succeed;
    }
    const Definition* GetOperationsDefinition() override { return table; }
    _IplImage GetOutputModel(const _IplImage* input, const _IplROI* region, const Definition* operation) override {
        _IplImage model = TARNImageProcessing1Src1Dest::GetOutputModel(input, region, operation);
        if (modelAlign) model.align = *modelAlign;
        return model;
    }

    std::vector<Call> Calls() {
        std::lock_guard lock(callsLock);
        return calls;
    }

    const Definition* table;
    bool succeed = true;
    // Runs inside ApplyOperation, after the output is filled.
    std::function<void()> duringOperation;
    // Replaces the base model's align when set.
    const int* modelAlign = nullptr;

  private:
    std::mutex callsLock;
    std::vector<Call> calls;
};
