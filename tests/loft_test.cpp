#include "geometry/loft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::CrossSection;
using manifold::Manifold;
using manifold::vec2;
using manifold::vec3;
using testing::BoxNear;
using testing::IsClosed;

CrossSection Square(double side, bool center = false) {
  return CrossSection::Square(vec2(side, side), center);
}

CrossSection Box2D(double x0, double y0, double x1, double y1) {
  return CrossSection(manifold::SimplePolygon{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
}

// A regular polygon of n points on a circle of radius r about the origin.
CrossSection RegularPolygon(int n, double r) {
  manifold::SimplePolygon points;
  for (int i = 0; i < n; ++i) {
    double a = 2 * std::numbers::pi * i / n;
    points.push_back({r * std::cos(a), r * std::sin(a)});
  }
  return CrossSection(points);
}

TEST(Loft, VolumesOfRuledSolids) {
  const double frustum = 6.0 / 3 * (100 + 25 + std::sqrt(100.0 * 25));
  struct Case {
    const char* name;
    CrossSection bottom, top;
    double height, x, y;
    double volume;
    vec3 lo, hi;
  } cases[] = {
      {"equal squares make a prism", Square(10), Square(10), 5, 0, 0, 500, {0, 0, 0}, {10, 10, 5}},
      {"concentric squares make a frustum", Square(10, true), Square(5, true), 6, 0, 0, frustum,
       {-5, -5, 0}, {5, 5, 6}},
      {"a sideways shift keeps the prism volume", Square(10), Square(10), 5, 3, -4, 500,
       {0, -4, 0}, {13, 10, 5}},
  };
  for (const Case& c : cases) {
    Manifold solid = Loft(c.bottom, c.top, c.height, c.x, c.y, 0, 0);
    EXPECT_TRUE(IsClosed(solid)) << c.name;
    EXPECT_NEAR(solid.Volume(), c.volume, 1e-9) << c.name;
    EXPECT_TRUE(BoxNear(solid.BoundingBox(), c.lo, c.hi)) << c.name;
  }
}

TEST(Loft, MismatchedLoopsMeetOnMatchedRings) {
  // Rings take the least common multiple of the point counts up to 2048
  // points, else 512 resampled points; each ring point is one bottom and one
  // top vertex. The volume lies between the two prisms.
  struct Case {
    int bottomPoints, topPoints;
    double topRadius;
    size_t ringPoints;
  } cases[] = {{4, 3, 4, 12}, {40, 60, 8, 120}, {64, 33, 10, 512}, {2048, 1024, 8, 2048}};
  for (const Case& c : cases) {
    CrossSection bottom = RegularPolygon(c.bottomPoints, 10);
    CrossSection top = RegularPolygon(c.topPoints, c.topRadius);
    Manifold solid = Loft(bottom, top, 5, 0, 0, 0, 0);
    EXPECT_TRUE(IsClosed(solid)) << c.bottomPoints;
    EXPECT_EQ(solid.NumVert(), 2 * c.ringPoints) << c.bottomPoints;
    EXPECT_GT(solid.Volume(), 5 * std::min(bottom.Area(), top.Area())) << c.bottomPoints;
    EXPECT_LT(solid.Volume(), 5 * std::max(bottom.Area(), top.Area())) << c.bottomPoints;
  }
}

TEST(Loft, DegenerateInputsGiveEmptySolids) {
  CrossSection square = Square(10);
  EXPECT_TRUE(Loft(CrossSection(), square, 5, 0, 0, 0, 0).IsEmpty());
  EXPECT_TRUE(Loft(square, CrossSection(), 5, 0, 0, 0, 0).IsEmpty());
  for (double height : {0.0, -1.0, double(NAN)}) {
    EXPECT_TRUE(Loft(square, square, height, 0, 0, 0, 0).IsEmpty()) << height;
  }
  // A non-finite shift makes a mesh the library refuses.
  EXPECT_TRUE(Loft(square, square, 5, INFINITY, 0, 0, 0).IsEmpty());
}

TEST(Loft, RotateNinetyStandsTheTopUpright) {
  Manifold solid = Loft(Square(10), Square(10), 10, 0, 0, 90, 0);
  ASSERT_FALSE(solid.IsEmpty());
  // The top ring lies in the plane y = 0, rising from z = 10 to z = 20.
  EXPECT_TRUE(BoxNear(solid.BoundingBox(), {0, 0, 0}, {10, 10, 20}, 1e-9));
}

TEST(Loft, OnlyTheLargestIslandsArePaired) {
  CrossSection twoIslands = Box2D(0, 0, 10, 10) + Box2D(20, 0, 22, 2);
  Manifold solid = Loft(twoIslands, Square(10), 4, 0, 0, 0, 0);
  EXPECT_NEAR(solid.Volume(), 400, 1e-9);
  EXPECT_TRUE(BoxNear(solid.BoundingBox(), {0, 0, 0}, {10, 10, 4}));
}

TEST(Loft, OppositelyWoundLoopsAreJoinedTheSameWay) {
  // The second-largest top loop is a clockwise hole; the loft turns it round
  // to match the counter-clockwise island below, so that pair closes as well.
  CrossSection bottom = Box2D(0, 0, 20, 20) + Box2D(30, 0, 34, 4);
  CrossSection top = Box2D(0, 0, 20, 20) - Box2D(8, 8, 12, 12);
  Manifold solid = Loft(bottom, top, 5, 0, 0, 0, 0);
  EXPECT_TRUE(IsClosed(solid));
  EXPECT_NEAR(solid.Volume(), (400 + 16) * 5, 1e-9);
}

TEST(Lathe, RevolvesProfilesAndCutsCutouts) {
  const int segments = 64;
  // A polygonal tube of segments sides: its section area times the path of
  // the centroid of a regular polygon's ring.
  auto tube = [&](double inner, double outer, double height) {
    return 0.5 * segments * std::sin(2 * std::numbers::pi / segments) *
           (outer * outer - inner * inner) * height;
  };
  Manifold ring = Lathe({Box2D(5, 0, 10, 4)}, {}, segments);
  EXPECT_TRUE(IsClosed(ring));
  EXPECT_NEAR(ring.Volume(), tube(5, 10, 4), 1e-6);
  EXPECT_NEAR(ring.Volume(), std::numbers::pi * 75 * 4, 0.01 * std::numbers::pi * 75 * 4);
  EXPECT_TRUE(BoxNear(ring.BoundingBox(), {-10, -10, 0}, {10, 10, 4}, 1e-6));

  Manifold cut = Lathe({Box2D(5, 0, 10, 4), CrossSection()}, {Box2D(8, 0, 12, 4)}, segments);
  EXPECT_NEAR(cut.Volume(), tube(5, 8, 4), 1e-6);

  EXPECT_TRUE(Lathe({}, {Box2D(8, 0, 12, 4)}, segments).IsEmpty());
  EXPECT_TRUE(Lathe({}, {}, segments).IsEmpty());
  // Too few segments leave the count to the library, which still closes it.
  EXPECT_TRUE(IsClosed(Lathe({Box2D(5, 0, 10, 4)}, {}, 2)));
}

TEST(ExtrudeTwist, ExtrudesWithAtLeastOneDivision) {
  CrossSection square = Square(10, true);
  Manifold straight = ExtrudeTwist(square, 5, 0, 0, 0);
  EXPECT_NEAR(straight.Volume(), 500, 1e-9);
  EXPECT_TRUE(BoxNear(straight.BoundingBox(), {-5, -5, 0}, {5, 5, 5}));
  // slices 0 and -3 extrude with one division, like slices 1.
  for (int slices : {-3, 1}) {
    EXPECT_EQ(ExtrudeTwist(square, 5, 0, slices, 0).NumVert(), straight.NumVert()) << slices;
  }

  // A twist moves points within their own slice; a quarter turn over many
  // slices stays close to the straight volume.
  Manifold twisted = ExtrudeTwist(square, 5, 90, 64, 0);
  EXPECT_TRUE(IsClosed(twisted));
  EXPECT_NEAR(twisted.Volume(), 500, 5);
  EXPECT_NEAR(twisted.BoundingBox().max.z, 5, 1e-9);

  EXPECT_TRUE(ExtrudeTwist(square, 0, 0, 1, 0).IsEmpty());
  EXPECT_TRUE(ExtrudeTwist(CrossSection(), 5, 0, 1, 0).IsEmpty());
}

}  // namespace
}  // namespace velamanifold
