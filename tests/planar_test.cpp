#include <gtest/gtest.h>

#include <cmath>

#include "geometry/planar.h"

namespace velamanifold {
namespace {

using manifold::CrossSection;
using manifold::Manifold;

// Area of the regular n-gon inscribed in a circle of radius r.
double NGon(double r, int n) { return 0.5 * n * r * r * std::sin(2 * M_PI / n); }

TEST(Planar, Rectangles) {
  struct Case {
    double w, l, r, area, x1, y1;
  };
  const Case cases[] = {
      {10, 4, 0, 40, 5, 2},
      // A radius beyond half the length is cut to it: a 6 x 0.001 core grown
      // by 2, within the 10 x 4 it was asked for (it once grew to 10 x 6).
      {10, 4, 3, 6 * 0.001 + 4 * 6.001 + NGon(2, 64), 5, 2.0005},
      {10, 4, 2, 6 * 0.001 + 4 * 6.001 + NGon(2, 64), 5, 2.0005},
      // Refining this one to 0.5 would take millions of triangles.
      {1000, 800, 10, 980 * 780 + 20 * 1760 + NGon(10, 64), 500, 400},
  };
  for (const Case& c : cases) {
    CrossSection r = Rectangle(c.w, c.l, c.r, 64);
    EXPECT_NEAR(r.Area(), c.area, 1e-3) << c.w;
    EXPECT_EQ(r.NumContour(), 1u) << c.w;
    const manifold::Rect b = r.Bounds();
    EXPECT_NEAR(b.min.x, -c.x1, 1e-6) << c.w;
    EXPECT_NEAR(b.max.y, c.y1, 1e-6) << c.w;
  }
}

TEST(Planar, RefineToLengthBoundedKeepsShapeWithinBudget) {
  for (double side : {20.0, 2000.0, 1e100}) {
    Manifold slab = Manifold::Extrude(CrossSection::Square({side, side}).ToPolygons(), 0.001);
    Manifold refined = RefineToLengthBounded(slab, 0.5);
    EXPECT_NEAR(refined.Volume(), slab.Volume(), 1e-6 * slab.Volume()) << side;
    EXPECT_LE(refined.NumTri(), static_cast<size_t>(kMaxRefinedTriangles)) << side;
    EXPECT_GT(refined.NumTri(), side == 20 ? 2u * 40 * 40 : 0u) << side;  // 20 refines in full
  }
}

}  // namespace
}  // namespace velamanifold
