#include "geometry/planar.h"

#include <algorithm>
#include <cmath>

namespace velamanifold {

using manifold::CrossSection;
using manifold::Manifold;
using manifold::OpType;
using manifold::Polygons;
using manifold::SimplePolygon;
using manifold::vec2;

namespace {

// Returns the contour of the points with at least two numbers, in order.
SimplePolygon ContourOf(const std::vector<std::vector<double>>& points) {
  SimplePolygon contour;
  contour.reserve(points.size());
  for (const auto& p : points) {
    if (p.size() >= 2) contour.push_back({p[0], p[1]});
  }
  return contour;
}

// Returns the contours of the input that keep 3 or more points.
Polygons KeptContours(const PointLists& input) {
  Polygons contours;
  for (const auto& points : input) {
    SimplePolygon contour = ContourOf(points);
    if (contour.size() >= 3) contours.push_back(std::move(contour));
  }
  return contours;
}

// Returns an estimate (within about a factor two, on the high side) of the
// triangles RefineToLength(length) makes of the mesh: the interior of each
// triangle fills with triangles of about length^2 / 4, its edges add one per
// piece.
double RefinedTriangleEstimate(const manifold::MeshGL64& mesh, double length) {
  double total = 0;
  const auto& p = mesh.vertProperties;
  const size_t np = mesh.numProp;
  for (size_t t = 0; t + 2 < mesh.triVerts.size(); t += 3) {
    manifold::vec3 v[3];
    for (int k = 0; k < 3; ++k) {
      const size_t i = static_cast<size_t>(mesh.triVerts[t + k]) * np;
      v[k] = {p[i], p[i + 1], p[i + 2]};
    }
    const double area = 0.5 * manifold::la::length(manifold::la::cross(v[1] - v[0], v[2] - v[0]));
    total += 4 * area / (length * length);
    for (int k = 0; k < 3; ++k) {
      total += std::ceil(manifold::la::length(v[(k + 1) % 3] - v[k]) / length);
    }
  }
  return total;
}

}  // namespace

Manifold RefineToLengthBounded(const Manifold& solid, double length) {
  if (solid.IsEmpty() || !(length > 0)) return solid;
  const manifold::MeshGL64 mesh = solid.GetMeshGL64();
  // Refining only adds vertices on the existing surface, so a longer edge
  // length keeps the shape and just keeps a large face from turning into
  // millions of triangles.
  for (int attempt = 0; attempt < 32; ++attempt) {
    const double estimate = RefinedTriangleEstimate(mesh, length);
    if (!std::isfinite(estimate) || !std::isfinite(length)) break;
    if (estimate <= kMaxRefinedTriangles) return solid.RefineToLength(length);
    length *= std::sqrt(estimate / kMaxRefinedTriangles) * 1.05;
  }
  // Sizes beyond any real model: refining would only overflow the counts.
  return solid;
}

double SignedArea(const std::vector<manifold::vec2>& loop) {
  double sum = 0;
  const size_t n = loop.size();
  for (size_t i = 0; i < n; ++i) {
    const manifold::vec2& p = loop[i];
    const manifold::vec2& q = loop[i + 1 == n ? 0 : i + 1];
    sum += p.x * q.y - p.y * q.x;
  }
  return 0.5 * sum;
}

CrossSection Rectangle(double width, double length, double cornerRadius, int segments) {
  if (!(cornerRadius > 0)) return CrossSection::Square({width, length}, true);
  // A radius beyond half the shorter side rounds that side into a half circle
  // and no further: the rectangle never outgrows its size.
  cornerRadius = std::min(cornerRadius, std::min(width, length) / 2);
  const CrossSection inner = CrossSection::Square(
      {std::max(width - 2 * cornerRadius, 0.001), std::max(length - 2 * cornerRadius, 0.001)},
      true);
  const CrossSection rounded =
      inner.Offset(cornerRadius, CrossSection::JoinType::Round, 2.0, segments);
  // The outline goes through a thin refined slab and back, so its contours
  // come out in the same form as those of other slab sections.
  const Manifold slab = Manifold::Extrude(rounded.ToPolygons(), 0.001, 0, 0.0, vec2(1.0));
  const Polygons projected = RefineToLengthBounded(slab, 0.5).Project();
  if (projected.empty()) return rounded.Simplify(1e-9);
  return CrossSection(projected).Simplify(1e-9);
}

CrossSection Circle(double diameter, int segments) {
  return CrossSection::Circle(diameter / 2, segments < 3 ? 0 : segments);
}

CrossSection Triangle2D(double width, double height, double topWidth) {
  if (topWidth > 0) {
    return CrossSection(SimplePolygon{{0, 0}, {width, 0}, {topWidth, height}, {0, height}});
  }
  return CrossSection(SimplePolygon{{0, 0}, {width, 0}, {0, height}});
}

CrossSection Polygon2D(const std::vector<std::vector<double>>& points) {
  SimplePolygon contour = ContourOf(points);
  if (contour.empty()) return CrossSection();
  return CrossSection(contour);
}

CrossSection Union2D(const std::vector<CrossSection>& parts) {
  if (parts.empty()) return CrossSection();
  return CrossSection::BatchBoolean(parts, OpType::Add);
}

CrossSection Difference2D(const CrossSection& base, const std::vector<CrossSection>& cutters) {
  if (cutters.empty()) return base;
  return base - CrossSection::BatchBoolean(cutters, OpType::Add);
}

CrossSection Intersection2D(const CrossSection& a, const CrossSection& b) { return a ^ b; }

CrossSection Intersection2DMulti(const CrossSection& base, const std::vector<CrossSection>& others) {
  if (others.empty()) return base;
  return base ^ CrossSection::BatchBoolean(others, OpType::Intersect);
}

CrossSection Scale2D(const CrossSection& region, double sx, double sy) {
  return region.Scale({sx, sy});
}

CrossSection Translate2D(const CrossSection& region, double dx, double dy) {
  return region.Translate({dx, dy});
}

CrossSection Rotate2D(const CrossSection& region, double degrees) {
  return region.Rotate(degrees);
}

CrossSection Offset2D(const CrossSection& region, double delta, int joinType, double miterLimit,
                      int segments) {
  CrossSection::JoinType join = CrossSection::JoinType::Round;
  switch (joinType) {
    case 0:
      join = CrossSection::JoinType::Square;
      break;
    case 2:
      join = CrossSection::JoinType::Miter;
      break;
    case 3:
      join = CrossSection::JoinType::Bevel;
      break;
    default:
      break;
  }
  return region.Offset(delta, join, miterLimit, segments);
}

CrossSection Mirror2D(const CrossSection& region, const std::string& axis) {
  if (region.IsEmpty() || (axis != "x" && axis != "y")) return region;
  const bool acrossY = axis == "x";
  Polygons mirrored;
  for (const SimplePolygon& contour : region.ToPolygons()) {
    // Walking the points backwards keeps the winding sense the reflection
    // would otherwise flip, so outer contours stay outer.
    SimplePolygon flipped;
    flipped.reserve(contour.size());
    for (auto it = contour.rbegin(); it != contour.rend(); ++it) {
      flipped.push_back(acrossY ? vec2(-it->x, it->y) : vec2(it->x, -it->y));
    }
    mirrored.push_back(std::move(flipped));
  }
  return CrossSection(mirrored);
}

CrossSection PolygonsToCS(const PointLists& input) {
  Polygons contours = KeptContours(input);
  if (contours.empty()) return CrossSection();
  return CrossSection(contours);
}

CrossSection TextToCrossSection(const PointLists& input) { return PolygonsToCS(input); }

CrossSection SvgToCrossSection(const PointLists& input, double scale) {
  CrossSection region = PolygonsToCS(input);
  if (scale != 1.0) region = region.Scale({scale, scale});
  return region;
}

Polygons SvgToPolygons(const PointLists& input) { return KeptContours(input); }

CrossSection SliceToCrossSection(const Manifold& solid, double z) {
  if (solid.IsEmpty()) return CrossSection();
  Polygons contours = solid.Slice(z);
  if (contours.empty()) return CrossSection();
  return CrossSection(contours);
}

}  // namespace velamanifold
