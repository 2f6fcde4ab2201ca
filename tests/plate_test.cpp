#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <tuple>

#include "geometry/bevel.h"
#include "geometry/planar.h"
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
double Countersink(double r, double c) { return kPi * c * c * (r + c / 3); }

TEST(Plate, ChamfersAndCutsOfASquarePlateWithAnEmptyCutSkipped) {
  const CrossSection hole = CrossSection::Circle(2, 64);
  const std::tuple<const char*, double, double, CrossSection, double, double, double> cases[] = {
      {"top edge bevelled by 1", 1, 0, {}, 0, 200 + SquareFrustum(10, 8, 1), 1e-3},
      {"chamfer limited to the height", 5, 0, {}, 0, SquareFrustum(10, 4, 3), 1e-3},
      {"pocket 1 deep", 0, 0, Square(4), 1, 300 - 16, 1e-6},
      {"depth beyond the plate goes through", 0, 0, Square(4), 5, 300 - 48, 1e-6},
      {"countersunk hole", 0, 1, hole, 0, 300 - DiscArea(2) * 3 - Countersink(2, 1), 0.2},
      {"countersink within depth", 0, 2, hole, 1, 300 - DiscArea(2) - Countersink(2, 1), 0.2},
  };
  for (const auto& [name, outer, inner, cut, depth, volume, tol] : cases) {
    Manifold plate = Plate({Square(10), 3, 0, outer, inner, {{cut, depth}, {{}, 1}}}, 64);
    EXPECT_NEAR(plate.Volume(), volume, tol) << name;
    EXPECT_TRUE(BoxNear(plate.BoundingBox(), {-5, -5, 0}, {5, 5, 3}) && IsClosed(plate)) << name;
  }
}

// Returns the integral over t in [0, c] of the area of the region offset by sign * t, by
// Simpson's rule on `steps` pairs of intervals (exact while no loop splits or merges).
double OffsetIntegral(const CrossSection& region, double c, double sign, int steps = 1) {
  auto area = [&](double t) {
    return region.Offset(sign * t, CrossSection::JoinType::Round, 2.0, 1024).Area();
  };
  double sum = area(0) + area(c);
  for (int k = 1; k < 2 * steps; ++k) sum += (k % 2 ? 4 : 2) * area(k * c / (2 * steps));
  return sum * c / (6 * steps);
}

CrossSection Disc(double r, double x, double y) {
  return CrossSection::Circle(r, 32).Translate({x, y});
}

TEST(Plate, TopChamfersAreOneClosedShellPerPieceWithTheBevelledVolume) {
  // The 74 x 10 name tag with corners of radius 4 once left a sliver of 1e-9 mm3 beside the
  // plate at 16 segments (and at widths 90 and 120).
  const CrossSection frame = CrossSection::Square({20, 20}) - Square(10).Translate({10, 10});
  const CrossSection ell(manifold::Polygons{{{0, 0}, {12, 0}, {12, 4}, {4, 4}, {4, 12}, {0, 12}}});
  // Two squares joined by a neck that the chamfer closes.
  const CrossSection dumbbell = CrossSection::Square({10, 10}) +
                                CrossSection::Square({10, 10}).Translate({14, 0}) +
                                CrossSection::Square({6, 2}).Translate({8, 4});
  // outline, height, chamfer, segments, pieces, integration steps.
  const std::tuple<CrossSection, double, double, int, size_t, int> cases[] = {
      {Rectangle(74, 10, 4, 8), 3, 1, 8, 1, 1},     {Rectangle(74, 10, 4, 16), 3, 1, 16, 1, 1},
      {Rectangle(74, 10, 4, 32), 3, 1, 32, 1, 1},   {Rectangle(74, 10, 4, 64), 3, 1, 64, 1, 1},
      {Rectangle(74, 10, 4, 128), 3, 1, 128, 1, 1}, {Rectangle(74, 10, 4, 16), 3, 0.5, 16, 1, 1},
      {Rectangle(90, 10, 4, 16), 3, 1, 16, 1, 1},   {Rectangle(120, 10, 4, 16), 3, 1, 16, 1, 1},
      {frame, 4, 1.5, 32, 1, 1},                    {ell, 2, 1.5, 16, 1, 1},
      {Disc(3, 0, 0) + Disc(3, 10, 0), 2, 0.5, 32, 2, 1},
      // The arms of the L end in a ridge, the neck of the dumbbell in a saddle.
      {ell, 2, 2, 16, 1, 1},                        {dumbbell, 3, 1.5, 16, 1, 16},
  };
  for (const auto& [outline, height, c, segments, pieces, steps] : cases) {
    const manifold::Rect r = outline.Bounds();
    SCOPED_TRACE(::testing::Message() << r.max.x - r.min.x << " wide, chamfer " << c << " at "
                                      << segments << " segments");
    Manifold plate = Plate({outline, height, 0, c, 0, {}}, segments);
    EXPECT_TRUE(IsClosed(plate));
    EXPECT_EQ(plate.Decompose().size(), pieces);
    const double exact = (height - c) * outline.Area() + OffsetIntegral(outline, c, -1, steps);
    EXPECT_NEAR(plate.Volume(), exact, 0.005 * exact);
    EXPECT_TRUE(BoxNear(plate.BoundingBox(), {r.min.x, r.min.y, 0}, {r.max.x, r.max.y, height}));
    if (steps > 1 || c == height) continue;
    // The bevel adds a band of one triangle per point of the outline and of its offset.
    const size_t plain = Plate({outline, height, 0, 0, 0, {}}, segments).NumTri();
    const size_t band = outline.NumVert() + RoundOffset(outline, -c, segments).NumVert();
    EXPECT_LE(plate.NumTri(), 2 * plain + band);
  }
}

TEST(Plate, CountersunkHolesRemoveTheHoleAndTheCone) {
  const CrossSection pair = Disc(2, -6, 0) + Disc(2, 6, 0);
  const CrossSection slot = CrossSection::Square({6, 3}).Translate({-3, -1.5});
  // Cut, depth (0 goes through), countersink, integration steps (more where cones merge).
  const std::tuple<const char*, CrossSection, double, double, int> cases[] = {
      {"two holes through", pair, 0, 1, 1},
      {"two pockets", pair, 2, 1, 1},
      {"countersink as deep as the pocket", slot, 1, 1.5, 1},
      {"countersink through the whole plate", Disc(2, 0, 0), 0, 5, 1},
      {"cones that merge", Disc(2, -2.5, 0) + Disc(2, 2.5, 0), 0, 1.5, 16},
      {"a groove whose cone takes the top of its core", Disc(5, 0, 0) - Disc(1.2, 0, 0), 3, 1.5,
       16},
  };
  for (const auto& [name, cut, depth, c, steps] : cases) {
    SCOPED_TRACE(name);
    Manifold plate = Plate({Square(30), 4, 0, 0, c, {{cut, depth}}}, 32);
    EXPECT_TRUE(IsClosed(plate));
    EXPECT_EQ(plate.Decompose().size(), 1u);
    const double d = depth > 0 ? depth : 4, ci = std::min(c, d);
    const double removed = (d - ci) * cut.Area() + OffsetIntegral(cut, ci, 1, steps);
    EXPECT_NEAR(plate.Volume(), 3600 - removed, 0.005 * removed);
    EXPECT_TRUE(BoxNear(plate.BoundingBox(), {-15, -15, 0}, {15, 15, 4}));
  }
}

TEST(Plate, OffsetsAndUnusableInputs) {
  auto volume = [](CrossSection outline, double height, double offset) {
    return Plate({outline, height, offset, 0, 0, {}}, 64).Volume();
  };
  EXPECT_NEAR(volume(Square(10), 3, -2), 108, 1e-6);
  EXPECT_NEAR(volume(Square(10), 3, 1), (140 + kPi) * 3, 0.05);  // rounded corners
  for (double height : {0.0f, -1.0f, NAN, INFINITY}) EXPECT_EQ(volume(Square(10), height, 0), 0);
  for (double offset : {-6.0f, NAN, INFINITY}) EXPECT_EQ(volume(Square(10), 3, offset), 0);
  EXPECT_EQ(volume(CrossSection(), 3, 0), 0);
}

json Rect(const std::string& vid, double x, double y, double mx = 0, double my = 0) {
  return {{"vid", vid}, {"type", "rectangle"}, {"size", {{"x", x}, {"y", y}}},
          {"move", {{"x", mx}, {"y", my}}}};
}
json PlateOf(const std::string& vid, const std::string& shell, json size, json cuts = {}) {
  return {{"vid", vid}, {"type", "plate"}, {"outershell", shell}, {"size", size},
          {"innercuts", cuts}};
}
json Thread(const json& size) { return {{"vid", "t"}, {"type", "thread"}, {"size", size}}; }

TEST(ThreadObject, StandardNamesAndBareNumbers) {
  // Names are exact ("m8" is unknown); a bare number is diameter, length and pitch at once.
  const std::tuple<json, double, double> cases[] = {
      {{{"standard", "M8"}, {"height", 30}, {"diameter", 3}}, 4, 30},
      {{{"standard", "m8"}, {"height", 12}}, 5, 12}, {4, 2, 4}};
  for (const auto& [size, r, length] : cases) {
    Manifold rod = BuildDoc(Doc(json::array({Thread(size)})), "t", 16);
    EXPECT_TRUE(BoxNear(rod.BoundingBox(), {-r, -r, 0}, {r, r, length}, 0.02 * r)) << size;
  }
}

// Plate "p" and what plates machine: r, a 10 x 10 rectangle centred on the z axis; h, 2 x 2
// centred; t, an M4 thread on the z axis; a, a plate of r from z = 2 to 7; l, a lathe body (of
// the 5 x 10 rectangle o) of radius 5 from z = 0 to 10; flat, a plate of r 10 thick.
json Workshop(const json& p) {
  json a = PlateOf("a", "r", {{"depth", 5}});
  a["move"] = {{"z", 2}};
  return Doc(json::array({Rect("r", 10, 10, -5, -5), Rect("o", 5, 10), Rect("h", 2, 2, -1, -1),
                          Thread({{"standard", "M4"}}), a, PlateOf("flat", "r", {{"depth", 10}}),
                          {{"vid", "l"}, {"type", "lathe"}, {"outcut", {"o"}}}, p}));
}

TEST(PlateObject, PlatesNamingPlatesStopAfterOneLevel) {
  json doc = Workshop(PlateOf("p", "a", {}));
  for (auto [id, shell] : {std::pair{"c", "p"}, {"x", "y"}, {"y", "x"}, {"self", "self"}})
    doc["objects"].push_back(PlateOf(id, shell, {}));
  EXPECT_NEAR(BuildDoc(doc, "p").Volume(), 500, 1e-6);
  for (const char* id : {"c", "x", "y", "self"}) EXPECT_TRUE(BuildDoc(doc, id).IsEmpty()) << id;
  // A shell already on the path being built is not built again.
  const VisitingSet visiting = {"a"};
  EXPECT_TRUE(VelaPipeline().BuildInner(doc, "p", &visiting).IsEmpty());
}

// Plates machine plates from the bottom face up, lathe bodies and outlines from the top down.
TEST(PlateObject, MachiningPlatesLatheBodiesAndOutlines) {
  const json h = {{"vid", "h"}, {"depth", 5}}, t = {{"vid", "t"}, {"depth", 3}};
  // M4 threads remove between core and major cylinder, a countersink all of the top 1 and a cone.
  const double thread = 31, sunk = thread * 2 / 3 + 4 * kPi + Countersink(2, 1);
  const std::tuple<std::string, json, json, double, double, double, double, double> cases[] = {
      {"a", {{"faseTopOuter", 1}}, {}, 100 - SquareFrustum(10, 8, 1), 1e-3, 5, 2, 3},
      {"a", {}, {{"vid", "h"}, {"depth", 1}}, 4, 1e-6, 1, 2, 3},
      {"a", {}, t, thread, 7, 2, 2, 5},
      {"a", {{"faseTopInner", 1}}, {{"vid", "h"}, {"depth", 2}}, 12 + kPi / 3, 0.05, 2, 2, 4},
      {"l", {}, h, 20, 1e-6, 1, 5, 10},
      {"l", {}, {{"vid", "h"}, {"depth", 0}}, 40, 1e-6, 1, 0, 10},  // through
      {"l", {{"faseTopInner", 1}}, h, 20 + 4 + kPi / 3, 0.3, 2, 5, 10},
      {"l", {}, t, thread, 7, 2, 7, 10},
      {"r", {{"depth", 10}}, t, thread, 7, 2, 7, 10},
      {"r", {{"depth", 10}, {"faseTopInner", 1}}, t, sunk, 4.7, 3, 7, 10},
  };
  for (const auto& [shell, size, cut, volume, tol, r, z0, z1] : cases) {
    SCOPED_TRACE(::testing::Message() << shell << " " << size << " " << cut);
    const json doc = Workshop(PlateOf("p", shell, size, {cut}));
    Manifold machined = BuildDoc(doc, "p", 32);
    EXPECT_TRUE(IsClosed(machined));
    const Manifold removed = BuildDoc(doc, shell == "r" ? "flat" : shell, 32) - machined;
    EXPECT_NEAR(removed.Volume(), volume, tol);
    EXPECT_TRUE(BoxNear(removed.BoundingBox(), {-r, -r, z0}, {r, r, z1}, 0.05));
  }
}

}  // namespace
}  // namespace velamanifold
