#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "geometry/plate.h"
#include "pipeline/pipeline.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::CrossSection;
using manifold::Manifold;
using nlohmann::json;
using testing::BoxNear;
using testing::BuildDoc;
using testing::Doc;
using testing::IsClosed;

constexpr double kPi = std::numbers::pi;
constexpr double kMinorFactor = 1.0825317547305482;

CrossSection Square(double side) { return CrossSection::Square({side, side}, true); }
// Area of the n-gon the library makes for a circle of radius r.
double DiscArea(double r, int n = 64) { return 0.5 * n * r * r * std::sin(2 * kPi / n); }
double SliceArea(const Manifold& solid, double z) { return CrossSection(solid.Slice(z)).Area(); }
// Volume of a frustum between two squares.
double SquareFrustum(double a, double b, double h) { return h / 3 * (a * a + b * b + a * b); }
// Volume outside a disc of radius r within a cone widening from r to r + c over c.
double Countersink(double r, double c) {
  return kPi * c / 3 * (r * r + (r + c) * (r + c) + r * (r + c)) - kPi * r * r * c;
}

TEST(Plate, ChamfersAndCutsOfASquarePlate) {
  struct Case {
    const char* name;
    double outer, inner;
    CrossSection cut;
    double depth, volume, tol;
  };
  const CrossSection hole = CrossSection::Circle(2, 64);
  const Case cases[] = {
      {"plain", 0, 0, {}, 0, 300, 1e-9},
      {"top edge bevelled by 1", 1, 0, {}, 0, 200 + SquareFrustum(10, 8, 1), 1e-3},
      {"chamfer as high as the plate", 3, 0, {}, 0, SquareFrustum(10, 4, 3), 1e-3},
      {"chamfer limited to the height", 5, 0, {}, 0, SquareFrustum(10, 4, 3), 1e-3},
      {"pocket 1 deep", 0, 0, Square(4), 1, 300 - 16, 1e-6},
      {"depth 0 goes through", 0, 0, Square(4), 0, 300 - 48, 1e-6},
      {"negative depth goes through", 0, 0, Square(4), -1, 300 - 48, 1e-6},
      {"depth beyond the plate goes through", 0, 0, Square(4), 5, 300 - 48, 1e-6},
      {"countersunk hole", 0, 1, hole, 0, 300 - DiscArea(2) * 3 - Countersink(2, 1), 0.2},
      {"countersink limited by the depth", 0, 2, hole, 1, 300 - DiscArea(2) - Countersink(2, 1),
       0.2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlateParams params{Square(10), 3, 0, c.outer, c.inner, {}};
    if (!c.cut.IsEmpty()) params.innerCuts.push_back({c.cut, c.depth, 0});
    params.innerCuts.push_back({CrossSection(), 1, 0});  // empty sections are skipped
    Manifold plate = Plate(params, 64);
    EXPECT_NEAR(plate.Volume(), c.volume, c.tol);
    EXPECT_TRUE(BoxNear(plate.BoundingBox(), {-5, -5, 0}, {5, 5, 3}));
    EXPECT_TRUE(IsClosed(plate));
  }
}

TEST(Plate, OffsetsAndUnusableInputs) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  auto volume = [](CrossSection outline, double height, double offset, int segments = 64) {
    return Plate({outline, height, offset, 0, 0, {}}, segments).Volume();
  };
  EXPECT_NEAR(volume(Square(10), 3, -2), 108, 1e-6);
  // Grown with rounded corners; fewer than 8 segments round like 8.
  EXPECT_NEAR(volume(Square(10), 3, 1), (140 + kPi) * 3, 0.05);
  EXPECT_EQ(volume(Square(10), 3, 1, 4), volume(Square(10), 3, 1, 8));
  for (double height : {0.0, -1.0, nan, inf}) EXPECT_EQ(volume(Square(10), height, 0), 0);
  for (double offset : {-6.0, nan, inf}) EXPECT_EQ(volume(Square(10), 3, offset), 0);
  EXPECT_EQ(volume(CrossSection(), 3, 0), 0);
}

TEST(PlateShellA, BevelsAndCutsFromTheBottomFace) {
  const Manifold base = Manifold::Cube({10, 10, 3}, true).Translate({0, 0, 3.5});  // z 2 .. 5
  Manifold bevelled = PlateShellA({{}, 0, 0, 1, 0, {}}, Square(10), base, 2, 5, 64);
  EXPECT_NEAR(bevelled.Volume(), 200 + SquareFrustum(10, 8, 1), 1e-3);
  EXPECT_NEAR(SliceArea(bevelled, 2.001), 8.002 * 8.002, 0.01);
  EXPECT_NEAR(SliceArea(bevelled, 4.999), 100, 1e-6);

  Manifold pocket = PlateShellA({{}, 0, 0, 0, 0, {{Square(4), 1, 0}}}, Square(10), base, 2, 5, 64);
  EXPECT_NEAR(SliceArea(pocket, 2.5), 100 - 16, 1e-6);
  EXPECT_NEAR(SliceArea(pocket, 3.5), 100, 1e-6);
  EXPECT_TRUE(IsClosed(pocket));
}

// Objects of the pipeline tests. Rectangles have their lower-left corner at
// the move; threads stand at their move.
json Rect(const std::string& vid, double x, double y, double mx = 0, double my = 0) {
  return {{"vid", vid}, {"type", "rectangle"}, {"size", {{"x", x}, {"y", y}}},
          {"move", {{"x", mx}, {"y", my}}}};
}
json PlateOf(const std::string& vid, const std::string& shell, json size, json cuts = {}) {
  return {{"vid", vid}, {"type", "plate"}, {"outershell", shell}, {"size", size},
          {"innercuts", cuts}};
}
json Thread(const std::string& vid, json size, double mx = 0, double my = 0) {
  return {{"vid", vid}, {"type", "thread"}, {"size", size}, {"move", {{"x", mx}, {"y", my}}}};
}

TEST(ThreadObject, SizesDefaultsAndStandards) {
  struct Case {
    const char* name;
    json size;
    double radius, length;
  };
  const Case cases[] = {
      {"defaults", json::object(), 5, 20},
      {"M8 overrides the diameter", {{"standard", "M8"}, {"height", 30}, {"diameter", 3}}, 4, 30},
      {"names are case-sensitive", {{"standard", "m8"}, {"height", 12}}, 5, 12},
      {"a numeric standard is ignored", {{"standard", 8}, {"diameter", 6}, {"height", 9}}, 3, 9},
      // A bare number is diameter, length and pitch at once (here a plain rod).
      {"bare number", 4, 2, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Manifold rod = BuildDoc(Doc(json::array({Thread("t", c.size)})), "t", 16);
    EXPECT_TRUE(BoxNear(rod.BoundingBox(), {-c.radius, -c.radius, 0},
                        {c.radius, c.radius, c.length}, 0.02 * c.radius));
  }
}

// The material a threaded hole in a 12 x 14 x 10 plate removes.
Manifold ThreadedHole(json threadSize, json depth, double fase) {
  json doc = Doc(json::array({Rect("r", 12, 14), Thread("t", threadSize, 6, 7),
                              PlateOf("p", "r", {{"depth", 10}, {"faseTopInner", fase}},
                                      json::array({{{"vid", "t"}, {"depth", depth}}}))}));
  return Manifold::Cube({12, 14, 10}) - BuildDoc(doc, "p", 32);
}

TEST(PlateObject, ThreadedHolesOpenOnTheTopFace) {
  const double r = 3, r1 = (6 - kMinorFactor) / 2;
  const std::pair<double, double> depthAndLength[] = {{4, 4}, {0, 10}, {12, 10}};
  for (auto [depth, length] : depthAndLength) {
    SCOPED_TRACE(depth);
    Manifold hole = ThreadedHole({{"standard", "M6"}}, depth, 0);
    EXPECT_GT(hole.Volume(), DiscArea(r1, 32) * length);
    EXPECT_LT(hole.Volume(), kPi * r * r * length);
    EXPECT_TRUE(BoxNear(hole.BoundingBox(), {6 - r, 7 - r, 10 - length}, {6 + r, 7 + r, 10}, 0.05));
  }
  // A 1-unit countersink (M5 x 0.8 by default) widens the opening beyond the major radius.
  const double extra = ThreadedHole({}, 6, 1).Volume() - ThreadedHole({}, 6, 0).Volume();
  EXPECT_GT(extra, Countersink(2.5, 1) * 0.97);
  EXPECT_LT(extra, Countersink(2.5, 1) + kPi * 2.5 * 2.5 - DiscArea(2.5 - 0.433, 32));
}

TEST(PlateObject, PlatesNamingPlatesStopAfterOneLevel) {
  json doc = Doc(json::array({Rect("r", 10, 10), PlateOf("a", "r", {{"depth", 3}}),
                              PlateOf("b", "a", {}), PlateOf("c", "b", {}),
                              PlateOf("x", "y", {}), PlateOf("y", "x", {}),
                              PlateOf("self", "self", {})}));
  EXPECT_NEAR(BuildDoc(doc, "b").Volume(), 300, 1e-6);
  for (const char* id : {"c", "x", "y", "self"}) EXPECT_TRUE(BuildDoc(doc, id).IsEmpty()) << id;
  // A shell already on the path being built is not built again.
  VelaPipeline pipeline;
  const VisitingSet visiting = {"a"};
  EXPECT_TRUE(pipeline.BuildInner(doc, "b", &visiting).IsEmpty());
}

TEST(PlateObject, PlateModeWorksUpFromTheBottomFace) {
  json a = PlateOf("a", "r", {{"depth", 5}});
  a["move"] = {{"z", 2}};  // spans z 2 .. 7
  auto build = [&](json size, json cuts) {
    return BuildDoc(Doc(json::array({Rect("r", 10, 10), Rect("h", 2, 2, 4, 4), a,
                                     Thread("t", {{"standard", "M4"}}, 5, 5),
                                     PlateOf("b", "a", size, cuts)})),
                    "b", 32);
  };
  Manifold bevelled = build({{"faseTopOuter", 1}}, {});
  EXPECT_NEAR(bevelled.Volume(), 400 + SquareFrustum(10, 8, 1), 1e-3);
  EXPECT_NEAR(SliceArea(bevelled, 2.001), 8.002 * 8.002, 0.01);
  Manifold pocket = build({}, json::array({{{"vid", "h"}, {"depth", 1}}}));
  EXPECT_NEAR(500 - pocket.Volume(), 4, 1e-6);
  EXPECT_NEAR(SliceArea(pocket, 2.5), 96, 1e-6);
  Manifold hole = Manifold::Cube({10, 10, 5}).Translate({0, 0, 2}) -
                  build({}, json::array({{{"vid", "t"}, {"depth", 3}}}));
  EXPECT_TRUE(BoxNear(hole.BoundingBox(), {3, 3, 2}, {7, 7, 5}, 0.05));
}

TEST(PlateObject, LatheModeSinksCutsFromTheTopOfTheBody) {
  struct Case {
    const char* name;
    json cut;
    double fase, removed, tol, bottom;
  };
  const Case cases[] = {
      {"pocket 5 deep", {{"vid", "h"}, {"depth", 5}}, 0, 20, 1e-6, 5},
      {"through when 0", {{"vid", "h"}, {"depth", 0}}, 0, 40, 1e-6, 0},
      {"countersunk", {{"vid", "h"}, {"depth", 5}}, 1, 20 + 4 + kPi / 3, 0.3, 5},
      {"threaded", {{"vid", "t"}, {"depth", 3}}, 0, 0, -1, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    json lathe = {{"vid", "l"}, {"type", "lathe"}, {"outcut", {"profile"}}};  // r 5, z 0 .. 10
    json doc = Doc(json::array({Rect("profile", 5, 10), Rect("h", 2, 2, -1, -1),
                                Thread("t", {{"standard", "M4"}}), lathe,
                                PlateOf("p", "l", {{"faseTopInner", c.fase}}, {c.cut})}));
    Manifold body = BuildDoc(doc, "l", 32);
    Manifold removed = body - BuildDoc(doc, "p", 32);
    if (c.tol > 0) {
      EXPECT_NEAR(removed.Volume(), c.removed, c.tol);
    }
    EXPECT_NEAR(removed.BoundingBox().min.z, c.bottom, 0.02);
    EXPECT_NEAR(removed.BoundingBox().max.z, 10, 1e-6);
  }
}

}  // namespace
}  // namespace velamanifold
