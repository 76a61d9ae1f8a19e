#pragma once

#include "imaging/bitmap.h"
#include "imaging/image.h"
#include "imaging/rect.h"

namespace Tesselin {

// Halftoning methods: 0, 1 and unknown codes dither 4 x 4 with darkness curves; 2, 3 and 4
// use threshold matrices (Normal darkness only); 5 thresholds at a level set by darkness.
inline constexpr int kMethodThreshold = 5;

// Resamples the whole source into a box of region width x scale / 10 by region height x
// scale / 10 pixels, turned by `rotation` quarter turns (0..3), and halftones it into a bitmap
// whose origin is the region's top-left corner.
Bitmap downsample(const Image& source, const Rect& region, double scale, int rotation, int method,
                  int darkness);

}  // namespace Tesselin
