#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli/base64.h"
#include "import/base64_decode.h"
#include "model/limits.h"
#include "pipeline/pipeline.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using testing::BoxNear;
using testing::BuildDoc;

// Returns the bytes of a binary STL of the cube [x, x + s] x [0, s] x [0, s].
std::vector<uint8_t> CubeStl(float s, float x = 0) {
  const manifold::MeshGL m = manifold::Manifold::Cube({s, s, s}).Translate({x, 0, 0}).GetMeshGL();
  std::vector<uint8_t> bytes(84 + 50 * 12, 0);
  bytes[80] = 12;
  for (size_t k = 0; k < 36; ++k)
    std::memcpy(&bytes[96 + 50 * (k / 3) + 12 * (k % 3)], &m.vertProperties[3 * m.triVerts[k]], 12);
  return bytes;
}

json Attachment(const std::string& id, const json& content, const std::string& type = "vela") {
  return {{"vid", id}, {"filetype", type}, {"content", content}};
}
json Stl(const std::string& id, const std::vector<uint8_t>& bytes, const char* type = "model/stl") {
  return Attachment(id, Base64Encode(bytes.data(), bytes.size()), type);
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
json Outline(const std::string& type, const json& polygons, const json& size = json::object()) {
  return Model({{{"vid", "o"}, {"type", type}, {"_polygons", polygons}, {"size", size}}});
}

TEST(Base64Decode, SkipsNoiseAndStopsAtPadding) {
  const std::pair<std::string, std::string> cases[] = {
      {"TW\r\nF u*", "Man"}, {"TWE=", "Ma"}, {"TQ=TWFu", "M"}, {"T", ""}, {"+/+/", "\xfb\xff\xbf"},
      // whole groups around noise, then an unpadded tail
      {"TWFuTWFu\nTWFu T WFuTWE", "ManManManManMa"}, {"TWFuTW\nFuTWFu", "ManManMan"}};
  for (const auto& [text, bytes] : cases)
    EXPECT_EQ(Base64Decode(text), std::vector<uint8_t>(bytes.begin(), bytes.end())) << text;
}

TEST(ImportHandlers, PolygonsUniteTheFirstStlAttachmentOfEachId) {
  json polygons = {{"vid", "p"}, {"type", "polygons"}, {"attachmentVids", {"a", "b", "z", 7}}};
  std::vector<json> attachments = {Stl("a", CubeStl(10)), Stl("a", CubeStl(3)),
                                   Stl("b", CubeStl(10, 40), "vela"), Stl("b", CubeStl(10, 20))};
  ::testing::internal::CaptureStdout();
  auto solid = BuildDoc(Model({polygons}, attachments), "p");
  std::fflush(stdout);
  std::string line = "[Tarvo STL] OK: 12 tris -> 8 verts (dedup) -> manifold\n";
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), line + line);
  EXPECT_TRUE(BoxNear(solid.BoundingBox(), {0, 0, 0}, {30, 10, 10}));
}

TEST(ImportHandlers, IncludedModelsTakePartValuesAndKeepToTheirOwnCaches) {
  json inner = Model({Param("pa", 1, 1), Param("pb", 2, 3), Param("pc", 3, 3), Param("depth", 3),
                      Param("shared", 8), Cube("hidden", 50, false),
                      Cube("c", {{"x", "={{pa}}"}, {"y", "={{pb}}"}, {"z", "={{pc}}"}})});
  // Ranked by importance (pb, pc, pa); outer placeholders before the included model's own.
  json outer = Model({Param("width", 40), Param("shared", 7), Cube("c", 5),
                      Include("inc", "m", {"{{width}}", "{{depth}}*2", "{{shared}}"}),
                      Include("i1", "m", {3})}, {Attachment("m", inner)});
  VelaPipeline pipe;
  EXPECT_NEAR(pipe.BuildInner(outer, "c", nullptr).Volume(), 125, 1e-9);
  EXPECT_TRUE(BoxNear(pipe.BuildInner(outer, "inc", nullptr).BoundingBox(), {0, 0, 0}, {7, 40, 6}));
  EXPECT_NEAR(pipe.BuildInner(outer, "i1", nullptr).Volume(), 1 * 3 * 3, 1e-9);  // built afresh
  json failing = Model({Include("bad", "m")}, {Attachment("m", Outline("text", {{{0, "x"}}}))});
  EXPECT_THROW(pipe.BuildInner(failing, "bad", nullptr), json::type_error);
  // The outer "c" is still the cached one after all the includes.
  EXPECT_NEAR(pipe.BuildInner(Model({Cube("c", 7)}), "c", nullptr).Volume(), 125, 1e-9);
}

// Returns a model `levels` deep around `leaf`, each including the next `copies` times from
// its own attachments.
json NestedModel(int levels, int copies, const std::vector<json>& leaf) {
  json model = Model(leaf);
  std::vector<json> includes;
  for (int k = 0; k < copies; ++k) includes.push_back(Include(std::string(1, 'A' + k), "m"));
  for (int level = 0; level < levels; ++level) model = Model(includes, {Attachment("m", model)});
  return model;
}

TEST(ImportHandlers, RunawayIncludesEndTheRequest) {
  EXPECT_NEAR(BuildDoc(NestedModel(40, 1, {Cube("c", 1)}), "_all_").Volume(), 1, 1e-9);
  try {
    BuildDoc(NestedModel(110, 1, {Cube("c", 1)}), "_all_");
    ADD_FAILURE() << "deep includes built";
  } catch (const LimitError& e) {
    EXPECT_STREQ(e.what(), "objects nest deeper than 200 levels");
  }
  // Two includes a level double the builds with every level: a million objects at ten.
  std::vector<json> wide(1000, {{"vid", "f"}, {"type", "fdm"}});
  EXPECT_TRUE(BuildDoc(NestedModel(3, 2, wide), "_all_").IsEmpty());
  EXPECT_THROW(BuildDoc(NestedModel(10, 2, wide), "_all_"), LimitError);
}

TEST(ImportHandlers, TextMirrorsInYAndSvgKeepsIt) {
  // A 10 x 20 rectangle between y = 0 and y = 20; a height of 0 still makes a solid.
  const json square = {{{0, 0}, {10, 0}, {10, 20}, {0, 20}}};
  auto text = BuildDoc(Outline("text", square, {{"offset", 1}, {"z", 0}}), "o");
  EXPECT_TRUE(BoxNear(text.BoundingBox(), {-1, -21, 0}, {11, 1, 0.001}));
  auto svg = BuildDoc(Outline("svg", square, {{"offset", -1}, {"z", "2"}}), "o");
  EXPECT_TRUE(BoxNear(svg.BoundingBox(), {1, 1, 0}, {9, 19, 2}) && testing::IsClosed(svg));
  for (const json& bad : {json{{{0, 0}, {1, 1}}}, json(5), json{1, "a"}})
    EXPECT_TRUE(BuildDoc(Outline("text", bad), "o").IsEmpty()) << bad;
}

TEST(ImportHandlers, HeightMapsReadLowBytesAndCheckSegments) {
  const auto relief = [](const std::string& type, const json& values, int w, int h, json size) {
    return Model({{{"vid", "r"}, {"type", type}, {"_heightmap", values}, {"_heightmapWidth", w},
                   {"_heightmapHeight", h}, {"size", size}}});
  };
  // A relief of 255 on a base of 1 rises to 1 + the low byte of its one grey value.
  const std::pair<json, double> cases[] = {{300, 45}, {-1, 256}, {"128", 129}, {"x", 1}};
  for (const auto& [grey, top] : cases) {
    json doc = relief("bumpmesh", json::array({grey}), 1, 1, {{"x", 2}, {"base", 1}, {"z", 255}});
    EXPECT_TRUE(BoxNear(BuildDoc(doc, "r").BoundingBox(), {0, 0, 0}, {2, 100, top})) << grey;
  }
  json many = relief("bumpmeshCylinder", std::vector<int>(32, 255), 8, 4, {{"segments", 100000}});
  EXPECT_THROW(BuildDoc(many, "r"), LimitError);
}

}  // namespace
}  // namespace velamanifold
