// Grey pictures made ready for a relief: shrunk by an area filter, toned, and
// quantised to the 8-bit grey values the relief kernels take.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "import/image_decode.h"

namespace velamanifold {

// Returns the picture shrunk to width x height by an area filter: each new
// pixel is the mean of the old ones it covers, partly covered ones weighted
// by the part. A size not smaller than the picture's, or not positive,
// returns it unchanged.
GreyImage ResampleArea(const GreyImage& image, int width, int height);

// Returns the size (width, height) a w x h picture is shrunk to for a relief
// of spanX x spanY millimetres: no pixel smaller than pixelSize (when
// positive) and at most maxPixels in all, the aspect kept; never larger
// than the picture.
std::pair<int, int> ReliefResolution(int w, int h, double spanX, double spanY, double pixelSize,
                                     int64_t maxPixels);

// How grey values become heights, applied in this order.
struct GreyTone {
  double contrast = 1;  // (g - 0.5) x contrast + 0.5, clamped to 0..1
  double gamma = 1;     // then g to the power gamma
  bool invert = false;  // then 1 - g: dark becomes high
};

// Returns the grey values as bytes 0..255 (rounded), row after row, after
// the tone; non-finite tone values count as the defaults.
std::vector<uint8_t> ToneToBytes(const GreyImage& image, const GreyTone& tone);

}  // namespace velamanifold
