#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
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
  const std::vector<double>& p = mesh.vertProperties;
  double top = -1;
  for (size_t v = 0; v < p.size(); v += mesh.numProp)
    if (std::abs(p[v + axis] - at) < 1e-9) top = std::max(top, p[v + 2]);
  return top;
}

TEST(HeightMap, ReliefsFollowTheImage) {
  // Columns run along X and image row 0 is the far edge: the white pixel rises at x = 0, y = 10.
  const std::vector<uint8_t> corner = {255, 0, 0, 0, 0, 0, 0, 0};  // 4 x 2, one white pixel
  Manifold plate = BumpMeshToManifold(corner, 4, 2, 10, 10, 1, 5, 0);
  EXPECT_NEAR(TopAt(plate, 0, 0), 6, 1e-9);
  EXPECT_NEAR(TopAt(plate, 1, 0), 1, 1e-9);
  // Around a cylinder, black reaches the base diameter and white the outer one.
  for (auto [grey, r] : {std::pair<uint8_t, double>{0, 10}, {255, 20}}) {
    Manifold cyl = BumpMeshToCylinderManifold(std::vector(64, grey), 16, 4, 40, 10, 20, 32);
    EXPECT_NEAR(cyl.Volume(), 8 * r * r * std::sin(2 * M_PI / 16) * 10, 1e-6);
    EXPECT_NEAR(cyl.BoundingBox().max.x, r, 1e-9);
    EXPECT_TRUE(IsClosed(cyl));
  }
  // Column 0 lies at angle 0 (+x) and image row 0 at the top.
  EXPECT_NEAR(TopAt(BumpMeshToCylinderManifold(corner, 4, 2, 40, 10, 20, 32), 0, 20), 10, 1e-9);
}

TEST(HeightMap, PlateIsClosedAndRefinementStaysBoundedForExtremeProportions) {
  // Pixels 1e6 times longer than wide, a one-column strip and a base 1000 pixels thick would
  // make 1e7 to 1e9 pieces refined to the pixel side.
  const std::tuple<int, int, double, double, double, uint8_t> cases[] = {
      {4, 3, 20, 10, 2, 0}, {20, 20, 1000, 0.001, 1, 255}, {1, 100, 1000, 1, 1, 255},
      {20, 20, 2, 2, 2000, 255}};
  for (const auto& [w, h, width, depth, base, grey] : cases) {
    Manifold plate = BumpMeshToManifold(std::vector(w * h, grey), w, h, width, depth, base, 2, 0);
    EXPECT_LE(plate.NumTri(), 64u * std::max(w * h, 512)) << w << "x" << h;  // a few dozen a pixel
    const double top = base + (grey ? 2 : 0);
    EXPECT_TRUE(testing::BoxNear(plate.BoundingBox(), {0, 0, 0}, {width, depth, top}));
    EXPECT_NEAR(plate.Volume(), width * depth * top, 1e-6 * plate.Volume());
    EXPECT_TRUE(IsClosed(plate));
  }
}

TEST(HeightMap, UnusableInputGivesEmptySolid) {
  const std::vector<uint8_t> map(64, 128);
  // w, h, width or outer diameter, depth or height, base (diameter), whether the plate is empty.
  const std::tuple<int, int, double, double, double, bool> cases[] = {
      {9, 8, 40, 10, 20, true},          // fewer grey values than pixels
      {65536, 65536, 40, 10, 20, true},  // w * h overflows 32 bits
      {0, 8, 40, 10, 20, true},  {8, 8, 0, 10, 20, true},  {8, 8, 40, -1, 20, true},
      {8, 8, 40, 10, NAN, true}, {1, 8, 40, 10, 20, false}, {8, 1, 40, 10, 20, false},
  };
  for (const auto& [w, h, a, b, c, plate] : cases) {
    EXPECT_EQ(BumpMeshToManifold(map, w, h, a, b, c, 1, 0).IsEmpty(), plate) << w;
    EXPECT_TRUE(BumpMeshToCylinderManifold(map, w, h, a, b, c, 32).IsEmpty()) << w;
  }
  EXPECT_TRUE(BumpMeshToCylinderManifold(map, 8, 8, 40, 10, 20, 2).IsEmpty());  // 2 segments
}

}  // namespace
}  // namespace velamanifold
