// Photos into grey values: PNG through libpng, JPEG through libjpeg, each
// refused before anything the header claims is allocated when it is larger
// than the caller allows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velamanifold {

// A grey picture: width x height values in 0..1 (0 black), row after row
// from the top row, each row left to right.
struct GreyImage {
  int width = 0;
  int height = 0;
  std::vector<float> grey;
  bool Empty() const { return width <= 0 || height <= 0; }
};

// Returns the grey picture of a PNG or JPEG file (told apart by their
// signatures): colour becomes grey by luma (0.299 red + 0.587 green + 0.114
// blue), transparency is laid over white, 16-bit samples keep their
// precision, interlaced PNGs and EXIF orientations of JPEGs are undone.
// Empty, with the reason in `error`, for any other file, a header of more
// than `maxPixels` pixels or a side over 65,535, and truncated or corrupt data.
GreyImage DecodeImage(const uint8_t* data, size_t size, int64_t maxPixels, std::string* error);

// Returns the EXIF orientation (1 to 8) of the APP1 marker payload of a
// JPEG ("Exif\0\0" and a TIFF header), or 1 when it has none or is malformed.
int ExifOrientation(const uint8_t* data, size_t size);

// Returns the picture turned and mirrored as EXIF orientation `orientation`
// asks, so that it shows upright; orientations other than 2 to 8 leave it.
GreyImage Orient(GreyImage image, int orientation);

}  // namespace velamanifold
