#include <gtest/gtest.h>

#include <cmath>
#include <limits>
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
const double kInf = std::numeric_limits<double>::infinity();
const double kNan = std::nan("");

struct PrimitiveCase {
  const char* name;
  Manifold solid;
  double volume;
  double relTol;  // faceted round shapes fall short of the true volume
  vec3 lo, hi;
};

TEST(Primitives, VolumeBoundsAndClosedness) {
  const PrimitiveCase cases[] = {
      {"box", Cube(2, 3, 4, 0, false, 0), 24, 1e-9, {0, 0, 0}, {2, 3, 4}},
      {"centred box", Cube(2, 3, 4, -1, true, 0), 24, 1e-9, {-1, -1.5, -2}, {1, 1.5, 2}},
      // Base 10 x 4, top 8 x 2, middle 9 x 3: h/6 (40 + 4 * 27 + 16).
      {"inset box", Cube(10, 4, 3, 1, false, 0), 82, 1e-9, {0, 0, 0}, {10, 4, 3}},
      {"centred inset box", Cube(10, 4, 3, 1, true, 0), 82, 1e-9, {-5, -2, 0}, {5, 2, 3}},
      {"cylinder", Cylinder(4, 10, 0, 48), kPi * 4 * 10, 1e-2, {-2, -2, 0}, {2, 2, 10}},
      {"tapered", Cylinder(4, 10, 2, 48), kPi * 10 / 3 * 7, 1e-2, {-2, -2, 0}, {2, 2, 10}},
      {"over-tapered", Cylinder(4, 10, 9, 48), kPi * 4 * 10 / 3, 1e-2, {-2, -2, 0}, {2, 2, 10}},
      {"cone", Cone(4, 10, 48), kPi * 4 * 10 / 3, 1e-2, {-2, -2, 0}, {2, 2, 10}},
      {"sphere", Sphere(10, 48), 4.0 / 3 * kPi * 125, 2e-2, {-5, -5, -5}, {5, 5, 5}},
      {"torus", Torus(20, 4, 48), 2 * kPi * kPi * 10 * 4, 1e-2, {-12, -12, -2}, {12, 12, 2}},
      {"prism", Triangle3D(3, 4, 5, 0), 30, 1e-9, {0, 0, 0}, {3, 5, 4}},
  };
  for (const PrimitiveCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(IsClosed(c.solid));
    EXPECT_NEAR(c.solid.Volume(), c.volume, c.volume * c.relTol);
    EXPECT_LE(c.solid.Volume(), c.volume * (1 + 1e-9));
    EXPECT_TRUE(BoxNear(c.solid.BoundingBox(), c.lo, c.hi, 1e-6));
  }
}

TEST(Primitives, InsetLargerThanHalfTheSideStopsJustPastTheMiddle) {
  // The inset stops at half the smaller side plus 0.0001, so the top nearly
  // closes to a ridge: the volume sits right at that of a 2-wide inset.
  Manifold solid = Cube(10, 4, 3, 1000, false, 0);
  EXPECT_NEAR(solid.Volume(), 52, 0.01);
  EXPECT_TRUE(BoxNear(solid.BoundingBox(), {0, 0, 0}, {10, 4, 3}, 1e-3));
}

TEST(Primitives, SegmentCountsBelowThreeLeaveTheChoiceToTheLibrary) {
  size_t libraryChoice = Manifold::Cylinder(10, 2, 2, 0).NumTri();
  for (int n : {-5, 0, 1, 2}) {
    EXPECT_EQ(Cylinder(4, 10, 0, n).NumTri(), libraryChoice) << n;
    EXPECT_EQ(Cone(4, 10, n).NumTri(), Manifold::Cylinder(10, 2, 0, 0).NumTri()) << n;
    EXPECT_EQ(Sphere(4, n).NumTri(), Manifold::Sphere(2, 0).NumTri()) << n;
  }
  // Three segments: a triangular prism of 2 cap and 6 side triangles.
  EXPECT_EQ(Cylinder(4, 10, 0, 3).NumTri(), 8u);
  EXPECT_EQ(Cone(4, 10, 3).NumTri(), 4u);
}

TEST(Primitives, NonFiniteSizesBuildNothing) {
  const Manifold solids[] = {
      Cube(kInf, 1, 1, 0, false, 0), Cube(1, kNan, 1, 0, false, 0), Cube(1, 1, kInf, 1, true, 0),
      Cylinder(kNan, 1, 0, 16),      Cylinder(1, 1, kNan, 16),      Cylinder(1, 1, -kInf, 16),
      Cone(1, kInf, 16),             Sphere(kNan, 16),              Sphere(kInf, 0),
      Torus(kInf, 1, 16),            Torus(10, kNan, 16),           Triangle3D(1, kNan, 1, 0),
  };
  for (size_t i = 0; i < std::size(solids); ++i) EXPECT_TRUE(solids[i].IsEmpty()) << i;
}

TEST(Primitives, EnsurePositiveWindingTurnsAnInsideOutSolid) {
  EXPECT_TRUE(EnsurePositiveWinding(Manifold()).IsEmpty());
  Manifold box = Manifold::Cube({1, 2, 3});
  EXPECT_NEAR(EnsurePositiveWinding(box).Volume(), 6, 1e-9);

  manifold::MeshGL64 mesh = box.GetMeshGL64();
  for (size_t t = 0; t + 2 < mesh.triVerts.size(); t += 3) {
    std::swap(mesh.triVerts[t], mesh.triVerts[t + 1]);
  }
  Manifold insideOut(mesh);
  ASSERT_LT(insideOut.Volume(), 0);
  Manifold fixed = EnsurePositiveWinding(insideOut);
  EXPECT_NEAR(fixed.Volume(), 6, 1e-9);
  EXPECT_TRUE(IsClosed(fixed));
}

// ---- Handlers ----

// Returns a model document holding the one object record.
json Single(const json& object) { return Doc(json::array({object})); }

json Obj(const std::string& id, const std::string& type, const json& size) {
  json o = {{"vid", id}, {"type", type}};
  if (!size.is_null()) o["size"] = size;
  return o;
}

vec3 Extent(const Manifold& solid) {
  manifold::Box box = solid.BoundingBox();
  return box.max - box.min;
}

TEST(SolidHandlers, CubeReadsBareNumberThenAxesThenNames) {
  const std::tuple<json, vec3> cases[] = {
      {nullptr, {10, 10, 10}},
      {5, {5, 5, 5}},
      {"=6", {6, 6, 6}},
      {json::object(), {10, 10, 10}},
      {{{"x", 4}, {"width", 7}}, {4, 10, 10}},
      {{{"x", 10}, {"width", 7}}, {7, 10, 10}},
      {{{"width", 7}}, {7, 10, 10}},
      {{{"y", 3}, {"length", 8}, {"z", "2"}, {"height", 9}}, {10, 3, 2}},
      {{{"length", 8}, {"height", "=9"}}, {10, 8, 9}},
      {{{"x", 0}, {"y", -4}, {"z", "abc"}}, {0.0001, 0.0001, 10}},
  };
  for (const auto& [size, extent] : cases) {
    SCOPED_TRACE(size.dump());
    Manifold solid = BuildDoc(Single(Obj("c", "cube", size)), "c");
    EXPECT_TRUE(BoxNear(solid.BoundingBox(), {0, 0, 0}, extent, 1e-9));
    EXPECT_NEAR(solid.Volume(), extent.x * extent.y * extent.z, 1e-9);
  }
  // A bare number other than 10 wins over the named members.
  Manifold bare = BuildDoc(Single(Obj("c", "cube", 5)), "c");
  EXPECT_NEAR(bare.Volume(), 125, 1e-9);
  Manifold inset = BuildDoc(Single(Obj("c", "cube", {{"offset", 1}, {"z", 3}})), "c");
  EXPECT_NEAR(inset.Volume(), 3.0 / 6 * (100 + 4 * 81 + 64), 1e-9);
}

TEST(SolidHandlers, RoundShapesReadSizesAndSegmentCounts) {
  struct Case {
    const char* type;
    json size;
    vec3 extent;
    size_t numTri;
  };
  // Pipeline segments 16: a cylinder of n segments has 4n - 4 triangles, a cone 2n - 2.
  const Case cases[] = {
      {"cylinder", 12, {12, 12, 12}, 44},
      {"cylinder", "12", {12, 12, 12}, 44},
      {"cylinder", {{"diameter", 8}}, {8, 8, 20}, 60},
      {"cylinder", {{"segments", 2}}, {10, 10, 20}, 60},
      {"cylinder", {{"segments", "6"}, {"height", 3}}, {10, 10, 3}, 20},
      {"cylinder", 2.5, {2.5, 2.5, 2.5}, 60},
      {"cylinder", {{"diameter", -1}, {"height", 0}}, {0.0001, 0.0001, 0.0001}, 60},
      {"cone", {{"diameter", 6}, {"height", 9}, {"segments", 6}}, {6, 6, 9}, 10},
      {"cone", 8, {8, 8, 8}, 14},
      {"sphere", {{"diameter", 8}, {"segments", 4}}, {8, 8, 8}, 0},
      {"torus", {{"majorDiameter", 30}}, {35, 35, 5}, 0},
      {"torus", {{"tubeDiameter", 2}}, {22, 22, 2}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.size.dump());
    Manifold solid = BuildDoc(Single(Obj("s", c.type, c.size)), "s", 16);
    EXPECT_TRUE(IsClosed(solid) || c.extent.x < 0.001);
    // Polygons inscribed in the circle may stop short of the diameter in Y.
    EXPECT_NEAR(Extent(solid).x, c.extent.x, 1e-6);
    EXPECT_LE(Extent(solid).y, c.extent.y + 1e-6);
    EXPECT_NEAR(Extent(solid).z, c.extent.z, 1e-6);
    if (c.numTri != 0) {
      EXPECT_EQ(solid.NumTri(), c.numTri);
    }
  }
  // Spheres and tori follow the pipeline's count only.
  EXPECT_EQ(BuildDoc(Single(Obj("s", "sphere", {{"segments", 4}})), "s", 16).NumTri(),
            Sphere(10, 16).NumTri());
  EXPECT_EQ(BuildDoc(Single(Obj("t", "torus", 12)), "t", 8).NumTri(), Torus(12, 12, 8).NumTri());
}

TEST(SolidHandlers, TriangleReadsNamedMembersOnly) {
  Manifold bare = BuildDoc(Single(Obj("t", "triangle", 3)), "t");
  EXPECT_TRUE(BoxNear(bare.BoundingBox(), {0, 0, 0}, {10, 10, 10}));
  Manifold named =
      BuildDoc(Single(Obj("t", "triangle", {{"width", 3}, {"height", 4}, {"depth", 5}})), "t");
  EXPECT_TRUE(BoxNear(named.BoundingBox(), {0, 0, 0}, {3, 5, 4}));
  EXPECT_NEAR(named.Volume(), 30, 1e-9);
}

TEST(SolidHandlers, RunawaySegmentCountsEndTheRequest) {
  json doc = Doc({Obj("c", "cylinder", {{"segments", 2000000000}}), Obj("k", "cone", 100000),
                  Obj("s", "sphere", nullptr), Obj("b", "cube", nullptr)});
  EXPECT_THROW(BuildDoc(doc, "c"), LimitError);
  EXPECT_THROW(BuildDoc(doc, "k"), LimitError);
  EXPECT_THROW(BuildDoc(doc, "_all_"), LimitError);
  EXPECT_THROW(BuildDoc(doc, "s", 2000000000), LimitError);
  // A pipeline count below 3 is not a runaway: the library picks one.
  json plain = Single(Obj("c", "cylinder", nullptr));
  EXPECT_EQ(BuildDoc(plain, "c", -7).NumTri(), Cylinder(10, 20, 0, 0).NumTri());
}

TEST(SolidHandlers, NonFiniteSizesBuildNothingAndHugeOnesDoNotFail) {
  for (const json& o : {Obj("x", "cube", "inf"), Obj("x", "cube", "nan"),
                        Obj("x", "cube", {{"height", "inf"}}),
                        Obj("x", "sphere", "nan"), Obj("x", "torus", {{"tubeDiameter", "inf"}}),
                        Obj("x", "cylinder", {{"tapering", "nan"}}),
                        Obj("x", "triangle", {{"depth", "infinity"}})}) {
    EXPECT_TRUE(BuildDoc(Single(o), "x").IsEmpty()) << o.dump();
  }
  for (const json& o : {Obj("x", "cube", 1e308), Obj("x", "sphere", 1e300),
                        Obj("x", "cylinder", {{"tapering", "inf"}})}) {
    EXPECT_FALSE(BuildDoc(Single(o), "x").IsEmpty()) << o.dump();
  }
}

// ---- Groups ----

json Cube10(const std::string& id, const json& move = nullptr) {
  json o = Obj(id, "cube", 10);
  if (!move.is_null()) o["move"] = move;
  return o;
}

json Group(const std::string& id, const std::string& type, const json& members) {
  json o = {{"vid", id}, {"type", type}};
  o.update(members);
  return o;
}

TEST(SolidHandlers, BooleanGroupsKeepTheirBaseWithoutASecondOperand) {
  json doc = Doc({
      Cube10("a"),
      Cube10("b", {{"x", 5}}),
      Cube10("far", {{"x", 50}}),
      Group("u", "union", {{"baseObjects", {"a", "b", 7}}}),
      Group("uStr", "union", {{"baseObjects", "a"}}),
      Group("cut", "subtract", {{"baseObjects", {"a"}}, {"subtractObjects", {"b"}}}),
      Group("cutNothing", "subtract", {{"baseObjects", {"a"}}, {"subtractObjects", {"nope"}}}),
      Group("cutNoBase", "subtract", {{"subtractObjects", {"b"}}}),
      Group("common", "intersect", {{"baseObjects", {"a"}}, {"intersectObjects", {"b"}}}),
      Group("disjoint", "intersect", {{"baseObjects", {"a"}}, {"intersectObjects", {"far"}}}),
      Group("alone", "intersect", {{"baseObjects", {"a"}}, {"intersectObjects", json::array()}}),
  });
  const std::tuple<const char*, double, double, double> cases[] = {
      {"u", 1500, 0, 15},        {"uStr", 0, 0, 0},        {"cut", 500, 0, 5},
      {"cutNothing", 1000, 0, 10}, {"cutNoBase", 0, 0, 0}, {"common", 500, 5, 10},
      {"disjoint", 0, 0, 0},     {"alone", 1000, 0, 10},
  };
  for (const auto& [id, volume, xMin, xMax] : cases) {
    SCOPED_TRACE(id);
    Manifold solid = BuildDoc(doc, id);
    EXPECT_NEAR(solid.Volume(), volume, 1e-6);
    if (volume == 0) {
      EXPECT_TRUE(solid.IsEmpty());
      continue;
    }
    EXPECT_TRUE(IsClosed(solid));
    EXPECT_TRUE(BoxNear(solid.BoundingBox(), {xMin, 0, 0}, {xMax, 10, 10}));
  }
}

TEST(SolidHandlers, StretchScalesInPercentAndMirrorFlipsBounds) {
  json doc = Doc({
      Obj("a", "cube", {{"x", 1}, {"y", 2}, {"z", 3}}),
      Group("wide", "stretch", {{"baseObjects", {"a"}}, {"scale", {{"x", 200}}}}),
      Group("all", "stretch", {{"baseObjects", {"a"}}, {"scale", {{"x", 50}, {"y", "=300"}, {"z", 10}}}}),
      Group("endless", "stretch", {{"baseObjects", {"a"}}, {"scale", {{"z", "inf"}}}}),
      Group("none", "stretch", {{"baseObjects", {"nope"}}, {"scale", {{"x", 200}}}}),
      Group("mx", "mirror", {{"baseObjects", {"a"}}}),
      Group("my", "mirror", {{"baseObjects", {"a"}}, {"mirror", {{"axis", "y"}}}}),
      Group("mz", "mirror", {{"baseObjects", {"a"}}, {"mirror", {{"axis", "Z"}}}}),
      Group("mOther", "mirror", {{"baseObjects", {"a"}}, {"mirror", {{"axis", "w"}}}}),
      Group("mNone", "mirror", {{"baseObjects", json::array()}}),
  });
  const std::tuple<const char*, vec3, vec3> cases[] = {
      {"wide", {0, 0, 0}, {2, 2, 3}},       {"all", {0, 0, 0}, {0.5, 6, 0.3}},
      {"mx", {-1, 0, 0}, {0, 2, 3}},        {"my", {0, -2, 0}, {1, 0, 3}},
      {"mz", {0, 0, -3}, {1, 2, 0}},        {"mOther", {-1, 0, 0}, {0, 2, 3}},
  };
  for (const auto& [id, lo, hi] : cases) {
    SCOPED_TRACE(id);
    Manifold solid = BuildDoc(doc, id);
    EXPECT_TRUE(BoxNear(solid.BoundingBox(), lo, hi));
    vec3 e = hi - lo;
    EXPECT_NEAR(solid.Volume(), e.x * e.y * e.z, 1e-9);
    EXPECT_TRUE(IsClosed(solid));
  }
  for (const char* id : {"endless", "none", "mNone"}) EXPECT_TRUE(BuildDoc(doc, id).IsEmpty()) << id;
}

// ---- Placement and colour ----

// A unit cube one unit out along +X, so that the image of the point (1, 0, 0)
// can be read off the bounding box.
const Manifold kProbe = Manifold::Cube({1, 1, 1}).Translate({1, 0, 0});

TEST(Placement, RotatesZThenYThenXAboutTheOriginThenMoves) {
  VelaPipeline pipeline;
  const std::tuple<json, vec3, vec3> cases[] = {
      {json::object(), {1, 0, 0}, {2, 1, 1}},
      {{{"rotate", {{"x", 0}, {"y", 0}, {"z", 0}}}}, {1, 0, 0}, {2, 1, 1}},
      {{{"rotate", {{"z", 90}}}}, {-1, 1, 0}, {0, 2, 1}},
      {{{"rotate", {{"y", 90}}}}, {0, 0, -2}, {1, 1, -1}},
      {{{"rotate", {{"x", 90}, {"z", 90}}}}, {-1, -1, 1}, {0, 0, 2}},
      {{{"rotate", {{"x", 90}}}, {"move", {{"z", 5}}}}, {1, -1, 5}, {2, 0, 6}},
      {{{"rotate", {{"z", "=180"}}}, {"move", {{"x", 3}, {"y", "bad"}}}}, {1, -1, 0}, {2, 0, 1}},
  };
  for (const auto& [object, lo, hi] : cases) {
    SCOPED_TRACE(object.dump());
    Manifold placed = pipeline.ApplyTransformation(kProbe, object);
    EXPECT_TRUE(BoxNear(placed.BoundingBox(), lo, hi, 1e-9));
    EXPECT_NEAR(placed.Volume(), 1, 1e-9);
  }
  EXPECT_TRUE(pipeline.ApplyTransformation(Manifold(), {{"move", {{"x", 1}}}}).IsEmpty());
  for (const json& object : {json{{"rotate", {{"y", "nan"}}}}, json{{"move", {{"z", "-inf"}}}}}) {
    EXPECT_TRUE(pipeline.ApplyTransformation(kProbe, object).IsEmpty()) << object.dump();
  }
}

using Rgb = std::tuple<double, double, double>;

// Returns the distinct colour channels of the solid's vertices.
std::set<Rgb> Channels(const Manifold& solid) {
  std::set<Rgb> out;
  manifold::MeshGL mesh = solid.GetMeshGL();
  if (mesh.numProp != 6) return out;
  for (size_t v = 0; v < mesh.NumVert(); ++v) {
    const float* p = &mesh.vertProperties[v * 6];
    auto round = [](float c) { return std::round(double(c) * 1000) / 1000; };
    out.insert({round(p[3]), round(p[4]), round(p[5])});
  }
  return out;
}

json Colored(const json& color) { return {{"color", color}}; }

TEST(Colour, TextFormsGiveChannelsOrTheDefault) {
  VelaPipeline pipeline;
  const Rgb red{1, 0, 0}, green{0, 1, 0};
  const std::tuple<json, Rgb> cases[] = {
      {Colored({{"color", "#F00"}}), red},
      {Colored({{"color", "ff0000"}}), red},
      {Colored({{"color", "#FF0000"}}), red},
      {Colored({{"color", "#ff0000ff"}}), red},
      {Colored({{"color", "#336699"}}), {0.2, 0.4, 0.6}},
      {Colored({{"color", "#00ff0080"}}), green},
      {Colored({{"color", "#0z8000"}}), {0, 0.502, 0}},
      {Colored({{"color", "#-1-1-1"}}), {1, 1, 1}},
      {Colored({{"color", "#ff000000"}}), green},
      {Colored({{"color", "#12345"}}), green},
      {Colored({{"color", ""}}), green},
      {Colored({{"color", 0xff0000}}), green},
      {Colored("#ff0000"), green},
      {json::object(), green},
  };
  Manifold box = Manifold::Cube({1, 1, 1});
  for (const auto& [object, rgb] : cases) {
    SCOPED_TRACE(object.dump());
    Manifold colored = pipeline.ApplyColorProps(box, object);
    EXPECT_EQ(colored.NumProp(), 3u);
    EXPECT_EQ(Channels(colored), std::set<Rgb>{rgb});
    EXPECT_NEAR(colored.Volume(), 1, 1e-9);
  }
  EXPECT_THROW(pipeline.ApplyColorProps(box, Colored({{"color", "#zz0000"}})),
               std::invalid_argument);
  Manifold empty = pipeline.ApplyColorProps(Manifold(), Colored({{"color", "#f00"}}));
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_EQ(empty.NumProp(), 0u);
}

TEST(Colour, SolidsWithChannelsKeepThemUnlessGivenAColour) {
  VelaPipeline pipeline;
  Manifold red = pipeline.ApplyColorProps(Manifold::Cube(), Colored({{"color", "#f00"}}));
  for (const json& object : {json::object(), Colored({{"color", "#0f00"}})}) {
    EXPECT_EQ(Channels(pipeline.ApplyColorProps(red, object)), (std::set<Rgb>{{1, 0, 0}}));
  }
  EXPECT_EQ(Channels(pipeline.ApplyColorProps(red, Colored({{"color", "#00f"}}))),
            (std::set<Rgb>{{0, 0, 1}}));
}

TEST(Colour, GroupKeepsChildColoursAndItsOwnColourReplacesThem) {
  json red = Cube10("r");
  red["color"] = {{"color", "#f00"}};
  json blue = Cube10("b", {{"x", 20}});
  blue["color"] = {{"color", "#0000ff"}};
  json plain = Cube10("p", {{"x", 40}});
  json tinted = Group("tinted", "union", {{"baseObjects", {"r", "b"}}});
  tinted["color"] = {{"color", "#fff"}};
  json doc = Doc({red, blue, plain, Group("u", "union", {{"baseObjects", {"r", "b", "p"}}}),
                  tinted});
  VelaPipeline pipeline;
  pipeline.wantColors = true;
  EXPECT_EQ(Channels(pipeline.Build(doc.dump(), "u")),
            (std::set<Rgb>{{1, 0, 0}, {0, 0, 1}, {0, 1, 0}}));
  EXPECT_EQ(Channels(pipeline.Build(doc.dump(), "tinted")), (std::set<Rgb>{{1, 1, 1}}));
}

}  // namespace
}  // namespace velamanifold
