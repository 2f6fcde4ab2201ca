// Writes a photo-like JPEG (RGB, quality 90: soft gradients, discs and a
// little grain, so that it compresses as a phone photo does) for the
// lithophane benchmark.
//   tarvo_bench_make_photo OUT.jpg [WIDTH HEIGHT]
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: tarvo_bench_make_photo OUT.jpg [WIDTH HEIGHT]\n");
    return 2;
  }
  const int w = argc == 4 ? std::atoi(argv[2]) : 4000;
  const int h = argc == 4 ? std::atoi(argv[3]) : 3000;
  FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 1;
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, out);
  cinfo.image_width = w;
  cinfo.image_height = h;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 90, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
  uint32_t grain = 12345;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double u = static_cast<double>(x) / w, v = static_cast<double>(y) / h;
      double g = 0.35 + 0.4 * u * (1 - v) + 0.15 * std::sin(9 * u) * std::cos(7 * v);
      if ((u - 0.6) * (u - 0.6) + (v - 0.4) * (v - 0.4) < 0.04) g = 0.85 - 0.3 * v;
      if ((u - 0.25) * (u - 0.25) + (v - 0.7) * (v - 0.7) < 0.02) g = 0.15 + 0.2 * u;
      grain = grain * 1664525u + 1013904223u;
      g += ((grain >> 24) - 128) / 128.0 * 0.03;
      const double c[3] = {g * 1.05, g, g * 0.9};
      for (int k = 0; k < 3; ++k) {
        row[3 * x + k] = static_cast<uint8_t>(std::lround(255 * std::fmin(1.0, std::fmax(0.0, c[k]))));
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::fclose(out);
  return 0;
}
