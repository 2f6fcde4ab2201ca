#include <gtest/gtest.h>

#include <cmath>

#include "geometry/planar.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::CrossSection;
using manifold::Manifold;

// Area of the regular n-gon inscribed in a circle of radius r.
double NGon(double r, int n) { return 0.5 * n * r * r * std::sin(2 * M_PI / n); }

void ExpectBounds(const CrossSection& r, double x0, double y0, double x1, double y1) {
  const manifold::Rect b = r.Bounds();
  EXPECT_NEAR(b.min.x, x0, 1e-6);
  EXPECT_NEAR(b.min.y, y0, 1e-6);
  EXPECT_NEAR(b.max.x, x1, 1e-6);
  EXPECT_NEAR(b.max.y, y1, 1e-6);
}

TEST(Planar, Rectangles) {
  struct Case {
    double w, l, r, area, x1, y1;
  };
  const Case cases[] = {
      {10, 4, 0, 40, 5, 2},
      // The radius exceeds half the length: a 4 x 0.001 core grown by 3.
      {10, 4, 3, 4 * 0.001 + 6 * 4.001 + NGon(3, 64), 5, 3.0005},
      // Refining this one to 0.5 would take millions of triangles.
      {1000, 800, 10, 980 * 780 + 20 * 1760 + NGon(10, 64), 500, 400},
  };
  for (const Case& c : cases) {
    CrossSection r = Rectangle(c.w, c.l, c.r, 64);
    EXPECT_NEAR(r.Area(), c.area, 1e-3) << c.w;
    EXPECT_EQ(r.NumContour(), 1u) << c.w;
    ExpectBounds(r, -c.x1, -c.y1, c.x1, c.y1);
  }
}

TEST(Planar, RefineToLengthBoundedKeepsShapeWithinBudget) {
  for (double side : {20.0, 2000.0, 1e100}) {
    Manifold slab = Manifold::Extrude(CrossSection::Square({side, side}).ToPolygons(), 0.001);
    Manifold refined = RefineToLengthBounded(slab, 0.5);
    EXPECT_NEAR(refined.Volume(), slab.Volume(), 1e-6 * slab.Volume()) << side;
    EXPECT_LE(refined.NumTri(), static_cast<size_t>(kMaxRefinedTriangles)) << side;
    if (side == 20) {
      EXPECT_GT(refined.NumTri(), 2u * 40 * 40);
    }
  }
}

TEST(Planar, Triangle2D) {
  // top width: none, negative (none), trapezoid, as wide as the base
  const double tops[] = {0, -2, 4, 10}, areas[] = {25, 25, 35, 50};
  const size_t verts[] = {3, 3, 4, 4};
  for (int i = 0; i < 4; ++i) {
    CrossSection t = Triangle2D(10, 5, tops[i]);
    EXPECT_NEAR(t.Area(), areas[i], 1e-9) << tops[i];
    EXPECT_EQ(t.NumVert(), verts[i]) << tops[i];
    ExpectBounds(t, 0, 0, 10, 5);
  }
}

TEST(Planar, BooleansAndOffsets) {
  const CrossSection a = CrossSection::Square({10, 10});
  const CrossSection b = a.Translate({5, 0}), c = a.Translate({0, 5});
  EXPECT_TRUE(Union2D({}).IsEmpty());
  EXPECT_NEAR(Difference2D(a, {b, c}).Area(), 25, 1e-9);
  EXPECT_NEAR(Intersection2DMulti(a, {b, c}).Area(), 25, 1e-9);
  // Join types 0 square, 1 round, 2 miter, 3 bevel; anything else round.
  const double cut = std::pow(std::sqrt(2.0) - 1, 2), round = 140 + NGon(1, 256);
  const int joins[] = {0, 1, 2, 3, 7, -1};
  const double areas[] = {144 - 4 * cut, round, 144, 142, round, round};
  for (int i = 0; i < 6; ++i) {
    EXPECT_NEAR(Offset2D(a, 1, joins[i], 2.0, 256).Area(), areas[i], 1e-3) << joins[i];
  }
}

TEST(Planar, Mirror2DKeepsOuterAndHoles) {
  const CrossSection ring = Difference2D(CrossSection::Square({10, 10}).Translate({1, 2}),
                                         {CrossSection::Square({2, 2}).Translate({3, 4})});
  CrossSection x = Mirror2D(ring, "x"), y = Mirror2D(ring, "y");
  EXPECT_NEAR(x.Area(), 96, 1e-9);
  EXPECT_EQ(x.NumContour(), 2u);
  ExpectBounds(x, -11, 2, -1, 12);
  EXPECT_NEAR(y.Area(), 96, 1e-9);
  ExpectBounds(y, 1, -12, 11, -2);
  for (const char* axis : {"z", "", "X", "xy"}) ExpectBounds(Mirror2D(ring, axis), 1, 2, 11, 12);
  EXPECT_TRUE(Mirror2D(CrossSection(), "x").IsEmpty());
}

TEST(Planar, PointListsToRegions) {
  const std::vector<std::vector<double>> outer = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  const std::vector<std::vector<double>> holeCw = {{2, 2}, {2, 4}, {4, 4}, {4, 2}};
  const std::vector<std::vector<double>> innerCcw = {{2, 2}, {4, 2}, {4, 4}, {2, 4}};
  struct Case {
    PointLists input;
    double area;
  };
  const Case cases[] = {
      {{outer, holeCw}, 96},
      {{outer, innerCcw}, 100},  // same winding: the library fills it
      {{}, 0},
      {{{{0, 0}, {1, 1}}, {{2, 2}, {3, 3}}}, 0},
      {{{{0, 0}, {5}, {4, 0}, {4, 3, 7}}}, 6},  // [5] is no point, [4, 3, 7] is (4, 3)
      {{{{0, 0}, {5}, {4, 0}}}, 0},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(PolygonsToCS(c.input).Area(), c.area, 1e-9);
    EXPECT_NEAR(SvgToCrossSection(c.input, 2).Area(), 4 * c.area, 1e-9);
  }
  EXPECT_EQ(SvgToPolygons({outer, {{1, 1}}, holeCw}).size(), 2u);
  ExpectBounds(SvgToCrossSection({{{1, 1}, {5, 1}, {1, 4}}}, -1), -5, -4, -1, -1);
}

TEST(Planar, SliceToCrossSection) {
  const Manifold cube = Manifold::Cube({10, 6, 10});
  EXPECT_NEAR(SliceToCrossSection(cube, 5).Area(), 60, 1e-9);
  EXPECT_TRUE(SliceToCrossSection(cube, 20).IsEmpty());
  EXPECT_TRUE(SliceToCrossSection(Manifold(), 0).IsEmpty());
  const Manifold tube = Manifold::Cylinder(10, 5, 5, 64) - Manifold::Cylinder(10, 3, 3, 64);
  EXPECT_EQ(SliceToCrossSection(tube, 5).NumContour(), 2u);
}

}  // namespace
}  // namespace velamanifold
