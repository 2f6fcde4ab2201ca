// Reliefs from picture attachments: the PNG or JPEG an object's
// "attachmentVid" names, decoded, shrunk to the relief's resolution and
// toned into the grey values the relief kernels take.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "import/grey_resample.h"

namespace velamanifold {

using json = nlohmann::json;

// Default size of a relief pixel (millimetres) and most pixels of a relief.
inline constexpr double kDefaultReliefPixelSize = 0.2;
inline constexpr int64_t kDefaultReliefMaxPixels = 1000000;

// One relief's grey values: w x h bytes, row after row from the top row.
struct ReliefMap {
  std::vector<uint8_t> grey;
  int w = 0;
  int h = 0;
  std::string error;  // why the picture was refused; empty when it was not
};

// Returns the attachment record an object's "attachmentVid" names when its
// "filetype" is "image/png" or "image/jpeg", or null.
const json* FindImageAttachment(const json& document, const json& object);

// Returns the tone an object's "invert", "contrast" and "gamma" ask for.
GreyTone ReadTone(const json& object);

// Returns the grey values of the picture an object names for a relief of
// spanX x spanY millimetres: decoded, shrunk by the area filter to its
// "pixelSize" and "maxPixels" and toned; empty (with the decoder's reason)
// when there is no such picture or it is refused.
ReliefMap ImageReliefMap(const json& document, const json& object, double spanX, double spanY);

}  // namespace velamanifold
