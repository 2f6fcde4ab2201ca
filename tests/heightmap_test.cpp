#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "import/heightmap.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::Manifold;
using testing::BoxNear;
using testing::IsClosed;

constexpr double kPi = 3.141592653589793;

// Returns the largest z of the mesh vertices whose coordinate `axis` is `at`.
double TopAt(const Manifold& solid, int axis, double at) {
  manifold::MeshGL64 mesh = solid.GetMeshGL64();
  double top = -1;
  for (size_t v = 0; v < mesh.NumVert(); ++v) {
    const double* p = &mesh.vertProperties[v * mesh.numProp];
    if (std::abs(p[axis] - at) < 1e-9) top = std::max(top, p[2]);
  }
  return top;
}

TEST(HeightMap, UniformMapsGiveBoxes) {
  for (uint8_t grey : {0, 255}) {
    Manifold plate = BumpMeshToManifold(std::vector<uint8_t>(12, grey), 4, 3, 20, 10, 2, 3, 0);
    double top = grey == 0 ? 2 : 5;
    EXPECT_TRUE(BoxNear(plate.BoundingBox(), {0, 0, 0}, {20, 10, top}, 1e-9));
    EXPECT_NEAR(plate.Volume(), 200 * top, 1e-6);
    EXPECT_TRUE(IsClosed(plate));
  }
}

TEST(HeightMap, ColumnsRunAlongXAndRowZeroLiesAtFarEdge) {
  // Two columns, black then white: the top rises at x = width.
  Manifold columns = BumpMeshToManifold({0, 255, 0, 255}, 2, 2, 10, 10, 1, 5, 0);
  EXPECT_NEAR(TopAt(columns, 0, 10), 6, 1e-9);
  EXPECT_NEAR(TopAt(columns, 0, 0), 1, 1e-9);
  EXPECT_NEAR(columns.BoundingBox().min.z, 0, 1e-9);
  EXPECT_TRUE(IsClosed(columns));

  // Two rows, white then black: image row 0 is the far edge y = depth.
  Manifold rows = BumpMeshToManifold({255, 0}, 1, 2, 10, 10, 1, 5, 0);
  EXPECT_NEAR(TopAt(rows, 1, 10), 6, 1e-9);
  EXPECT_NEAR(TopAt(rows, 1, 0), 1, 1e-9);
}

TEST(HeightMap, TopGetsAboutOneVertexPerPixel) {
  std::vector<uint8_t> map(40 * 30);
  for (size_t i = 0; i < map.size(); ++i) map[i] = static_cast<uint8_t>(i * 37);
  Manifold plate = BumpMeshToManifold(map, 40, 30, 40, 30, 1, 2, 0);
  EXPECT_GE(plate.NumVert(), 40u * 30u);
  EXPECT_TRUE(IsClosed(plate));
}

TEST(HeightMap, UnusableInputGivesEmptySolid) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<uint8_t> four(4, 128);
  struct Case {
    int w, h;
    double width, depth, base;
  } cases[] = {
      {3, 2, 10, 10, 1},    // fewer grey values than pixels
      {0, 4, 10, 10, 1},    {2, 0, 10, 10, 1},   {2, 2, 0, 10, 1}, {2, 2, 10, -1, 1},
      {2, 2, nan, 10, 1},   {2, 2, 10, 10, 0},
      {65536, 65536, 10, 10, 1},  // w * h overflows 32 bits
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(BumpMeshToManifold(four, c.w, c.h, c.width, c.depth, c.base, 1, 0).IsEmpty())
        << c.w << "x" << c.h << " " << c.width << " " << c.depth;
  }
}

TEST(HeightMap, RefinementStaysBoundedForExtremeProportions) {
  // Pixels a million times longer than wide, a strip of one column, and a
  // base far thicker than a pixel: refining to the pixel side would cut these
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

TEST(HeightMap, CylinderGridCountsAndRadii) {
  Manifold grid = BumpMeshToCylinderManifold(std::vector<uint8_t>(64 * 32, 90), 64, 32, 40, 10,
                                             20, 3);
  EXPECT_EQ(grid.NumVert(), 2050u);
  EXPECT_EQ(grid.NumTri(), 4096u);
  EXPECT_TRUE(IsClosed(grid));

  // Black reaches the base diameter, white the outer one: 16-sided prisms.
  for (auto [grey, radius] : {std::pair{0, 10.0}, std::pair{255, 20.0}}) {
    Manifold prism = BumpMeshToCylinderManifold(std::vector<uint8_t>(16 * 4, grey), 16, 4, 40, 10,
                                                20, 32);
    EXPECT_NEAR(prism.Volume(), 8 * radius * radius * std::sin(2 * kPi / 16) * 10, 1e-6);
    manifold::Box box = prism.BoundingBox();
    EXPECT_NEAR(box.max.x, radius, 1e-9);  // column 0 at angle 0
    EXPECT_NEAR(box.min.x, -radius, 1e-9);
    EXPECT_NEAR(box.max.z, 10, 1e-9);
  }
}

TEST(HeightMap, CylinderImageRowZeroIsTop) {
  // Column 0 sits at angle 0 (+x); its top row is white, the rest black.
  std::vector<uint8_t> map(8 * 3, 0);
  map[0] = 255;
  Manifold cylinder = BumpMeshToCylinderManifold(map, 8, 3, 40, 10, 20, 32);
  manifold::MeshGL64 mesh = cylinder.GetMeshGL64();
  for (size_t v = 0; v < mesh.NumVert(); ++v) {
    const double* p = &mesh.vertProperties[v * 3];
    if (std::abs(p[0] - 20) < 1e-9) {
      EXPECT_NEAR(p[2], 10, 1e-9);
    }
  }
  EXPECT_NEAR(cylinder.BoundingBox().max.x, 20, 1e-9);
}

TEST(HeightMap, UnusableCylinderInputGivesEmptySolid) {
  std::vector<uint8_t> map(64, 128);
  struct Case {
    int w, h;
    double outer, height, base;
    int segments;
  } cases[] = {
      {8, 8, 40, 10, 20, 2},  // too few segments, even though they shape nothing
      {1, 8, 40, 10, 20, 32},  // one pixel wide: no grey value for a second column
      {8, 1, 40, 10, 20, 32},  // one row high: no grey value for a second row
      {9, 8, 40, 10, 20, 32},  // fewer grey values than pixels
      {0, 8, 40, 10, 20, 32},  {8, 8, 0, 10, 20, 32}, {8, 8, 40, -1, 20, 32},
      {8, 8, 40, 10, 0, 32},   {65536, 65536, 40, 10, 20, 32},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(
        BumpMeshToCylinderManifold(map, c.w, c.h, c.outer, c.height, c.base, c.segments).IsEmpty())
        << c.w << "x" << c.h << " segments " << c.segments;
  }
}

}  // namespace
}  // namespace velamanifold
