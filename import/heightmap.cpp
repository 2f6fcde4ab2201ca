#include "import/heightmap.h"

#include <algorithm>
#include <cmath>

namespace velamanifold {

namespace {

using manifold::Manifold;

// Refinement may give the relief this many surface cells per pixel before the
// edge length is raised: enough for pixels sixteen times longer than wide.
constexpr double kCellsPerPixel = 16.0;
// Small maps may always refine this far.
constexpr double kMinCellBudget = 4096.0;

bool Positive(double value) { return std::isfinite(value) && value > 0; }

// Returns how many cells RefineToLength(length) cuts the surface of a box of
// the given size into, each side into at least one piece.
double BoxCells(double width, double depth, double base, double length) {
  double px = std::max(1.0, std::ceil(width / length));
  double py = std::max(1.0, std::ceil(depth / length));
  double pz = std::max(1.0, std::ceil(base / length));
  return 2.0 * (px * py + px * pz + py * pz);
}

// Returns the refinement length: the smaller pixel side, or, when that would
// cut the box into more cells than the budget (pixels of extreme aspect, a
// base far thicker than a pixel), the shortest length that keeps within it.
double RefineLength(int w, int h, double width, double depth, double base) {
  double length = std::min(width / w, depth / h);
  double budget = std::max(kMinCellBudget, kCellsPerPixel * static_cast<double>(w) * h);
  if (BoxCells(width, depth, base, length) <= budget) return length;
  double hi = std::max({width, depth, base});  // one piece per side: six cells
  double lo = length;
  for (int i = 0; i < 64; ++i) {
    double mid = 0.5 * (lo + hi);
    if (BoxCells(width, depth, base, mid) <= budget) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  return hi;
}

}  // namespace

int64_t MaxReliefTriangles(int w, int h) {
  const double cells = std::max(kMinCellBudget, kCellsPerPixel * std::max(w, 0) * std::max(h, 0));
  return 2 * static_cast<int64_t>(cells);
}

Manifold BumpMeshToManifold(const std::vector<uint8_t>& map, int w, int h, double width,
                            double depth, double base, double relief, int /*segments*/) {
  if (w < 1 || h < 1 || !Positive(width) || !Positive(depth) || !Positive(base) ||
      !std::isfinite(relief)) {
    return Manifold();
  }
  if (static_cast<int64_t>(w) * h > static_cast<int64_t>(map.size())) return Manifold();

  Manifold box = Manifold::Cube({width, depth, base}, false);
  box = box.RefineToLength(RefineLength(w, h, width, depth, base));
  return box.Warp([&](manifold::vec3& p) {
    // The bottom face and the lower parts of the sides stay where they are.
    if (p.z < base - 0.0001) return;
    double u = std::clamp(p.x / width, 0.0, 1.0);
    double v = std::clamp(p.y / depth, 0.0, 1.0);
    int64_t column = static_cast<int64_t>(u * (w - 1));
    int64_t row = static_cast<int64_t>((1.0 - v) * (h - 1));  // image row 0 at the far edge
    p.z = base + relief * map[row * w + column] / 255.0;
  });
}

Manifold BumpMeshToCylinderManifold(const std::vector<uint8_t>& map, int w, int h,
                                    double outerDiameter, double height, double baseDiameter,
                                    int segments) {
  if (w < 1 || h < 1 || !Positive(outerDiameter) || !Positive(height) ||
      !Positive(baseDiameter) || segments < 3) {
    return Manifold();
  }
  if (static_cast<int64_t>(map.size()) < static_cast<int64_t>(w) * h) return Manifold();
  // The grid needs two columns and two rows of grey values; a narrower image
  // has no value for the second one.
  if (w < 2 || h < 2) return Manifold();

  const uint64_t n = static_cast<uint64_t>(w);  // columns around the circumference
  const uint64_t m = static_cast<uint64_t>(h);  // rows up the height
  const double baseRadius = baseDiameter / 2;
  const double radiusRange = outerDiameter / 2 - baseRadius;

  manifold::MeshGL64 mesh;
  mesh.numProp = 3;
  // Vertices: column i, row j (bottom to top) at index i * m + j, then the
  // bottom centre (n * m) and the top centre (n * m + 1); x, y, z each.
  mesh.vertProperties.reserve((n * m + 2) * 3);
  // Triangles: side bands row by row, then the bottom cap, then the top cap,
  // three vertex indices each, counter-clockwise seen from outside.
  mesh.triVerts.reserve(2 * n * m * 3);

  for (uint64_t i = 0; i < n; ++i) {
    double angle = static_cast<double>(i) * 6.283185307179586 / static_cast<double>(n);
    double c = std::cos(angle), s = std::sin(angle);
    for (uint64_t j = 0; j < m; ++j) {
      double grey = map[i + (m - 1 - j) * n];  // image row 0 at the top
      double r = baseRadius + grey / 255.0 * radiusRange;
      double z = static_cast<double>(j) * height / static_cast<double>(m - 1);
      mesh.vertProperties.insert(mesh.vertProperties.end(), {r * c, r * s, z});
    }
  }
  const uint64_t bottom = n * m, top = n * m + 1;
  mesh.vertProperties.insert(mesh.vertProperties.end(), {0.0, 0.0, 0.0, 0.0, 0.0, height});

  for (uint64_t j = 0; j + 1 < m; ++j) {
    for (uint64_t i = 0; i < n; ++i) {
      uint64_t a = i * m + j, b = (i + 1) % n * m + j;
      mesh.triVerts.insert(mesh.triVerts.end(), {a, b, b + 1, a, b + 1, a + 1});
    }
  }
  for (uint64_t i = 0; i < n; ++i) {
    mesh.triVerts.insert(mesh.triVerts.end(), {bottom, (i + 1) % n * m, i * m});
  }
  for (uint64_t i = 0; i < n; ++i) {
    mesh.triVerts.insert(mesh.triVerts.end(), {top, i * m + m - 1, (i + 1) % n * m + m - 1});
  }

  Manifold solid(mesh);
  if (solid.Status() != Manifold::Error::NoError) return Manifold();
  return solid;
}

}  // namespace velamanifold
