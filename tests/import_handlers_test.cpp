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

// Returns the bytes of a binary STL of the cube [x, x + s] x [0, s] x [0, s].
std::vector<uint8_t> CubeStl(float s, float x = 0) {
  manifold::MeshGL mesh = Manifold::Cube({s, s, s}).Translate({x, 0, 0}).GetMeshGL();
  std::vector<uint8_t> bytes(84 + 50 * 12, 0);
  bytes[80] = 12;
  for (size_t k = 0; k < 36; ++k) {
    const float* corner = &mesh.vertProperties[3 * mesh.triVerts[k]];
    std::memcpy(&bytes[96 + 50 * (k / 3) + 12 * (k % 3)], corner, 12);
  }
  return bytes;
}

json Attachment(const std::string& id, const std::string& filetype, const json& content) {
  return {{"vid", id}, {"filetype", filetype}, {"content", content}};
}

json Stl(const std::string& id, const std::vector<uint8_t>& bytes, const char* type = "model/stl") {
  return Attachment(id, type, Base64Encode(bytes.data(), bytes.size()));
}

json Cube(const std::string& id, const json& size, bool visible = true) {
  return {{"vid", id}, {"type", "cube"}, {"size", size}, {"visible", visible}};
}

json Param(const std::string& id, const json& value, int importance = 0) {
  return {{"vid", id}, {"type", "parameter"}, {"value", {{"value", value}}},
          {"info", {{"isimportant", importance}}}};
}

json Include(const std::string& id, const std::string& attachment, const json& values = {}) {
  return {{"vid", id}, {"type", "includepart"}, {"attachmentVid", attachment},
          {"partvalues", values}};
}

// Lists rather than json values, so that one-element lists stay arrays.
json Model(const std::vector<json>& objects, const std::vector<json>& attachments = {}) {
  return {{"objects", objects}, {"attachments", attachments}};
}

TEST(Base64Decode, SkipsNoiseAndStopsAtPadding) {
  const std::pair<std::string, std::string> cases[] = {
      {"TW\r\nF u*", "Man"}, {"TWE=", "Ma"}, {"TQ=TWFu", "M"}, {"T", ""}, {"+/+/", "\xfb\xff\xbf"},
      // whole groups around noise, then an unpadded tail
      {"TWFuTWFu\nTWFu T WFuTWE", "ManManManManMa"}, {"TWFuTW\nFuTWFu", "ManManMan"}};
  for (const auto& [text, bytes] : cases) {
    std::vector<uint8_t> got = Base64Decode(text);
    EXPECT_EQ(std::string(got.begin(), got.end()), bytes) << text;
  }
}

TEST(ImportHandlers, PolygonsUniteMatchingStlAttachments) {
  json polygons = {{"vid", "p"}, {"type", "polygons"}, {"attachmentVids", {"a", "b", "m", "z", 7}}};
  std::vector<json> attachments = {Stl("a", CubeStl(10)), Stl("a", CubeStl(3)),
                                   Stl("b", CubeStl(10, 20), "vela"), Stl("b", CubeStl(10, 20)),
                                   Stl("m", CubeStl(10, 40), "vela")};
  ::testing::internal::CaptureStdout();
  Manifold solid = BuildDoc(Model({polygons}, attachments), "p");
  EXPECT_TRUE(BuildDoc(Model({polygons}), "p").IsEmpty());
  std::fflush(stdout);
  std::string line = "[Tarvo STL] OK: 12 tris -> 8 verts (dedup) -> manifold\n";
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), line + line);
  EXPECT_NEAR(solid.Volume(), 2000, 1e-6);
  EXPECT_TRUE(BoxNear(solid.BoundingBox(), {0, 0, 0}, {30, 10, 10}));
}

TEST(ImportHandlers, IncludedModelTakesPartValues) {
  json inner = Model({Param("pa", 1, 1), Param("pb", 2, 3), Param("pc", 3, 3), Param("depth", 3),
                      Param("shared", 8),
                      Cube("box", {{"x", "={{pa}}"}, {"y", "={{pb}}"}, {"z", "={{pc}}"}}),
                      Cube("hidden", 50, false)});
  // Ranked by importance (pb, pc, pa); outer placeholders before the included model's own.
  json values = {"{{width}}", "{{depth}}*2", "{{shared}}"};
  json outer = Model({Param("width", 40), Param("shared", 7), Include("inc", "m", values)},
                     {Attachment("m", "vela", inner)});
  EXPECT_TRUE(BoxNear(BuildDoc(outer, "inc").BoundingBox(), {0, 0, 0}, {7, 40, 6}));
  // Each include builds afresh with its own values, and is placed as a whole.
  json second = Include("i2", "m", {4});
  second["move"] = {{"x", 10}};
  Manifold both = BuildDoc(
      Model({Include("i1", "m", {3}), second}, {Attachment("m", "vela", inner)}), "_all_");
  EXPECT_NEAR(both.Volume(), 1 * 3 * 3 + 1 * 4 * 3, 1e-6);
  EXPECT_TRUE(BoxNear(both.BoundingBox(), {0, 0, 0}, {11, 4, 3}));
}

TEST(ImportHandlers, IncludedIdsKeepToTheirOwnCachesAndAttachments) {
  json outer = Model({Cube("c", 2), Include("inc", "m")},
                     {Attachment("m", "vela", Model({Cube("c", 5)}))});
  json changed = Model({Cube("c", 7)});
  VelaPipeline pipeline;
  EXPECT_NEAR(pipeline.BuildInner(outer, "c", nullptr).Volume(), 8, 1e-9);
  EXPECT_NEAR(pipeline.BuildInner(outer, "inc", nullptr).Volume(), 125, 1e-9);
  // The outer "c" is still the cached one, also after an include that throws.
  EXPECT_NEAR(pipeline.BuildInner(changed, "c", nullptr).Volume(), 8, 1e-9);
  json text = {{"vid", "t"}, {"type", "text"}, {"_polygons", {{{0, "x"}}}}};
  json failing = Model({Include("bad", "m")}, {Attachment("m", "vela", Model({text}))});
  EXPECT_THROW(pipeline.BuildInner(failing, "bad", nullptr), json::type_error);
  EXPECT_NEAR(pipeline.BuildInner(changed, "c", nullptr).Volume(), 8, 1e-9);

  // A nested include looks in its own model's attachments.
  json middle = Model({Include("deeper", "n")}, {Attachment("n", "vela", Model({Cube("c", 4)}))});
  json nested = Model({Include("inc", "m")}, {Attachment("m", "vela", middle),
                                              Attachment("n", "vela", Model({Cube("c", 3)}))});
  EXPECT_NEAR(BuildDoc(nested, "inc").Volume(), 64, 1e-9);
}

// Returns a model that includes the next level `copies` times, `levels` deep,
// around an innermost model of the given objects.
json NestedModel(int levels, int copies, const std::vector<json>& leaf) {
  json model = Model(leaf);
  for (int level = 0; level < levels; ++level) {
    std::vector<json> objects;
    for (int k = 0; k < copies; ++k) objects.push_back(Include(std::string(1, 'A' + k), "m"));
    model = Model(objects, {Attachment("m", "vela", model)});
  }
  return model;
}

TEST(ImportHandlers, RunawayIncludesEndTheRequest) {
  std::vector<json> unit = {Cube("c", 1)};
  EXPECT_NEAR(BuildDoc(NestedModel(40, 1, unit), "_all_").Volume(), 1, 1e-9);
  try {
    BuildDoc(NestedModel(110, 1, unit), "_all_");
    ADD_FAILURE() << "deep includes built";
  } catch (const LimitError& e) {
    EXPECT_STREQ(e.what(), "objects nest deeper than 200 levels");
  }
  // Two includes per level double the builds with every level: ten levels
  // around a model of a thousand objects would build a million objects.
  std::vector<json> wide(1000, {{"vid", "f"}, {"type", "fdm"}});
  EXPECT_TRUE(BuildDoc(NestedModel(3, 2, wide), "_all_").IsEmpty());
  EXPECT_THROW(BuildDoc(NestedModel(10, 2, wide), "_all_"), LimitError);
}

json Outline(const std::string& type, const json& polygons, const json& size = json::object()) {
  return {{"vid", "o"}, {"type", type}, {"_polygons", polygons}, {"size", size}};
}

TEST(ImportHandlers, TextMirrorsInYAndSvgKeepsIt) {
  // A 10 x 20 rectangle between y = 0 and y = 20, with a stray short point.
  json square = {{{0, 0}, {10, 0}, {10, 20, 99}, {0, 20}, {5}}};
  Manifold text = BuildDoc(Model({Outline("text", square, {{"offset", 1}, {"z", 0}})}), "o");
  EXPECT_TRUE(BoxNear(text.BoundingBox(), {-1, -21, 0}, {11, 1, 0.001}));
  Manifold svg = BuildDoc(Model({Outline("svg", square, {{"offset", -1}, {"z", "2"}})}), "o");
  EXPECT_TRUE(BoxNear(svg.BoundingBox(), {1, 1, 0}, {9, 19, 2}));
  EXPECT_TRUE(testing::IsClosed(text) && testing::IsClosed(svg));
  for (const json& bad : {json{{{0, 0}, {1, 1}}}, json(5), json{1, "a"}}) {
    EXPECT_TRUE(BuildDoc(Model({Outline("text", bad)}), "o").IsEmpty()) << bad;
  }
  // A non-numeric coordinate fails a direct build; the whole-model walk leaves it out.
  json doc = Model({Outline("svg", {{{0, 0}, {"10", 0}, {10, 20}}}), Cube("c", 2)});
  EXPECT_THROW(BuildDoc(doc, "o"), json::type_error);
  EXPECT_NEAR(BuildDoc(doc, "_all_").Volume(), 8, 1e-9);
}

json Relief(const std::string& type, const json& values, int w, int h, const json& size) {
  return Model({json{{"vid", "r"}, {"type", type}, {"_heightmap", values}, {"_heightmapWidth", w},
                     {"_heightmapHeight", h}, {"size", size}}});
}

TEST(ImportHandlers, HeightMapsReadLowBytesAndCheckSegments) {
  // A relief of 255 on a base of 1 rises to 1 + the low byte of its one grey value.
  const std::pair<json, double> cases[] = {{300, 45}, {-1, 256}, {"128", 129}, {"x", 1}};
  for (const auto& [grey, top] : cases) {
    json doc = Relief("bumpmesh", json::array({grey}), 1, 1, {{"x", 2}, {"base", 1}, {"z", 255}});
    EXPECT_TRUE(BoxNear(BuildDoc(doc, "r").BoundingBox(), {0, 0, 0}, {2, 100, top})) << grey;
  }
  json many = Relief("bumpmeshCylinder", std::vector<int>(32, 255), 8, 4, {{"segments", 100000}});
  EXPECT_THROW(BuildDoc(many, "r"), LimitError);
}

}  // namespace
}  // namespace velamanifold
