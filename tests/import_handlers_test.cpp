#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli/base64.h"
#include "import/base64_decode.h"
#include "pipeline/limits.h"
#include "pipeline/pipeline.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::Manifold;
using nlohmann::json;
using testing::BoxNear;
using testing::BuildDoc;
using testing::Doc;

// Returns the bytes of a binary STL of the cube [x, x + s] x [0, s] x [0, s].
std::vector<uint8_t> CubeStl(float s, float x = 0) {
  float v[8][3] = {{x, 0, 0}, {x + s, 0, 0}, {x + s, s, 0}, {x, s, 0},
                   {x, 0, s}, {x + s, 0, s}, {x + s, s, s}, {x, s, s}};
  int faces[12][3] = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                      {1, 2, 6}, {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}};
  std::vector<uint8_t> bytes(84 + 50 * 12, 0);
  uint32_t count = 12;
  std::memcpy(&bytes[80], &count, 4);
  for (int t = 0; t < 12; ++t) {
    for (int c = 0; c < 3; ++c) std::memcpy(&bytes[84 + 50 * t + 12 + 12 * c], v[faces[t][c]], 12);
  }
  return bytes;
}

json StlAttachment(const std::string& id, const std::vector<uint8_t>& bytes,
                   const std::string& filetype = "model/stl") {
  return {{"vid", id}, {"filetype", filetype}, {"content", Base64Encode(bytes.data(), bytes.size())}};
}

json Cube(const std::string& id, const json& size, bool visible = true) {
  return {{"vid", id}, {"type", "cube"}, {"size", size}, {"visible", visible}};
}

json Param(const std::string& id, const json& value, const json& importance = nullptr) {
  json p = {{"vid", id}, {"type", "parameter"}, {"value", {{"value", value}}}};
  if (!importance.is_null()) p["info"] = {{"isimportant", importance}};
  return p;
}

json Include(const std::string& id, const std::string& attachment, const json& partValues = {}) {
  json o = {{"vid", id}, {"type", "includepart"}, {"attachmentVid", attachment}};
  if (!partValues.is_null()) o["partvalues"] = partValues;
  return o;
}

// Lists rather than json values, so that one-element lists stay arrays.
json Model(const std::vector<json>& objects, const std::vector<json>& attachments = {}) {
  return {{"objects", objects}, {"attachments", attachments}};
}

json VelaAttachment(const std::string& id, const json& content) {
  return {{"vid", id}, {"filetype", "vela"}, {"content", content}};
}

manifold::vec3 Dims(const Manifold& solid) {
  manifold::Box box = solid.BoundingBox();
  return box.max - box.min;
}

// Builds quietly: the STL reader's log lines go to the captured stdout.
Manifold BuildQuiet(const json& document, const std::string& id) {
  ::testing::internal::CaptureStdout();
  Manifold solid = BuildDoc(document, id);
  std::fflush(stdout);
  ::testing::internal::GetCapturedStdout();
  return solid;
}

TEST(Base64Decode, IsLenient) {
  struct Case {
    std::string text, bytes;
  } cases[] = {
      {"TWFu", "Man"},        {"TW\r\nF u", "Man"}, {"TWE=", "Ma"},  {"TQ==", "M"},
      {"TQ", "M"},            {"TQ=TWFu", "M"},     {"", ""},        {"T", ""},
      {"*T!W?F-u", "Man"},    {"+/+/", "\xfb\xff\xbf"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = Base64Decode(c.text);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.bytes) << c.text;
  }
  std::vector<uint8_t> stl = CubeStl(10);
  std::string text = Base64Encode(stl.data(), stl.size()), wrapped;
  for (size_t i = 0; i < text.size(); i += 76) wrapped += text.substr(i, 76) + "\r\n";
  EXPECT_EQ(Base64Decode(wrapped), stl);
}

TEST(ImportHandlers, PolygonsUniteMatchingStlAttachments) {
  json polygons = {{"vid", "p"}, {"type", "polygons"}, {"attachmentVids", {"a", "b", "m", "zz", 7}}};
  json doc = Model({polygons}, {StlAttachment("a", CubeStl(10)),
                                StlAttachment("a", CubeStl(3)),  // later duplicates are ignored
                                StlAttachment("b", CubeStl(10, 20), "vela"),
                                StlAttachment("b", CubeStl(10, 20)),
                                StlAttachment("m", CubeStl(10, 40), "vela")});
  Manifold solid = BuildQuiet(doc, "p");
  EXPECT_NEAR(solid.Volume(), 2000, 1e-6);
  EXPECT_TRUE(BoxNear(solid.BoundingBox(), {0, 0, 0}, {30, 10, 10}));

  for (json broken : {json{{"vid", "p"}, {"type", "polygons"}, {"attachmentVids", "a"}},
                      json{{"vid", "p"}, {"type", "polygons"}}}) {
    EXPECT_TRUE(BuildQuiet(Model({broken}, doc["attachments"].get<std::vector<json>>()), "p").IsEmpty());
  }
  EXPECT_TRUE(BuildQuiet(Doc(json::array({polygons})), "p").IsEmpty());
}

TEST(ImportHandlers, IncludeRanksPartValuesAndKeepsOwnParameters) {
  json inner = Model({Param("pa", 1, 1), Param("pb", 2, 3), Param("pc", 3, 3), Param("pd", 4),
                      Cube("box", {{"x", "={{pa}}"}, {"y", "={{pb}}"}, {"z", "={{pc}}"}}),
                      Param("depth", 3), Param("shared", 8),
                      Cube("free", {{"x", "={{pd}}"}, {"y", 1}, {"z", 1}}, false)});
  struct Case {
    json partValues;
    manifold::vec3 dims;
  } cases[] = {
      {{10, 20, 30}, {30, 10, 20}},
      {{nullptr, 5}, {1, 2, 5}},
      {json::array(), {1, 2, 3}},
      {{1, 2, 3, 4, 5}, {3, 1, 2}},  // values beyond the ranked parameters are ignored
      // Outer placeholders first, then the included model's own, then arithmetic.
      {{"{{width}}", "{{depth}}*2", "{{shared}}"}, {7, 40, 6}},
      {{"=3*4", "={{depth}}+1"}, {1, 12, 4}},
      {{"{{nowhere}}"}, {1, 2, 3}},  // left as text, which a dimension reads as its default
  };
  for (const Case& c : cases) {
    json outer = Model({Param("width", 40), Param("shared", 7), Include("inc", "m", c.partValues)},
                       {VelaAttachment("m", inner)});
    Manifold solid = BuildDoc(outer, "inc");
    manifold::vec3 dims = Dims(solid);
    if (c.partValues == json{"{{nowhere}}"}) {
      EXPECT_NEAR(dims.y, 10, 1e-9);  // pb holds the text '{{nowhere}}'
      continue;
    }
    EXPECT_NEAR(dims.x, c.dims.x, 1e-9) << c.partValues;
    EXPECT_NEAR(dims.y, c.dims.y, 1e-9) << c.partValues;
    EXPECT_NEAR(dims.z, c.dims.z, 1e-9) << c.partValues;
  }
}

TEST(ImportHandlers, IncludeBuildsVisibleObjectsAfresh) {
  json inner = Model({Param("s", 2, 1), Cube("c", "={{s}}"), Cube("hidden", 50, false)});
  json first = Include("i1", "m", {3});
  json second = Include("i2", "m", {4});
  second["move"] = {{"x", 10}};
  json outer = Model({first, second}, {VelaAttachment("m", inner)});
  Manifold all = BuildDoc(outer, "_all_");
  EXPECT_NEAR(all.Volume(), 27 + 64, 1e-6);
  EXPECT_TRUE(BoxNear(all.BoundingBox(), {0, 0, 0}, {14, 4, 4}));

  // Nothing for a missing, mistyped or content-less attachment.
  json missing = Model({Include("i", "m")}, {{{"vid", "m"}, {"filetype", "vela"}},
                                             VelaAttachment("m", inner)});
  json notObject = Model({Include("i", "m")}, {VelaAttachment("m", "text")});
  json wrongType = Model({Include("i", "m")}, {StlAttachment("m", CubeStl(1))});
  for (const json& doc : {missing, notObject, wrongType, Doc(json::array({Include("i", "m")}))}) {
    EXPECT_TRUE(BuildDoc(doc, "i").IsEmpty()) << doc;
  }
}

TEST(ImportHandlers, IncludedIdsKeepToTheirOwnCaches) {
  json inner = Model({Cube("c", 5)});
  json outer = Model({Cube("c", 2), Include("inc", "m")}, {VelaAttachment("m", inner)});
  json changed = Model({Cube("c", 7)});
  VelaPipeline pipeline;
  EXPECT_NEAR(pipeline.BuildInner(outer, "c", nullptr).Volume(), 8, 1e-9);
  EXPECT_NEAR(pipeline.BuildInner(outer, "inc", nullptr).Volume(), 125, 1e-9);
  // The outer "c" is still the cached one, not the included model's.
  EXPECT_NEAR(pipeline.BuildInner(changed, "c", nullptr).Volume(), 8, 1e-9);

  // Also when the included build throws.
  json bad = Model({Cube("c", 5), {{"vid", "t"}, {"type", "text"}, {"_polygons", {{{0, "x"}}}}}});
  json failing = Model({Cube("c", 2), Include("inc", "m")}, {VelaAttachment("m", bad)});
  VelaPipeline other;
  other.BuildInner(failing, "c", nullptr);
  EXPECT_THROW(other.BuildInner(failing, "inc", nullptr), json::type_error);
  EXPECT_NEAR(other.BuildInner(changed, "c", nullptr).Volume(), 8, 1e-9);
}

TEST(ImportHandlers, NestedIncludesUseTheirOwnAttachments) {
  json innermost = Model({Cube("c", 4)});
  json middle = Model({Include("deeper", "n")}, {VelaAttachment("n", innermost)});
  json outer = Model({Include("inc", "m")},
                     {VelaAttachment("m", middle), VelaAttachment("n", Model({Cube("c", 3)}))});
  EXPECT_NEAR(BuildDoc(outer, "inc").Volume(), 64, 1e-9);
}

// Returns a model that includes the next level `copies` times, `levels` deep,
// around an innermost model of the given objects.
json NestedModel(int levels, int copies, const std::vector<json>& leaf = {Cube("c", 1)}) {
  json model = Model(leaf);
  for (int level = 0; level < levels; ++level) {
    std::vector<json> objects;
    for (int k = 0; k < copies; ++k) objects.push_back(Include(std::string(1, 'A' + k), "m"));
    model = Model(objects, {VelaAttachment("m", model)});
  }
  return model;
}

TEST(ImportHandlers, RunawayIncludesEndTheRequest) {
  // A chain of includes deeper than the nesting ceiling.
  try {
    BuildDoc(NestedModel(110, 1), "_all_");
    ADD_FAILURE() << "deep includes built";
  } catch (const LimitError& e) {
    EXPECT_STREQ(e.what(), "objects nest deeper than 200 levels");
  }
  EXPECT_NEAR(BuildDoc(NestedModel(40, 1), "_all_").Volume(), 1, 1e-9);

  // Two includes per level double the builds with every level: ten levels
  // around a model of a thousand objects build a million objects.
  std::vector<json> wide(1000, {{"vid", "f"}, {"type", "fdm"}});
  try {
    BuildDoc(NestedModel(10, 2, wide), "_all_");
    ADD_FAILURE() << "runaway includes finished";
  } catch (const LimitError& e) {
    EXPECT_NE(std::string(e.what()).find("copy count"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(BuildDoc(NestedModel(3, 2, wide), "_all_").IsEmpty());
}

json Outline(const std::string& type, const json& polygons, const json& size = json::object()) {
  return {{"vid", "o"}, {"type", type}, {"_polygons", polygons}, {"size", size}};
}

TEST(ImportHandlers, TextMirrorsInYAndSvgKeepsIt) {
  // A 10 x 20 rectangle with corners at y = 0 and y = 20, with a stray point.
  json square = {{{0, 0}, {10, 0}, {10, 20, 99}, {0, 20}, {5}}};
  Manifold text = BuildDoc(Doc(json::array({Outline("text", square)})), "o");
  Manifold svg = BuildDoc(Doc(json::array({Outline("svg", square)})), "o");
  EXPECT_TRUE(BoxNear(text.BoundingBox(), {0, -20, 0}, {10, 0, 3}));
  EXPECT_TRUE(BoxNear(svg.BoundingBox(), {0, 0, 0}, {10, 20, 3}));
  EXPECT_NEAR(text.Volume(), 600, 1e-6);
  EXPECT_TRUE(testing::IsClosed(text));

  Manifold grown = BuildDoc(Doc(json::array({Outline("text", square, {{"offset", 1}, {"z", 0}})})), "o");
  EXPECT_TRUE(BoxNear(grown.BoundingBox(), {-1, -21, 0}, {11, 1, 0.001}, 1e-6));
  Manifold shrunk = BuildDoc(Doc(json::array({Outline("svg", square, {{"offset", -1}, {"z", "2"}})})), "o");
  EXPECT_TRUE(BoxNear(shrunk.BoundingBox(), {1, 1, 0}, {9, 19, 2}, 1e-6));

  for (const char* type : {"text", "svg"}) {
    for (const json& polygons : {json{{{0, 0}, {1, 1}}, {{5, 5}, {6, 6}}}, json{{}}, json(5),
                                 json{1, "a"}}) {
      EXPECT_TRUE(BuildDoc(Doc(json::array({Outline(type, polygons)})), "o").IsEmpty()) << type << polygons;
    }
  }
}

TEST(ImportHandlers, OutlineCoordinatesMustBeNumbers) {
  json bad = {{{0, 0}, {"10", 0}, {10, 20}}};
  for (const char* type : {"text", "svg"}) {
    json doc = Doc({Outline(type, bad), Cube("c", 2)});
    try {
      BuildDoc(doc, "o");
      ADD_FAILURE() << type << " built";
    } catch (const json::type_error& e) {
      EXPECT_NE(std::string(e.what()).find("type must be number, but is string"),
                std::string::npos)
          << e.what();
    }
    // The whole-model walk leaves the broken outline out.
    EXPECT_NEAR(BuildDoc(doc, "_all_").Volume(), 8, 1e-9);
  }
}

json Relief(const std::string& type, const json& values, int w, int h, const json& size) {
  return {{"vid", "r"},           {"type", type},           {"_heightmap", values},
          {"_heightmapWidth", w}, {"_heightmapHeight", h}, {"size", size}};
}

TEST(ImportHandlers, HeightMapGreyValuesKeepTheirLowByte) {
  struct Case {
    json grey;
    double top;
  } cases[] = {{300, 1 + 44}, {-1, 1 + 255}, {"128", 1 + 128}, {"x", 1}, {7.9, 1 + 7}};
  for (const Case& c : cases) {
    json relief = Relief("bumpmesh", json::array({c.grey}), 1, 1, {{"x", 2}, {"y", 3}, {"base", 1}, {"z", 255}});
    EXPECT_TRUE(BoxNear(BuildDoc(Doc(json::array({relief})), "r").BoundingBox(), {0, 0, 0}, {2, 3, c.top}))
        << c.grey;
  }
  json noWidth = Relief("bumpmesh", {0}, 1, 1, json::object());
  noWidth.erase("_heightmapWidth");
  EXPECT_TRUE(BuildDoc(Doc(json::array({noWidth})), "r").IsEmpty());
  // Defaults: 100 x 100, base 1.
  EXPECT_TRUE(BoxNear(BuildDoc(Doc(json::array({Relief("bumpmesh", {0}, 1, 1, nullptr)})), "r").BoundingBox(),
                      {0, 0, 0}, {100, 100, 1}));
}

TEST(ImportHandlers, ReliefCylinderSegmentsAreOnlyChecked) {
  json values = json(std::vector<int>(8 * 4, 255));
  for (int segments : {2, 0, 64}) {
    json relief = Relief("bumpmeshCylinder", values, 8, 4,
                         {{"diameter", 20}, {"height", 5}, {"base", 10}, {"segments", segments}});
    Manifold solid = BuildDoc(Doc(json::array({relief})), "r");
    EXPECT_EQ(solid.NumVert(), 8u * 4u + 2u) << segments;
    EXPECT_NEAR(solid.BoundingBox().max.x, 10, 1e-9);
  }
  json tooMany = Relief("bumpmeshCylinder", values, 8, 4, {{"segments", 100000}});
  EXPECT_THROW(BuildDoc(Doc(json::array({tooMany})), "r"), LimitError);
}

}  // namespace
}  // namespace velamanifold
