#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <stdexcept>
#include <tuple>

#include "geometry/primitives.h"
#include "model/limits.h"
#include "pipeline/pipeline.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::Manifold;
using manifold::vec3;
using testing::BuildDoc;
using testing::Doc;

TEST(Primitives, VolumeBoundsClosednessAndUnusableSizes) {
  // Faceted round shapes fall short of the true volume by up to relTol.
  const std::tuple<const char*, Manifold, double, double, vec3, vec3> cases[] = {
      {"box", Cube(2, 3, 4, 0, true, 0), 24, 0, {-1, -1.5, -2}, {1, 1.5, 2}},
      {"inset narrows the top", Cube(10, 4, 3, 1, true, 0), 82, 0, {-5, -2, 0}, {5, 2, 3}},
      {"inset past middle", Cube(10, 4, 3, 99, false, 0), 52, 2e-4, {0, 0, 0}, {10, 4, 3}},
      {"tapered", Cylinder(4, 10, 2, 48), M_PI * 10 / 3 * 7, 1e-2, {-2, -2, 0}, {2, 2, 10}},
      {"over-tapered", Cylinder(4, 10, 9, 48), M_PI * 40 / 3, 1e-2, {-2, -2, 0}, {2, 2, 10}},
      {"cone", Cone(4, 10, 48), M_PI * 40 / 3, 1e-2, {-2, -2, 0}, {2, 2, 10}},
      {"sphere", Sphere(10, 48), M_PI * 500 / 3, 2e-2, {-5, -5, -5}, {5, 5, 5}},
      {"torus", Torus(20, 4, 48), 2 * M_PI * M_PI * 40, 1e-2, {-12, -12, -2}, {12, 12, 2}},
      {"prism", Triangle3D(3, 4, 5, 0), 30, 0, {0, 0, 0}, {3, 5, 4}},
  };
  for (const auto& [name, solid, volume, relTol, lo, hi] : cases) {
    EXPECT_TRUE(testing::IsClosed(solid) && testing::BoxNear(solid.BoundingBox(), lo, hi, 1e-3))
        << name;
    EXPECT_NEAR(solid.Volume(), volume, volume * relTol + 1e-9) << name;
  }
  // Too few segments leave the count to the library; non-finite sizes build nothing.
  EXPECT_TRUE(testing::IsClosed(Cylinder(4, 10, 0, -5)) && testing::IsClosed(Sphere(4, 0)));
  for (const Manifold& solid : {Cube(1, 1, NAN, 1, true, 0), Cylinder(1, 1, -INFINITY, 16),
                                Cone(1, INFINITY, 16), Sphere(NAN, 16), Torus(10, NAN, 16),
                                Triangle3D(1, INFINITY, 1, 0)}) {
    EXPECT_TRUE(solid.IsEmpty());
  }
}

json Obj(const std::string& id, const std::string& type, json members = json::object()) {
  members.update({{"vid", id}, {"type", type}});
  return members;
}

TEST(SolidHandlers, SizeReadingRulesAndRunawaySegmentCounts) {
  // Pipeline segments 16; a cylinder of n segments has 4n - 4 triangles, 0 is unchecked.
  const std::tuple<std::string, json, vec3, size_t> cases[] = {
      {"cube", {{"x", 4}, {"width", 7}, {"length", "=8"}}, {4, 8, 10}, 12},
      {"cube", {{"x", 10}, {"width", 7}, {"y", 0}, {"z", "abc"}}, {7, 0.0001, 10}, 12},
      {"cylinder", "12", {12, 12, 12}, 44}, {"triangle", 3, {10, 10, 10}, 8},
      {"cylinder", {{"diameter", 8}, {"segments", 2}}, {8, 8, 20}, 60},
      // Three segments make a triangular prism, not the library's own count.
      {"cylinder", {{"diameter", 10}, {"segments", 3}}, {7.5, 5 * std::sqrt(3), 20}, 8},
      {"cylinder", {{"height", -3}, {"segments", "6"}}, {10, 5 * std::sqrt(3), 0.0001}, 20},
      {"torus", {{"majorDiameter", 30}}, {35, 35, 5}, 0}, {"sphere", 8, {8, 8, 8}, 0},
  };
  for (const auto& [type, size, extent, numTri] : cases) {
    const Manifold solid = BuildDoc(Doc(json::array({Obj("s", type, {{"size", size}})})), "s", 16);
    EXPECT_TRUE(testing::BoxNear({{}, solid.BoundingBox().Size()}, {}, extent)) << size;
    EXPECT_TRUE(numTri == 0 || solid.NumTri() == numTri) << size << " " << solid.NumTri();
  }
  json doc = Doc({Obj("c", "cylinder", {{"size", {{"segments", 2000000000}}}}),
                  Obj("k", "cone", {{"size", 100000}}), Obj("s", "sphere")});
  for (const char* id : {"c", "k", "_all_"}) EXPECT_THROW(BuildDoc(doc, id), LimitError) << id;
  EXPECT_THROW(BuildDoc(doc, "s", 2000000000), LimitError);
}

TEST(SolidHandlers, GroupsAndPlacementGiveTheBoxTheySpan) {
  json doc = Doc({
      Obj("a", "cube"), Obj("u", "union", {{"baseObjects", {"a", "b", 7}}}),
      Obj("b", "cube", {{"move", {{"x", 5}}}}), Obj("mx", "mirror", {{"baseObjects", {"a"}}}),
      Obj("cut", "subtract", {{"baseObjects", {"a"}}, {"subtractObjects", {"b"}}}),
      Obj("noBase", "subtract", {{"subtractObjects", {"b"}}}),
      Obj("common", "intersect", {{"baseObjects", {"a"}}, {"intersectObjects", {"b"}}}),
      Obj("wide", "stretch", {{"baseObjects", {"a"}}, {"scale", {{"x", 200}, {"z", "=50"}}}}),
      Obj("endless", "stretch", {{"baseObjects", {"a"}}, {"scale", {{"z", "inf"}}}}),
      Obj("mz", "mirror", {{"baseObjects", {"a"}}, {"mirror", {{"axis", "Z"}}}}),
      // Turned about z, then y, then x, about the origin, and moved after.
      Obj("turned", "cube", {{"rotate", {{"x", 90}, {"z", 90}}}}),
      Obj("raised", "cube", {{"rotate", {{"x", 90}}}, {"move", {{"z", 5}, {"y", "bad"}}}}),
      Obj("inf", "cube", {{"move", {{"z", "inf"}}}}),
      Obj("nan", "cube", {{"rotate", {{"y", "nan"}}}}),
  });
  const std::tuple<const char*, vec3, vec3> cases[] = {
      {"u", {0, 0, 0}, {15, 10, 10}},        {"cut", {0, 0, 0}, {5, 10, 10}},
      {"common", {5, 0, 0}, {10, 10, 10}},   {"wide", {0, 0, 0}, {20, 10, 5}},
      {"mx", {-10, 0, 0}, {0, 10, 10}},      {"mz", {0, 0, -10}, {10, 10, 0}},
      {"turned", {-10, -10, 0}, {0, 0, 10}}, {"raised", {0, -10, 5}, {10, 0, 15}},
  };
  for (const auto& [id, lo, hi] : cases) {
    const Manifold solid = BuildDoc(doc, id);
    EXPECT_TRUE(testing::BoxNear(solid.BoundingBox(), lo, hi) && testing::IsClosed(solid)) << id;
    EXPECT_NEAR(solid.Volume(), (hi - lo).x * (hi - lo).y * (hi - lo).z, 1e-6) << id;
  }
  for (const char* id : {"noBase", "endless", "inf", "nan"}) {
    EXPECT_TRUE(BuildDoc(doc, id).IsEmpty()) << id;
  }
}

using Rgb = std::tuple<double, double, double>;

// Returns the distinct colour channels of the solid's vertices.
std::set<Rgb> Channels(const Manifold& solid) {
  const manifold::MeshGL mesh = solid.GetMeshGL();
  const auto& p = mesh.vertProperties;
  std::set<Rgb> out;
  for (size_t i = 3; mesh.numProp == 6 && i < p.size(); i += 6) {
    out.insert({p[i], p[i + 1], p[i + 2]});
  }
  return out;
}

json Colored(const json& text) { return {{"color", {{"color", text}}}}; }

TEST(Colour, TextFormsGiveChannelsAndGroupsKeepChildColoursUnlessGivenTheirOwn) {
  // Unusable texts give a plain solid green and keep the channels of a coloured one.
  const Rgb red{1, 0, 0}, kept{0, 1, 0};
  const std::tuple<json, Rgb> cases[] = {
      {Colored("#F00"), red},          {Colored("ff0000"), red},     {Colored("#ff000080"), red},
      {Colored("#-1-1-1"), {1, 1, 1}}, {Colored("#ff000000"), kept}, {Colored("#12345"), kept},
  };
  VelaPipeline pipeline;
  pipeline.wantColors = true;
  const Manifold blue = pipeline.ApplyColorProps(Manifold::Cube(), Colored("#00f"));
  for (const auto& [object, rgb] : cases) {
    EXPECT_EQ(Channels(pipeline.ApplyColorProps(Manifold::Cube(), object)), std::set{rgb});
    const Rgb onBlue = rgb == kept ? Rgb{0, 0, 1} : rgb;
    EXPECT_EQ(Channels(pipeline.ApplyColorProps(blue, object)), std::set{onBlue}) << object;
  }
  EXPECT_THROW(pipeline.ApplyColorProps(blue, Colored("#zz0000")), std::invalid_argument);

  json doc = Doc({Obj("r", "cube", Colored("#f00")), Obj("p", "cube", {{"move", {{"x", 20}}}}),
                  Obj("bad", "cube", {{"color", {{"color", "#zz0000"}}}, {"move", {{"x", 40}}}}),
                  Obj("u", "union", {{"baseObjects", {"r", "p"}}})});
  EXPECT_EQ(Channels(pipeline.Build(doc.dump(), "u")), (std::set<Rgb>{red, kept}));
  // The walk over all objects leaves out the one whose colour cannot be read.
  EXPECT_NEAR(pipeline.Build(doc.dump(), "_all_").Volume(), 2000, 1e-6);
  doc["objects"][3].update(Colored("#fff"));
  EXPECT_EQ(Channels(pipeline.Build(doc.dump(), "u")), (std::set<Rgb>{{1, 1, 1}}));
}

}  // namespace
}  // namespace velamanifold
