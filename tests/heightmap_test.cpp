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
    EXPECT_LE(static_cast<int64_t>(plate.NumTri()), ReliefTriangles(w, h, width, depth));
    const double top = base + (grey ? 2 : 0);
    EXPECT_TRUE(testing::BoxNear(plate.BoundingBox(), {0, 0, 0}, {width, depth, top}));
    EXPECT_NEAR(plate.Volume(), width * depth * top, 1e-6 * plate.Volume());
    EXPECT_TRUE(IsClosed(plate));
  }
}

TEST(HeightMap, FlatReliefsKeepTheirBoundsAndVolumeOnAGridOfPixelSpacing) {
  // w, h, width, depth, base, relief, and the volume and top of the box refined by the
  // library and warped, which the reliefs were built as before.
  const std::tuple<int, int, double, double, double, double, double, double> cases[] = {
      {40, 1, 20, 10, 1, 3, 611.782476, 3.90588235},      // one row
      {1, 64, 4, 40, 2, 4, 640.714329, 5.84313725},       // one column
      {24, 6, 10, 40, 1.5, 2, 1004.30784, 3.4372549},     // pixels 16 times longer than wide
      {32, 32, 50, 50, 2, 3, 8856.34201, 4.90588235},     // square pixels
      {64, 48, 30, 60, 1, 2, 3627.83248, 2.9372549},      // oblong pixels
      {9, 7, 7, 3, 0.5, 1, 26.1113498, 1.46862745},       // a base thinner than a pixel
  };
  for (const auto& [w, h, width, depth, base, relief, volume, top] : cases) {
    SCOPED_TRACE(::testing::Message() << w << "x" << h);
    std::vector<uint8_t> map(w * h);
    for (int j = 0; j < h; ++j) {
      for (int i = 0; i < w; ++i) {
        double g = 128 + 90 * std::sin(0.25 * i + 0.3 * j) + 30 * std::cos(0.7 * j);
        map[j * w + i] = static_cast<uint8_t>(std::clamp(g, 0.0, 255.0));
      }
    }
    Manifold plate = BumpMeshToManifold(map, w, h, width, depth, base, relief, 0);
    EXPECT_TRUE(IsClosed(plate) && plate.Decompose().size() == 1);
    EXPECT_TRUE(testing::BoxNear(plate.BoundingBox(), {0, 0, 0}, {width, depth, top}, 1e-6));
    EXPECT_NEAR(plate.Volume(), volume, 0.01 * volume);
    // The work budget is charged this count before the relief is made.
    EXPECT_EQ(static_cast<int64_t>(plate.NumTri()), ReliefTriangles(w, h, width, depth));
    // The flat bottom needs its four corners and nothing else; every other vertex is on top,
    // raised by the pixel that its x and y fall into, no further apart than a pixel is wide.
    manifold::MeshGL64 mesh = plate.GetMeshGL64();
    int bottom = 0;
    std::vector<double> xs;
    for (size_t v = 0; v < mesh.vertProperties.size(); v += 3) {
      const double x = mesh.vertProperties[v], y = mesh.vertProperties[v + 1];
      const double z = mesh.vertProperties[v + 2];
      if (z == 0) {
        ++bottom;
        continue;
      }
      const int column = static_cast<int>(x / width * (w - 1));
      const int row = static_cast<int>((1 - y / depth) * (h - 1));
      EXPECT_DOUBLE_EQ(z, base + relief * map[row * w + column] / 255.0);
      if (y == 0) xs.push_back(x);
    }
    EXPECT_EQ(bottom, 4);
    std::sort(xs.begin(), xs.end());
    for (size_t k = 1; k < xs.size(); ++k)
      EXPECT_LE(xs[k] - xs[k - 1], std::min(width / w, depth / h) * (1 + 1e-9));
  }
  // Two columns, black and white, on 10 x 10: the top rises from 1 at x = 0 to 6 at x = 10.
  Manifold ramp = BumpMeshToManifold({0, 255, 0, 255}, 2, 2, 10, 10, 1, 5, 0);
  EXPECT_NEAR(TopAt(ramp, 0, 10), 6, 1e-9);
  EXPECT_NEAR(TopAt(ramp, 0, 0), 1, 1e-9);
  EXPECT_EQ(ramp.BoundingBox().min.z, 0);
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
