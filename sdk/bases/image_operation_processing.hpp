// The running steps the one-source and two-source image-processing bases share: Birth,
// the reading pass Core with its image, point and region arrivals, re-processing the last
// images, and turning one set of images (one image, or one pair) into one output image.
// Each base hands over its TARNImageOperationInputs table; the output model and the
// operation remain its own virtual operations, and each parameter block has its own Stamp.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

#include "bases/image_operation_selection.hpp"
#include "bases/image_region_operations.hpp"
#include "bases/pending_output_element.hpp"
#include "tarn/bases/image_operation_inputs.hpp"
#include "tarn/bases/image_operation_records.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/dataflow/io_element.hpp"
#include "tarn/dataflow/output.hpp"
#include "tarn/engine/timer.hpp"
#include "tarn/runtime/ipl_image.hpp"
#include "tarn/runtime/streamed_string.hpp"

namespace TARNImageOperation {

// A region from an integer vector of an I/O element: x, y, width, height [, coi]. False
// (the region to be removed) for fewer than four values.
template <class Element>
bool RegionFromVector(Element& element, _IplROI& region) {
    const int count = element.VectorSize();
    if (count <= 3) return false;
    region = {count > 4 ? *element.Integer32(4) : 0, *element.Integer32(0), *element.Integer32(1),
              *element.Integer32(2), *element.Integer32(3)};
    return true;
}

// Counts one image skipped because a newer one waits, reporting the 1st, 10th, 20th ...
template <class Component>
void CountSkippedFrame(Component& c) {
    ++c.skippedFrames;
    if (c.skippedFrames != 1 && c.skippedFrames % 10 != 0) return;
    TARNStreamedString message;
    message << c.skippedFrames << " frames skipped by the Last Or Next Reader";
    c.Report(message.c_str(), 1, 0);
}

// A point that arrived on "iPoint" joins the clicks: a full list first drops its oldest
// point. True when the operation should run again: its clicks are complete, or it takes
// none. An element with fewer than two values is refused: reading x and y would read past
// what it carries. The caller holds the processing mutex.
template <class Component, class Element>
bool AddClickPoint(Component& c, Element& element) {
    if (element.VectorSize() < 2) {
        c.Report("Invalid point: x and y expected", 1, 0);
        return false;
    }
    const int wanted = c.operations[c.selectedOperation].nbClicks;
    if (wanted <= 0) return true;
    if (c.parameters.clicks == nullptr) {
        c.parameters.clicks = new TARNPoint2D[wanted]();
        c.parameters.nbClicks = 0;
    }
    if (c.parameters.nbClicks >= wanted) {
        std::memmove(c.parameters.clicks, c.parameters.clicks + 1,
                     sizeof(TARNPoint2D) * static_cast<std::size_t>(wanted - 1));
        c.parameters.nbClicks = wanted - 1;
    }
    c.parameters.clicks[c.parameters.nbClicks] = {static_cast<double>(*element.Integer32(0)),
                                                  static_cast<double>(*element.Integer32(1))};
    ++c.parameters.nbClicks;
    c.UpdateClickProperty(c.Property("pClicks"), c.parameters.clicks, c.parameters.nbClicks);
    return c.parameters.nbClicks == wanted;
}

// What the operation learns of the elements it gets: their timestamps and times of issue.
inline void Stamp(TARNImageProcessing1Src1DestParameters& parameters, TARNIOElt* const (&elements)[1]) {
    parameters.timestamp = elements[0]->Timestamp();
    parameters.timeOfIssue = elements[0]->TimeOfIssue();
}

inline void Stamp(TARNImageProcessing2Src1DestParameters& parameters, TARNIOElt* const (&elements)[2]) {
    parameters.timestamp0 = elements[0]->Timestamp();
    parameters.timestamp1 = elements[1]->Timestamp();
    parameters.timeOfIssue0 = elements[0]->TimeOfIssue();
    parameters.timeOfIssue1 = elements[1]->TimeOfIssue();
}

// A table, a selected operation, and no parameters it still waits for.
template <class Component>
bool Ready(const Component& c) {
    return c.operations != nullptr && c.selectedOperation >= 0 && c.status == 0;
}

// The first frame of a run fixes the model of the output images and allocates the output
// buffers from it: later changes of the input size, the output region or
// "pSpecifyDestinationSize" keep them until the next Birth.
template <class Component>
void AllocateOutput(Component& c, TARNOutput& output, _IplImage model) {
    if (model.align < 1) c.Error("The output image model needs an align of at least 1.", 1, 0);
    model.roi = nullptr;
    output.AllocOutputBufferIplImage(model, false);
    // Only now: a model or an allocation that failed is tried again with the next image.
    c.outputModel = model;
    c.firstFrame = false;
}

// One output image from `elements`, one for each image input, in the order the operation
// takes them. The caller holds the processing mutex and has found the base Ready.
template <class Component, std::size_t Regions, std::size_t Images, std::size_t... Each>
void Process(Component& c, const TARNImageOperationInputs<Component, Regions, Images>& inputs,
             TARNIOElt* const (&elements)[Images], std::index_sequence<Each...>) {
    TARNTimer timer;
    timer.Start();

    const _IplImage* headers[Images] = {elements[Each]->IplImage()...};
    _IplImage images[Images];
    for (std::size_t i = 0; i < Images; ++i) {
        if (headers[i] == nullptr) {
            c.Report(inputs.images[i].incorrectRegion, 1, 0);
            return;
        }
        // A copy carries the input's region: the element itself is not changed.
        images[i] = *headers[i];
        if (_IplROI* region = c.*inputs.images[i].region; region != nullptr) images[i].roi = region;
    }
    const auto* operation = &c.operations[c.selectedOperation];
    TARNOutput& output = c.Output("oImage");
    if (c.firstFrame) AllocateOutput(c, output, c.GetOutputModel(&images[Each]..., c.outputROI, operation));

    TARNIOElt* written = c.StartWriting(output);
    // Null only when the writer's wait was aborted from outside: nothing to write into.
    if (written == nullptr) return;
    TARNPendingOutputElement pending(c, written);
    _IplImage* result = written->IplImage();
    if (result == nullptr) {
        c.Report("Output image buffers are not allocated", 1, 0);
        return;
    }
    TARNImageRegion::ShapeAsModel(*result, c.outputModel, c.outputROI);

    for (std::size_t i = 0; i < Images; ++i) {
        if (images[i].roi != nullptr &&
            !TARNImageRegion::Fits(*images[i].roi, images[i].width, images[i].height)) {
            c.Report(inputs.images[i].incorrectRegion, 1, 0);
            return;
        }
    }
    if (!TARNImageRegion::Fits(*result->roi, result->width, result->height)) {
        c.Report("Incorrect output ROI", 1, 0);
        return;
    }
    Stamp(c.parameters, elements);

    const bool crop = FlagOf(c, "pCrop");
    const bool clearInside = FlagOf(c, "pClearOutputImagesInsideROI");
    const bool clearOutside = FlagOf(c, "pClearOutputImagesOutOfROI");
    if (crop) TARNImageRegion::Crop(*result);
    if (clearInside) TARNImageRegion::ClearInside(*result);
    const bool succeeded = c.ApplyOperation(&images[Each]..., result, operation, &c.parameters);
    // The operation may have moved the region: clear only what still lies in the image.
    if (clearOutside && result->roi != nullptr &&
        TARNImageRegion::Fits(*result->roi, result->width, result->height))
        TARNImageRegion::ClearOutside(*result);
    if (crop && result->roi != nullptr) {
        result->width = result->roi->xOffset + result->roi->width;
        result->height = result->roi->yOffset + result->roi->height;
    }

    timer.Stop();
    if (succeeded) {
        // The latest of the inputs' timestamps.
        written->Timestamp() = std::max({elements[Each]->Timestamp()...});
        c.DirectSet(c.Property("rProcessingTime"), timer.Time());
        pending.Finish(false);
    } else {
        c.DirectSet(c.Property("rProcessingTime"), -1L);
        pending.Finish(true);
    }
}

template <class Component, std::size_t Regions, std::size_t Images>
void Process(Component& c, const TARNImageOperationInputs<Component, Regions, Images>& inputs,
             TARNIOElt* const (&elements)[Images]) {
    Process(c, inputs, elements, std::make_index_sequence<Images>{});
}

// Processes the last images once more, when every image input holds one. The caller holds
// the processing mutex.
template <class Component, std::size_t Regions, std::size_t Images, std::size_t... Each>
void Reprocess(Component& c, const TARNImageOperationInputs<Component, Regions, Images>& inputs,
               std::index_sequence<Each...>) {
    if (((c.*inputs.images[Each].last != nullptr) && ...)) c.Process(c.*inputs.images[Each].last...);
}

template <class Component, std::size_t Regions, std::size_t Images>
void Reprocess(Component& c, const TARNImageOperationInputs<Component, Regions, Images>& inputs) {
    Reprocess(c, inputs, std::make_index_sequence<Images>{});
}

// A new run: no last image, the re-process event reset, the inputs looked up by name into
// the reading array in their reading order, no image skipped yet.
template <class Component, std::size_t Regions, std::size_t Images>
void Birth(Component& c, const TARNImageOperationInputs<Component, Regions, Images>& inputs) {
    using Inputs = TARNImageOperationInputs<Component, Regions, Images>;
    static_assert(std::extent_v<decltype(c.readingInputs)> == Inputs::Count);
    c.firstFrame = true;
    for (const auto& image : inputs.images) c.*image.last = nullptr;
    c.reprocessEvent.Reset();
    c.readingInputs[Inputs::PointPosition] = &c.Input("iPoint");
    for (std::size_t i = 0; i < Regions; ++i)
        c.readingInputs[Inputs::FirstRegionPosition + i] = &c.Input(inputs.regions[i].input);
    for (std::size_t i = 0; i < Images; ++i)
        c.readingInputs[Inputs::FirstImagePosition + i] = &c.Input(inputs.images[i].input);
    c.readingEvents[0] = &c.reprocessEvent;
    c.skippedFrames = 0;
}

// An image read at reading position `position`.
template <class Component, std::size_t Regions, std::size_t Images>
void ImageArrived(Component& c, const TARNImageOperationInputs<Component, Regions, Images>& inputs,
                  TARNIOElt* element, int position) {
    using Inputs = TARNImageOperationInputs<Component, Regions, Images>;
    TARNIOElt*& last = c.*inputs.images[position - Inputs::FirstImagePosition].last;
    if (FlagOf(c, "pLastOrNextReader") && c.DataAvailableInFIFO(*c.readingInputs[position])) {
        CountSkippedFrame(c);
        // Reading this element gave back the one held before: the last image is now the
        // one the input holds, kept for re-processing without being processed.
        TARNMutexGuard guard(c.processingMutex);
        last = element;
        return;
    }
    TARNMutexGuard guard(c.processingMutex);
    last = element;
    // Reset before processing: a change made while the operation runs sets it again and
    // is re-applied by the next pass.
    c.reprocessEvent.Reset();
    Reprocess(c, inputs);
}

// A click point: complete clicks, or an operation that takes none, re-process.
template <class Component, std::size_t Regions, std::size_t Images>
void PointArrived(Component& c, const TARNImageOperationInputs<Component, Regions, Images>& inputs,
                  TARNIOElt& element) {
    if (c.selectedOperation < 0) return;
    TARNMutexGuard guard(c.processingMutex);
    if (AddClickPoint(c, element)) Reprocess(c, inputs);
}

// A region as a vector sets the region, or removes it when it has fewer than four values;
// its text property follows, and the last images are processed again.
template <class Component, std::size_t Regions, std::size_t Images>
void RegionArrived(Component& c, const TARNImageOperationInputs<Component, Regions, Images>& inputs,
                   TARNIOElt& element, const TARNImageRegionInput<Component>& input) {
    TARNMutexGuard guard(c.processingMutex);
    _IplROI*& slot = c.*input.region;
    TARNProperty& property = c.Property(input.property);
    _IplROI region;
    if (RegionFromVector(element, region)) {
        if (slot == nullptr) slot = new _IplROI;
        *slot = region;
    } else {
        delete slot;
        slot = nullptr;
    }
    c.UpdateROIProperty(property, slot);
    Reprocess(c, inputs);
}

// One pass: waits on every input and the re-process event, and handles what woke it.
template <class Component, std::size_t Regions, std::size_t Images>
void Core(Component& c, const TARNImageOperationInputs<Component, Regions, Images>& inputs) {
    using Inputs = TARNImageOperationInputs<Component, Regions, Images>;
    int position = -1;
    TARNIOElt* element = c.StartReading(Inputs::Count, c.readingInputs, &position, 1, c.readingEvents);
    if (element != nullptr) {
        if (position == Inputs::PointPosition)
            PointArrived(c, inputs, *element);
        else if (position >= Inputs::FirstRegionPosition && position < Inputs::FirstImagePosition)
            RegionArrived(c, inputs, *element, inputs.regions[position - Inputs::FirstRegionPosition]);
        else if (position >= Inputs::FirstImagePosition && position < Inputs::Count)
            ImageArrived(c, inputs, element, position);
        return;
    }
    TARNMutexGuard guard(c.processingMutex);
    if (position >= Inputs::Count) {
        // The re-process event.
        c.reprocessEvent.Reset();
        Reprocess(c, inputs);
    } else if (position >= Inputs::FirstImagePosition) {
        // The input gave back what it held (its connection is being rebuilt).
        c.*inputs.images[position - Inputs::FirstImagePosition].last = nullptr;
    }
}

}  // namespace TARNImageOperation
