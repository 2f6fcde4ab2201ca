// PNG files of pictures.
#pragma once

#include <string>

#include "export/renderer.h"

namespace velamanifold {

// Returns the bytes of a PNG file (8-bit RGB) of the image. Throws
// std::runtime_error when the encoder refuses it (an empty image).
std::string ImageToPng(const RgbImage& image);

}  // namespace velamanifold
