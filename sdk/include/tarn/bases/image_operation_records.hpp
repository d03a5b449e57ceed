// The records an image-processing component and its operations share: the table entry that
// declares one operation, and the parameter block handed to the operation with each image.
#pragma once

#include <cstddef>

// A click point, in image coordinates.
struct TARNPoint2D {
    double x;
    double y;
};

// One operation a one-source image-processing component offers. The table a derived
// class returns ends with the first record whose name is null.
struct TARNImageProcessing1Src1DestDefinition {
    // The derived class's own identifier; the base class never reads it.
    unsigned long identifier;
    // Matched against "pOperation" without regard to the case of a to z.
    const char* name;
    int nbIntegerParameters;
    int nbDoubleParameters;
    // "GRAY", "BGR", "BGRA", ...; null: the input image's own channel sequence.
    const char* outputChannelSequence;
    // Parameters are accepted only while an input region of interest is set.
    bool needsROI;
    // The number of click points the operation uses.
    int nbClicks;
};

// The two-source form: the same fields; its needs-ROI flag asks for both input regions.
struct TARNImageProcessing2Src1DestDefinition {
    unsigned long identifier;
    const char* name;
    int nbIntegerParameters;
    int nbDoubleParameters;
    const char* outputChannelSequence;
    bool needsROI;
    int nbClicks;
};

// What the operation receives with each image (one source).
struct TARNImageProcessing1Src1DestParameters {
    int* integers;
    int nbIntegers;
    double* doubles;
    int nbDoubles;
    TARNPoint2D* clicks;
    int nbClicks;
    // Of the input element being processed.
    long timestamp;
    long timeOfIssue;
};

// What the operation receives with each pair of images.
struct TARNImageProcessing2Src1DestParameters {
    int* integers;
    int nbIntegers;
    double* doubles;
    int nbDoubles;
    TARNPoint2D* clicks;
    int nbClicks;
    long timestamp0;
    long timestamp1;
    long timeOfIssue0;
    long timeOfIssue1;
};

// Derived classes of other packages fill these tables and read these blocks by layout.
static_assert(sizeof(TARNPoint2D) == 16);
static_assert(sizeof(TARNImageProcessing1Src1DestDefinition) == 40);
static_assert(offsetof(TARNImageProcessing1Src1DestDefinition, name) == 8);
static_assert(offsetof(TARNImageProcessing1Src1DestDefinition, nbIntegerParameters) == 16);
static_assert(offsetof(TARNImageProcessing1Src1DestDefinition, nbDoubleParameters) == 20);
static_assert(offsetof(TARNImageProcessing1Src1DestDefinition, outputChannelSequence) == 24);
static_assert(offsetof(TARNImageProcessing1Src1DestDefinition, needsROI) == 32);
static_assert(offsetof(TARNImageProcessing1Src1DestDefinition, nbClicks) == 36);
static_assert(sizeof(TARNImageProcessing2Src1DestDefinition) == sizeof(TARNImageProcessing1Src1DestDefinition));
static_assert(offsetof(TARNImageProcessing2Src1DestDefinition, nbClicks) == 36);
static_assert(sizeof(TARNImageProcessing1Src1DestParameters) == 64);
static_assert(offsetof(TARNImageProcessing1Src1DestParameters, doubles) == 16);
static_assert(offsetof(TARNImageProcessing1Src1DestParameters, clicks) == 32);
static_assert(offsetof(TARNImageProcessing1Src1DestParameters, timestamp) == 48);
static_assert(offsetof(TARNImageProcessing1Src1DestParameters, timeOfIssue) == 56);
static_assert(sizeof(TARNImageProcessing2Src1DestParameters) == 80);
static_assert(offsetof(TARNImageProcessing2Src1DestParameters, timestamp0) == 48);
static_assert(offsetof(TARNImageProcessing2Src1DestParameters, timeOfIssue1) == 72);
