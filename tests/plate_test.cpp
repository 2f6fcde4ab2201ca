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
using testing::BoxNear;
using testing::BuildDoc;
using testing::Doc;
using testing::IsClosed;

constexpr double kPi = std::numbers::pi;

CrossSection Square(double side) { return CrossSection::Square({side, side}, true); }
// Area of the n-gon the library makes for a circle of radius r.
double DiscArea(double r, int n = 64) { return 0.5 * n * r * r * std::sin(2 * kPi / n); }
double SquareFrustum(double a, double b, double h) { return h / 3 * (a * a + b * b + a * b); }
// Volume outside a disc of radius r within a cone widening from r to r + c over c.
double Countersink(double r, double c) {
  return kPi * c / 3 * (r * r + (r + c) * (r + c) + r * (r + c)) - kPi * r * r * c;
}

TEST(Plate, ChamfersAndCutsOfASquarePlate) {
  const CrossSection hole = CrossSection::Circle(2, 64);
  const struct {
    const char* name;
    double outer, inner;
    CrossSection cut;
    double depth, volume, tol;
  } cases[] = {
      {"top edge bevelled by 1", 1, 0, {}, 0, 200 + SquareFrustum(10, 8, 1), 1e-3},
      {"chamfer limited to the height", 5, 0, {}, 0, SquareFrustum(10, 4, 3), 1e-3},
      {"pocket 1 deep", 0, 0, Square(4), 1, 300 - 16, 1e-6},
      {"depth 0 goes through", 0, 0, Square(4), 0, 300 - 48, 1e-6},
      {"depth beyond the plate goes through", 0, 0, Square(4), 5, 300 - 48, 1e-6},
      {"countersunk hole", 0, 1, hole, 0, 300 - DiscArea(2) * 3 - Countersink(2, 1), 0.2},
      {"countersink within depth", 0, 2, hole, 1, 300 - DiscArea(2) - Countersink(2, 1), 0.2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PlateParams params{Square(10), 3, 0, c.outer, c.inner, {}};
    params.innerCuts = {{c.cut, c.depth, 0}, {CrossSection(), 1, 0}};  // empty cuts are skipped
    Manifold plate = Plate(params, 64);
    EXPECT_NEAR(plate.Volume(), c.volume, c.tol);
    EXPECT_TRUE(BoxNear(plate.BoundingBox(), {-5, -5, 0}, {5, 5, 3}));
    EXPECT_TRUE(IsClosed(plate));
  }
}

TEST(Plate, OffsetsAndUnusableInputs) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  auto volume = [](CrossSection outline, double height, double offset) {
    return Plate({outline, height, offset, 0, 0, {}}, 64).Volume();
  };
  EXPECT_NEAR(volume(Square(10), 3, -2), 108, 1e-6);
  EXPECT_NEAR(volume(Square(10), 3, 1), (140 + kPi) * 3, 0.05);  // rounded corners
  for (double height : {0.0, -1.0, nan, inf}) EXPECT_EQ(volume(Square(10), height, 0), 0);
  for (double offset : {-6.0, nan, inf}) EXPECT_EQ(volume(Square(10), 3, offset), 0);
  EXPECT_EQ(volume(CrossSection(), 3, 0), 0);
}

// Rectangles have their lower-left corner at the move; threads stand at their move.
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

TEST(ThreadObject, StandardNamesAndBareNumbers) {
  // Names are exact ("m8" is unknown); a bare number is diameter, length and pitch at once.
  const json sizes[] = {{{"standard", "M8"}, {"height", 30}, {"diameter", 3}},
                        {{"standard", "m8"}, {"height", 12}}, 4};
  const double radii[] = {4, 5, 2}, lengths[] = {30, 12, 4};
  for (int i = 0; i < 3; ++i) {
    const double r = radii[i];
    Manifold rod = BuildDoc(Doc(json::array({Thread("t", sizes[i])})), "t", 16);
    EXPECT_TRUE(BoxNear(rod.BoundingBox(), {-r, -r, 0}, {r, r, lengths[i]}, 0.02 * r)) << sizes[i];
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
  const double r = 3, r1 = (6 - 1.0825317547305482) / 2;
  Manifold hole = ThreadedHole({{"standard", "M6"}}, 4, 0);
  EXPECT_GT(hole.Volume(), DiscArea(r1, 32) * 4);
  EXPECT_LT(hole.Volume(), kPi * r * r * 4);
  EXPECT_TRUE(BoxNear(hole.BoundingBox(), {6 - r, 7 - r, 6}, {6 + r, 7 + r, 10}, 0.05));
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

// A plate naming a plate machines it from its bottom face up; a plate naming a
// lathe body sinks its cuts from the top of the body.
TEST(PlateObject, MachiningPlatesAndLatheBodies) {
  const json h = {{"vid", "h"}, {"depth", 5}}, h1 = {{"vid", "h"}, {"depth", 1}};
  const struct {
    const char* shell;
    json size, cut;
    double removed, tol, z0, z1;
  } cases[] = {
      {"a", {{"faseTopOuter", 1}}, {}, 100 - SquareFrustum(10, 8, 1), 1e-3, 2, 3},
      {"a", {}, h1, 4, 1e-6, 2, 3},
      {"a", {}, {{"vid", "t"}, {"depth", 3}}, 31, 7, 2, 5},  // M4: between core and major
      {"l", {}, h, 20, 1e-6, 5, 10},
      {"l", {}, {{"vid", "h"}, {"depth", 0}}, 40, 1e-6, 0, 10},  // through
      {"l", {{"faseTopInner", 1}}, h, 20 + 4 + kPi / 3, 0.3, 5, 10},
      {"l", {}, {{"vid", "t"}, {"depth", 3}}, 31, 7, 7, 10},
  };
  json a = PlateOf("a", "r", {{"depth", 5}});
  a["move"] = {{"z", 2}};  // a 10 x 10 plate centred on the z axis, z 2 .. 7
  const json lathe = {{"vid", "l"}, {"type", "lathe"}, {"outcut", {"profile"}}};  // r 5, z 0 .. 10
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.shell << " " << c.size << " " << c.cut);
    json doc = Doc(json::array({Rect("r", 10, 10, -5, -5), Rect("profile", 5, 10),
                                Rect("h", 2, 2, -1, -1), Thread("t", {{"standard", "M4"}}), a,
                                lathe, PlateOf("p", c.shell, c.size, {c.cut})}));
    Manifold machined = BuildDoc(doc, "p", 32);
    EXPECT_TRUE(IsClosed(machined));
    Manifold removed = BuildDoc(doc, c.shell, 32) - machined;
    EXPECT_NEAR(removed.Volume(), c.removed, c.tol);
    EXPECT_NEAR(removed.BoundingBox().min.z, c.z0, 0.02);
    EXPECT_NEAR(removed.BoundingBox().max.z, c.z1, 0.02);
  }
}

}  // namespace
}  // namespace velamanifold
