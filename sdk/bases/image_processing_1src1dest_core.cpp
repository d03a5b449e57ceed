// The one-source image-processing base at work: Birth, the reading pass Core, the
// processing of one image and the base output model.
#include <cstring>

#include "bases/image_operation_selection.hpp"
#include "bases/pending_output_element.hpp"
#include "bases/image_processing_1src1dest.hpp"
#include "bases/image_region_operations.hpp"
#include "dataflow/io_element.hpp"
#include "dataflow/output.hpp"
#include "engine/timer.hpp"
#include "runtime/streamed_string.hpp"

void TARNImageProcessing1Src1Dest::Birth() {
    firstFrame = true;
    lastImage = nullptr;
    reprocessEvent.Reset();
    readingInputs[PointIndex] = &Input("iPoint");
    readingInputs[InputROIIndex] = &Input("iInputROI");
    readingInputs[OutputROIIndex] = &Input("iOutputROI");
    readingInputs[ImageIndex] = &Input("iImage");
    readingEvents[0] = &reprocessEvent;
    skippedFrames = 0;
}

void TARNImageProcessing1Src1Dest::Death() {}

void TARNImageProcessing1Src1Dest::Core() {
    int index = -1;
    TARNIOElt* element = StartReading(4, readingInputs, &index, 1, readingEvents);
    if (element != nullptr) {
        switch (index) {
            case ImageIndex: imageArrived(element); break;
            case PointIndex: pointArrived(element); break;
            case InputROIIndex: regionArrived(element, false); break;
            case OutputROIIndex: regionArrived(element, true); break;
            default: break;
        }
        return;
    }
    TARNMutexGuard guard(processingMutex);
    if (index > ImageIndex) {
        reprocessEvent.Reset();
        reprocess();
    } else if (index == ImageIndex) {
        // The input gave back what it held (its connection is being rebuilt).
        lastImage = nullptr;
    }
}

void TARNImageProcessing1Src1Dest::imageArrived(TARNIOElt* element) {
    if (flagOf("pLastOrNextReader") && DataAvailableInFIFO(*readingInputs[ImageIndex])) {
        TARNImageOperation::CountSkippedFrame(*this);
        // Reading this element gave back the one held before: the last image is now the
        // one the input holds, kept for re-processing without being processed.
        TARNMutexGuard guard(processingMutex);
        lastImage = element;
        return;
    }
    TARNMutexGuard guard(processingMutex);
    lastImage = element;
    // Reset before processing: a change made while the operation runs sets it again and
    // is re-applied by the next pass.
    reprocessEvent.Reset();
    Process(element);
}

void TARNImageProcessing1Src1Dest::pointArrived(TARNIOElt* element) {
    if (selectedOperation < 0) return;
    TARNMutexGuard guard(processingMutex);
    if (TARNImageOperation::AddClickPoint(*this, *element)) reprocess();
}

void TARNImageProcessing1Src1Dest::regionArrived(TARNIOElt* element, bool output) {
    TARNMutexGuard guard(processingMutex);
    _IplROI*& slot = output ? outputROI : inputROI;
    TARNProperty& property = Property(output ? "pOutputROI" : "pInputROI");
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

void TARNImageProcessing1Src1Dest::reprocess() {
    if (lastImage != nullptr) Process(lastImage);
}

void TARNImageProcessing1Src1Dest::Process(TARNIOElt* element) {
    if (operations == nullptr || selectedOperation < 0 || status != 0) return;
    TARNTimer timer;
    timer.Start();

    _IplImage* header = element->IplImage();
    if (header == nullptr) {
        Report("Incorrect input ROI", 1, 0);
        return;
    }
    _IplImage input = *header;
    if (inputROI != nullptr) input.roi = inputROI;
    const Definition* operation = &operations[selectedOperation];
    TARNOutput& output = Output("oImage");

    if (firstFrame) {
        _IplImage model = GetOutputModel(&input, outputROI, operation);
        if (model.align < 1) Error("The output image model needs an align of at least 1.", 1, 0);
        model.roi = nullptr;
        output.AllocOutputBufferIplImage(model, false);
        // Only now: a model or an allocation that failed is tried again with the next image.
        outputModel = model;
        firstFrame = false;
    }

    TARNIOElt* written = StartWriting(output);
    // Null only when the writer's wait was aborted from outside: nothing to write into.
    if (written == nullptr) return;
    TARNPendingOutputElement pending(*this, written);
    _IplImage* result = written->IplImage();
    if (result == nullptr) {
        Report("Output image buffers are not allocated", 1, 0);
        return;
    }
    TARNImageRegion::ShapeAsModel(*result, outputModel, outputROI);

    if (input.roi != nullptr && !TARNImageRegion::Fits(*input.roi, input.width, input.height)) {
        Report("Incorrect input ROI", 1, 0);
        return;
    }
    if (!TARNImageRegion::Fits(*result->roi, result->width, result->height)) {
        Report("Incorrect output ROI", 1, 0);
        return;
    }
    parameters.timestamp = element->Timestamp();
    parameters.timeOfIssue = element->TimeOfIssue();

    const bool crop = flagOf("pCrop");
    const bool clearInside = flagOf("pClearOutputImagesInsideROI");
    const bool clearOutside = flagOf("pClearOutputImagesOutOfROI");
    if (crop) TARNImageRegion::Crop(*result);
    if (clearInside) TARNImageRegion::ClearInside(*result);
    const bool succeeded = ApplyOperation(&input, result, operation, &parameters);
    // The operation may have moved the region: clear only what still lies in the image.
    if (clearOutside && result->roi != nullptr && TARNImageRegion::Fits(*result->roi, result->width, result->height))
        TARNImageRegion::ClearOutside(*result);
    if (crop && result->roi != nullptr) {
        result->width = result->roi->xOffset + result->roi->width;
        result->height = result->roi->yOffset + result->roi->height;
    }

    timer.Stop();
    if (succeeded) {
        written->Timestamp() = element->Timestamp();
        DirectSet(Property("rProcessingTime"), timer.Time());
        pending.Finish(false);
    } else {
        DirectSet(Property("rProcessingTime"), -1L);
        pending.Finish(true);
    }
}

_IplImage TARNImageProcessing1Src1Dest::GetOutputModel(const _IplImage* input, const _IplROI* region,
                                                       const Definition* operation) {
    long width = input->width;
    long height = input->height;
    if (flagOf("pSpecifyDestinationSize")) TARNImageOperation::DestinationSize(*this, region, width, height);
    // The input's four characters need not end with a NUL.
    char sequence[5] = {};
    if (operation != nullptr && operation->outputChannelSequence != nullptr)
        std::strncpy(sequence, operation->outputChannelSequence, 4);
    else
        std::memcpy(sequence, input->channelSeq, 4);
    return TARNImageOperation::OutputModel(*this, width, height, sequence);
}
