// The members the one-source and two-source image-processing bases both hold, under the
// names their derived classes read: the operation table and the selected operation, the
// parameter block with its staging arrays, the first-frame and table-pending flags, the
// output model, the re-process event and the processing mutex. Each base derives from its
// own instance, made of its own records, so the two classes still share no type and no
// table, and neither derives from the other. The steps the two bases share (selecting an
// operation, parsing its parameters, clicks and regions, processing an image) are written
// once, inside the SDK's library, over these members.
#pragma once

#include "tarn/engine/event.hpp"
#include "tarn/runtime/ipl_image.hpp"
#include "tarn/runtime/mutex.hpp"

template <class Definition, class Parameters>
struct TARNImageOperationState {
    // The derived class's table; null until the first Dynamic() fetched it.
    const Definition* operations = nullptr;
    Parameters parameters{};
    // Set by Birth; cleared once the output model is made and the buffers allocated.
    bool firstFrame = false;
    // The first Dynamic() fetches the table.
    bool tablePending = true;
    // -1: none.
    int selectedOperation = -1;
    // TARNImageOperation::NoValidOperation | WaitingForParameters; 0 is ready.
    unsigned int status = 1;
    int* stagingIntegers = nullptr;
    double* stagingDoubles = nullptr;
    TARNEvent reprocessEvent;
    // The events Core reads with its inputs: the re-process event alone.
    TARNEvent* readingEvents[1] = {};
    _IplImage outputModel{};
    // Serialises processing with the click, region and setting changes.
    TARNMutex processingMutex;
    // Images skipped since Birth, over every image input.
    unsigned int skippedFrames = 0;
};
