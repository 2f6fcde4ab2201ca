#include <gtest/gtest.h>

#include <jpeglib.h>
#include <png.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "cli/base64.h"
#include "import/grey_resample.h"
#include "import/image_decode.h"
#include "model/limits.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::Manifold;
using nlohmann::json;
using Bytes = std::vector<uint8_t>;

struct PngForm {
  int w, h, colour, depth;
  Bytes samples;  // rows of samples as libpng takes them (16-bit big-endian)
  bool interlaced = false;
  std::vector<png_color> palette = {};
  Bytes transparency = {};
};

void Append(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

// Returns a PNG file written by libpng.
Bytes WritePng(const PngForm& form) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, Append, nullptr);
  png_set_IHDR(png, info, form.w, form.h, form.depth, form.colour,
               form.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!form.palette.empty()) {
    png_set_PLTE(png, info, form.palette.data(), static_cast<int>(form.palette.size()));
  }
  if (!form.transparency.empty()) {
    png_set_tRNS(png, info, form.transparency.data(), static_cast<int>(form.transparency.size()),
                 nullptr);
  }
  png_write_info(png, info);
  const size_t rowBytes = form.samples.size() / form.h;
  std::vector<png_bytep> rows;
  for (int y = 0; y < form.h; ++y) rows.push_back(const_cast<uint8_t*>(&form.samples[y * rowBytes]));
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// Returns a JPEG file (quality 100) of grey (1 component) or RGB (3) samples,
// with an EXIF orientation marker when `orientation` is not 0.
Bytes WriteJpeg(int w, int h, int components, const Bytes& samples, int orientation = 0,
                bool progressive = false) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = w;
  cinfo.image_height = h;
  cinfo.input_components = components;
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 100, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  if (orientation != 0) {
    // "Exif\0\0", a little-endian TIFF header, one IFD entry: tag 0x0112, SHORT, 1, value.
    const uint8_t exif[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                            0x12, 0x01, 3, 0, 1, 0, 0, 0, static_cast<uint8_t>(orientation),
                            0, 0, 0, 0, 0, 0, 0};
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif, sizeof exif);
  }
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(&samples[cinfo.next_scanline * w * components]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  free(buffer);
  return out;
}

GreyImage Decode(const Bytes& file, std::string* error = nullptr) {
  return DecodeImage(file.data(), file.size(), kMaxImagePixels, error);
}

TEST(ImageDecode, EveryFormOfPngGivesItsGreyValues) {
  const png_color palette[] = {{255, 255, 255}, {255, 0, 0}, {0, 0, 255}};
  const struct {
    const char* name;
    PngForm form;
    std::vector<float> grey;
  } rows[] = {
      {"grey 8", {2, 1, PNG_COLOR_TYPE_GRAY, 8, {0, 200}}, {0, 200 / 255.0f}},
      {"grey 16", {2, 1, PNG_COLOR_TYPE_GRAY, 16, {0x80, 0x01, 0xFF, 0xFF}}, {0x8001 / 65535.0f, 1}},
      {"grey 1", {3, 1, PNG_COLOR_TYPE_GRAY, 1, {0b10100000}}, {1, 0, 1}},
      {"rgb 8", {2, 1, PNG_COLOR_TYPE_RGB, 8, {255, 0, 0, 0, 0, 255}}, {0.299f, 0.114f}},
      {"rgb 16",
       {1, 1, PNG_COLOR_TYPE_RGB, 16, {0, 0, 0xFF, 0xFF, 0, 0}},
       {0.587f}},
      {"grey alpha over white",
       {2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {0, 0, 0, 255}},
       {1, 0}},
      {"rgba half transparent black",
       {1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, {0, 0, 0, 51}},
       {1 - 51 / 255.0f}},
      {"palette with transparency",
       {3, 1, PNG_COLOR_TYPE_PALETTE, 8, {0, 1, 2}, false, {palette, palette + 3}, {255, 0}},
       {1, 1, 0.114f}},
      {"interlaced",
       {3, 3, PNG_COLOR_TYPE_GRAY, 8, {0, 10, 20, 30, 40, 50, 60, 70, 80}, true},
       {0, 10 / 255.0f, 20 / 255.0f, 30 / 255.0f, 40 / 255.0f, 50 / 255.0f, 60 / 255.0f,
        70 / 255.0f, 80 / 255.0f}},
  };
  for (const auto& row : rows) {
    std::string error;
    const GreyImage image = Decode(WritePng(row.form), &error);
    ASSERT_EQ(image.width, row.form.w) << row.name << ": " << error;
    ASSERT_EQ(image.height, row.form.h) << row.name;
    ASSERT_EQ(image.grey.size(), row.grey.size()) << row.name;
    for (size_t i = 0; i < row.grey.size(); ++i) {
      EXPECT_NEAR(image.grey[i], row.grey[i], 1e-6) << row.name << " pixel " << i;
    }
  }
}

TEST(ImageDecode, JpegsGiveTheirLumaAndStandUprightByTheirOrientation) {
  // Flat areas survive quality 100 within a grey level or two.
  const Bytes grey = WriteJpeg(16, 8, 1, Bytes(16 * 8, 100));
  GreyImage image = Decode(grey);
  ASSERT_EQ(image.width, 16);
  for (float g : image.grey) EXPECT_NEAR(g, 100 / 255.0f, 2 / 255.0f);
  Bytes red(16 * 16 * 3, 0);
  for (size_t i = 0; i < red.size(); i += 3) red[i] = 255;
  image = Decode(WriteJpeg(16, 16, 3, red, 0, true));
  ASSERT_EQ(image.height, 16);
  for (float g : image.grey) EXPECT_NEAR(g, 0.299f, 3 / 255.0f);
  // A 16 x 8 picture, white on its left half, stored turned: orientation 6
  // shows it 8 wide and 16 tall, the white half on top.
  Bytes half(16 * 8, 0);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) half[y * 16 + x] = 255;
  image = Decode(WriteJpeg(16, 8, 1, half, 6));
  ASSERT_EQ(image.width, 8);
  ASSERT_EQ(image.height, 16);
  EXPECT_GT(image.grey[2 * 8 + 4], 0.9f);
  EXPECT_LT(image.grey[13 * 8 + 4], 0.1f);
  // Every orientation against its definition on a 3 x 2 picture of distinct values.
  GreyImage small{3, 2, {0, 1, 2, 3, 4, 5}};
  const std::vector<float> shown[9] = {{}, {0, 1, 2, 3, 4, 5}, {2, 1, 0, 5, 4, 3}, {5, 4, 3, 2, 1, 0},
                                       {3, 4, 5, 0, 1, 2}, {0, 3, 1, 4, 2, 5}, {3, 0, 4, 1, 5, 2},
                                       {5, 2, 4, 1, 3, 0}, {2, 5, 1, 4, 0, 3}};
  for (int o = 1; o <= 8; ++o) EXPECT_EQ(Orient(small, o).grey, shown[o]) << "orientation " << o;
}

TEST(ImageDecode, HostileFilesAreRefusedWithAReason) {
  const Bytes good = WritePng({4, 4, PNG_COLOR_TYPE_GRAY, 8, Bytes(16, 7)});
  Bytes huge = good;  // IHDR width and height at bytes 16..23, CRC after them
  const uint8_t side[4] = {0x00, 0x01, 0x86, 0xA0};  // 100,000
  std::memcpy(&huge[16], side, 4);
  std::memcpy(&huge[20], side, 4);
  Bytes crc = good;
  crc[good.size() - 16] ^= 0x55;  // the CRC of the IDAT chunk, before the 12 bytes of IEND
  Bytes noise(64 * 64);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
  Bytes jpeg = WriteJpeg(64, 64, 1, noise);
  Bytes jpegHuge = jpeg;
  for (size_t i = 2; i + 9 < jpegHuge.size(); ++i) {
    if (jpegHuge[i] == 0xFF && jpegHuge[i + 1] == 0xC0) {  // SOF0: height, width at +5
      const uint8_t sides[4] = {0x4E, 0x20, 0x4E, 0x20};  // 20,000 x 20,000
      std::memcpy(&jpegHuge[i + 5], sides, 4);
      break;
    }
  }
  Bytes jpegGarbled = jpeg;  // an end-of-image marker amid the picture's data
  jpegGarbled[jpeg.size() * 4 / 5] = 0xFF;
  jpegGarbled[jpeg.size() * 4 / 5 + 1] = 0xD9;
  const struct {
    const char* name;
    Bytes file;
    const char* reason;
  } rows[] = {
      {"empty", {}, "neither a PNG nor a JPEG"},
      {"text", {'h', 'e', 'l', 'l', 'o'}, "neither a PNG nor a JPEG"},
      {"png header of 100,000 x 100,000", huge, "PNG"},
      {"png cut short", Bytes(good.begin(), good.begin() + good.size() / 2), "PNG"},
      {"png signature only", Bytes(good.begin(), good.begin() + 8), "PNG"},
      {"png CRC error", crc, "CRC"},
      {"jpeg header of 20,000 x 20,000", jpegHuge, "exceeds the limit"},
      {"jpeg cut short", Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2), "JPEG"},
      {"jpeg markers only", Bytes(jpeg.begin(), jpeg.begin() + 20), "JPEG"},
      {"jpeg garbled", jpegGarbled, "JPEG"},
  };
  for (const auto& row : rows) {
    std::string error;
    EXPECT_TRUE(Decode(row.file, &error).Empty()) << row.name;
    EXPECT_NE(error.find(row.reason), std::string::npos) << row.name << ": " << error;
  }
  // The pixel ceiling is the caller's.
  std::string error;
  EXPECT_TRUE(DecodeImage(good.data(), good.size(), 15, &error).Empty());
  EXPECT_NE(error.find("4 x 4 pixels exceeds the limit of 15"), std::string::npos) << error;
}

TEST(ImageDecode, AreaResamplingAveragesAndToneMapsAsDocumented) {
  GreyImage image{4, 2, {0, 1, 1, 1, 0, 0, 1, 0}};
  const GreyImage half = ResampleArea(image, 2, 1);
  EXPECT_EQ(half.grey, (std::vector<float>{0.25f, 0.75f}));
  const GreyImage third = ResampleArea(GreyImage{3, 1, {0, 0.3f, 0.9f}}, 2, 1);
  EXPECT_NEAR(third.grey[0], 0.1f, 1e-6);  // 1.5 pixels each: 0 + half of 0.3
  EXPECT_NEAR(third.grey[1], 0.7f, 1e-6);
  EXPECT_EQ(ResampleArea(image, 8, 8).grey, image.grey);  // never larger
  EXPECT_EQ(ReliefResolution(4000, 3000, 100, 75, 0.2, 1000000), std::make_pair(500, 375));
  EXPECT_EQ(ReliefResolution(4000, 3000, 1000, 750, 0.2, 1000000), std::make_pair(1154, 866));
  EXPECT_EQ(ReliefResolution(40, 30, 100, 75, 0.2, 1000000), std::make_pair(40, 30));
  const GreyImage ramp{5, 1, {0, 0.25f, 0.5f, 0.75f, 1}};
  EXPECT_EQ(ToneToBytes(ramp, {}), (Bytes{0, 64, 128, 191, 255}));
  EXPECT_EQ(ToneToBytes(ramp, {1, 1, true}), (Bytes{255, 191, 128, 64, 0}));
  EXPECT_EQ(ToneToBytes(ramp, {2, 1, false}), (Bytes{0, 0, 128, 255, 255}));
  EXPECT_EQ(ToneToBytes(ramp, {1, 2, false}), (Bytes{0, 16, 64, 143, 255}));
}

// Returns a model document with one relief object and its picture attachment.
json ReliefDoc(const Bytes& file, const char* filetype, json members, const char* type = "bumpmesh") {
  members["vid"] = "r";
  members["type"] = type;
  members["attachmentVid"] = "photo";
  json document = testing::Doc(json::array({members}));
  document["attachments"] = {
      {{"vid", "photo"}, {"filetype", filetype}, {"content", Base64Encode(file.data(), file.size())}}};
  return document;
}

bool SameMesh(const Manifold& a, const Manifold& b) {
  const manifold::MeshGL ma = a.GetMeshGL(), mb = b.GetMeshGL();
  return ma.vertProperties == mb.vertProperties && ma.triVerts == mb.triVerts;
}

TEST(ImageRelief, APngOfTheHeightMapsValuesGivesTheSameMesh) {
  const Bytes values = {0, 90, 200, 255, 30, 60, 120, 240};  // 4 x 2
  const struct {
    const char* type;
    json size;
  } rows[] = {{"bumpmesh", {{"x", 20}, {"y", 10}, {"base", 1}, {"z", 3}}},
              {"bumpmeshCylinder", {{"diameter", 20}, {"height", 10}, {"base", 16}}}};
  for (const auto& row : rows) {
    const json map = testing::Doc(json::array({{{"vid", "r"}, {"type", row.type}, {"size", row.size},
                                                {"_heightmap", values}, {"_heightmapWidth", 4},
                                                {"_heightmapHeight", 2}}}));
    const Manifold expected = testing::BuildDoc(map, "r");
    const Bytes png = WritePng({4, 2, PNG_COLOR_TYPE_GRAY, 8, values});
    const Manifold fromPng =
        testing::BuildDoc(ReliefDoc(png, "image/png", {{"size", row.size}}, row.type), "r");
    ASSERT_FALSE(expected.IsEmpty()) << row.type;
    EXPECT_TRUE(SameMesh(expected, fromPng)) << row.type;
  }
}

TEST(ImageRelief, InvertingAndResamplingKeepBoundsAndVolume) {
  // A smooth picture of 400 x 300: one wave across, one down, mid-grey at the edges.
  Bytes ramp(400 * 300);
  for (int y = 0; y < 300; ++y) {
    for (int x = 0; x < 400; ++x) {
      const double g = 0.5 + 0.5 * std::sin(2 * M_PI * x / 400) * std::sin(2 * M_PI * y / 300);
      ramp[y * 400 + x] = static_cast<uint8_t>(std::lround(255 * g));
    }
  }
  const Bytes png = WritePng({400, 300, PNG_COLOR_TYPE_GRAY, 8, ramp});
  const json size = {{"x", 80}, {"y", 60}, {"base", 1}, {"z", 3}};
  const Manifold full = testing::BuildDoc(ReliefDoc(png, "image/png", {{"size", size}, {"pixelSize", 0}}), "r");
  const Manifold shrunk = testing::BuildDoc(ReliefDoc(png, "image/png", {{"size", size}, {"maxPixels", 1200}}), "r");
  const Manifold inverted = testing::BuildDoc(
      ReliefDoc(png, "image/png", {{"size", size}, {"pixelSize", 0}, {"invert", true}}), "r");
  ASSERT_FALSE(full.IsEmpty());
  EXPECT_LT(shrunk.NumTri(), full.NumTri() / 50);
  for (const Manifold* solid : {&shrunk, &inverted}) {
    EXPECT_TRUE(testing::BoxNear(solid->BoundingBox(), {0, 0, 0}, {80, 60, 4}, 0.04));
    EXPECT_TRUE(testing::IsClosed(*solid));
  }
  // Shrinking keeps the volume; inverting turns the relief over: the two
  // reliefs together fill the space between base and top.
  EXPECT_NEAR(shrunk.Volume(), full.Volume(), 0.01 * full.Volume());
  const double base = 80 * 60 * 1.0, relief = 80 * 60 * 3.0;
  EXPECT_NEAR(inverted.Volume() - base, base + relief - full.Volume(), 0.01 * relief);
  // The default resolution shrinks the picture to 0.2 mm pixels.
  const Manifold byDefault = testing::BuildDoc(ReliefDoc(png, "image/png", {{"size", {{"x", 40}, {"y", 30}}}}), "r");
  EXPECT_LT(byDefault.NumTri(), full.NumTri());
  // A refused picture builds nothing, as a missing one does.
  EXPECT_TRUE(testing::BuildDoc(ReliefDoc({1, 2, 3}, "image/png", {}), "r").IsEmpty());
  EXPECT_TRUE(testing::BuildDoc(ReliefDoc(png, "model/stl", {}), "r").IsEmpty());
}

}  // namespace
}  // namespace velamanifold
