#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <stdexcept>
#include <tuple>

#include "geometry/primitives.h"
#include "pipeline/limits.h"
#include "pipeline/pipeline.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::Manifold;
using manifold::vec3;
using nlohmann::json;
using testing::BoxNear;
using testing::BuildDoc;
using testing::Doc;
using testing::IsClosed;

constexpr double kPi = 3.14159265358979323846;

TEST(Primitives, VolumeBoundsClosednessAndUnusableSizes) {
  // Faceted round shapes fall short of the true volume by up to relTol.
  const std::tuple<const char*, Manifold, double, double, vec3, vec3> cases[] = {
      {"box", Cube(2, 3, 4, 0, true, 0), 24, 0, {-1, -1.5, -2}, {1, 1.5, 2}},
      // An inset narrows the top; the base stays on z = 0.
      {"inset", Cube(10, 4, 3, 1, true, 0), 82, 0, {-5, -2, 0}, {5, 2, 3}},
      {"inset past middle", Cube(10, 4, 3, 99, false, 0), 52, 2e-4, {0, 0, 0}, {10, 4, 3}},
      {"tapered", Cylinder(4, 10, 2, 48), kPi * 10 / 3 * 7, 1e-2, {-2, -2, 0}, {2, 2, 10}},
      {"over-tapered", Cylinder(4, 10, 9, 48), kPi * 40 / 3, 1e-2, {-2, -2, 0}, {2, 2, 10}},
      {"cone", Cone(4, 10, 48), kPi * 40 / 3, 1e-2, {-2, -2, 0}, {2, 2, 10}},
      {"sphere", Sphere(10, 48), kPi * 500 / 3, 2e-2, {-5, -5, -5}, {5, 5, 5}},
      {"torus", Torus(20, 4, 48), 2 * kPi * kPi * 40, 1e-2, {-12, -12, -2}, {12, 12, 2}},
      {"prism", Triangle3D(3, 4, 5, 0), 30, 0, {0, 0, 0}, {3, 5, 4}},
  };
  for (const auto& [name, solid, volume, relTol, lo, hi] : cases) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(IsClosed(solid));
    EXPECT_NEAR(solid.Volume(), volume, volume * relTol + 1e-9);
    EXPECT_TRUE(BoxNear(solid.BoundingBox(), lo, hi, 1e-3));
  }
  // Too few segments leave the count to the library; non-finite sizes build nothing.
  EXPECT_TRUE(IsClosed(Cylinder(4, 10, 0, -5)) && IsClosed(Sphere(4, 0)));
  for (const Manifold& solid : {Cube(INFINITY, 1, 1, 0, false, 0), Cube(1, 1, NAN, 1, true, 0),
                                Cylinder(1, 1, NAN, 16), Cylinder(1, 1, -INFINITY, 16),
                                Cone(1, INFINITY, 16), Sphere(NAN, 16), Torus(10, NAN, 16),
                                Triangle3D(1, INFINITY, 1, 0)}) {
    EXPECT_TRUE(solid.IsEmpty());
  }
}

json Obj(const std::string& id, const std::string& type, const json& members = {}) {
  json o = {{"vid", id}, {"type", type}};
  if (!members.is_null()) o.update(members);
  return o;
}

TEST(SolidHandlers, SizeReadingRules) {
  // Pipeline segments 16; a cylinder of n segments has 4n - 4 triangles.
  const std::tuple<std::string, json, vec3, size_t> cases[] = {
      {"cube", {{"x", 4}, {"width", 7}, {"length", "=8"}}, {4, 8, 10}, 12},
      {"cube", {{"x", 10}, {"width", 7}, {"y", 0}, {"z", "abc"}}, {7, 0.0001, 10}, 12},
      {"cylinder", "12", {12, 12, 12}, 44},
      {"cylinder", {{"diameter", 8}, {"segments", 2}}, {8, 8, 20}, 60},
      {"cylinder", {{"height", -3}, {"segments", "6"}}, {10, 10, 0.0001}, 20},
      {"sphere", {{"diameter", 8}, {"segments", 4}}, {8, 8, 8}, Sphere(8, 16).NumTri()},
      {"torus", {{"majorDiameter", 30}}, {35, 35, 5}, Torus(30, 5, 16).NumTri()},
      {"triangle", 3, {10, 10, 10}, 8},
  };
  for (const auto& [type, size, extent, numTri] : cases) {
    SCOPED_TRACE(type + " " + size.dump());
    Manifold solid = BuildDoc(Doc(json::array({Obj("s", type, {{"size", size}})})), "s", 16);
    manifold::Box box = solid.BoundingBox();
    EXPECT_NEAR(box.max.x - box.min.x, extent.x, 1e-6);
    EXPECT_NEAR(box.max.z - box.min.z, extent.z, 1e-6);
    EXPECT_EQ(solid.NumTri(), numTri);
  }
}

TEST(SolidHandlers, RunawaySegmentCountsEndTheRequest) {
  json doc = Doc({Obj("c", "cylinder", {{"size", {{"segments", 2000000000}}}}),
                  Obj("k", "cone", {{"size", 100000}}), Obj("s", "sphere")});
  for (const char* id : {"c", "k", "_all_"}) EXPECT_THROW(BuildDoc(doc, id), LimitError) << id;
  EXPECT_THROW(BuildDoc(doc, "s", 2000000000), LimitError);
}

TEST(SolidHandlers, GroupsCombineAndReshapeTheirOperands) {
  json doc = Doc({
      Obj("a", "cube"), Obj("b", "cube", {{"move", {{"x", 5}}}}),
      Obj("far", "cube", {{"move", {{"x", 50}}}}),
      Obj("u", "union", {{"baseObjects", {"a", "b", 7}}}),
      Obj("cut", "subtract", {{"baseObjects", {"a"}}, {"subtractObjects", {"b"}}}),
      Obj("noBase", "subtract", {{"subtractObjects", {"b"}}}),
      Obj("common", "intersect", {{"baseObjects", {"a"}}, {"intersectObjects", {"b"}}}),
      Obj("disjoint", "intersect", {{"baseObjects", {"a"}}, {"intersectObjects", {"far"}}}),
      Obj("wide", "stretch", {{"baseObjects", {"a"}}, {"scale", {{"x", 200}, {"z", "=50"}}}}),
      Obj("endless", "stretch", {{"baseObjects", {"a"}}, {"scale", {{"z", "inf"}}}}),
      Obj("mx", "mirror", {{"baseObjects", {"a"}}}),
      Obj("mz", "mirror", {{"baseObjects", {"a"}}, {"mirror", {{"axis", "Z"}}}}),
  });
  const std::tuple<const char*, vec3, vec3> cases[] = {
      {"u", {0, 0, 0}, {15, 10, 10}},      {"cut", {0, 0, 0}, {5, 10, 10}},
      {"common", {5, 0, 0}, {10, 10, 10}}, {"wide", {0, 0, 0}, {20, 10, 5}},
      {"mx", {-10, 0, 0}, {0, 10, 10}},    {"mz", {0, 0, -10}, {10, 10, 0}},
  };
  for (const auto& [id, lo, hi] : cases) {
    SCOPED_TRACE(id);
    Manifold solid = BuildDoc(doc, id);
    EXPECT_TRUE(BoxNear(solid.BoundingBox(), lo, hi));
    EXPECT_NEAR(solid.Volume(), (hi - lo).x * (hi - lo).y * (hi - lo).z, 1e-6);
    EXPECT_TRUE(IsClosed(solid));
  }
  for (const char* id : {"noBase", "disjoint", "endless"}) {
    EXPECT_TRUE(BuildDoc(doc, id).IsEmpty()) << id;
  }
}

TEST(Placement, RotatesZThenYThenXAboutTheOriginThenMoves) {
  // Its box shows where (1, 0, 0) goes.
  const Manifold probe = Manifold::Cube({1, 1, 1}).Translate({1, 0, 0});
  const std::tuple<json, vec3, vec3> cases[] = {
      {{{"rotate", {{"z", 90}}}}, {-1, 1, 0}, {0, 2, 1}},
      {{{"rotate", {{"x", 90}, {"z", 90}}}}, {-1, -1, 1}, {0, 0, 2}},
      {{{"rotate", {{"x", 90}}}, {"move", {{"z", 5}, {"y", "bad"}}}}, {1, -1, 5}, {2, 0, 6}},
  };
  VelaPipeline pipeline;
  for (const auto& [object, lo, hi] : cases) {
    EXPECT_TRUE(BoxNear(pipeline.ApplyTransformation(probe, object).BoundingBox(), lo, hi, 1e-9))
        << object.dump();
  }
  for (const json& object : {json{{"rotate", {{"y", "nan"}}}}, json{{"move", {{"z", "-inf"}}}}}) {
    EXPECT_TRUE(pipeline.ApplyTransformation(probe, object).IsEmpty()) << object.dump();
  }
}

using Rgb = std::tuple<double, double, double>;

// Returns the distinct colour channels of the solid's vertices, to 3 places.
std::set<Rgb> Channels(const Manifold& solid) {
  std::set<Rgb> out;
  manifold::MeshGL mesh = solid.GetMeshGL();
  const auto& p = mesh.vertProperties;
  auto round = [](float c) { return std::round(double(c) * 1000) / 1000; };
  for (size_t i = 3; mesh.numProp == 6 && i < p.size(); i += 6) {
    out.insert({round(p[i]), round(p[i + 1]), round(p[i + 2])});
  }
  return out;
}

json Colored(const json& text) { return {{"color", {{"color", text}}}}; }

TEST(Colour, TextFormsGiveChannelsOrKeepWhatIsThere) {
  const Rgb red{1, 0, 0}, green{0, 1, 0};
  const std::tuple<json, Rgb> cases[] = {
      {Colored("#F00"), red},        {Colored("ff0000"), red},     {Colored("#ff000080"), red},
      {Colored("#336699"), {0.2, 0.4, 0.6}}, {Colored("#0z8000"), {0, 0.502, 0}},
      {Colored("#-1-1-1"), {1, 1, 1}}, {Colored("#ff000000"), green}, {Colored("#12345"), green},
      {{{"color", "#ff0000"}}, green}, {json::object(), green},
  };
  VelaPipeline pipeline;
  Manifold blue = pipeline.ApplyColorProps(Manifold::Cube(), Colored("#00f"));
  for (const auto& [object, rgb] : cases) {
    SCOPED_TRACE(object.dump());
    EXPECT_EQ(Channels(pipeline.ApplyColorProps(Manifold::Cube(), object)), std::set<Rgb>{rgb});
    // A solid that already has channels keeps them unless given a colour.
    Rgb kept = rgb == green ? Rgb{0, 0, 1} : rgb;
    EXPECT_EQ(Channels(pipeline.ApplyColorProps(blue, object)), std::set<Rgb>{kept});
  }
  EXPECT_THROW(pipeline.ApplyColorProps(blue, Colored("#zz0000")), std::invalid_argument);
  EXPECT_EQ(pipeline.ApplyColorProps(Manifold(), Colored("#f00")).NumProp(), 0u);
}

TEST(Colour, GroupKeepsChildColoursAndItsOwnColourReplacesThem) {
  json doc = Doc({Obj("r", "cube", Colored("#f00")),
                  Obj("bad", "cube", {{"color", {{"color", "#zz0000"}}}, {"move", {{"x", 40}}}}),
                  Obj("p", "cube", {{"move", {{"x", 20}}}}),
                  Obj("u", "union", {{"baseObjects", {"r", "p"}}}),
                  Obj("tinted", "union", {{"baseObjects", {"r", "p"}}, {"color", {{"color", "#fff"}}}})});
  VelaPipeline pipeline;
  pipeline.wantColors = true;
  EXPECT_EQ(Channels(pipeline.Build(doc.dump(), "u")), (std::set<Rgb>{{1, 0, 0}, {0, 1, 0}}));
  EXPECT_EQ(Channels(pipeline.Build(doc.dump(), "tinted")), (std::set<Rgb>{{1, 1, 1}}));
  // The walk over all objects leaves out the one whose colour cannot be read.
  EXPECT_NEAR(pipeline.Build(doc.dump(), "_all_").Volume(), 2000, 1e-6);
}

}  // namespace
}  // namespace velamanifold
