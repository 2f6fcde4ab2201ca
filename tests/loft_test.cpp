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
using manifold::vec2;
using testing::BoxNear;
using testing::IsClosed;

CrossSection Square(double side, bool center = false) {
  return CrossSection::Square(vec2(side, side), center);
}

CrossSection Box2D(double x0, double y0, double x1, double y1) {
  return CrossSection(manifold::SimplePolygon{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
}

CrossSection RegularPolygon(int n, double r) {
  manifold::SimplePolygon points;
  for (int i = 0; i < n; ++i) {
    double a = 2 * std::numbers::pi * i / n;
    points.push_back({r * std::cos(a), r * std::sin(a)});
  }
  return CrossSection(points);
}

TEST(Loft, FrustumShiftedTopAndUprightTop) {
  Manifold solid = Loft(Square(10, true), Square(5, true), 6, 0, 0, 0, 0);
  EXPECT_TRUE(IsClosed(solid));
  EXPECT_NEAR(solid.Volume(), 350, 1e-9);
  EXPECT_TRUE(BoxNear(solid.BoundingBox(), {-5, -5, 0}, {5, 5, 6}));
  Manifold shifted = Loft(Square(10), Square(10), 5, 3, -4, 0, 0);
  EXPECT_NEAR(shifted.Volume(), 500, 1e-9);
  EXPECT_TRUE(BoxNear(shifted.BoundingBox(), {0, -4, 0}, {13, 10, 5}));
  // Turned 90 degrees, the top ring lies in the plane y = 0, from z = 10 to z = 20.
  EXPECT_TRUE(BoxNear(Loft(Square(10), Square(10), 10, 0, 0, 90, 0).BoundingBox(), {0, 0, 0},
                      {10, 10, 20}, 1e-9));
}

TEST(Loft, MismatchedLoopsMeetOnMatchedRings) {
  // Rings hold the least common multiple of the point counts up to 2048, else 512.
  const std::tuple<int, int, double, size_t> cases[] = {
      {4, 3, 4, 12}, {40, 60, 8, 120}, {64, 33, 10, 512}, {2048, 1024, 8, 2048}};
  for (const auto& [bottomPoints, topPoints, topRadius, ringPoints] : cases) {
    SCOPED_TRACE(bottomPoints);
    CrossSection bottom = RegularPolygon(bottomPoints, 10);
    CrossSection top = RegularPolygon(topPoints, topRadius);
    Manifold solid = Loft(bottom, top, 5, 0, 0, 0, 0);
    EXPECT_TRUE(IsClosed(solid));
    EXPECT_EQ(solid.NumVert(), 2 * ringPoints);
    EXPECT_GT(solid.Volume(), 5 * std::min(bottom.Area(), top.Area()));
    EXPECT_LT(solid.Volume(), 5 * std::max(bottom.Area(), top.Area()));
  }
}

TEST(Loft, DegenerateInputsGiveEmptySolids) {
  const CrossSection s = Square(10), none;
  for (const Manifold& solid : {Loft(none, s, 5, 0, 0, 0, 0), Loft(s, none, 5, 0, 0, 0, 0),
                                Loft(s, s, 0, 0, 0, 0, 0), Loft(s, s, -1, 0, 0, 0, 0),
                                Loft(s, s, NAN, 0, 0, 0, 0), Loft(s, s, 5, INFINITY, 0, 0, 0)}) {
    EXPECT_TRUE(solid.IsEmpty());
  }
}

TEST(Loft, IslandsPairByAreaAndAHoleIsTurnedToMatch) {
  CrossSection twoIslands = Box2D(0, 0, 10, 10) + Box2D(20, 0, 22, 2);
  Manifold solid = Loft(twoIslands, Square(10), 4, 0, 0, 0, 0);
  EXPECT_NEAR(solid.Volume(), 400, 1e-9);
  EXPECT_TRUE(BoxNear(solid.BoundingBox(), {0, 0, 0}, {10, 10, 4}));
  // The second-largest top loop is a clockwise hole, paired with an island below.
  CrossSection bottom = Box2D(0, 0, 20, 20) + Box2D(30, 0, 34, 4);
  CrossSection top = Box2D(0, 0, 20, 20) - Box2D(8, 8, 12, 12);
  Manifold paired = Loft(bottom, top, 5, 0, 0, 0, 0);
  EXPECT_TRUE(IsClosed(paired));
  EXPECT_NEAR(paired.Volume(), (400 + 16) * 5, 1e-9);
}

TEST(ExtrudeTwist, TwistsWithAtLeastOneDivision) {
  CrossSection square = Square(10, true);
  EXPECT_EQ(ExtrudeTwist(square, 5, 0, -3, 0).NumVert(), ExtrudeTwist(square, 5, 0, 1, 0).NumVert())
      << "slices below 1 extrude with one division";
  // A quarter turn over many slices stays close to the straight volume.
  Manifold twisted = ExtrudeTwist(square, 5, 90, 64, 0);
  EXPECT_TRUE(IsClosed(twisted));
  EXPECT_NEAR(twisted.Volume(), 500, 5);
  EXPECT_NEAR(twisted.BoundingBox().max.z, 5, 1e-9);
  EXPECT_TRUE(ExtrudeTwist(square, 0, 0, 1, 0).IsEmpty());
  EXPECT_TRUE(ExtrudeTwist(CrossSection(), 5, 0, 1, 0).IsEmpty());
}

}  // namespace
}  // namespace velamanifold
