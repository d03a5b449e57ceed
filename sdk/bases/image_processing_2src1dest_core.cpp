// The two-source image-processing base at work: Birth, the reading pass Core, the
// processing of one pair of images and the base output model.
#include <algorithm>
#include <cstring>

#include "bases/image_operation_processing.hpp"
#include "bases/image_operation_selection.hpp"
#include "tarn/bases/image_processing_2src1dest.hpp"

void TARNImageProcessing2Src1Dest::Birth() {
    TARNImageOperation::Birth(*this, ImageInputs);
}

void TARNImageProcessing2Src1Dest::Death() {}

void TARNImageProcessing2Src1Dest::Core() {
    using Inputs = decltype(ImageInputs);
    static_assert(Inputs::PointPosition == PointIndex && Inputs::FirstRegionPosition == Input0ROIIndex &&
                  Inputs::FirstRegionPosition + 1 == Input1ROIIndex &&
                  Inputs::FirstRegionPosition + 2 == OutputROIIndex && Inputs::FirstImagePosition == Image0Index &&
                  Inputs::FirstImagePosition + 1 == Image1Index);
    TARNImageOperation::Core(*this, ImageInputs);
}

void TARNImageProcessing2Src1Dest::Process(TARNIOElt* first, TARNIOElt* second) {
    if (!TARNImageOperation::Ready(*this)) return;
    // With "pSynchroReaders" only images of one instant make a pair.
    if (TARNImageOperation::FlagOf(*this, "pSynchroReaders") && first->Timestamp() != second->Timestamp()) return;
    TARNIOElt* const elements[] = {first, second};
    TARNImageOperation::Process(*this, ImageInputs, elements);
}

_IplImage TARNImageProcessing2Src1Dest::GetOutputModel(const _IplImage* input0, const _IplImage* input1,
                                                       const _IplROI* region, const Definition* operation) {
    long width = std::min(input0->width, input1->width);
    long height = std::min(input0->height, input1->height);
    TARNImageOperation::DestinationSize(*this, region, width, height);
    if (!TARNImageOperation::NamesItsChannels(operation) && std::memcmp(input0->channelSeq, input1->channelSeq, 4) != 0)
        Report("Input0 and Input1 images color model or channel sequence are different : Input0 model will be used",
               1, 0);
    return TARNImageOperation::OutputModel(*this, width, height,
                                           TARNImageOperation::OutputChannels(operation, input0->channelSeq).text);
}
