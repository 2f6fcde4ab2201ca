#include "import/heightmap.h"

#include <algorithm>
#include <cmath>

namespace velamanifold {

namespace {

using manifold::Manifold;

// The top grid may have this many cells per pixel before its spacing is
// widened: enough for pixels sixteen times longer than wide.
constexpr double kCellsPerPixel = 16.0;
// Small maps may always have this many cells.
constexpr double kMinCellBudget = 4096.0;

bool Positive(double value) { return std::isfinite(value) && value > 0; }

// Returns how many pieces a side of the given length is cut into at the
// spacing `length`, at least one.
double Pieces(double side, double length) { return std::max(1.0, std::ceil(side / length)); }

// Returns the spacing of the top grid: the smaller pixel side, or, when that
// would make more cells than the budget (pixels of extreme aspect), the
// shortest spacing that keeps within it.
double GridSpacing(int w, int h, double width, double depth) {
  const double length = std::min(width / w, depth / h);
  const double budget = std::max(kMinCellBudget, kCellsPerPixel * static_cast<double>(w) * h);
  auto cells = [&](double l) { return Pieces(width, l) * Pieces(depth, l); };
  if (cells(length) <= budget) return length;
  double hi = std::max(width, depth);  // one cell
  double lo = length;
  for (int i = 0; i < 64; ++i) {
    const double mid = 0.5 * (lo + hi);
    (cells(mid) <= budget ? hi : lo) = mid;
  }
  return hi;
}

// Appends the triangles of one side wall: the polygon of the bottom corners
// b0 = (0, 0) and b1 = (s of the last top vertex, 0) under a chain of top
// vertices whose s grows along the chain and whose heights are above 0. Each
// triangle is clockwise in (s, z); `outwardIsClockwise` tells whether that
// faces out of the solid, else the triangle is reversed. Makes one triangle
// per top vertex, the fewest the polygon has, by the monotone-polygon sweep:
// the stack holds the chain's reflex run, which a convex turn cuts off.
void AppendSide(const std::vector<double>& s, const std::vector<double>& z,
                const std::vector<uint64_t>& chain, uint64_t b0, uint64_t b1,
                bool outwardIsClockwise, std::vector<uint64_t>& tris) {
  auto emit = [&](uint64_t a, uint64_t b, uint64_t c) {
    if (outwardIsClockwise) {
      tris.insert(tris.end(), {a, b, c});
    } else {
      tris.insert(tris.end(), {a, c, b});
    }
  };
  // Stack entries index the chain; -1 stands for b0 at (0, 0).
  std::vector<int64_t> stack = {-1, 0};
  auto at = [&](int64_t k, double& ps, double& pz) {
    ps = k < 0 ? 0 : s[k];
    pz = k < 0 ? 0 : z[k];
  };
  auto vertex = [&](int64_t k) { return k < 0 ? b0 : chain[k]; };
  const int64_t n = static_cast<int64_t>(chain.size());
  for (int64_t j = 1; j < n; ++j) {
    while (stack.size() >= 2) {
      double as, az, bs, bz;
      at(stack[stack.size() - 2], as, az);
      at(stack.back(), bs, bz);
      const double turn = (bs - as) * (z[j] - bz) - (bz - az) * (s[j] - bs);
      if (turn >= 0) break;  // a reflex vertex: nothing to cut off yet
      emit(vertex(stack[stack.size() - 2]), vertex(stack.back()), chain[j]);
      stack.pop_back();
    }
    stack.push_back(j);
  }
  for (size_t k = 0; k + 1 < stack.size(); ++k) emit(vertex(stack[k]), vertex(stack[k + 1]), b1);
}

}  // namespace

int64_t ReliefTriangles(int w, int h, double width, double depth) {
  if (w < 1 || h < 1 || !Positive(width) || !Positive(depth)) return 0;
  const double spacing = GridSpacing(w, h, width, depth);
  const auto nx = static_cast<int64_t>(Pieces(width, spacing));
  const auto ny = static_cast<int64_t>(Pieces(depth, spacing));
  // Two per top cell, one per top vertex along each side, two on the bottom.
  return 2 * nx * ny + 2 * (nx + 1) + 2 * (ny + 1) + 2;
}

Manifold BumpMeshToManifold(const std::vector<uint8_t>& map, int w, int h, double width,
                            double depth, double base, double relief, int /*segments*/) {
  if (w < 1 || h < 1 || !Positive(width) || !Positive(depth) || !Positive(base) ||
      !std::isfinite(relief)) {
    return Manifold();
  }
  if (static_cast<int64_t>(w) * h > static_cast<int64_t>(map.size())) return Manifold();

  const double spacing = GridSpacing(w, h, width, depth);
  const uint64_t nx = static_cast<uint64_t>(Pieces(width, spacing));
  const uint64_t ny = static_cast<uint64_t>(Pieces(depth, spacing));
  const uint64_t rowLength = nx + 1;
  std::vector<double> xs(nx + 1), ys(ny + 1);
  std::vector<int64_t> columns(nx + 1), rows(ny + 1);
  // A grey value is taken at every grid vertex: u = x / width picks the column
  // (truncated), v = y / depth the row, image row 0 at the far edge.
  for (uint64_t i = 0; i <= nx; ++i) {
    xs[i] = i == nx ? width : width * static_cast<double>(i) / static_cast<double>(nx);
    const double u = std::clamp(xs[i] / width, 0.0, 1.0);
    columns[i] = static_cast<int64_t>(u * (w - 1));
  }
  for (uint64_t j = 0; j <= ny; ++j) {
    ys[j] = j == ny ? depth : depth * static_cast<double>(j) / static_cast<double>(ny);
    const double v = std::clamp(ys[j] / depth, 0.0, 1.0);
    rows[j] = static_cast<int64_t>((1.0 - v) * (h - 1));
  }

  manifold::MeshGL64 mesh;
  mesh.numProp = 3;
  // Vertices: the top grid, vertex (i, j) at x = xs[i], y = ys[j] with index
  // j * (nx + 1) + i, then the bottom corners (0, 0), (width, 0), (width,
  // depth), (0, depth) at z = 0; x, y, z each.
  const uint64_t topCount = rowLength * (ny + 1);
  mesh.vertProperties.resize((topCount + 4) * 3);
  double* out = mesh.vertProperties.data();
  for (uint64_t j = 0; j <= ny; ++j) {
    const uint8_t* row = map.data() + rows[j] * w;
    for (uint64_t i = 0; i <= nx; ++i) {
      *out++ = xs[i];
      *out++ = ys[j];
      *out++ = base + relief * row[columns[i]] / 255.0;
    }
  }
  const double corners[4][2] = {{0, 0}, {width, 0}, {width, depth}, {0, depth}};
  for (const auto& corner : corners) {
    *out++ = corner[0];
    *out++ = corner[1];
    *out++ = 0.0;
  }
  const uint64_t c0 = topCount, c1 = topCount + 1, c2 = topCount + 2, c3 = topCount + 3;

  // Triangles, counter-clockwise seen from outside: two per top cell, then
  // the four sides, then the bottom's two.
  std::vector<uint64_t>& tris = mesh.triVerts;
  tris.reserve((2 * nx * ny + 2 * (nx + ny) + 6) * 3);
  for (uint64_t j = 0; j < ny; ++j) {
    for (uint64_t i = 0; i < nx; ++i) {
      const uint64_t a = j * rowLength + i, b = a + 1, c = a + rowLength + 1, d = a + rowLength;
      tris.insert(tris.end(), {a, b, c, a, c, d});
    }
  }
  // Each side is laid out in its own plane: s along the bottom edge from the
  // corner b0, z up. Seen from outside, s runs to the right on the front
  // (y = 0) and the right (x = width) sides, to the left on the other two.
  auto side = [&](uint64_t first, uint64_t step, uint64_t count, const std::vector<double>& s,
                  uint64_t b0, uint64_t b1, bool sRunsRight) {
    std::vector<uint64_t> chain(count);
    std::vector<double> zs(count), ss(count);
    for (uint64_t k = 0; k < count; ++k) {
      chain[k] = first + k * step;
      zs[k] = mesh.vertProperties[chain[k] * 3 + 2];
      ss[k] = s[k] - s[0];
    }
    // A clockwise (s, z) triangle faces the viewer where s runs to the left.
    AppendSide(ss, zs, chain, b0, b1, !sRunsRight, tris);
  };
  side(0, 1, nx + 1, xs, c0, c1, true);                        // front, y = 0
  side(ny * rowLength, 1, nx + 1, xs, c3, c2, false);          // back, y = depth
  side(0, rowLength, ny + 1, ys, c0, c3, false);               // left, x = 0
  side(nx, rowLength, ny + 1, ys, c1, c2, true);               // right, x = width
  tris.insert(tris.end(), {c0, c2, c1, c0, c3, c2});

  Manifold solid(mesh);
  if (solid.Status() != Manifold::Error::NoError) return Manifold();
  return solid;
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
