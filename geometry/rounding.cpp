#include "geometry/rounding.h"

#include <cmath>
#include <map>
#include <tuple>

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

Manifold ShrinkConvex(const Manifold& convex, double radius) {
  if (convex.IsEmpty() || !(radius > 0)) return convex;
  const manifold::MeshGL64 mesh = convex.GetMeshGL64();
  // One cut per face plane; the triangles of one face share it.
  std::map<std::tuple<int64_t, int64_t, int64_t, int64_t>, bool> planes;
  Manifold result = convex;
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
    const double offset = manifold::la::dot(n, a);
    const auto key = std::make_tuple(std::llround(n.x * 1e9), std::llround(n.y * 1e9),
                                     std::llround(n.z * 1e9), std::llround(offset * 1e6));
    if (!planes.emplace(key, true).second) continue;
    // Keeps what lies behind the plane moved inward by the radius.
    result = result.TrimByPlane(-n, -(offset - radius));
    if (result.IsEmpty()) return result;
  }
  return result;
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
  return base.MinkowskiSum(ball);
}

}  // namespace velamanifold
