#include "import/image_decode.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

namespace velamanifold {

namespace {

// Sides beyond this are refused whatever their product.
constexpr int kMaxSide = 65535;
// Progressive JPEGs may split a picture into many scans; real ones have a
// dozen, corrupt ones can have millions that each cost a full pass.
constexpr int kMaxJpegScans = 1000;

float Luma(float r, float g, float b) { return 0.299f * r + 0.587f * g + 0.114f * b; }

bool SizeAllowed(uint64_t w, uint64_t h, int64_t maxPixels, const char* format,
                 std::string* error) {
  if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide ||
      w * h > static_cast<uint64_t>(maxPixels)) {
    if (error) {
      *error = std::string(format) + " of " + std::to_string(w) + " x " + std::to_string(h) +
               " pixels exceeds the limit of " + std::to_string(maxPixels) + " pixels";
    }
    return false;
  }
  return true;
}

// ---- PNG ----

struct PngSource {
  const uint8_t* data;
  size_t size;
  size_t at;
  char message[256];
};

[[noreturn]] void PngError(png_structp png, png_const_charp message) {
  auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
  std::snprintf(source->message, sizeof source->message, "%s", message);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngRead(png_structp png, png_bytep out, png_size_t length) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (length > source->size - source->at) png_error(png, "the file is truncated");
  std::memcpy(out, source->data + source->at, length);
  source->at += length;
}

// Writes the grey values of one decoded row (`channels` samples a pixel of
// `depth` bits, 16-bit samples big-endian) to `out`.
void PngRowToGrey(const uint8_t* row, int width, int channels, int depth, float* out) {
  const float scale = depth == 16 ? 1.0f / 65535.0f : 1.0f / 255.0f;
  for (int x = 0; x < width; ++x) {
    float s[4] = {0, 0, 0, 0};
    for (int c = 0; c < channels; ++c) {
      const size_t at = static_cast<size_t>(x) * channels + c;
      s[c] = depth == 16 ? static_cast<float>((row[2 * at] << 8) | row[2 * at + 1]) * scale
                         : static_cast<float>(row[at]) * scale;
    }
    float grey = channels >= 3 ? Luma(s[0], s[1], s[2]) : s[0];
    if (channels == 2 || channels == 4) {
      const float alpha = s[channels - 1];
      grey = grey * alpha + (1.0f - alpha);  // over white
    }
    out[x] = grey;
  }
}

GreyImage DecodePng(const uint8_t* data, size_t size, int64_t maxPixels, std::string* error) {
  GreyImage image;
  PngSource source{data, size, 0, {}};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, PngError, PngWarning);
  if (png == nullptr) return image;
  png_infop info = png_create_info_struct(png);
  std::vector<uint8_t> raw;
  std::vector<png_bytep> rows;
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    if (error) *error = std::string("PNG: ") + source.message;
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    return GreyImage{};
  }
  // The header's size is judged below, with a message of our own; text and
  // profile chunks (which may be compressed bombs of their own) stay small.
  png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
  png_set_chunk_cache_max(png, 256);
  png_set_chunk_malloc_max(png, 1 << 20);
  png_set_read_fn(png, &source, PngRead);
  png_read_info(png, info);
  png_uint_32 w = 0, h = 0;
  int depth = 0, colour = 0, interlace = 0;
  png_get_IHDR(png, info, &w, &h, &depth, &colour, &interlace, nullptr, nullptr);
  if (!SizeAllowed(w, h, maxPixels, "a PNG", error)) {
    png_destroy_read_struct(&png, &info, nullptr);
    return image;
  }
  if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const int channels = png_get_channels(png, info);
  const int outDepth = png_get_bit_depth(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info);
  image.width = static_cast<int>(w);
  image.height = static_cast<int>(h);
  image.grey.resize(static_cast<size_t>(w) * h);
  if (passes > 1) {
    // Interlaced pictures arrive in passes over the whole picture.
    raw.resize(rowBytes * h);
    rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = raw.data() + rowBytes * y;
    png_read_image(png, rows.data());
    for (png_uint_32 y = 0; y < h; ++y) {
      PngRowToGrey(rows[y], image.width, channels, outDepth, &image.grey[static_cast<size_t>(y) * w]);
    }
  } else {
    raw.resize(rowBytes);
    for (png_uint_32 y = 0; y < h; ++y) {
      png_read_row(png, raw.data(), nullptr);
      PngRowToGrey(raw.data(), image.width, channels, outDepth, &image.grey[static_cast<size_t>(y) * w]);
    }
  }
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return image;
}

// ---- JPEG ----

struct JpegError {
  jpeg_error_mgr manager;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JpegExit(j_common_ptr cinfo) {
  auto* e = reinterpret_cast<JpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, e->message);
  std::longjmp(e->jump, 1);
}

// Warnings are corrupt or truncated data that the library would paper over
// with grey: they end the decoding as errors do.
void JpegMessage(j_common_ptr cinfo, int level) {
  if (level < 0) JpegExit(cinfo);
}

void JpegProgress(j_common_ptr cinfo) {
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxJpegScans) {
    auto* e = reinterpret_cast<JpegError*>(cinfo->err);
    std::snprintf(e->message, sizeof e->message, "more than %d scans", kMaxJpegScans);
    std::longjmp(e->jump, 1);
  }
}

GreyImage DecodeJpeg(const uint8_t* data, size_t size, int64_t maxPixels, std::string* error) {
  GreyImage image;
  jpeg_decompress_struct cinfo{};
  JpegError e{};
  jpeg_progress_mgr progress{};
  std::vector<JSAMPLE> row;  // before setjmp: a jump must not skip its destructor
  cinfo.err = jpeg_std_error(&e.manager);
  e.manager.error_exit = JpegExit;
  e.manager.emit_message = JpegMessage;
  if (setjmp(e.jump)) {
    if (error) *error = std::string("JPEG: ") + e.message;
    jpeg_destroy_decompress(&cinfo);
    return GreyImage{};
  }
  jpeg_create_decompress(&cinfo);
  progress.progress_monitor = JpegProgress;
  cinfo.progress = &progress;
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);
  if (!SizeAllowed(cinfo.image_width, cinfo.image_height, maxPixels, "a JPEG", error)) {
    jpeg_destroy_decompress(&cinfo);
    return image;
  }
  if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
    if (error) *error = "JPEG: CMYK pictures are not supported";
    jpeg_destroy_decompress(&cinfo);
    return image;
  }
  int orientation = 1;
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
    if (m->marker == JPEG_APP0 + 1) {
      orientation = ExifOrientation(m->data, m->data_length);
      if (orientation != 1) break;
    }
  }
  // The library's own conversion to grey keeps the luma channel, which is
  // the same weighting of red, green and blue as the PNG path.
  cinfo.out_color_space = JCS_GRAYSCALE;
  jpeg_start_decompress(&cinfo);
  image.width = static_cast<int>(cinfo.output_width);
  image.height = static_cast<int>(cinfo.output_height);
  image.grey.resize(static_cast<size_t>(image.width) * image.height);
  row.resize(static_cast<size_t>(image.width) * cinfo.output_components);
  while (cinfo.output_scanline < cinfo.output_height) {
    const size_t y = cinfo.output_scanline;
    JSAMPROW rows[1] = {row.data()};
    if (jpeg_read_scanlines(&cinfo, rows, 1) != 1) break;
    float* out = &image.grey[y * image.width];
    for (int x = 0; x < image.width; ++x) out[x] = static_cast<float>(row[x]) * (1.0f / 255.0f);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return Orient(std::move(image), orientation);
}

}  // namespace

int ExifOrientation(const uint8_t* data, size_t size) {
  if (size < 14 || std::memcmp(data, "Exif\0\0", 6) != 0) return 1;
  const uint8_t* tiff = data + 6;
  const size_t n = size - 6;
  const bool little = tiff[0] == 'I' && tiff[1] == 'I';
  if (!little && !(tiff[0] == 'M' && tiff[1] == 'M')) return 1;
  auto u16 = [&](size_t at) -> uint32_t {
    return little ? tiff[at] | (tiff[at + 1] << 8) : (tiff[at] << 8) | tiff[at + 1];
  };
  auto u32 = [&](size_t at) -> uint32_t {
    return little ? u16(at) | (u16(at + 2) << 16) : (u16(at) << 16) | u16(at + 2);
  };
  const uint32_t ifd = u32(4);
  if (ifd > n || n - ifd < 2) return 1;
  const uint32_t entries = u16(ifd);
  for (uint32_t i = 0; i < entries; ++i) {
    const size_t at = ifd + 2 + static_cast<size_t>(i) * 12;
    if (at + 12 > n) return 1;
    if (u16(at) == 0x0112 && u16(at + 2) == 3) {
      const uint32_t value = u16(at + 8);
      return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
    }
  }
  return 1;
}

GreyImage Orient(GreyImage image, int orientation) {
  if (orientation < 2 || orientation > 8 || image.Empty()) return image;
  const int w = image.width, h = image.height;
  const bool swaps = orientation >= 5;
  GreyImage out;
  out.width = swaps ? h : w;
  out.height = swaps ? w : h;
  out.grey.resize(image.grey.size());
  for (int oy = 0; oy < out.height; ++oy) {
    for (int ox = 0; ox < out.width; ++ox) {
      int x = ox, y = oy;
      switch (orientation) {
        case 2: x = w - 1 - ox; break;
        case 3: x = w - 1 - ox; y = h - 1 - oy; break;
        case 4: y = h - 1 - oy; break;
        case 5: x = oy; y = ox; break;
        case 6: x = oy; y = h - 1 - ox; break;
        case 7: x = w - 1 - oy; y = h - 1 - ox; break;
        case 8: x = w - 1 - oy; y = ox; break;
      }
      out.grey[static_cast<size_t>(oy) * out.width + ox] = image.grey[static_cast<size_t>(y) * w + x];
    }
  }
  return out;
}

GreyImage DecodeImage(const uint8_t* data, size_t size, int64_t maxPixels, std::string* error) {
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size >= 8 && std::memcmp(data, kPng, 8) == 0) return DecodePng(data, size, maxPixels, error);
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
    return DecodeJpeg(data, size, maxPixels, error);
  }
  if (error) *error = "neither a PNG nor a JPEG file";
  return GreyImage{};
}

}  // namespace velamanifold
