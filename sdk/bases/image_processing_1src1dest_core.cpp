// The one-source image-processing base at work: Birth, the reading pass Core, the
// processing of one image and the base output model.
#include "bases/image_operation_processing.hpp"
#include "bases/image_operation_selection.hpp"
#include "tarn/bases/image_processing_1src1dest.hpp"

void TARNImageProcessing1Src1Dest::Birth() {
    TARNImageOperation::Birth(*this, ImageInputs);
}

void TARNImageProcessing1Src1Dest::Death() {}

void TARNImageProcessing1Src1Dest::Core() {
    using Inputs = decltype(ImageInputs);
    static_assert(Inputs::PointPosition == PointIndex && Inputs::FirstRegionPosition == InputROIIndex &&
                  Inputs::FirstRegionPosition + 1 == OutputROIIndex && Inputs::FirstImagePosition == ImageIndex);
    TARNImageOperation::Core(*this, ImageInputs);
}

void TARNImageProcessing1Src1Dest::Process(TARNIOElt* element) {
    if (!TARNImageOperation::Ready(*this)) return;
    TARNIOElt* const elements[] = {element};
    TARNImageOperation::Process(*this, ImageInputs, elements);
}

_IplImage TARNImageProcessing1Src1Dest::GetOutputModel(const _IplImage* input, const _IplROI* region,
                                                       const Definition* operation) {
    long width = input->width;
    long height = input->height;
    TARNImageOperation::DestinationSize(*this, region, width, height);
    return TARNImageOperation::OutputModel(*this, width, height,
                                           TARNImageOperation::OutputChannels(operation, input->channelSeq).text);
}
