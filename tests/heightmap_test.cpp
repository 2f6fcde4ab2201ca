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
  for (size_t v = 0; v < mesh.vertProperties.size(); v += mesh.numProp) {
    const double* p = &mesh.vertProperties[v];
    if (std::abs(p[axis] - at) < 1e-9) top = std::max(top, p[2]);
  }
  return top;
}

TEST(HeightMap, ReliefPlateFollowsTheImage) {
  // Columns run along X and image row 0 is the far edge: the one white pixel
  // rises at x = 0, y = depth.
  Manifold plate = BumpMeshToManifold({255, 0, 0, 0}, 2, 2, 10, 10, 1, 5, 0);
  EXPECT_NEAR(TopAt(plate, 0, 0), 6, 1e-9);
  EXPECT_NEAR(TopAt(plate, 0, 10), 1, 1e-9);
  EXPECT_NEAR(TopAt(plate, 1, 10), 6, 1e-9);
  EXPECT_NEAR(TopAt(plate, 1, 0), 1, 1e-9);
}

TEST(HeightMap, PlateIsClosedAndRefinementStaysBoundedForExtremeProportions) {
  // After a black plate: pixels a million times longer than wide, a one-column strip and a
  // base far thicker than a pixel, which refined to the pixel side make 1e7 to 1e9 pieces.
  struct Case {
    int w, h;
    double width, depth, base;
    uint8_t grey;
  } cases[] = {{4, 3, 20, 10, 2, 0}, {20, 20, 1000, 0.001, 1, 255},
               {1, 100, 1000, 1, 1, 255}, {20, 20, 2, 2, 2000, 255}};
  for (const Case& c : cases) {
    std::vector<uint8_t> map(static_cast<size_t>(c.w) * c.h, c.grey);
    Manifold plate = BumpMeshToManifold(map, c.w, c.h, c.width, c.depth, c.base, 2, 0);
    // At most a few dozen triangles per pixel (small maps get some slack).
    EXPECT_LE(plate.NumTri(), 64u * std::max(c.w * c.h, 512)) << c.w << "x" << c.h;
    double top = c.base + (c.grey ? 2 : 0);
    EXPECT_TRUE(testing::BoxNear(plate.BoundingBox(), {0, 0, 0}, {c.width, c.depth, top}));
    EXPECT_NEAR(plate.Volume(), c.width * c.depth * top, 1e-6 * plate.Volume());
    EXPECT_TRUE(IsClosed(plate));
  }
}

TEST(HeightMap, ReliefCylinderFollowsTheImage) {
  // Black reaches the base diameter, white the outer one: closed 16-sided prisms.
  for (auto [grey, r] : {std::pair{0, 10.0}, std::pair{255, 20.0}}) {
    Manifold prism =
        BumpMeshToCylinderManifold(std::vector<uint8_t>(16 * 4, grey), 16, 4, 40, 10, 20, 32);
    EXPECT_NEAR(prism.Volume(), 8 * r * r * std::sin(2 * M_PI / 16) * 10, 1e-6);
    EXPECT_NEAR(prism.BoundingBox().max.x, r, 1e-9);
    EXPECT_TRUE(IsClosed(prism));
  }
  // Column 0 lies at angle 0 (+x) and image row 0 at the top.
  std::vector<uint8_t> map(8 * 3, 0);
  map[0] = 255;
  EXPECT_NEAR(TopAt(BumpMeshToCylinderManifold(map, 8, 3, 40, 10, 20, 32), 0, 20), 10, 1e-9);
}

TEST(HeightMap, UnusableInputGivesEmptySolid) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<uint8_t> map(64, 128);
  struct Case {
    int w, h;
    double a, b, c;  // width, depth, base / outer diameter, height, base diameter
    bool plate;      // the cylinder gives the empty solid for all of them
  } cases[] = {
      {9, 8, 40, 10, 20, true},          // fewer grey values than pixels
      {65536, 65536, 40, 10, 20, true},  // w * h overflows 32 bits
      {0, 8, 40, 10, 20, true},  {8, 8, 0, 10, 20, true},  {8, 8, 40, -1, 20, true},
      {8, 8, 40, 10, nan, true}, {1, 8, 40, 10, 20, false}, {8, 1, 40, 10, 20, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BumpMeshToManifold(map, c.w, c.h, c.a, c.b, c.c, 1, 0).IsEmpty(), c.plate) << c.w;
    EXPECT_TRUE(BumpMeshToCylinderManifold(map, c.w, c.h, c.a, c.b, c.c, 32).IsEmpty()) << c.w;
  }
  // Too few segments, though they shape nothing.
  EXPECT_TRUE(BumpMeshToCylinderManifold(map, 8, 8, 40, 10, 20, 2).IsEmpty());
}

}  // namespace
}  // namespace velamanifold
