#include <gtest/gtest.h>

#include <cmath>

#include "geometry/planar.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::CrossSection;
using manifold::Manifold;
using manifold::Rect;

constexpr double kPi = 3.14159265358979323846;

void ExpectRect(const Rect& r, double x0, double y0, double x1, double y1, double tol = 1e-6) {
  EXPECT_NEAR(r.min.x, x0, tol);
  EXPECT_NEAR(r.min.y, y0, tol);
  EXPECT_NEAR(r.max.x, x1, tol);
  EXPECT_NEAR(r.max.y, y1, tol);
}

// Area of the regular n-gon inscribed in a circle of radius r.
double PolygonArea(double r, int n) { return 0.5 * n * r * r * std::sin(2 * kPi / n); }

TEST(Planar, RectangleSharpIsTheCentredSquare) {
  CrossSection r = Rectangle(10, 4, 0, 64);
  EXPECT_NEAR(r.Area(), 40, 1e-9);
  EXPECT_EQ(r.NumVert(), 4u);
  ExpectRect(r.Bounds(), -5, -2, 5, 2);
}

TEST(Planar, RectangleRoundedKeepsATinyInnerCore) {
  // The radius exceeds half the length: the inner core is 4 x 0.001.
  CrossSection r = Rectangle(10, 4, 3, 64);
  ASSERT_EQ(r.NumContour(), 1u);
  ExpectRect(r.Bounds(), -5, -3.0005, 5, 3.0005, 1e-6);
  EXPECT_NEAR(r.Area(), 4 * 0.001 + 2 * 3 * 4.001 + PolygonArea(3, 64), 1e-6);
}

TEST(Planar, RectangleRoundedLargeStaysCheapAndExact) {
  // A refinement to 0.5 of this slab would be millions of triangles.
  CrossSection r = Rectangle(1000, 800, 10, 64);
  ASSERT_EQ(r.NumContour(), 1u);
  ExpectRect(r.Bounds(), -500, -400, 500, 400, 1e-6);
  EXPECT_NEAR(r.Area(), 980 * 780 + 2 * 10 * (980 + 780) + PolygonArea(10, 64), 1e-3);
}

TEST(Planar, RefineToLengthBoundedKeepsShapeAndTriangleBudget) {
  struct Case {
    double side;
    bool refinedFully;
  };
  for (const Case& c : {Case{20, true}, Case{2000, false}}) {
    Manifold slab = Manifold::Extrude(CrossSection::Square({c.side, c.side}).ToPolygons(), 0.001);
    Manifold refined = RefineToLengthBounded(slab, 0.5);
    EXPECT_NEAR(refined.Volume(), slab.Volume(), 1e-6 * slab.Volume()) << c.side;
    EXPECT_TRUE(testing::IsClosed(refined)) << c.side;
    EXPECT_GT(refined.NumTri(), slab.NumTri()) << c.side;
    EXPECT_LE(refined.NumTri(), static_cast<size_t>(kMaxRefinedTriangles)) << c.side;
    if (c.refinedFully) {
      EXPECT_GT(refined.NumTri(), 2u * 40 * 40) << c.side;
    }
  }
  EXPECT_TRUE(RefineToLengthBounded(Manifold(), 0.5).IsEmpty());
}

TEST(Planar, CircleSegments) {
  EXPECT_NEAR(Circle(10, 6).Area(), PolygonArea(5, 6), 1e-9);
  EXPECT_EQ(Circle(10, 6).NumVert(), 6u);
  // Fewer than 3 leaves the count to the library.
  EXPECT_EQ(Circle(10, 2).NumVert(), Circle(10, 0).NumVert());
  EXPECT_GE(Circle(10, 2).NumVert(), 3u);
  ExpectRect(Circle(10, 64).Bounds(), -5, -5, 5, 5);
}

TEST(Planar, Triangle2DShapes) {
  struct Case {
    double width, height, top;
    double area;
    size_t verts;
  };
  const Case cases[] = {
      {10, 5, 0, 25, 3},   // right triangle
      {10, 5, -2, 25, 3},  // a negative top width is no top edge
      {10, 5, 4, 35, 4},   // right trapezoid
      {10, 5, 10, 50, 4},  // top as wide as the base: a rectangle
  };
  for (const Case& c : cases) {
    CrossSection t = Triangle2D(c.width, c.height, c.top);
    EXPECT_NEAR(t.Area(), c.area, 1e-9) << c.top;
    EXPECT_EQ(t.NumVert(), c.verts) << c.top;
    ExpectRect(t.Bounds(), 0, 0, c.width, c.height);
  }
}

TEST(Planar, Polygon2DSkipsShortPoints) {
  CrossSection p = Polygon2D({{0, 0}, {5}, {4, 0, 9}, {4, 3}});
  EXPECT_NEAR(p.Area(), 6, 1e-9);
  EXPECT_TRUE(Polygon2D({{5}, {}}).IsEmpty());
}

TEST(Planar, Booleans) {
  const CrossSection a = CrossSection::Square({10, 10});
  const CrossSection b = CrossSection::Square({10, 10}).Translate({5, 0});
  const CrossSection c = CrossSection::Square({10, 10}).Translate({0, 5});
  EXPECT_TRUE(Union2D({}).IsEmpty());
  EXPECT_NEAR(Union2D({a, b, c}).Area(), 200, 1e-9);
  EXPECT_NEAR(Difference2D(a, {}).Area(), 100, 1e-9);
  EXPECT_NEAR(Difference2D(a, {b, c}).Area(), 25, 1e-9);
  EXPECT_NEAR(Intersection2D(a, b).Area(), 50, 1e-9);
  EXPECT_NEAR(Intersection2DMulti(a, {}).Area(), 100, 1e-9);
  EXPECT_NEAR(Intersection2DMulti(a, {b, c}).Area(), 25, 1e-9);
}

TEST(Planar, Moves) {
  const CrossSection a = CrossSection::Square({4, 2});
  ExpectRect(Translate2D(a, 3, -1).Bounds(), 3, -1, 7, 1);
  ExpectRect(Rotate2D(a, 90).Bounds(), -2, 0, 0, 4);
  ExpectRect(Scale2D(a, 2, 0.5).Bounds(), 0, 0, 8, 1);
}

TEST(Planar, OffsetJoinTypes) {
  const CrossSection square = CrossSection::Square({10, 10});
  const double round = 100 + 4 * 10 + PolygonArea(1, 256);
  struct Case {
    int joinType;
    double area;
  };
  const double cut = (std::sqrt(2.0) - 1) * (std::sqrt(2.0) - 1);
  const Case cases[] = {
      {0, 144 - 4 * cut},  // square: corners cut at the offset distance
      {1, round},
      {2, 144},  // miter
      {3, 142},  // bevel
      {7, round},
      {-1, round},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(Offset2D(square, 1, c.joinType, 2.0, 256).Area(), c.area, 1e-3) << c.joinType;
  }
  EXPECT_NEAR(Offset2D(square, -1, 1, 2.0, 64).Area(), 64, 1e-6);
}

TEST(Planar, Mirror2DKeepsOuterAndHoles) {
  const CrossSection ring = Difference2D(CrossSection::Square({10, 10}).Translate({1, 2}),
                                         {CrossSection::Square({2, 2}).Translate({3, 4})});
  CrossSection x = Mirror2D(ring, "x");
  EXPECT_NEAR(x.Area(), 96, 1e-9);
  EXPECT_EQ(x.NumContour(), 2u);
  ExpectRect(x.Bounds(), -11, 2, -1, 12);
  CrossSection y = Mirror2D(ring, "y");
  EXPECT_NEAR(y.Area(), 96, 1e-9);
  ExpectRect(y.Bounds(), 1, -12, 11, -2);
  for (const char* axis : {"z", "", "X", "xy"}) {
    ExpectRect(Mirror2D(ring, axis).Bounds(), 1, 2, 11, 12);
  }
  EXPECT_TRUE(Mirror2D(CrossSection(), "x").IsEmpty());
}

TEST(Planar, PolygonsToCSFilling) {
  const std::vector<std::vector<double>> outer = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  const std::vector<std::vector<double>> holeCw = {{2, 2}, {2, 4}, {4, 4}, {4, 2}};
  const std::vector<std::vector<double>> innerCcw = {{2, 2}, {4, 2}, {4, 4}, {2, 4}};
  EXPECT_NEAR(PolygonsToCS({outer, holeCw}).Area(), 96, 1e-9);
  EXPECT_NEAR(PolygonsToCS({outer, innerCcw}).Area(), 100, 1e-9);
  EXPECT_TRUE(PolygonsToCS({}).IsEmpty());
  EXPECT_TRUE(PolygonsToCS({{{0, 0}, {1, 1}}, {{2, 2}, {3, 3}}}).IsEmpty());
  // [5] is no point, [4, 3, 7] is (4, 3).
  EXPECT_NEAR(PolygonsToCS({{{0, 0}, {5}, {4, 0}, {4, 3, 7}}}).Area(), 6, 1e-9);
  EXPECT_TRUE(PolygonsToCS({{{0, 0}, {5}, {4, 0}}}).IsEmpty());
  EXPECT_NEAR(TextToCrossSection({outer, holeCw}).Area(), 96, 1e-9);
  EXPECT_EQ(SvgToPolygons({outer, {{1, 1}}, holeCw}).size(), 2u);
  EXPECT_TRUE(SvgToPolygons({}).empty());
}

TEST(Planar, SvgScale) {
  const PointLists tri = {{{1, 1}, {5, 1}, {1, 4}}};
  ExpectRect(SvgToCrossSection(tri, 1.0).Bounds(), 1, 1, 5, 4);
  CrossSection doubled = SvgToCrossSection(tri, 2.0);
  EXPECT_NEAR(doubled.Area(), 24, 1e-9);
  CrossSection turned = SvgToCrossSection(tri, -1.0);
  EXPECT_NEAR(turned.Area(), 6, 1e-9);
  ExpectRect(turned.Bounds(), -5, -4, -1, -1);
}

TEST(Planar, SliceToCrossSection) {
  const Manifold cube = Manifold::Cube({10, 6, 10});
  CrossSection mid = SliceToCrossSection(cube, 5);
  EXPECT_NEAR(mid.Area(), 60, 1e-9);
  ExpectRect(mid.Bounds(), 0, 0, 10, 6);
  EXPECT_TRUE(SliceToCrossSection(cube, 20).IsEmpty());
  EXPECT_TRUE(SliceToCrossSection(Manifold(), 0).IsEmpty());
  const Manifold tube = Manifold::Cylinder(10, 5, 5, 64) - Manifold::Cylinder(10, 3, 3, 64);
  EXPECT_EQ(SliceToCrossSection(tube, 5).NumContour(), 2u);
}

}  // namespace
}  // namespace velamanifold
