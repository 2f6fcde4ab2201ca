#include "geometry/loft.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "geometry/planar.h"

namespace velamanifold {

using manifold::CrossSection;
using manifold::Manifold;
using manifold::vec2;

namespace {

using Loop = std::vector<vec2>;

// Loops whose matched point count would pass this are resampled instead.
constexpr uint64_t kMaxMatchedPoints = 2048;
constexpr int kResampleCount = 512;
constexpr double kSimplifyTolerance = 1e-9;

// Returns the contours of the region with at least 3 points, in their own
// order and orientation, largest absolute area first.
std::vector<Loop> ExtractLoops(const CrossSection& region) {
  std::vector<std::pair<double, Loop>> ranked;
  for (Loop& contour : region.Simplify(kSimplifyTolerance).ToPolygons()) {
    if (contour.size() < 3) continue;
    double area = std::abs(SignedArea(contour));
    ranked.emplace_back(area, std::move(contour));
  }
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<Loop> loops;
  loops.reserve(ranked.size());
  for (auto& entry : ranked) loops.push_back(std::move(entry.second));
  return loops;
}

// Returns the loop with `factor` evenly spaced points per edge, starting at
// its first point; empty for a factor below 1 or an empty loop.
Loop SubdivideLoop(const Loop& loop, int factor) {
  if (factor < 1 || loop.empty()) return {};
  if (factor == 1) return loop;
  Loop out;
  out.reserve(loop.size() * static_cast<size_t>(factor));
  const size_t n = loop.size();
  for (size_t i = 0; i < n; ++i) {
    const vec2& p = loop[i];
    const vec2& q = loop[i + 1 == n ? 0 : i + 1];
    const double dx = q.x - p.x, dy = q.y - p.y;
    for (int j = 0; j < factor; ++j) {
      const double t = static_cast<double>(j) / factor;
      out.push_back({std::fma(dx, t, p.x), std::fma(dy, t, p.y)});
    }
  }
  return out;
}

// Returns `count` points spaced evenly by arc length around the loop,
// starting at its first point; a loop without length gives copies of its
// first point, an empty loop or a count below 1 gives an empty loop.
Loop ResampleLoop(const Loop& loop, int count) {
  if (loop.empty() || count < 1) return {};
  if (loop.size() == 1) return Loop(count, loop[0]);
  const size_t n = loop.size();
  std::vector<double> lengths(n);
  double perimeter = 0;
  for (size_t i = 0; i < n; ++i) {
    const vec2& p = loop[i];
    const vec2& q = loop[i + 1 == n ? 0 : i + 1];
    lengths[i] = std::hypot(q.x - p.x, q.y - p.y);
    perimeter += lengths[i];
  }
  if (!(perimeter > 0)) return Loop(count, loop[0]);

  Loop out;
  out.reserve(count);
  const double step = perimeter / count;
  double acc = 0;
  size_t e = 0;
  for (int k = 0; k < count; ++k) {
    const double target = step * k;
    while (e < n - 1 && target > acc + lengths[e]) acc += lengths[e++];
    const double t = lengths[e] > 0 ? (target - acc) / lengths[e] : 0;
    const vec2& p = loop[e];
    const vec2& q = loop[e + 1 == n ? 0 : e + 1];
    out.push_back(p + (q - p) * t);
  }
  return out;
}

size_t Gcd(size_t a, size_t b) {
  while (b != 0) {
    size_t r = a % b;
    a = b;
    b = r;
  }
  return a;
}

// Brings both loops to the same point count: subdivided to their least
// common multiple, or resampled when that would be too many points.
void MatchPointCounts(Loop& a, Loop& b) {
  const size_t g = Gcd(a.size(), b.size());
  // (|a| / g) x |b| in 64 bits; a quotient above the limit alone decides, so
  // the product is only formed when it cannot overflow.
  const uint64_t quotient = a.size() / g;
  const uint64_t lcm =
      quotient > kMaxMatchedPoints ? kMaxMatchedPoints + 1 : quotient * b.size();
  if (lcm > kMaxMatchedPoints) {
    a = ResampleLoop(a, kResampleCount);
    b = ResampleLoop(b, kResampleCount);
  } else {
    const int factorA = static_cast<int>(b.size() / g);
    const int factorB = static_cast<int>(a.size() / g);
    a = SubdivideLoop(a, factorA);
    b = SubdivideLoop(b, factorB);
  }
}

// Returns the start offset of `top` (moved by (x, y)) closest to `bottom` in
// summed squared distance; the first of equal minima wins.
size_t BestOffset(const Loop& bottom, const Loop& top, double x, double y) {
  const size_t n = bottom.size();
  // The moved top ring once, so the inner loop only subtracts and squares.
  std::vector<double> tx(n), ty(n), bx(n), by(n);
  for (size_t i = 0; i < n; ++i) {
    tx[i] = x + top[i].x;
    ty[i] = y + top[i].y;
    bx[i] = bottom[i].x;
    by[i] = bottom[i].y;
  }
  double best = std::numeric_limits<double>::infinity();
  size_t bestOffset = 0;
  for (size_t o = 0; o < n; ++o) {
    double sum = 0;
    // Terms are never negative, so a partial sum that reaches the best
    // cannot win any more.
    const size_t wrap = n - o;
    size_t i = 0;
    for (; i < wrap && sum < best; ++i) {
      const double dx = tx[o + i] - bx[i], dy = ty[o + i] - by[i];
      sum += dx * dx + dy * dy;
    }
    for (; i < n && sum < best; ++i) {
      const double dx = tx[i - wrap] - bx[i], dy = ty[i - wrap] - by[i];
      sum += dx * dx + dy * dy;
    }
    if (i == n && sum < best) {
      best = sum;
      bestOffset = o;
    }
  }
  return bestOffset;
}

}  // namespace

Manifold Loft(const CrossSection& bottom, const CrossSection& top, double height, double x,
              double y, double rotate, int /*segments*/) {
  if (bottom.IsEmpty() || top.IsEmpty() || !(height > 0)) return Manifold();
  const double radians = rotate * std::numbers::pi / 180;
  const double s = std::sin(radians), c = std::cos(radians);

  const std::vector<Loop> bottomLoops = ExtractLoops(bottom);
  const std::vector<Loop> topLoops = ExtractLoops(top);
  if (bottomLoops.empty() || topLoops.empty()) return Manifold();

  // Vertices as x, y, z triples; triangles as vertex index triples. Each
  // pair of loops appends its own rings b_0, t_0, b_1, t_1, ... to the mesh
  // of the solid, or, for a pair of holes, to the mesh of what is cut away.
  manifold::MeshGL64 solidMesh, holeMesh;
  holeMesh.numProp = solidMesh.numProp = 3;

  const size_t pairs = std::min(bottomLoops.size(), topLoops.size());
  for (size_t k = 0; k < pairs; ++k) {
    Loop a = bottomLoops[k];
    Loop b = topLoops[k];
    if (SignedArea(a) * SignedArea(b) < 0) std::reverse(b.begin(), b.end());
    // Clockwise loops are holes. Their pair is lofted as a solid of its own,
    // both loops turned counter-clockwise, and cut away at the end: that
    // closes the walls of the hole and opens both caps around it.
    const bool hole = SignedArea(a) < 0;
    if (hole) {
      std::reverse(a.begin(), a.end());
      std::reverse(b.begin(), b.end());
    }
    std::vector<double>& verts = hole ? holeMesh.vertProperties : solidMesh.vertProperties;
    std::vector<uint64_t>& tris = hole ? holeMesh.triVerts : solidMesh.triVerts;
    const bool bottomCCW = SignedArea(a) > 0;
    const bool topCCW = SignedArea(b) > 0;

    MatchPointCounts(a, b);
    const size_t n = a.size();
    if (b.size() >= 2 && b.size() == n) {
      const size_t offset = BestOffset(a, b, x, y);
      std::rotate(b.begin(), b.begin() + offset, b.end());
    }
    if (n == 0) continue;

    const uint64_t base = verts.size() / 3;
    for (size_t i = 0; i < n; ++i) {
      const double ty = y + b[i].y;
      verts.insert(verts.end(), {a[i].x, a[i].y, 0.0, x + b[i].x, c * ty, height + s * ty});
    }
    auto bv = [base](size_t i) { return base + 2 * i; };
    auto tv = [base](size_t i) { return base + 2 * i + 1; };

    if (n >= 3) {
      for (size_t j = 0; j + 2 < n; ++j) {
        if (bottomCCW) {
          tris.insert(tris.end(), {bv(0), bv(j + 2), bv(j + 1)});
        } else {
          tris.insert(tris.end(), {bv(0), bv(j + 1), bv(j + 2)});
        }
      }
    }
    for (size_t i = 0; i < n; ++i) {
      const size_t next = i + 1 == n ? 0 : i + 1;
      tris.insert(tris.end(), {bv(i), bv(next), tv(next)});
      tris.insert(tris.end(), {bv(i), tv(next), tv(i)});
    }
    if (n >= 3) {
      for (size_t j = 0; j + 2 < n; ++j) {
        if (topCCW) {
          tris.insert(tris.end(), {tv(0), tv(j + 1), tv(j + 2)});
        } else {
          tris.insert(tris.end(), {tv(0), tv(j + 2), tv(j + 1)});
        }
      }
    }
  }
  if (solidMesh.vertProperties.empty() || solidMesh.triVerts.empty()) return Manifold();

  Manifold solid(solidMesh);
  if (solid.Status() != Manifold::Error::NoError) return Manifold();
  if (holeMesh.triVerts.empty()) return solid;
  Manifold holes(holeMesh);
  if (holes.Status() != Manifold::Error::NoError) return Manifold();
  return solid - holes;
}

Manifold Lathe(const std::vector<CrossSection>& profiles, const std::vector<CrossSection>& cutouts,
               int segments) {
  const int n = segments >= 3 ? segments : 0;
  Manifold result;
  for (const CrossSection& profile : profiles) {
    if (profile.IsEmpty()) continue;
    Manifold piece = Manifold::Revolve(profile.ToPolygons(), n, 360.0);
    result = result.IsEmpty() ? piece : result + piece;
  }
  for (const CrossSection& cutout : cutouts) {
    if (cutout.IsEmpty() || result.IsEmpty()) continue;
    result = result - Manifold::Revolve(cutout.ToPolygons(), n, 360.0);
  }
  return result;
}

Manifold ExtrudeTwist(const CrossSection& profile, double height, double twist, int slices,
                      int /*segments*/) {
  if (profile.IsEmpty() || !(height > 0)) return Manifold();
  return Manifold::Extrude(profile.ToPolygons(), height, std::max(slices, 1), twist,
                           manifold::vec2(1, 1));
}

}  // namespace velamanifold
