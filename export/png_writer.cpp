#include "export/png_writer.h"

#include <png.h>

#include <stdexcept>

namespace velamanifold {

std::string ImageToPng(const RgbImage& image) {
  png_image header{};
  header.version = PNG_IMAGE_VERSION;
  header.width = static_cast<png_uint_32>(image.width);
  header.height = static_cast<png_uint_32>(image.height);
  header.format = PNG_FORMAT_RGB;
  // Pictures of parts are mostly flat areas that compress well at the fast
  // setting; the default one took longer than drawing a million triangles.
  header.flags = PNG_IMAGE_FLAG_FAST;
  const png_int_32 rowBytes = image.width * 3;
  // The first call only measures, the second writes into a buffer of that size.
  png_alloc_size_t size = 0;
  if (image.width > 0 && image.height > 0 &&
      png_image_write_to_memory(&header, nullptr, &size, 0, image.pixels.data(), rowBytes,
                                nullptr)) {
    std::string bytes(size, '\0');
    if (png_image_write_to_memory(&header, bytes.data(), &size, 0, image.pixels.data(), rowBytes,
                                  nullptr)) {
      bytes.resize(size);
      return bytes;
    }
  }
  std::string message = "PNG encoder: ";
  message += header.message[0] ? header.message : "empty image";
  png_image_free(&header);
  throw std::runtime_error(message);
}

}  // namespace velamanifold
