// What the image-processing bases do to an output image around its region of interest:
// test a region against an image, crop the image to its region, and clear the inside or
// the outside of the region. All work on the IPL header and the pixels it points at.
#pragma once

#include "tarn/runtime/ipl_image.hpp"

namespace TARNImageRegion {

// x >= 0, y >= 0, width >= 1, height >= 1, and the region ends inside a width x height
// image (the sums are computed without overflow).
bool Fits(const _IplROI& region, int width, int height);

// Bits of one pixel: channels x depth, the sign flag of signed depths left out.
long PixelBits(const _IplImage& image);

// Gives an output element's image the model's size and row step, and its region slot (the
// one every IPL element buffer carries right after its header) the given region, or the
// whole image when there is none.
void ShapeAsModel(_IplImage& image, const _IplImage& model, const _IplROI* region);

// The region moves to the image's corner and the image shrinks to it: width and height
// become the region's, widthStep the region's row in bytes aligned up to the header's
// align (an align below 1 counts as 1: there is nothing to align to). Needs a region.
void Crop(_IplImage& image);
// Zeroes the region's bytes, row by row. Needs a region that Fits the image.
void ClearInside(_IplImage& image);
// Zeroes every byte of the rows (up to widthStep) outside the region. Needs a region
// that Fits the image.
void ClearOutside(_IplImage& image);

}  // namespace TARNImageRegion
