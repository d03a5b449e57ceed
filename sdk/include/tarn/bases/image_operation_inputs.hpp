// How an image-processing base lays out what its inputs bring: for each region of
// interest, the text property and the vector input that set it and the member that holds
// it; for each image input, the member holding the last image read on it, the region of
// interest applied to its images and the warning that names it. Each base fills one such
// table of its own members; the shared templates read, parse and process through it.
#pragma once

#include <cstddef>

#include "tarn/runtime/ipl_image.hpp"

class TARNIOElt;

template <class Component>
struct TARNImageRegionInput {
    // The region as text, "pInputROI".
    const char* property;
    // The region as an integer vector, "iInputROI".
    const char* input;
    _IplROI* Component::*region;
};

template <class Component>
struct TARNImageInput {
    // "iImage".
    const char* input;
    // The element last read on it, which the input still holds.
    TARNIOElt* Component::*last;
    // The region of interest applied to its images; it is also one of the table's regions.
    _IplROI* Component::*region;
    // The warning for an element without an image, or a region outside its image.
    const char* incorrectRegion;
};

// The regions in the order "pOperation" and its siblings are re-applied, the output region
// last; the images in the order the operation takes them.
template <class Component, std::size_t Regions, std::size_t Images>
struct TARNImageOperationInputs {
    // Positions in the reading array of Core: "iPoint", then the regions' inputs in table
    // order, then the images' inputs; the re-process event comes after them all.
    static constexpr int PointPosition = 0;
    static constexpr int FirstRegionPosition = 1;
    static constexpr int FirstImagePosition = 1 + static_cast<int>(Regions);
    static constexpr int Count = FirstImagePosition + static_cast<int>(Images);

    TARNImageRegionInput<Component> regions[Regions];
    TARNImageInput<Component> images[Images];
};
