#include <gtest/gtest.h>

#include "model/limits.h"
#include "pipeline/pipeline.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using nlohmann::json;
using testing::BuildDoc;
using testing::Doc;

json Cube(std::string id, double size) { return {{"vid", id}, {"type", "cube"}, {"size", size}}; }

json Union(const std::string& id, const json& ids) {
  return {{"vid", id}, {"type", "union"}, {"baseObjects", ids}};
}

TEST(Pipeline, AllUnitesVisibleObjectsAndUnknownsBuildNothing) {
  json doc = Doc({Cube("a", 2), {{"vid", "f"}, {"type", "fdm"}}, {{"vid", "n"}},
                  {{"vid", "hidden"}, {"type", "cube"}, {"size", 50}, {"visible", false}},
                  {{"vid", "p"}, {"type", "parameter"}, {"value", {{"value", 3}}}},
                  {{"type", "cube"}, {"size", 40}}});
  EXPECT_NEAR(BuildDoc(doc, "_all_").Volume(), 8.0, 1e-9);
  for (const char* id : {"zz", "f", "n", ""}) EXPECT_TRUE(BuildDoc(doc, id).IsEmpty()) << id;
}

TEST(Pipeline, CyclesEndWithEmptyOperandsAndDeepChainsOrRunawayCopiesFail) {
  json doc = Doc({Union("a", {"a", "cube"}), Union("b", {"c"}), Union("c", {"b", "cube"}),
                  Cube("cube", 3)});
  for (const char* id : {"a", "b", "_all_"}) EXPECT_NEAR(BuildDoc(doc, id).Volume(), 27, 1e-9);
  auto id = [](int i) { return std::string("u").append(std::to_string(i)); };
  json chain = json::array();
  const int n = kMaxObjectDepth + 10;
  for (int i = 0; i < n; ++i) chain.push_back(Union(id(i), {id(i + 1)}));
  chain.push_back(Cube(id(n), 1));
  EXPECT_THROW(BuildDoc(Doc(chain), "u0"), LimitError);
  EXPECT_THROW(BuildDoc(Doc(chain), "_all_"), LimitError);
  // The copy ceiling counts across the request.
  VelaPipeline pipeline;
  pipeline.ChargeCopies(kMaxCopies);
  EXPECT_THROW(pipeline.ChargeCopies(1), LimitError);
}

// The cache holds an object as placed: a group using an object that carries
// its own move gets it where it was moved, and "_all_" holds it once there,
// whichever of the two is built first.
TEST(Pipeline, AMovedObjectUsedByAGroupIsCachedWhereItWasMoved) {
  json moved = Cube("m", 10);
  moved["move"] = {{"x", 20}};
  const json group = Union("g", {"m"});
  for (const json& doc : {Doc({moved, group}), Doc({group, moved})}) {
    for (const char* id : {"_all_", "g"}) {
      const manifold::Manifold solid = BuildDoc(doc, id);
      EXPECT_TRUE(testing::BoxNear(solid.BoundingBox(), {20, 0, 0}, {30, 10, 10})) << id << doc;
      EXPECT_NEAR(solid.Volume(), 1000, 1e-9) << id << doc;
    }
  }
}

TEST(Pipeline, SeparateCachesPutTheOuterCachesBackAfterAThrow) {
  VelaPipeline pipeline;
  pipeline.BuildInner(Doc(json::array({Cube("c", 2)})), "c", nullptr);
  try {
    VelaPipeline::SeparateCaches scope(pipeline);
    EXPECT_TRUE(pipeline.BuildInner(Doc(json::array()), "c", nullptr).IsEmpty());
    throw std::runtime_error("inner failure");
  } catch (const std::runtime_error&) {}
  // Served from the restored cache: this document lacks "c".
  EXPECT_NEAR(pipeline.BuildInner(Doc(json::array()), "c", nullptr).Volume(), 8.0, 1e-9);
}

// An export colours its object after letting the solid go; the mesh must be
// the one the coloured solid gives, vertex for vertex, whichever way the
// colour comes: the plain colour, the object's own, its parts' kept, or its
// own over its parts'.
TEST(Pipeline, BuildMeshGivesTheColouredSolidsMeshExactly) {
  auto colored = [](json object, const char* color) {
    object["color"] = {{"color", color}};
    return object;
  };
  json red = colored(Cube("red", 10), "#ff0000");
  json blue = colored({{"vid", "blue"}, {"type", "sphere"}, {"size", 12}}, "#0000ff");
  blue["move"] = {{"x", 8}};
  json moved = colored(Cube("moved", 4), "#abc");
  moved["rotate"] = {{"z", 30}};
  // An included model with a red object.
  const json inner = Doc(json::array({colored(Cube("r", 5), "#ff0000")}));
  json doc = Doc({red, blue, moved, Cube("plain", 3), Union("kept", {"red", "blue"}),
                        colored(Union("over", {"red", "blue"}), "#00ff0080"),
                        {{"vid", "cut"}, {"type", "subtract"}, {"baseObjects", {"red"}},
                         {"subtractObjects", {"blue"}}},
                        {{"vid", "hollow"}, {"type", "subtract"}, {"baseObjects", {"plain"}},
                         {"subtractObjects", {"moved"}}},
                        {{"vid", "inc"}, {"type", "includepart"}, {"attachmentVid", "m"}}});
  doc["attachments"] = json::array({{{"vid", "m"}, {"filetype", "vela"}, {"content", inner}}});
  // "_all_" of a single visible object, a plain one and one of coloured parts.
  json hidden = red, hiddenBlue = blue;
  hidden["visible"] = hiddenBlue["visible"] = false;
  const json onlyPlain = Doc(json::array({Cube("p", 2)}));
  const json onlyKept = Doc({hidden, hiddenBlue, Union("k", {"red", "blue"})});
  const std::pair<json, const char*> cases[] = {
      {doc, "red"},  {doc, "moved"}, {doc, "plain"}, {doc, "kept"},          {doc, "over"},
      {doc, "cut"},  {doc, "hollow"}, {doc, "inc"},  {doc, "_all_"},         {onlyPlain, "_all_"},
      {onlyKept, "_all_"}};
  for (const auto& [model, id] : cases) {
    auto mesh = [&, &model = model, id = id](bool viaBuildMesh) {
      VelaPipeline pipeline;
      pipeline.segments = 24;
      pipeline.wantColors = true;
      json document;
      EXPECT_TRUE(pipeline.LoadDocument(model.dump(), document));
      return viaBuildMesh ? pipeline.BuildMesh(document, id)
                          : pipeline.BuildInner(document, id, nullptr).GetMeshGL64();
    };
    const manifold::MeshGL64 expected = mesh(false), got = mesh(true);
    EXPECT_GT(expected.NumTri(), 0u) << id;
    EXPECT_EQ(got.numProp, expected.numProp) << id;
    EXPECT_EQ(got.triVerts, expected.triVerts) << id;
    EXPECT_EQ(got.vertProperties, expected.vertProperties) << id;
  }
}

}  // namespace
}  // namespace velamanifold
