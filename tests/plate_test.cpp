#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "geometry/plate.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::CrossSection;
using manifold::Manifold;
using testing::BoxNear;
using testing::IsClosed;

constexpr double kPi = std::numbers::pi;

CrossSection Square(double side) { return CrossSection::Square({side, side}, true); }

// Area of the 64-gon the library makes for a circle of radius r.
double DiscArea(double r) { return 0.5 * 64 * r * r * std::sin(2 * kPi / 64); }

double SliceArea(const Manifold& solid, double z) { return CrossSection(solid.Slice(z)).Area(); }

PlateParams SquarePlate(double side, double height) {
  PlateParams params;
  params.outline = Square(side);
  params.height = height;
  return params;
}

TEST(Plate, PlainOutlineIsAPrism) {
  Manifold plate = Plate(SquarePlate(10, 3), 64);
  EXPECT_NEAR(plate.Volume(), 300, 1e-9);
  EXPECT_TRUE(BoxNear(plate.BoundingBox(), {-5, -5, 0}, {5, 5, 3}));
  EXPECT_TRUE(IsClosed(plate));
}

TEST(Plate, UnusableInputsBuildNothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  PlateParams noOutline;
  noOutline.height = 3;
  EXPECT_TRUE(Plate(noOutline, 64).IsEmpty());
  for (double height : {0.0, -1.0, nan, inf}) {
    EXPECT_TRUE(Plate(SquarePlate(10, height), 64).IsEmpty()) << height;
  }
  for (double offset : {-6.0, nan, inf}) {
    PlateParams params = SquarePlate(10, 3);
    params.offset = offset;
    EXPECT_TRUE(Plate(params, 64).IsEmpty()) << offset;
  }
}

TEST(Plate, OffsetShrinksOrGrowsTheOutline) {
  PlateParams params = SquarePlate(10, 3);
  params.offset = -2;
  EXPECT_NEAR(Plate(params, 64).Volume(), 6 * 6 * 3, 1e-6);
  params.offset = 1;
  // Rounded corners: the square, four side strips and a quarter disc per corner.
  EXPECT_NEAR(Plate(params, 64).Volume(), (100 + 40 + kPi) * 3, 0.05);
}

TEST(Plate, FewSegmentsOffsetLikeEight) {
  PlateParams params = SquarePlate(10, 3);
  params.offset = 2;
  EXPECT_NEAR(Plate(params, 4).Volume(), Plate(params, 8).Volume(), 1e-9);
  EXPECT_GT(Plate(params, 64).Volume(), Plate(params, 8).Volume());
}

// Frustum volume h/3 (A1 + A2 + sqrt(A1 A2)) of square sections.
double SquareFrustum(double bottom, double top, double h) {
  return h / 3 * (bottom * bottom + top * top + bottom * top);
}

TEST(Plate, OuterChamferBevelsTheTopEdge) {
  struct Case {
    double chamfer, volume;
  };
  const Case cases[] = {
      {1, 10 * 10 * 2 + SquareFrustum(10, 8, 1)},
      // A chamfer taller than the plate is limited to its height.
      {3, SquareFrustum(10, 4, 3)},
      {5, SquareFrustum(10, 4, 3)},
      {0, 300},
      {-1, 300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chamfer);
    PlateParams params = SquarePlate(10, 3);
    params.chamferOuter = c.chamfer;
    Manifold plate = Plate(params, 64);
    EXPECT_NEAR(plate.Volume(), c.volume, 1e-3);
    EXPECT_TRUE(BoxNear(plate.BoundingBox(), {-5, -5, 0}, {5, 5, 3}, 1e-6));
    EXPECT_TRUE(IsClosed(plate));
  }
}

TEST(Plate, InnerCutsRemoveTheirPrism) {
  struct Case {
    double depth, removed;
  };
  // A 4 x 4 cut: depths outside (0, 3] go through the plate.
  const Case cases[] = {{0, 48}, {-1, 48}, {5, 48}, {3, 48}, {1, 16}, {2.5, 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.depth);
    PlateParams params = SquarePlate(10, 3);
    params.innerCuts.push_back({Square(4), c.depth, 0});
    Manifold plate = Plate(params, 64);
    EXPECT_NEAR(300 - plate.Volume(), c.removed, 1e-6);
    EXPECT_TRUE(IsClosed(plate));
    EXPECT_TRUE(BoxNear(plate.BoundingBox(), {-5, -5, 0}, {5, 5, 3}));
  }
}

TEST(Plate, CutsApplyInOrderAndEmptySectionsAreSkipped) {
  PlateParams params = SquarePlate(10, 3);
  params.innerCuts.push_back({Square(2).Translate({-3, -3}), 1, 0});
  params.innerCuts.push_back({CrossSection(), 1, 0});
  params.innerCuts.push_back({Square(2).Translate({3, 3}), 0, 0});
  EXPECT_NEAR(300 - Plate(params, 64).Volume(), 4 + 12, 1e-6);
}

// Volume outside a disc of radius r within a cone widening from r to r + c
// over the height c.
double CountersinkVolume(double r, double c) {
  return kPi * c / 3 * (r * r + (r + c) * (r + c) + r * (r + c)) - kPi * r * r * c;
}

TEST(Plate, InnerChamferAddsACountersink) {
  struct Case {
    double chamfer, depth, sink;
  };
  // A hole of radius 2: the countersink is limited by the depth of the cut.
  const Case cases[] = {{1, 0, 1}, {0.5, 0, 0.5}, {2, 1, 1}, {0, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.chamfer << " " << c.depth);
    PlateParams params = SquarePlate(10, 3);
    params.chamferInner = c.chamfer;
    params.innerCuts.push_back({CrossSection::Circle(2, 64), c.depth, 0});
    Manifold plate = Plate(params, 64);
    const double hole = DiscArea(2) * (c.depth > 0 ? c.depth : 3);
    const double sink = c.sink > 0 ? CountersinkVolume(2, c.sink) : 0;
    EXPECT_NEAR(300 - plate.Volume(), hole + sink, 0.02 * (hole + sink));
    EXPECT_TRUE(IsClosed(plate));
  }
}

TEST(Plate, ChamferRingHasNoWidthAtTheBottom) {
  Manifold ring = ChamferRing(Square(10), 1, 64);
  EXPECT_TRUE(BoxNear(ring.BoundingBox(), {-6, -6, 0}, {6, 6, 1}, 1e-6));
  // Grown by 1 with rounded corners, minus the square shrunk by 1.
  EXPECT_NEAR(SliceArea(ring, 0.999), 100 + 40 + kPi - 64, 0.5);
  EXPECT_LT(SliceArea(ring, 0.001), 0.1);
  EXPECT_TRUE(ChamferRing(CrossSection(), 1, 64).IsEmpty());
  EXPECT_TRUE(ChamferRing(Square(10), 0, 64).IsEmpty());
}

TEST(PlateShellA, BevelsAndCutsFromTheBottomFace) {
  const Manifold base = Manifold::Cube({10, 10, 3}, true).Translate({0, 0, 3.5});  // z 2 .. 5
  PlateParams params;
  params.chamferOuter = 1;
  Manifold bevelled = PlateShellA(params, Square(10), base, 2, 5, 64);
  EXPECT_NEAR(bevelled.Volume(), 200 + SquareFrustum(10, 8, 1), 1e-3);
  // The bevel is on the bottom edge: the bottom face is 8 x 8, the top 10 x 10.
  EXPECT_NEAR(SliceArea(bevelled, 2.001), 8.002 * 8.002, 0.01);
  EXPECT_NEAR(SliceArea(bevelled, 4.999), 100, 1e-6);

  params.chamferOuter = 0;
  params.innerCuts.push_back({Square(4), 1, 0});
  Manifold pocket = PlateShellA(params, Square(10), base, 2, 5, 64);
  EXPECT_NEAR(300 - pocket.Volume(), 16, 1e-6);
  EXPECT_NEAR(SliceArea(pocket, 2.5), 100 - 16, 1e-6);
  EXPECT_NEAR(SliceArea(pocket, 3.5), 100, 1e-6);
  EXPECT_TRUE(IsClosed(pocket));
}

TEST(PlateShellA, CollapsedBoundsCutAtMostAThinLayer) {
  // The cut is 0.0001 thick, below what the small-face cleanup keeps.
  const Manifold base = Manifold::Cube({10, 10, 3});
  PlateParams params;
  params.innerCuts.push_back({Square(4).Translate({5, 5}), 0, 0});
  Manifold shell = PlateShellA(params, CrossSection(), base, 0, 0, 64);
  EXPECT_NEAR(shell.Volume(), 300, 16 * 0.0001 + 1e-9);
  EXPECT_TRUE(IsClosed(shell));
}

TEST(CleanupSmallFaces, KeepsTheShapeAndPassesEmptyThrough) {
  EXPECT_TRUE(CleanupSmallFaces(Manifold()).IsEmpty());
  Manifold cube = Manifold::Cube({2, 3, 4});
  EXPECT_NEAR(CleanupSmallFaces(cube).Volume(), 24, 1e-9);
}

TEST(PlateShell, IgnoresTheSecondParameterSet) {
  PlateParams other = SquarePlate(20, 9);
  EXPECT_NEAR(PlateShell(SquarePlate(10, 3), other, 64).Volume(), 300, 1e-9);
}

}  // namespace
}  // namespace velamanifold
