// The picture of a part: which way is up, what hides what, and that a closed
// part's silhouette is filled without a seam along any shared edge.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <manifold/manifold.h>

#include "export/renderer.h"

namespace velamanifold {
namespace {

using manifold::Manifold;

constexpr uint8_t kBackground[3] = {242, 244, 247};

// Returns the solid's mesh with red, green and blue channels of one colour,
// appended to `mesh`.
void Append(manifold::MeshGL& mesh, const Manifold& solid, float r, float g, float b) {
  const manifold::MeshGL part = solid.GetMeshGL();
  mesh.numProp = 6;
  const uint32_t first = static_cast<uint32_t>(mesh.vertProperties.size() / 6);
  for (size_t v = 0; v < part.NumVert(); ++v) {
    const float* p = &part.vertProperties[v * part.numProp];
    mesh.vertProperties.insert(mesh.vertProperties.end(), {p[0], p[1], p[2], r, g, b});
  }
  for (uint32_t index : part.triVerts) mesh.triVerts.push_back(first + index);
}

manifold::MeshGL Coloured(const Manifold& solid, float r, float g, float b) {
  manifold::MeshGL mesh;
  Append(mesh, solid, r, g, b);
  return mesh;
}

const uint8_t* Pixel(const RgbImage& image, int x, int y) {
  return &image.pixels[(size_t(y) * image.width + x) * 3];
}

bool IsBackground(const uint8_t* p) { return std::equal(p, p + 3, kBackground); }

// Mean column and row of the pixels whose colour `channel` outweighs the
// other two together (0 red, 1 green, 2 blue); -1 when there are none.
std::pair<double, double> Centre(const RgbImage& image, int channel) {
  double sx = 0, sy = 0, n = 0;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const uint8_t* p = Pixel(image, x, y);
      if (p[channel] > 40 && p[channel] > 2 * (p[(channel + 1) % 3] + p[(channel + 2) % 3])) {
        sx += x, sy += y, ++n;
      }
    }
  }
  return n == 0 ? std::make_pair(-1.0, -1.0) : std::make_pair(sx / n, sy / n);
}

// The view is from the front (-y), the right (+x) and above (+z), with +z up
// on the picture: a part stacked on top shows above, one further along +x to
// the right and lower, one further along +y to the right and higher.
TEST(Renderer, UpIsUpAndTheRightIsOnTheRight) {
  const Manifold cube = Manifold::Cube({10, 10, 10});
  manifold::MeshGL mesh;
  Append(mesh, cube, 1, 0, 0);
  Append(mesh, cube.Translate({0, 0, 30}), 0, 0, 1);
  Append(mesh, cube.Translate({30, 0, 0}), 0, 1, 0);
  const RgbImage image = RenderIsometric(mesh, 300, 400);
  const auto red = Centre(image, 0), green = Centre(image, 1), blue = Centre(image, 2);
  ASSERT_GE(red.first, 0);
  ASSERT_GE(green.first, 0);
  ASSERT_GE(blue.first, 0);
  // Straight above: the same column, far higher on the picture.
  EXPECT_NEAR(blue.first, red.first, 2);
  EXPECT_LT(blue.second, red.second - 100);
  EXPECT_GT(green.first, red.first + 50);
  EXPECT_GT(green.second, red.second + 20);

  manifold::MeshGL behind;
  Append(behind, cube, 1, 0, 0);
  Append(behind, cube.Translate({0, 30, 0}), 0, 1, 0);
  const RgbImage image2 = RenderIsometric(behind, 300, 300);
  EXPECT_GT(Centre(image2, 1).first, Centre(image2, 0).first + 50);
  EXPECT_LT(Centre(image2, 1).second, Centre(image2, 0).second - 20);
}

// Two equal cubes on the line of sight, one in front of the other: the
// nearer one covers the farther one exactly, so none of the farther shows.
TEST(Renderer, TheNearerPartHidesTheFartherOne) {
  const Manifold cube = Manifold::Cube({10, 10, 10}, true);
  for (bool nearerFirst : {true, false}) {
    manifold::MeshGL mesh;
    const Manifold nearer = cube.Translate({10, -10, 10}), farther = cube.Translate({-10, 10, -10});
    if (nearerFirst) {
      Append(mesh, nearer, 1, 0, 0);
      Append(mesh, farther, 0, 0, 1);
    } else {
      Append(mesh, farther, 0, 0, 1);
      Append(mesh, nearer, 1, 0, 0);
    }
    const RgbImage image = RenderIsometric(mesh, 201, 151);
    int red = 0, blue = 0;
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        const uint8_t* p = Pixel(image, x, y);
        red += p[0] > 60 && p[1] == 0 && p[2] == 0;
        blue += p[2] > p[1] + 8;
      }
    }
    EXPECT_GT(red, 5000) << nearerFirst;
    EXPECT_EQ(blue, 0) << nearerFirst;
  }
}

// A closed convex part in one colour: within its silhouette (between the
// first and last part pixel of each row and of each column) no pixel is
// background, and every pixel two or more pixels inside it on both is a
// mix of the part's own shades, with nothing of the background in it.
// Sizes with odd sides put the picture's centre, where the edges of a
// centred cylinder or box project, exactly on a sample centre.
TEST(Renderer, ClosedPartsAreFilledWithoutSeamsAlongSharedEdges) {
  const struct {
    std::string what;
    Manifold solid;
  } parts[] = {
      {"cube", Manifold::Cube({10, 10, 10})},
      {"centred box", Manifold::Cube({10, 20, 30}, true)},
      {"cylinder of 64 segments", Manifold::Cylinder(20, 10, 10, 64)},
      {"cylinder of 7 segments", Manifold::Cylinder(5, 10, 10, 7)},
      {"sphere of 48 segments", Manifold::Sphere(10, 48)},
      // Slivers from the apex, most narrower than a sample apart.
      {"cone of 1024 segments", Manifold::Cylinder(10, 10, 0, 1024)},
  };
  const std::pair<int, int> sizes[] = {{333, 250}, {160, 120}, {99, 77}, {401, 301}, {2201, 2101}};
  for (const auto& part : parts) {
    const manifold::MeshGL mesh = Coloured(part.solid, 1, 0, 0);
    for (const auto& [width, height] : sizes) {
      // Two samples a pixel side from 4.5 million pixels on: one part will do.
      if (width * height > 4'500'000 && part.what != "cylinder of 64 segments") continue;
      const RgbImage image = RenderIsometric(mesh, width, height);
      std::vector<int> rowFirst(height, width), rowLast(height, -1);
      std::vector<int> columnFirst(width, height), columnLast(width, -1);
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          if (IsBackground(Pixel(image, x, y))) continue;
          rowFirst[y] = std::min(rowFirst[y], x), rowLast[y] = std::max(rowLast[y], x);
          columnFirst[x] = std::min(columnFirst[x], y), columnLast[x] = std::max(columnLast[x], y);
        }
      }
      int holes = 0, seams = 0, inside = 0;
      for (int y = 0; y < height; ++y) {
        for (int x = rowFirst[y]; x <= rowLast[y]; ++x) {
          if (y < columnFirst[x] || y > columnLast[x]) continue;
          const uint8_t* p = Pixel(image, x, y);
          if (IsBackground(p)) ++holes;
          if (x - rowFirst[y] < 2 || rowLast[y] - x < 2 || y - columnFirst[x] < 2 ||
              columnLast[x] - y < 2) {
            continue;
          }
          ++inside;
          if (p[1] != 0 || p[2] != 0) ++seams;
        }
      }
      const std::string where = part.what + " at " + std::to_string(width) + "x" +
                                std::to_string(height);
      EXPECT_GT(inside, width * height / 10) << where;
      EXPECT_EQ(holes, 0) << where;
      EXPECT_EQ(seams, 0) << where;
    }
  }
}

}  // namespace
}  // namespace velamanifold
