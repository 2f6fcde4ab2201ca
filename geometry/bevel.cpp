#include "geometry/bevel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>
#include <vector>

#include <manifold/polygon.h>

#include "geometry/planar.h"

namespace velamanifold {

namespace {

using manifold::CrossSection;
using manifold::Manifold;
using manifold::vec2;
using Loop = std::vector<vec2>;

// Levels closer than this are one level: a wall of no height is left out.
constexpr double kFlat = 1e-9;
// Circle points of the cones of BevelCones.
constexpr int kMaxConeSegments = 32;
// Offsets of a convex outline whose hull makes its bevel.
constexpr int kConvexLevels = 32;

double Distance2(vec2 a, vec2 b) {
  const vec2 d = a - b;
  return d.x * d.x + d.y * d.y;
}

// Returns the squared distance from p to the closed loop.
double LoopDistance2(vec2 p, const Loop& loop) {
  double best = std::numeric_limits<double>::infinity();
  for (size_t i = 0, n = loop.size(); i < n; ++i) {
    const vec2 a = loop[i], ab = loop[i + 1 == n ? 0 : i + 1] - a;
    const double len2 = ab.x * ab.x + ab.y * ab.y;
    double t = len2 > 0 ? ((p.x - a.x) * ab.x + (p.y - a.y) * ab.y) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    best = std::min(best, Distance2(p, a + ab * t));
  }
  return best;
}

// Returns the loops of the region with at least 3 points, without points
// closer to the line through their neighbours than a millionth of the
// region's size: offsets leave pairs of points a few nanometres apart, which
// would make triangles of no area and fall together in 32-bit answers.
std::vector<Loop> Loops(const CrossSection& region) {
  const manifold::Rect box = region.Bounds();
  const double size = std::max({1.0, box.max.x - box.min.x, box.max.y - box.min.y});
  std::vector<Loop> loops;
  for (Loop& loop : region.Simplify(1e-6 * size).ToPolygons()) {
    if (loop.size() >= 3) loops.push_back(std::move(loop));
  }
  return loops;
}

// Returns `offset` (the loops of `loops`' region offset by a distance of
// `reach`) reordered so that loop k is the offset of loops[k]; nothing when
// the loops do not pair one to one with the same orientation.
std::optional<std::vector<Loop>> PairLoops(const std::vector<Loop>& loops,
                                           std::vector<Loop> offset, double reach) {
  if (loops.empty() || loops.size() != offset.size()) return std::nullopt;
  std::vector<manifold::Rect> boxes;
  for (const Loop& loop : loops) {
    manifold::Rect box;
    for (const vec2& p : loop) box.Union(p);
    boxes.push_back(box);
  }
  std::vector<Loop> paired(loops.size());
  std::vector<bool> taken(loops.size(), false);
  const double margin = 2 * reach;
  for (Loop& candidate : offset) {
    // Each offset loop lies `reach` away from its own loop; its first point
    // decides which loop that is.
    const vec2 p = candidate.front();
    size_t best = loops.size();
    double bestDistance = std::numeric_limits<double>::infinity();
    for (size_t k = 0; k < loops.size(); ++k) {
      const manifold::Rect& box = boxes[k];
      if (p.x < box.min.x - margin || p.x > box.max.x + margin || p.y < box.min.y - margin ||
          p.y > box.max.y + margin) {
        continue;
      }
      const double d = LoopDistance2(p, loops[k]);
      if (d < bestDistance) {
        bestDistance = d;
        best = k;
      }
    }
    if (best == loops.size() || taken[best]) return std::nullopt;
    if ((SignedArea(candidate) > 0) != (SignedArea(loops[best]) > 0)) return std::nullopt;
    taken[best] = true;
    paired[best] = std::move(candidate);
  }
  return paired;
}

// A loop placed in the mesh: its points and the index of each point's vertex.
struct PlacedLoop {
  Loop points;
  std::vector<uint64_t> index;
};

// Collects vertices and triangles (counter-clockwise seen from outside) of
// one closed mesh.
class MeshBuilder {
 public:
  MeshBuilder() { mesh_.numProp = 3; }

  // Returns the loops placed at height z, each point a new vertex.
  std::vector<PlacedLoop> Place(const std::vector<Loop>& loops, double z) {
    std::vector<PlacedLoop> placed;
    for (const Loop& loop : loops) {
      PlacedLoop p{loop, {}};
      for (const vec2& q : loop) {
        p.index.push_back(mesh_.vertProperties.size() / 3);
        mesh_.vertProperties.insert(mesh_.vertProperties.end(), {q.x, q.y, z});
      }
      placed.push_back(std::move(p));
    }
    return placed;
  }

  // Fills the region bounded by the loops, facing up or down.
  void Cap(const std::vector<PlacedLoop>& loops, bool up) {
    manifold::Polygons polygons;
    std::vector<uint64_t> index;
    for (const PlacedLoop& loop : loops) {
      polygons.push_back(loop.points);
      index.insert(index.end(), loop.index.begin(), loop.index.end());
    }
    for (const manifold::ivec3& t : manifold::Triangulate(polygons)) {
      Triangle(index[t[0]], up ? index[t[1]] : index[t[2]], up ? index[t[2]] : index[t[1]]);
    }
  }

  // Joins the lower loop a to the upper loop b, which runs the same way, by
  // a band of triangles facing to the right of the loops' direction (left
  // when flipped). Seen from above the band must cover the strip between
  // the loops once; returns false when it folds over.
  bool Band(const PlacedLoop& a, const PlacedLoop& b, bool flip) {
    const size_t n = a.points.size(), m = b.points.size();
    if (a.points == b.points) {  // a straight wall
      for (size_t i = 0; i < n; ++i) {
        const size_t next = i + 1 == n ? 0 : i + 1;
        Facing(a.index[i], a.index[next], b.index[next], flip);
        Facing(a.index[i], b.index[next], b.index[i], flip);
      }
      return true;
    }
    // Start b at its point nearest to a's first point, then always close the
    // shorter of the two possible diagonals: the loops lie a bevel apart, so
    // this follows them side by side.
    size_t start = 0;
    for (size_t j = 1; j < m; ++j) {
      if (Distance2(b.points[j], a.points[0]) < Distance2(b.points[start], a.points[0])) start = j;
    }
    auto pa = [&](size_t i) { return a.points[i % n]; };
    auto pb = [&](size_t j) { return b.points[(start + j) % m]; };
    auto ia = [&](size_t i) { return a.index[i % n]; };
    auto ib = [&](size_t j) { return b.index[(start + j) % m]; };
    double least = 0, most = 0;
    auto area = [](vec2 p, vec2 q, vec2 r) {
      return (q.x - p.x) * (r.y - p.y) - (q.y - p.y) * (r.x - p.x);
    };
    size_t i = 0, j = 0;
    while (i < n || j < m) {
      const bool alongA = j == m || (i < n && Distance2(pa(i + 1), pb(j)) <=
                                                  Distance2(pa(i), pb(j + 1)));
      double s;
      if (alongA) {
        s = area(pa(i), pa(i + 1), pb(j));
        Facing(ia(i), ia(i + 1), ib(j), flip);
        ++i;
      } else {
        s = area(pa(i), pb(j + 1), pb(j));
        Facing(ia(i), ib(j + 1), ib(j), flip);
        ++j;
      }
      least = std::min(least, s);
      most = std::max(most, s);
    }
    // Triangles of both turning senses mean the band overlaps itself.
    const double tolerance = 1e-9 * std::max(most, -least);
    return least >= -tolerance || most <= tolerance;
  }

  // Returns the solid, or an empty one when the library refuses the mesh.
  Manifold Finish() {
    Manifold solid(mesh_);
    if (solid.Status() != Manifold::Error::NoError || !(solid.Volume() > 0)) return Manifold();
    return solid;
  }

 private:
  void Triangle(uint64_t a, uint64_t b, uint64_t c) {
    mesh_.triVerts.insert(mesh_.triVerts.end(), {a, b, c});
  }
  void Facing(uint64_t a, uint64_t b, uint64_t c, bool flip) {
    if (flip) {
      Triangle(a, c, b);
    } else {
      Triangle(a, b, c);
    }
  }

  manifold::MeshGL64 mesh_;
};

// One level of a stack: loops at a height, loop k above loop k of the level
// below.
struct Level {
  const std::vector<Loop>* loops;
  double z;
};

// Returns the solid through the levels (lowest first): the first level's
// region below, the last one's on top, each level joined to the next.
Manifold Stack(const std::vector<Level>& levels) {
  MeshBuilder builder;
  std::vector<std::vector<PlacedLoop>> placed;
  for (const Level& level : levels) placed.push_back(builder.Place(*level.loops, level.z));
  builder.Cap(placed.front(), false);
  for (size_t k = 0; k + 1 < placed.size(); ++k) {
    for (size_t l = 0; l < placed[k].size(); ++l) {
      if (!builder.Band(placed[k][l], placed[k + 1][l], false)) return Manifold();
    }
  }
  builder.Cap(placed.back(), true);
  return builder.Finish();
}

}  // namespace

CrossSection RoundOffset(const CrossSection& section, double delta, int segments) {
  return section.Offset(delta, CrossSection::JoinType::Round, 2.0, std::max(segments, 8));
}

Manifold ChamferedSlab(const CrossSection& outline, double height, double c, int segments) {
  if (!(c > 0) || !(c <= height) || !std::isfinite(height)) return Manifold();
  const std::vector<Loop> wall = Loops(outline);
  const auto top = PairLoops(wall, Loops(RoundOffset(outline, -c, segments)), c);
  if (!top) return Manifold();
  std::vector<Level> levels = {{&wall, 0}};
  if (height - c > kFlat) levels.push_back({&wall, height - c});
  levels.push_back({&*top, height});
  return Stack(levels);
}

Manifold CountersunkCutter(const CrossSection& section, double zFar, double zFace, double c,
                           bool pastFar, int segments) {
  const double span = std::abs(zFace - zFar);
  if (!(c > 0) || !(c <= span + kFlat) || !std::isfinite(zFar) || !std::isfinite(zFace)) {
    return Manifold();
  }
  const double margin = kBevelMargin * c;
  const std::vector<Loop> hole = Loops(section);
  const auto cone = PairLoops(hole, Loops(RoundOffset(section, c + margin, segments)), c + margin);
  if (!cone) return Manifold();
  // Levels from the far end to the face; the face may lie below.
  const double up = zFace > zFar ? 1 : -1;
  const double bottom = pastFar ? zFar - up * margin : zFar, knee = zFace - up * c;
  std::vector<Level> levels = {{&hole, bottom}};
  if (std::abs(knee - bottom) > kFlat) levels.push_back({&hole, knee});
  levels.push_back({&*cone, zFace + up * margin});
  if (up < 0) std::reverse(levels.begin(), levels.end());
  return Stack(levels);
}

Manifold ConvexChamferedSlab(const CrossSection& outline, double height, double c,
                             int segments) {
  if (!(c > 0) || !(c <= height) || !std::isfinite(height) || outline.IsEmpty()) {
    return Manifold();
  }
  const double area = outline.Area();
  if (!(area > 0) || outline.Hull().Area() > area * (1 + 1e-9)) return Manifold();
  // A convex slab bevelled at 45 degrees is convex: the hull of its
  // cross-sections, the outline shrunk by t at height - c + t, taken at
  // evenly spaced t until they vanish.
  std::vector<manifold::vec3> points;
  auto add = [&](const CrossSection& section, double z) {
    for (const Loop& loop : section.ToPolygons()) {
      for (const vec2& p : loop) points.push_back({p.x, p.y, z});
    }
  };
  add(outline, 0);
  add(outline, height - c);
  for (int k = 1; k <= kConvexLevels; ++k) {
    const double t = c * k / kConvexLevels;
    const CrossSection level = RoundOffset(outline, -t, segments);
    if (!level.IsEmpty()) {
      add(level, height - c + t);
      continue;
    }
    // The top ends in a ridge or a point between the last two levels.
    double lo = c * (k - 1) / kConvexLevels, hi = t;
    CrossSection last;
    for (int i = 0; i < 30; ++i) {
      const double mid = 0.5 * (lo + hi);
      CrossSection section = RoundOffset(outline, -mid, segments);
      if (section.IsEmpty()) {
        hi = mid;
      } else {
        lo = mid;
        last = std::move(section);
      }
    }
    add(last, height - c + lo);
    break;
  }
  return Manifold::Hull(points);
}

Manifold BevelCones(const CrossSection& section, double zApex, double zWide, int segments) {
  const double r = std::abs(zWide - zApex);
  if (section.IsEmpty() || !(r > 0) || !std::isfinite(zApex) || !std::isfinite(zWide)) {
    return Manifold();
  }
  // The cones round the bevel only at the corners, so their circles are kept
  // coarse: a piece per edge and per point of the circle is what this costs.
  const int n = std::clamp(segments, 8, kMaxConeSegments);
  std::vector<vec2> circle;
  for (int k = 0; k < n; ++k) {
    const double angle = 2 * std::numbers::pi * k / n;
    circle.push_back({r * std::cos(angle), r * std::sin(angle)});
  }
  // The points within distance t of an edge at height zApex + t are the hull
  // of the cones of its two ends.
  std::vector<Manifold> hulls;
  for (const Loop& loop : Loops(section)) {
    for (size_t i = 0, size = loop.size(); i < size; ++i) {
      const vec2 p = loop[i], q = loop[i + 1 == size ? 0 : i + 1];
      std::vector<manifold::vec3> points = {{p.x, p.y, zApex}, {q.x, q.y, zApex}};
      for (const vec2& d : circle) {
        points.push_back({p.x + d.x, p.y + d.y, zWide});
        points.push_back({q.x + d.x, q.y + d.y, zWide});
      }
      hulls.push_back(Manifold::Hull(points));
    }
  }
  return Manifold::BatchBoolean(hulls, manifold::OpType::Add);
}

Manifold BottomBevelRing(const CrossSection& section, double z, double c, int segments) {
  if (!(c > 0) || !std::isfinite(z)) return Manifold();
  const double margin = kBevelMargin * c, reach = c + margin;
  const std::vector<Loop> apex = Loops(section);
  const auto outer = PairLoops(apex, Loops(RoundOffset(section, reach, segments)), reach);
  const auto inner = PairLoops(apex, Loops(RoundOffset(section, -reach, segments)), reach);
  if (!outer || !inner) return Manifold();

  MeshBuilder builder;
  std::vector<PlacedLoop> bottom = builder.Place(*outer, z - margin);
  const std::vector<PlacedLoop> innerBottom = builder.Place(*inner, z - margin);
  const std::vector<PlacedLoop> top = builder.Place(apex, z + c);
  for (size_t k = 0; k < apex.size(); ++k) {
    // The outer band faces out of the ring, the inner one into the section.
    if (!builder.Band(bottom[k], top[k], false) || !builder.Band(innerBottom[k], top[k], true)) {
      return Manifold();
    }
  }
  // The bottom is the strip between the outer and the inner loops.
  for (PlacedLoop loop : innerBottom) {
    std::reverse(loop.points.begin(), loop.points.end());
    std::reverse(loop.index.begin(), loop.index.end());
    bottom.push_back(std::move(loop));
  }
  builder.Cap(bottom, false);
  return builder.Finish();
}

}  // namespace velamanifold
