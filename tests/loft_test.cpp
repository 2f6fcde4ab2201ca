#include "geometry/loft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <tuple>

#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::CrossSection;
using manifold::Manifold;
using testing::BoxNear;
using testing::IsClosed;

CrossSection Box2D(double x0, double y0, double x1, double y1) {
  return CrossSection(manifold::SimplePolygon{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
}

TEST(Loft, FrustumShiftedTopAndUprightTop) {
  const CrossSection square = Box2D(0, 0, 10, 10);
  Manifold solid = Loft(Box2D(-5, -5, 5, 5), Box2D(-2.5, -2.5, 2.5, 2.5), 6, 0, 0, 0, 0);
  EXPECT_TRUE(IsClosed(solid));
  EXPECT_NEAR(solid.Volume(), 350, 1e-9);
  EXPECT_TRUE(BoxNear(solid.BoundingBox(), {-5, -5, 0}, {5, 5, 6}));
  Manifold shifted = Loft(square, square, 5, 3, -4, 0, 0);
  EXPECT_NEAR(shifted.Volume(), 500, 1e-9);
  EXPECT_TRUE(BoxNear(shifted.BoundingBox(), {0, -4, 0}, {13, 10, 5}));
  // Turned 90 degrees, the top ring lies in the plane y = 0, from z = 10 to z = 20.
  EXPECT_TRUE(BoxNear(Loft(square, square, 10, 0, 0, 90, 0).BoundingBox(), {0, 0, 0},
                      {10, 10, 20}, 1e-9));
}

TEST(Loft, MismatchedLoopsMeetOnMatchedRings) {
  // Rings hold the least common multiple of the point counts up to 2048, else 512.
  const std::tuple<int, int, double, size_t> cases[] = {
      {4, 3, 4, 12}, {40, 60, 8, 120}, {64, 33, 10, 512}, {2048, 1024, 8, 2048}};
  for (const auto& [bottomPoints, topPoints, topRadius, ringPoints] : cases) {
    const CrossSection bottom = CrossSection::Circle(10, bottomPoints);
    const CrossSection top = CrossSection::Circle(topRadius, topPoints);
    Manifold solid = Loft(bottom, top, 5, 0, 0, 0, 0);
    EXPECT_TRUE(IsClosed(solid)) << bottomPoints;
    EXPECT_EQ(solid.NumVert(), 2 * ringPoints) << bottomPoints;
    EXPECT_GT(solid.Volume(), 5 * std::min(bottom.Area(), top.Area())) << bottomPoints;
    EXPECT_LT(solid.Volume(), 5 * std::max(bottom.Area(), top.Area())) << bottomPoints;
  }
}

TEST(Loft, DegenerateInputsGiveEmptySolids) {
  const CrossSection s = Box2D(0, 0, 10, 10), none;
  for (const Manifold& solid : {Loft(none, s, 5, 0, 0, 0, 0), Loft(s, none, 5, 0, 0, 0, 0),
                                Loft(s, s, 0, 0, 0, 0, 0), Loft(s, s, -1, 0, 0, 0, 0),
                                Loft(s, s, NAN, 0, 0, 0, 0), Loft(s, s, 5, INFINITY, 0, 0, 0),
                                ExtrudeTwist(s, 0, 0, 1, 0), ExtrudeTwist(none, 5, 0, 1, 0)}) {
    EXPECT_TRUE(solid.IsEmpty());
  }
}

TEST(Loft, IslandsPairByAreaAndAHoleIsTurnedToMatch) {
  Manifold solid = Loft(Box2D(0, 0, 10, 10) + Box2D(20, 0, 22, 2), Box2D(0, 0, 10, 10), 4, 0, 0,
                        0, 0);
  EXPECT_NEAR(solid.Volume(), 400, 1e-9);
  EXPECT_TRUE(BoxNear(solid.BoundingBox(), {0, 0, 0}, {10, 10, 4}));
  // The second-largest top loop is a clockwise hole, paired with an island below.
  Manifold paired = Loft(Box2D(0, 0, 20, 20) + Box2D(30, 0, 34, 4),
                         Box2D(0, 0, 20, 20) - Box2D(8, 8, 12, 12), 5, 0, 0, 0, 0);
  EXPECT_TRUE(IsClosed(paired));
  EXPECT_NEAR(paired.Volume(), (400 + 16) * 5, 1e-9);
}

CrossSection Ring(double outer, double inner) {
  return CrossSection::Circle(outer, 64) - CrossSection::Circle(inner, 64);
}

// Rings lofted to rings are tubes: holes pair by area like the outlines and
// are cut through. Surplus holes of the richer profile are left out.
TEST(Loft, HolesOfBothProfilesAreCutThrough) {
  const CrossSection disk = CrossSection::Circle(10, 64);
  const CrossSection twoHoles = disk - Box2D(-6, -2, -2, 2) - Box2D(3, -1, 5, 1);
  // A loft between two similar, aligned regular polygons is a frustum, also
  // when shifted: h / 3 x (A1 + A2 + sqrt(A1 x A2)).
  auto frustum = [](double r1, double r2) {
    const double k = 32 * std::sin(2 * std::numbers::pi / 64);  // 64-gon area over r^2
    return 10.0 / 3 * k * (r1 * r1 + r2 * r2 + r1 * r2);
  };
  auto extruded = [](const CrossSection& region) { return 10 * region.Area(); };
  const struct {
    const char* name;
    CrossSection bottom, top;
    double x;
    double volume;
    int genus;
  } cases[] = {
      {"ring to the same ring", Ring(10, 5), Ring(10, 5), 0, extruded(Ring(10, 5)), 1},
      {"ring to a smaller ring, shifted", Ring(10, 5), Ring(6, 2), 3,
       frustum(10, 6) - frustum(5, 2), 1},
      {"two holes to two holes", twoHoles, twoHoles, 0, extruded(twoHoles), 2},
      {"ring to a disk: the hole is left out", Ring(10, 5), disk, 0, extruded(disk), 0},
      {"two holes to one: the smaller is left out", twoHoles, disk - Box2D(-6, -2, -2, 2), 0,
       extruded(disk - Box2D(-6, -2, -2, 2)), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Manifold solid = Loft(c.bottom, c.top, 10, c.x, 0, 0, 0);
    EXPECT_TRUE(IsClosed(solid));
    EXPECT_EQ(solid.Genus(), c.genus);
    EXPECT_NEAR(solid.Volume(), c.volume, 1e-6 * c.volume);
    EXPECT_TRUE(BoxNear(solid.BoundingBox(), {-10, -10, 0}, {10, 10, 10}, 1e-9));
  }
}

TEST(ExtrudeTwist, TwistsWithAtLeastOneDivision) {
  const CrossSection sq = Box2D(-5, -5, 5, 5);
  EXPECT_EQ(ExtrudeTwist(sq, 5, 0, -3, 0).NumVert(), ExtrudeTwist(sq, 5, 0, 1, 0).NumVert());
  Manifold twisted = ExtrudeTwist(sq, 5, 90, 64, 0);  // a quarter turn, close to straight
  EXPECT_TRUE(IsClosed(twisted));
  EXPECT_NEAR(twisted.Volume(), 500, 5);
  EXPECT_NEAR(twisted.BoundingBox().max.z, 5, 1e-9);
}

}  // namespace
}  // namespace velamanifold
