#include "geometry/rounding.h"

#include <algorithm>
#include <cmath>

namespace velamanifold {

using manifold::Manifold;
using manifold::vec3;

Manifold HullOf(const std::vector<Manifold>& solids) {
  std::vector<Manifold> parts;
  for (const Manifold& solid : solids) {
    if (!solid.IsEmpty()) parts.push_back(solid);
  }
  if (parts.empty()) return Manifold();
  return Manifold::Hull(parts);
}

bool IsConvex(const Manifold& solid) {
  if (solid.IsEmpty()) return true;
  const double volume = solid.Volume();
  const double hull = solid.Hull().Volume();
  return hull - volume <= 1e-9 * std::max(1.0, std::fabs(hull));
}

namespace {

// Returns the positions of the mesh's vertices.
std::vector<vec3> Positions(const Manifold& solid) {
  const manifold::MeshGL64 mesh = solid.GetMeshGL64();
  std::vector<vec3> points;
  points.reserve(mesh.vertProperties.size() / mesh.numProp);
  for (size_t v = 0; v + 2 < mesh.vertProperties.size(); v += mesh.numProp) {
    points.emplace_back(mesh.vertProperties[v], mesh.vertProperties[v + 1],
                        mesh.vertProperties[v + 2]);
  }
  return points;
}

// Calls `face` with the unit normal and the offset of each triangle's plane.
template <typename F>
void ForEachPlane(const Manifold& solid, F face) {
  const manifold::MeshGL64 mesh = solid.GetMeshGL64();
  const size_t stride = mesh.numProp;
  for (size_t t = 0; t + 2 < mesh.triVerts.size(); t += 3) {
    auto at = [&](size_t k) {
      const size_t v = mesh.triVerts[t + k] * stride;
      return vec3(mesh.vertProperties[v], mesh.vertProperties[v + 1], mesh.vertProperties[v + 2]);
    };
    const vec3 a = at(0), b = at(1), c = at(2);
    vec3 n = manifold::la::cross(b - a, c - a);
    const double length = manifold::la::length(n);
    if (!(length > 0)) continue;
    n /= length;
    face(n, manifold::la::dot(n, a));
  }
}

}  // namespace

// The faces of a convex solid, each moved inward by the radius, bound the
// shrunk solid. Its corners are found through the polar dual about a point
// inside it: every plane n.x <= h (about that point) becomes the point n / h,
// the hull of those points has one face per corner of the shrunk solid, and
// a face n'.y = 1 is the corner n'. Two hulls, instead of one cut per face.
Manifold ShrinkConvex(const Manifold& convex, double radius) {
  if (convex.IsEmpty() || !(radius > 0)) return convex;
  const std::vector<vec3> corners = Positions(convex);
  vec3 centre(0.0);
  for (const vec3& p : corners) centre += p;
  centre /= static_cast<double>(corners.size());
  std::vector<vec3> dual;
  bool inside = true;
  ForEachPlane(convex, [&](vec3 n, double offset) {
    const double h = offset - radius - manifold::la::dot(n, centre);
    if (h <= 1e-9) inside = false;
    dual.push_back(n / h);
  });
  // The centre lies outside the shrunk solid: for a convex solid that means
  // the radius leaves (next to) nothing of it.
  if (!inside || dual.size() < 4) return Manifold();
  const Manifold dualHull = Manifold::Hull(dual);
  std::vector<vec3> shrunk;
  ForEachPlane(dualHull, [&](vec3 n, double offset) {
    if (offset > 1e-12) shrunk.push_back(centre + n / offset);
  });
  // Faces of the dual that lie in one plane give the same corner, up to
  // rounding: one is kept.
  for (vec3& p : shrunk) p = vec3(std::round(p.x * 1e9), std::round(p.y * 1e9), std::round(p.z * 1e9)) / 1e9;
  std::sort(shrunk.begin(), shrunk.end(), [](const vec3& a, const vec3& b) {
    return a.x != b.x ? a.x < b.x : a.y != b.y ? a.y < b.y : a.z < b.z;
  });
  shrunk.erase(std::unique(shrunk.begin(), shrunk.end(),
                           [](const vec3& a, const vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }),
               shrunk.end());
  if (shrunk.size() < 4) return Manifold();
  return Manifold::Hull(shrunk);
}

Manifold SumConvex(const Manifold& a, const Manifold& b) {
  const std::vector<vec3> pa = Positions(a), pb = Positions(b);
  std::vector<vec3> sums;
  sums.reserve(pa.size() * pb.size());
  for (const vec3& p : pa) {
    for (const vec3& q : pb) sums.push_back(p + q);
  }
  return Manifold::Hull(sums);
}

int64_t MinkowskiWork(const Manifold& solid, const Manifold& ball) {
  return static_cast<int64_t>(solid.NumTri()) * static_cast<int64_t>(ball.NumTri());
}

Manifold RoundEdges(const Manifold& solid, double radius, int segments, bool keepSize) {
  if (solid.IsEmpty() || !(radius > 0) || !std::isfinite(radius)) return solid;
  const Manifold ball = Manifold::Sphere(radius, segments);
  Manifold base = solid;
  if (keepSize) {
    if (!IsConvex(solid)) return Manifold();
    base = ShrinkConvex(solid, radius);
    if (base.IsEmpty()) return base;
  }
  // For two convex solids the sum is the hull of the sums of their corners,
  // as the library makes it; taken here directly, because the library decides
  // convexity by itself and a shrunk solid whose faces are not quite flat
  // sends it down the path for solids with dents, which takes minutes.
  if (IsConvex(base)) return SumConvex(base, ball);
  return base.MinkowskiSum(ball);
}

}  // namespace velamanifold
