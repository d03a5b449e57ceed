// The two-source image-processing base at work: Birth, the reading pass Core, the
// processing of one pair of images and the base output model.
#include <algorithm>
#include <cstring>

#include "bases/image_operation_selection.hpp"
#include "bases/pending_output_element.hpp"
#include "bases/image_processing_2src1dest.hpp"
#include "bases/image_region_operations.hpp"
#include "dataflow/io_element.hpp"
#include "dataflow/output.hpp"
#include "engine/timer.hpp"
#include "runtime/streamed_string.hpp"

void TARNImageProcessing2Src1Dest::Birth() {
    firstFrame = true;
    lastImage0 = nullptr;
    lastImage1 = nullptr;
    reprocessEvent.Reset();
    readingInputs[PointIndex] = &Input("iPoint");
    readingInputs[Input0ROIIndex] = &Input("iInput0ROI");
    readingInputs[Input1ROIIndex] = &Input("iInput1ROI");
    readingInputs[OutputROIIndex] = &Input("iOutputROI");
    readingInputs[Image0Index] = &Input("iImage0");
    readingInputs[Image1Index] = &Input("iImage1");
    readingEvents[0] = &reprocessEvent;
    skippedFrames = 0;
}

void TARNImageProcessing2Src1Dest::Death() {}

void TARNImageProcessing2Src1Dest::Core() {
    int index = -1;
    TARNIOElt* element = StartReading(6, readingInputs, &index, 1, readingEvents);
    if (element != nullptr) {
        switch (index) {
            case Image0Index:
            case Image1Index: imageArrived(element, index); break;
            case PointIndex: pointArrived(element); break;
            case Input0ROIIndex:
            case Input1ROIIndex:
            case OutputROIIndex: regionArrived(element, index); break;
            default: break;
        }
        return;
    }
    TARNMutexGuard guard(processingMutex);
    if (index > Image1Index) {
        reprocessEvent.Reset();
        reprocess();
    } else if (index == Image0Index) {
        lastImage0 = nullptr;
    } else if (index == Image1Index) {
        lastImage1 = nullptr;
    }
}

void TARNImageProcessing2Src1Dest::imageArrived(TARNIOElt* element, int index) {
    TARNIOElt*& last = index == Image0Index ? lastImage0 : lastImage1;
    if (flagOf("pLastOrNextReader") && DataAvailableInFIFO(*readingInputs[index])) {
        TARNImageOperation::CountSkippedFrame(*this);
        // Reading this element gave back the one held before: keep the held one as the
        // last image, unprocessed.
        TARNMutexGuard guard(processingMutex);
        last = element;
        return;
    }
    TARNMutexGuard guard(processingMutex);
    last = element;
    // Reset before processing: a change made while the operation runs is kept for the
    // next pass.
    reprocessEvent.Reset();
    reprocess();
}

void TARNImageProcessing2Src1Dest::pointArrived(TARNIOElt* element) {
    if (selectedOperation < 0) return;
    TARNMutexGuard guard(processingMutex);
    if (TARNImageOperation::AddClickPoint(*this, *element)) reprocess();
}

void TARNImageProcessing2Src1Dest::regionArrived(TARNIOElt* element, int index) {
    TARNMutexGuard guard(processingMutex);
    _IplROI*& slot = index == Input0ROIIndex ? input0ROI : index == Input1ROIIndex ? input1ROI : outputROI;
    TARNProperty& property = Property(index == Input0ROIIndex   ? "pInput0ROI"
                                      : index == Input1ROIIndex ? "pInput1ROI"
                                                                : "pOutputROI");
    _IplROI region;
    if (TARNImageOperation::RegionFromVector(*element, region)) {
        if (slot == nullptr) slot = new _IplROI;
        *slot = region;
    } else {
        delete slot;
        slot = nullptr;
    }
    UpdateROIProperty(property, slot);
    reprocess();
}

void TARNImageProcessing2Src1Dest::reprocess() {
    if (lastImage0 != nullptr && lastImage1 != nullptr) Process(lastImage0, lastImage1);
}

void TARNImageProcessing2Src1Dest::Process(TARNIOElt* first, TARNIOElt* second) {
    if (operations == nullptr || selectedOperation < 0 || status != 0) return;
    if (flagOf("pSynchroReaders") && first->Timestamp() != second->Timestamp()) return;
    TARNTimer timer;
    timer.Start();

    _IplImage* header0 = first->IplImage();
    _IplImage* header1 = second->IplImage();
    if (header0 == nullptr || header1 == nullptr) {
        Report(header0 == nullptr ? "Incorrect input0 ROI" : "Incorrect input1 ROI", 1, 0);
        return;
    }
    _IplImage input0 = *header0;
    _IplImage input1 = *header1;
    if (input0ROI != nullptr) input0.roi = input0ROI;
    if (input1ROI != nullptr) input1.roi = input1ROI;
    const Definition* operation = &operations[selectedOperation];
    TARNOutput& output = Output("oImage");

    if (firstFrame) {
        _IplImage model = GetOutputModel(&input0, &input1, outputROI, operation);
        if (model.align < 1) Error("The output image model needs an align of at least 1.", 1, 0);
        model.roi = nullptr;
        output.AllocOutputBufferIplImage(model, false);
        // Only now: a model or an allocation that failed is tried again with the next pair.
        outputModel = model;
        firstFrame = false;
    }

    TARNIOElt* written = StartWriting(output);
    if (written == nullptr) return;
    TARNPendingOutputElement pending(*this, written);
    _IplImage* result = written->IplImage();
    if (result == nullptr) {
        Report("Output image buffers are not allocated", 1, 0);
        return;
    }
    TARNImageRegion::ShapeAsModel(*result, outputModel, outputROI);

    if (input0.roi != nullptr && !TARNImageRegion::Fits(*input0.roi, input0.width, input0.height)) {
        Report("Incorrect input0 ROI", 1, 0);
        return;
    }
    if (input1.roi != nullptr && !TARNImageRegion::Fits(*input1.roi, input1.width, input1.height)) {
        Report("Incorrect input1 ROI", 1, 0);
        return;
    }
    if (!TARNImageRegion::Fits(*result->roi, result->width, result->height)) {
        Report("Incorrect output ROI", 1, 0);
        return;
    }
    parameters.timestamp0 = first->Timestamp();
    parameters.timestamp1 = second->Timestamp();
    parameters.timeOfIssue0 = first->TimeOfIssue();
    parameters.timeOfIssue1 = second->TimeOfIssue();

    const bool crop = flagOf("pCrop");
    const bool clearInside = flagOf("pClearOutputImagesInsideROI");
    const bool clearOutside = flagOf("pClearOutputImagesOutOfROI");
    if (crop) TARNImageRegion::Crop(*result);
    if (clearInside) TARNImageRegion::ClearInside(*result);
    const bool succeeded = ApplyOperation(&input0, &input1, result, operation, &parameters);
    if (clearOutside && result->roi != nullptr && TARNImageRegion::Fits(*result->roi, result->width, result->height))
        TARNImageRegion::ClearOutside(*result);
    if (crop && result->roi != nullptr) {
        result->width = result->roi->xOffset + result->roi->width;
        result->height = result->roi->yOffset + result->roi->height;
    }

    timer.Stop();
    if (succeeded) {
        written->Timestamp() = std::max(first->Timestamp(), second->Timestamp());
        DirectSet(Property("rProcessingTime"), timer.Time());
        pending.Finish(false);
    } else {
        DirectSet(Property("rProcessingTime"), -1L);
        pending.Finish(true);
    }
}

_IplImage TARNImageProcessing2Src1Dest::GetOutputModel(const _IplImage* input0, const _IplImage* input1,
                                                       const _IplROI* region, const Definition* operation) {
    long width = std::min(input0->width, input1->width);
    long height = std::min(input0->height, input1->height);
    if (flagOf("pSpecifyDestinationSize")) TARNImageOperation::DestinationSize(*this, region, width, height);
    char sequence[5] = {};
    if (operation != nullptr && operation->outputChannelSequence != nullptr) {
        std::strncpy(sequence, operation->outputChannelSequence, 4);
    } else {
        if (std::memcmp(input0->channelSeq, input1->channelSeq, 4) != 0)
            Report("Input0 and Input1 images color model or channel sequence are different : Input0 model will be "
                   "used",
                   1, 0);
        std::memcpy(sequence, input0->channelSeq, 4);
    }
    return TARNImageOperation::OutputModel(*this, width, height, sequence);
}
