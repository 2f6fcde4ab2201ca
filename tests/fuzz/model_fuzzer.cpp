// Structure-aware fuzzing: the bytes steer a generator of model documents
// (object types, references between objects, arrays, expressions and
// parameters, extreme numbers, long lists, big outlines and height maps,
// STL and included-model attachments), answered through the request entry
// of the front end. Mutating bytes of small seeds seldom reaches such
// documents; a generator reaches them at once. Exceptions of the standard
// family are failed requests (exit 1 in main); anything else is a finding.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include <cstdlib>

#include <nlohmann/json.hpp>

#include "cli/base64.h"
#include "cli/request.h"

namespace {

using nlohmann::json;

constexpr const char* kTypes[] = {
    "cube",     "cylinder",    "cone",          "sphere",     "torus",        "triangle",
    "rectangle", "circle",     "triangle2d",    "merge2d",    "plate",        "lathe",
    "loft",     "extrudetwist", "union",        "subtract",   "intersect",    "stretch",
    "mirror",   "rectangularGrid", "grid",      "radialArray", "array",       "hexagonalGrid",
    "thread",   "polygons",    "includepart",   "text",       "svg",          "bumpmesh",
    "bumpmeshCylinder", "slice", "parameter"};

// Members that hold numbers, by the record they sit in.
constexpr const char* kSizeKeys[] = {
    "x",      "y",          "z",           "width",        "length",       "height",
    "offset", "diameter",   "tapering",    "segments",     "majorDiameter", "tubeDiameter",
    "depth",  "corners",    "twist",       "slices",       "rotate",       "wall",
    "base",   "screw",      "scalex",      "scaley",       "copiesCount",  "copiesDegree",
    "copiesRows", "copiesColumns", "copiesX", "copiesY",  "faseTopOuter", "faseTopInner"};
constexpr const char* kGridKeys[] = {"rows", "columns", "x", "y", "count", "angle", "height",
                                     "radius", "instanceCount", "degree", "width", "length"};
constexpr const char* kListKeys[] = {"baseObjects", "subtractObjects", "intersectObjects",
                                     "outcut", "bottom", "top", "union", "subtract",
                                     "intersect", "attachmentVids"};
constexpr const char* kCopyModes[] = {"none", "radial", "grid", "hex"};
// Strings to set: kerning, ligatures, marks, right-to-left and complex
// scripts, characters no font has, line breaks, and nothing at all.
constexpr const char* kStrings[] = {
    "Hello AV", "AV To fi ffl", "e\u0301 n\u0303 \u1e9b\u0323", "\u0645\u0631\u062d\u0628\u0627",
    "\u05e9\u05dc\u05d5\u05dd", "\u0928\u092e\u0938\u094d\u0924\u0947", "\u4e2d\u6587 \U0001F600",
    "a\nb\r\n\nc", "", " ", "\n\n\n", "O0O0O0O0O0O0O0O0O0O0", "\u200d\u200c\ufeff"};
constexpr const char* kFonts[] = {"DejaVu Sans", "dejavuserif", "Liberation Mono", "Noto Sans Arabic",
                                  "Noto Sans Devanagari", "Noto Sans Hebrew", "Nope", ""};
constexpr const char* kStyles[] = {"Regular", "Bold", "Italic", "Bold Italic", "oblique", "Heavy"};
constexpr const char* kAligns[] = {"left", "center", "right", "baseline", "bottom", "top", "x"};

void AppendPng(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::string*>(png_get_io_ptr(png));
  out->append(reinterpret_cast<const char*>(data), length);
}

template <typename T, size_t N>
const T& Pick(FuzzedDataProvider& in, const T (&items)[N]) {
  return items[in.ConsumeIntegralInRange<size_t>(0, N - 1)];
}

class Generator {
 public:
  explicit Generator(FuzzedDataProvider& in) : in_(in) {}

  json Number() {
    switch (in_.ConsumeIntegralInRange(0, 9)) {
      case 0: return Pick(in_, {"NaN", "inf", "-inf", "=1/0", "=0/0", "=-1/0", "1e999"});
      case 1: return Pick(in_, {1e308, -1e308, 5e-324, 1e9, -1e9, 1e10, 0.0, -0.0});
      case 2: return Pick(in_, {0, 1, 2, 3, -1, 1024, 1025, 100000, 2147483647});
      case 3: return "={{p" + std::to_string(in_.ConsumeIntegralInRange(0, 3)) + "}}" +
                     Pick(in_, {"", "*2", "/0", "+1", "*1e300"});
      case 4: return std::to_string(in_.ConsumeFloatingPointInRange(-1000.0, 1000.0));
      default: return in_.ConsumeFloatingPointInRange(-200.0, 200.0);
    }
  }

  json Record(const char* const* keys, size_t count) {
    json record = json::object();
    int members = in_.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < members; ++i) {
      record[keys[in_.ConsumeIntegralInRange<size_t>(0, count - 1)]] = Number();
    }
    return record;
  }

  std::string Id() { return "o" + std::to_string(in_.ConsumeIntegralInRange(0, objects_ - 1)); }

  json IdList() {
    json list = json::array();
    // Now and then a long list naming the same few objects again and again.
    const int n = in_.ConsumeBool() ? in_.ConsumeIntegralInRange(0, 4)
                                    : in_.ConsumeIntegralInRange(0, 200000);
    const std::string a = Id(), b = Id();
    for (int i = 0; i < n; ++i) list.push_back(i % 2 ? a : b);
    return list;
  }

  json Outline() {
    json contours = json::array();
    const int count = in_.ConsumeIntegralInRange(1, 3);
    for (int c = 0; c < count; ++c) {
      const int points = in_.ConsumeBool() ? in_.ConsumeIntegralInRange(0, 12)
                                           : in_.ConsumeIntegralInRange(0, 300000);
      const int shape = in_.ConsumeIntegralInRange(0, 3);
      const double scale = in_.ConsumeFloatingPointInRange(0.001, 50.0);
      json contour = json::array();
      for (int i = 0; i < points; ++i) {
        // Collinear runs, a zigzag, a circle-like ring, or a random point.
        double x = i * scale, y = 0;
        if (shape == 1) y = (i % 2) * scale;
        if (shape == 2) x = scale * (i % 97), y = scale * (i / 97 % 89);
        if (shape == 3 && i < 64) x = in_.ConsumeFloatingPointInRange(-100.0, 100.0), y = x * 0.5;
        contour.push_back({x, y});
      }
      if (in_.ConsumeBool()) contour.push_back({Number(), Number()});
      contours.push_back(std::move(contour));
    }
    return contours;
  }

  json Object(int index) {
    const std::string type = Pick(in_, kTypes);
    json object = {{"vid", "o" + std::to_string(index)}, {"type", type}};
    if (type == "parameter") {
      object["vid"] = "p" + std::to_string(index % 4);
      object["value"] = {{"value", Number()}};
      return object;
    }
    object["visible"] = in_.ConsumeBool();
    object["size"] = in_.ConsumeIntegralInRange(0, 5) == 0 ? Number()
                                                          : Record(kSizeKeys, std::size(kSizeKeys));
    if (object["size"].is_object() && in_.ConsumeBool()) {
      object["size"]["copies"] = Pick(in_, kCopyModes);
    }
    if (in_.ConsumeBool()) object["grid"] = Record(kGridKeys, std::size(kGridKeys));
    if (in_.ConsumeBool()) object["move"] = Record(kSizeKeys, 3);
    if (in_.ConsumeBool()) object["rotate"] = Record(kSizeKeys, 3);
    if (in_.ConsumeBool()) object["scale"] = Record(kSizeKeys, 3);
    const int lists = in_.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < lists; ++i) object[Pick(in_, kListKeys)] = IdList();
    if (in_.ConsumeBool()) object["outershell"] = Id();
    if (in_.ConsumeBool()) {
      object["innercuts"] = json::array({{{"vid", Id()}, {"depth", Number()}}});
    }
    // Short inputs run out of bytes, and every choice then reads false: the
    // string and the picture are what they get, the point lists and height
    // maps need a byte more.
    if (type == "text" && !in_.ConsumeBool()) {
      TextMembers(object);
    } else if (type == "text" || type == "svg") {
      object["_polygons"] = Outline();
    }
    if ((type == "bumpmesh" || type == "bumpmeshCylinder") && !in_.ConsumeBool()) {
      object["attachmentVid"] = "picture";
      if (in_.ConsumeBool()) object["invert"] = in_.ConsumeBool();
      for (const char* key : {"contrast", "gamma", "pixelSize", "maxPixels"}) {
        if (in_.ConsumeBool()) object[key] = Number();
      }
    } else if (type == "bumpmesh" || type == "bumpmeshCylinder") {
      const int samples = in_.ConsumeIntegralInRange(0, 1000000);
      object["_heightmap"] = json(std::vector<int>(samples, in_.ConsumeIntegral<uint8_t>()));
      object["_heightmapWidth"] = in_.ConsumeIntegralInRange(0, 1000000);
      object["_heightmapHeight"] = in_.ConsumeIntegralInRange(0, 1000000);
    }
    if (type == "polygons") object["attachmentVids"] = json::array({"stl"});
    if (type == "includepart") object["attachmentVid"] = "model";
    return object;
  }

  void TextMembers(json& object) {
    object["text"] = !in_.ConsumeBool() ? std::string(Pick(in_, kStrings))
                                        : std::string(in_.ConsumeIntegralInRange(0, 12000), 'W');
    if (in_.ConsumeBool()) object["font"] = Pick(in_, kFonts);
    if (in_.ConsumeBool()) object["style"] = Pick(in_, kStyles);
    if (in_.ConsumeBool()) object["halign"] = Pick(in_, kAligns);
    if (in_.ConsumeBool()) object["valign"] = Pick(in_, kAligns);
    for (const char* key : {"fontSize", "spacing", "lineHeight"}) {
      if (in_.ConsumeBool()) object[key] = Number();
    }
  }

  // Returns a PNG (any colour type, 1 to 16 bits, maybe interlaced) or a
  // JPEG (grey or RGB, maybe progressive) of up to 64 x 64 pixels, written
  // by the libraries, then maybe truncated, its bytes flipped, or its
  // header's size replaced.
  std::string Picture() {
    const int w = in_.ConsumeIntegralInRange(1, 64), h = in_.ConsumeIntegralInRange(1, 64);
    const uint8_t shade = in_.ConsumeIntegral<uint8_t>();
    std::string file;
    if (in_.ConsumeBool()) {
      constexpr int kColours[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                  PNG_COLOR_TYPE_RGB_ALPHA, PNG_COLOR_TYPE_PALETTE};
      const int colour = Pick(in_, kColours);
      int depth = colour == PNG_COLOR_TYPE_PALETTE ? 8 : in_.ConsumeBool() ? 8 : 16;
      if (colour == PNG_COLOR_TYPE_GRAY && in_.ConsumeBool()) depth = 1;
      png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
      png_infop info = png_create_info_struct(png);
      png_set_write_fn(png, &file, AppendPng, nullptr);
      png_set_IHDR(png, info, w, h, depth, colour,
                   in_.ConsumeBool() ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                   PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
      png_color palette[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {shade, shade, shade}};
      if (colour == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette, 4);
      png_write_info(png, info);
      const int passes = png_set_interlace_handling(png);
      const int channels = colour == PNG_COLOR_TYPE_GRAY_ALPHA  ? 2
                           : colour == PNG_COLOR_TYPE_RGB       ? 3
                           : colour == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                                                                : 1;
      const int mask = colour == PNG_COLOR_TYPE_PALETTE ? 3 : 255;
      std::vector<uint8_t> row(static_cast<size_t>(w) * channels * 2);
      for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < h; ++y) {
          for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>((i * 37 + y * shade) & mask);
          png_write_row(png, row.data());
        }
      }
      png_write_end(png, nullptr);
      png_destroy_write_struct(&png, &info);
    } else {
      jpeg_compress_struct cinfo{};
      jpeg_error_mgr err{};
      cinfo.err = jpeg_std_error(&err);
      jpeg_create_compress(&cinfo);
      unsigned char* buffer = nullptr;
      unsigned long size = 0;
      jpeg_mem_dest(&cinfo, &buffer, &size);
      cinfo.image_width = w;
      cinfo.image_height = h;
      cinfo.input_components = in_.ConsumeBool() ? 1 : 3;
      cinfo.in_color_space = cinfo.input_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
      jpeg_set_defaults(&cinfo);
      jpeg_set_quality(&cinfo, in_.ConsumeIntegralInRange(1, 100), TRUE);
      if (in_.ConsumeBool()) jpeg_simple_progression(&cinfo);
      jpeg_start_compress(&cinfo, TRUE);
      if (in_.ConsumeBool()) {
        const uint8_t exif[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                                0x12, 0x01, 3, 0, 1, 0, 0, 0, in_.ConsumeIntegralInRange<uint8_t>(0, 9),
                                0, 0, 0, 0, 0, 0, 0};
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif, sizeof exif);
      }
      std::vector<uint8_t> row(static_cast<size_t>(w) * cinfo.input_components);
      while (cinfo.next_scanline < cinfo.image_height) {
        for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(i * 13 + cinfo.next_scanline * shade);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
      }
      jpeg_finish_compress(&cinfo);
      jpeg_destroy_compress(&cinfo);
      file.assign(reinterpret_cast<const char*>(buffer), size);
      free(buffer);
    }
    switch (in_.ConsumeIntegralInRange(0, 4)) {
      case 0:  // cut short
        file.resize(in_.ConsumeIntegralInRange<size_t>(0, file.size()));
        break;
      case 1:  // a few bytes changed anywhere (CRCs, tables, compressed data)
        for (int k = in_.ConsumeIntegralInRange(1, 8); k > 0 && !file.empty(); --k) {
          file[in_.ConsumeIntegralInRange<size_t>(0, file.size() - 1)] = in_.ConsumeIntegral<char>();
        }
        break;
      case 2:  // a PNG header claims another size (in a JPEG: bytes of its first segments)
        if (file.size() > 24) {
          const uint32_t side = Pick(in_, {0u, 1u, 65535u, 65536u, 100000u, 0x7FFFFFFFu, 0xFFFFFFFFu});
          for (int i = 0; i < 8; ++i) file[16 + i] = static_cast<char>(side >> (8 * (3 - i % 4)));
        }
        break;
      default:
        break;
    }
    return Base64(file);
  }

  static std::string Base64(const std::string& bytes) {
    std::string text;
    velamanifold::AppendBase64(text, bytes.data(), bytes.size());
    return text;
  }

  json Document() {
    objects_ = in_.ConsumeIntegralInRange(1, 12);
    json objects = json::array();
    for (int i = 0; i < objects_; ++i) objects.push_back(Object(i));
    json included = {{"objects", json::array({Object(0), Object(1)})}};
    const char* pictureType = in_.ConsumeBool() ? "image/png" : "image/jpeg";
    return {{"objects", std::move(objects)},
            {"attachments",
             {{{"vid", "stl"}, {"filetype", "model/stl"}, {"content", Stl()}},
              {{"vid", "model"}, {"filetype", "vela"}, {"content", std::move(included)}},
              {{"vid", "picture"}, {"filetype", pictureType}, {"content", Picture()}}}}};
  }

  // Returns the Base64 of a binary STL of a few tetrahedra, with some corners
  // taken from the input.
  std::string Stl() {
    const int count = in_.ConsumeIntegralInRange(0, 50);
    std::vector<float> values;
    for (int k = 0; k < count; ++k) {
      const float x = 2.0f * k;
      const float corners[4][3] = {{x, 0, 0}, {x + 1, 0, 0}, {x, 1, 0}, {x, 0, 1}};
      const int faces[4][3] = {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {2, 0, 3}};
      for (const auto& face : faces) {
        for (int i = 0; i < 12; ++i) {
          values.push_back(i < 3 ? 0.0f : corners[face[(i - 3) / 3]][(i - 3) % 3]);
        }
      }
    }
    if (!values.empty() && in_.ConsumeBool()) values[3] = in_.ConsumeFloatingPoint<float>();
    std::string bytes(80, '\0');
    const uint32_t triangles = static_cast<uint32_t>(values.size() / 12);
    bytes.append(reinterpret_cast<const char*>(&triangles), 4);
    for (size_t t = 0; t < triangles; ++t) {
      bytes.append(reinterpret_cast<const char*>(&values[12 * t]), 48);
      bytes.append(2, '\0');
    }
    std::string text;
    velamanifold::AppendBase64(text, bytes.data(), bytes.size());
    return text;
  }

 private:
  FuzzedDataProvider& in_;
  int objects_ = 1;
};

constexpr const char* kOperations[] = {"build", "build_xml", "multi_xml", "cross_section"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string op = Pick(in, kOperations);
  const int segments = in.ConsumeIntegralInRange(0, 1100);
  Generator generator(in);
  const std::string document = generator.Document().dump();
  const std::string vid =
      in.ConsumeBool() ? "_all_" : "o" + std::to_string(in.ConsumeIntegralInRange(0, 11));
  json request;
  if (op == "multi_xml") {
    request = {{"partsJson", document}, {"parts", {{vid, "part", "#FF0000"}, {"o1", "b", ""}}}};
  } else {
    request = {{"jsonStr", document}, {"vid", vid}, {"segments", segments}, {"wantColors", true}};
  }
  // For looking at a finding: the operation and request it stands for, as
  // tarvo-cli would read them, and nothing run.
  if (const char* show = std::getenv("TARVO_FUZZ_SHOW")) {
    std::ofstream(show) << op << "\n" << request.dump() << "\n";
    return 0;
  }
  try {
    velamanifold::AnswerRequest(op, request.dump());
  } catch (const std::exception&) {
    // A failed request: main reports it on standard error and exits with 1.
  }
  return 0;
}
