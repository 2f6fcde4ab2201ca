#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <tuple>

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
