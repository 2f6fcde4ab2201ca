#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "import/heightmap.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::Manifold;
using testing::IsClosed;

// Returns the largest z of the vertices whose coordinate `axis` is `at`.
double TopAt(const Manifold& solid, int axis, double at) {
  manifold::MeshGL64 mesh = solid.GetMeshGL64();
  double top = -1;
  for (size_t v = 0; v < mesh.NumVert(); ++v) {
    const double* p = &mesh.vertProperties[v * mesh.numProp];
    if (std::abs(p[axis] - at) < 1e-9) top = std::max(top, p[2]);
  }
  return top;
}

TEST(HeightMap, ReliefPlateFollowsTheImage) {
  for (uint8_t grey : {0, 255}) {
    Manifold plate = BumpMeshToManifold(std::vector<uint8_t>(12, grey), 4, 3, 20, 10, 2, 3, 0);
    double top = grey == 0 ? 2 : 5;
    EXPECT_TRUE(testing::BoxNear(plate.BoundingBox(), {0, 0, 0}, {20, 10, top}, 1e-9));
    EXPECT_NEAR(plate.Volume(), 200 * top, 1e-6);
  }
  // Columns run along X: black then white rises at x = width.
  Manifold columns = BumpMeshToManifold({0, 255, 0, 255}, 2, 2, 10, 10, 1, 5, 0);
  EXPECT_NEAR(TopAt(columns, 0, 10), 6, 1e-9);
  EXPECT_NEAR(TopAt(columns, 0, 0), 1, 1e-9);
  EXPECT_TRUE(IsClosed(columns));
  // Image row 0 is the far edge y = depth.
  Manifold rows = BumpMeshToManifold({255, 0}, 1, 2, 10, 10, 1, 5, 0);
  EXPECT_NEAR(TopAt(rows, 1, 10), 6, 1e-9);
  EXPECT_NEAR(TopAt(rows, 1, 0), 1, 1e-9);
}

TEST(HeightMap, RefinementStaysBoundedForExtremeProportions) {
  // Pixels a million times longer than wide, a one-column strip, and a base
  // far thicker than a pixel: refining to the pixel side would cut these
  // boxes into some 1e7 to 1e9 pieces.
  struct Case {
    int w, h;
    double width, depth, base;
  } cases[] = {{20, 20, 1000, 0.001, 1}, {1, 100, 1000, 1, 1}, {20, 20, 2, 2, 2000}};
  for (const Case& c : cases) {
    std::vector<uint8_t> map(static_cast<size_t>(c.w) * c.h, 255);
    Manifold plate = BumpMeshToManifold(map, c.w, c.h, c.width, c.depth, c.base, 2, 0);
    // At most a few dozen triangles per pixel (small maps get some slack).
    EXPECT_LE(plate.NumTri(), 64u * std::max(c.w * c.h, 512)) << c.w << "x" << c.h;
    EXPECT_NEAR(plate.Volume(), c.width * c.depth * (c.base + 2), 1e-6 * plate.Volume());
    EXPECT_TRUE(IsClosed(plate));
  }
}

TEST(HeightMap, ReliefCylinderGrid) {
  Manifold grid =
      BumpMeshToCylinderManifold(std::vector<uint8_t>(64 * 32, 90), 64, 32, 40, 10, 20, 3);
  EXPECT_EQ(grid.NumVert(), 2050u);
  EXPECT_EQ(grid.NumTri(), 4096u);
  EXPECT_TRUE(IsClosed(grid));
  // Black reaches the base diameter, white the outer one: 16-sided prisms.
  for (auto [grey, r] : {std::pair{0, 10.0}, std::pair{255, 20.0}}) {
    Manifold prism =
        BumpMeshToCylinderManifold(std::vector<uint8_t>(16 * 4, grey), 16, 4, 40, 10, 20, 32);
    EXPECT_NEAR(prism.Volume(), 8 * r * r * std::sin(2 * M_PI / 16) * 10, 1e-6);
    EXPECT_NEAR(prism.BoundingBox().max.x, r, 1e-9);
  }
  // Column 0 lies at angle 0 (+x) and image row 0 at the top.
  std::vector<uint8_t> map(8 * 3, 0);
  map[0] = 255;
  Manifold marked = BumpMeshToCylinderManifold(map, 8, 3, 40, 10, 20, 32);
  EXPECT_NEAR(TopAt(marked, 0, 20), 10, 1e-9);
  EXPECT_NEAR(marked.BoundingBox().max.x, 20, 1e-9);
}

TEST(HeightMap, UnusableInputGivesEmptySolid) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<uint8_t> map(64, 128);
  struct Case {
    int w, h;
    double a, b, c;  // width, depth, base / outer diameter, height, base diameter
    int segments;
    bool plate, cylinder;  // which builder gives the empty solid
  } cases[] = {
      {9, 8, 40, 10, 20, 32, true, true},  // fewer grey values than pixels
      {65536, 65536, 40, 10, 20, 32, true, true},  // w * h overflows 32 bits
      {0, 8, 40, 10, 20, 32, true, true},
      {8, 8, 0, 10, 20, 32, true, true},
      {8, 8, 40, -1, 20, 32, true, true},
      {8, 8, 40, 10, 0, 32, true, true},
      {8, 8, nan, 10, 20, 32, true, true},
      {8, 8, 40, 10, 20, 2, false, true},  // too few segments, though they shape nothing
      {1, 8, 40, 10, 20, 32, false, true},  // no grey value for a second column
      {8, 1, 40, 10, 20, 32, false, true},  // no grey value for a second row
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BumpMeshToManifold(map, c.w, c.h, c.a, c.b, c.c, 1, 0).IsEmpty(), c.plate)
        << c.w << "x" << c.h;
    EXPECT_EQ(BumpMeshToCylinderManifold(map, c.w, c.h, c.a, c.b, c.c, c.segments).IsEmpty(),
              c.cylinder)
        << c.w << "x" << c.h << " segments " << c.segments;
  }
}

}  // namespace
}  // namespace velamanifold
