#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/export_command.h"
#include "cli/files.h"
#include "export/glb_writer.h"
#include "export/renderer.h"
#include "export/stl_writer.h"
#include "params/parameter_values.h"

namespace velamanifold {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

// A folder of its own under the system's temporary folder, removed at the end.
class ScratchFolder {
 public:
  ScratchFolder() {
    char pattern[] = "/tmp/tarvo-export-test-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~ScratchFolder() { fs::remove_all(path_); }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.insert(entry.path().filename());
    return names;
  }

 private:
  std::string path_;
};

TEST(ParameterValues, TextReadsAsANumberOnlyWhenItIsOneWhole) {
  const std::vector<std::pair<std::string, json>> cases = {
      {"40", 40}, {"-2.5", -2.5}, {"1e3", 1000}, {"0", 0}, {"abc", "abc"}, {"", ""},
      {"12mm", "12mm"}, {" 5", " 5"}, {"0x10", "0x10"}, {"inf", "inf"}, {"nan", "nan"},
      {"1e999", "1e999"}, {"=2*3", "=2*3"}};
  for (const auto& [text, expected] : cases) {
    const json value = ParameterValueOf(text);
    EXPECT_EQ(value, expected) << text;
    EXPECT_EQ(value.type(), expected.type()) << text;
  }
}

TEST(ParameterValues, SetTheFirstParameterOfThatNameOrListTheNames) {
  json document = {{"objects",
                    {{{"vid", "w"}, {"type", "cube"}},
                     {{"vid", "w"}, {"type", "parameter"}, {"value", {{"value", 1}}}},
                     {{"vid", "w"}, {"type", "parameter"}, {"value", {{"value", 2}}}},
                     {{"vid", "h"}, {"type", "parameter"}, {"value", 7}},
                     {{"vid", "label"}, {"type", "parameter"}}}}};
  SetParameterValues(document, {{"w", "10"}, {"h", "3.5"}, {"label", "abc"}});
  const json& objects = document["objects"];
  EXPECT_EQ(objects[0], json({{"vid", "w"}, {"type", "cube"}}));
  EXPECT_EQ(objects[1]["value"], json({{"value", 10}}));
  EXPECT_EQ(objects[2]["value"], json({{"value", 2}}));
  EXPECT_EQ(objects[3]["value"], json({{"value", 3.5}}));  // an unusable value is replaced
  EXPECT_EQ(objects[4]["value"], json({{"value", "abc"}}));

  const std::vector<std::pair<json, std::string>> failures = {
      {document, "unknown parameter \"x\"; the model's parameters are: w, h, label"},
      {json{{"objects", json::array()}}, "unknown parameter \"x\"; the model has no parameters"},
      {json::array(), "unknown parameter \"x\"; the model has no parameters"}};
  for (auto [target, message] : failures) {
    try {
      SetParameterValues(target, {{"x", "1"}});
      ADD_FAILURE() << message;
    } catch (const UnknownParameterError& e) {
      EXPECT_EQ(e.what(), message);
    }
  }
}

TEST(ParameterValues, TextThatIsNoExpressionIsRefusedWhereANumberIsHeld) {
  const json document = {{"objects",
                          {{{"vid", "n"}, {"type", "parameter"}, {"value", {{"value", 4}}}},
                           {{"vid", "e"}, {"type", "parameter"},
                            {"value", {{"value", "={{n}}*2"}}}},
                           {{"vid", "t"}, {"type", "parameter"}, {"value", {{"value", "abc"}}}},
                           {{"vid", "d"}, {"type", "parameter"}, {"value", {{"value", "|6|*8"}}}},
                           {{"vid", "none"}, {"type", "parameter"}}}}};
  const std::vector<std::pair<ParameterAssignment, bool>> cases = {
      {{"n", "abc"}, false}, {{"n", ""}, false},       {{"n", " 4"}, false},
      {{"e", "abc"}, false}, {{"n", "=2*{{e}}"}, true}, {{"n", "-2.5"}, true},
      {{"t", "xyz"}, true},  {{"t", "5"}, true},        {{"d", "8"}, true},
      {{"d", "big"}, true},  {{"none", "abc"}, true}};
  for (const auto& [assignment, accepted] : cases) {
    json target = document;
    try {
      SetParameterValues(target, {assignment});
      EXPECT_TRUE(accepted) << assignment.first << "=" << assignment.second;
    } catch (const ParameterKindError& e) {
      EXPECT_FALSE(accepted) << e.what();
      EXPECT_EQ(target, document) << "a refused value changes nothing";
    }
  }
}

TEST(ExportArguments, OptionsInAnyOrderGluedOrSeparate) {
  const ExportOptions options = ParseExportArguments(
      {"-Dw=1", "--object=base", "-o", "out/part.GLB", "m.json", "-D", "h=a=b", "--segments",
       "12", "--size=320x200"});
  EXPECT_EQ(options.model, "m.json");
  EXPECT_EQ(options.output, "out/part.GLB");
  EXPECT_EQ(options.format, ExportFormat::kGlb);
  EXPECT_EQ(options.object, "base");
  EXPECT_EQ(options.segments, 12);
  EXPECT_EQ(options.parameters, (std::vector<ParameterAssignment>{{"w", "1"}, {"h", "a=b"}}));
  EXPECT_EQ(options.width, 320);
  EXPECT_EQ(options.height, 200);

  const ExportOptions defaults = ParseExportArguments({"-", "-oa.tar.stl"});
  EXPECT_EQ(defaults.model, "-");
  EXPECT_EQ(defaults.format, ExportFormat::kStl);
  EXPECT_EQ(defaults.object, "_all_");
  EXPECT_EQ(defaults.segments, 64);
  EXPECT_EQ(defaults.width, 0);
  EXPECT_FALSE(defaults.strict);
  EXPECT_TRUE(ParseExportArguments({"m.json", "-o", "a.stl", "--strict"}).strict);
  EXPECT_TRUE(ParseExportArguments({"m.json", "--help", "--bogus"}).help);
  // A dot in a folder name is not an extension.
  EXPECT_THROW(ParseExportArguments({"m.json", "-o", "out.png/part"}), UsageError);
  EXPECT_THROW(ParseExportArguments({"m.json", "-o", "a.stl", "--size", "9000x10"}), UsageError);
}

TEST(Files, WrittenWholeOrLeftAsTheyWere) {
  ScratchFolder folder;
  const std::string target = folder / "part.stl";
  WriteWholeFile(target, "first");
  WriteWholeFile(target, "second, longer");
  EXPECT_EQ(ReadWholeFile(target), "second, longer");
  struct stat info;
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);  // not the temporary file's private mode

  // Renaming onto a folder fails after the bytes were written: the temporary
  // file goes, the folder stays.
  fs::create_directory(folder / "taken.png");
  EXPECT_THROW(WriteWholeFile(folder / "taken.png", "bytes"), std::runtime_error);
  EXPECT_THROW(WriteWholeFile(folder / "missing/part.stl", "bytes"), std::runtime_error);
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"part.stl", "taken.png"}));

  EXPECT_THROW(ReadWholeFile(folder / "taken.png"), std::runtime_error);
  EXPECT_THROW(ReadWholeFile(folder / "nothing.json"), std::runtime_error);
}

// A closed unit cube with its 12 triangles, coloured when `rgb` is given.
manifold::MeshGL Cube(const std::vector<float>& rgb = {}) {
  manifold::Manifold cube = manifold::Manifold::Cube({10, 10, 10});
  if (!rgb.empty()) {
    cube = cube.SetProperties(3, [&](double* channels, manifold::vec3, const double*) {
      for (int k = 0; k < 3; ++k) channels[k] = rgb[k];
    });
  }
  return cube.GetMeshGL();
}

TEST(StlWriter, DegenerateTrianglesGetAZeroNormal) {
  manifold::MeshGL mesh;
  mesh.numProp = 3;
  mesh.vertProperties = {0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 1, 0};
  mesh.triVerts = {0, 1, 2, 0, 1, 3};
  const std::string stl = MeshToBinaryStl(mesh);
  ASSERT_EQ(stl.size(), 84u + 2 * 50);
  EXPECT_NE(stl.compare(0, 5, "solid"), 0);
  float normals[2][3];
  std::memcpy(normals[0], stl.data() + 84, 12);
  std::memcpy(normals[1], stl.data() + 134, 12);
  EXPECT_EQ(std::vector<float>(normals[0], normals[0] + 3), std::vector<float>({0, 0, 0}));
  EXPECT_EQ(std::vector<float>(normals[1], normals[1] + 3), std::vector<float>({0, 0, 1}));
}

// Returns the JSON chunk of a .glb file after checking its frame.
json GlbJson(const std::string& glb) {
  uint32_t header[5];
  std::memcpy(header, glb.data(), sizeof header);
  EXPECT_EQ(std::string(glb.data(), 4), "glTF");
  EXPECT_EQ(header[2], glb.size());
  EXPECT_EQ(glb.size() % 4, 0u);
  return json::parse(glb.substr(20, header[3]));
}

TEST(GlbWriter, ColoursOnlyWhenTheMeshHasThemAndNoMeshWhenEmpty) {
  const json plain = GlbJson(MeshToGlb(Cube()));
  EXPECT_EQ(plain["meshes"][0]["primitives"][0]["attributes"], json({{"POSITION", 0}}));
  const json colored = GlbJson(MeshToGlb(Cube({1, 0.5f, 0})));
  const json& attributes = colored["meshes"][0]["primitives"][0]["attributes"];
  ASSERT_TRUE(attributes.contains("COLOR_0"));
  // sRGB 0.5 is linear 0.214; 0 and 1 stay.
  const json& color = colored["accessors"][attributes["COLOR_0"].get<int>()];
  EXPECT_EQ(color["max"][0], 1.0);
  EXPECT_NEAR(color["max"][1].get<double>(), 0.214, 1e-3);
  EXPECT_EQ(color["min"][2], 0.0);
  const json empty = GlbJson(MeshToGlb(manifold::MeshGL()));
  EXPECT_FALSE(empty.contains("meshes"));
  EXPECT_EQ(empty["scenes"].size(), 1u);
}

// Returns the rows and columns of the picture that hold anything but background.
std::pair<int, int> Extent(const RgbImage& image, const uint8_t* background) {
  int top = image.height, bottom = -1, left = image.width, right = -1;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      if (std::memcmp(&image.pixels[(size_t(y) * image.width + x) * 3], background, 3) == 0) continue;
      top = std::min(top, y), bottom = std::max(bottom, y);
      left = std::min(left, x), right = std::max(right, x);
    }
  }
  if (bottom < 0) return {0, 0};
  return {bottom - top + 1, right - left + 1};
}

TEST(Renderer, FitsThePartToTheFrameAtAnySizeAndScale) {
  const RgbImage empty = RenderIsometric(manifold::MeshGL(), 40, 30);
  ASSERT_EQ(empty.pixels.size(), 40u * 30 * 3);
  const uint8_t* background = empty.pixels.data();
  EXPECT_EQ(Extent(empty, background), std::make_pair(0, 0));

  struct Case {
    double scale;
    int width, height;
  };
  // A cube seen along its diagonal is a hexagon 0.866 times as wide as tall:
  // wider frames are filled in height, narrower ones in width, whatever the size.
  for (const Case& c : {Case{1, 400, 300}, Case{1000, 400, 300}, Case{0.001, 90, 200},
                        Case{1, 2200, 2100}}) {
    manifold::MeshGL mesh = Cube({1, 0, 0});
    for (size_t i = 0; i < mesh.vertProperties.size(); i += mesh.numProp) {
      for (int k = 0; k < 3; ++k) mesh.vertProperties[i + k] *= c.scale;
    }
    const RgbImage image = RenderIsometric(mesh, c.width, c.height);
    const auto [rows, columns] = Extent(image, background);
    const bool wide = c.width * 1.0 / c.height > 0.866;
    const double filled = wide ? rows / (0.88 * c.height) : columns / (0.88 * c.width);
    EXPECT_NEAR(filled, 1.0, 0.02) << c.scale << " " << c.width << "x" << c.height;
    const uint8_t* centre = &image.pixels[(size_t(c.height / 2) * c.width + c.width / 2) * 3];
    EXPECT_GT(centre[0], 100);
    EXPECT_EQ(centre[1] + centre[2], 0);
  }
}

TEST(Renderer, CornersThatAreNoNumbersDrawNothingAndNeverIndexTheBuffer) {
  for (float bad : {INFINITY, -INFINITY, NAN, 3e38f}) {
    manifold::MeshGL mesh = Cube();
    const uint32_t first = static_cast<uint32_t>(mesh.vertProperties.size() / 3);
    mesh.vertProperties.insert(mesh.vertProperties.end(), {bad, 0, 0, 0, bad, 0, 0, 0, 1});
    mesh.triVerts.insert(mesh.triVerts.end(), {first, first + 1, first + 2});
    const RgbImage image = RenderIsometric(mesh, 64, 48);
    EXPECT_EQ(image.pixels.size(), 64u * 48 * 3);
  }
}

}  // namespace
}  // namespace velamanifold
