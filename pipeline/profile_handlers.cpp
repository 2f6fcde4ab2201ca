// Planar objects shown as thin slabs, and the solids made from profiles:
// lathes, lofts (also hollow) and twisted extrusions.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "geometry/loft.h"
#include "geometry/planar.h"
#include "pipeline/cross_section.h"
#include "model/json_access.h"
#include "model/limits.h"
#include "pipeline/pipeline.h"

namespace velamanifold {

namespace {

using manifold::CrossSection;
using manifold::Manifold;

// Most triangles the sides of one lofted pair of contours may have: both
// are matched to at most 2048 points.
constexpr int64_t kLoftPairTriangles = 2 * 2048;

// Returns the number of outline points of all regions.
int64_t TotalPoints(const std::vector<CrossSection>& regions) {
  int64_t points = 0;
  for (const CrossSection& region : regions) points += static_cast<int64_t>(region.NumVert());
  return points;
}

// Returns the polygons of the region extruded straight up from z = 0.
Manifold Prism(const CrossSection& region, double height) {
  return Manifold::Extrude(region.ToPolygons(), height, 0, 0.0, manifold::vec2(1.0));
}

}  // namespace

Manifold VelaPipeline::BuildProfileObject(const std::string& type, const json& document,
                                          const json& object, const std::string& id,
                                          const VisitingSet* visiting) {
  const json& size = Jobj(object, "size");

  if (Is2DObjectType(type)) {
    // A planar object shows as a thin slab, each one listed later a little
    // higher than the ones before it so that they do not overlap.
    // The resolved region is already moved, and cached for any profile that
    // uses the same object.
    const CrossSection region = Resolve2DCrossSectionInner(document, id, visiting);
    if (region.IsEmpty()) return Manifold();
    Manifold slab = Prism(region, planarThickness);
    if (slab.IsEmpty()) return slab;
    const double z = ZOffsetFor2DObject(document, id);
    if (z != 0) slab = slab.Translate({0, 0, z});
    const int refinement = type == "circle" ? CircleSegments(*this, object) : PipelineSegments();
    // Refinement is bounded by the kernel; what it makes still counts.
    if (refinement >= 32) slab = RefineToLengthBounded(slab, 0.5);
    ChargeTriangles(static_cast<int64_t>(slab.NumTri()));
    return slab;
  }

  if (type == "lathe") {
    const std::vector<CrossSection> outer = ReferencedRegions(document, object, "outcut", visiting);
    std::vector<CrossSection> inner;
    const json& innercuts = Jobj(object, "innercuts");
    if (innercuts.is_array()) {
      for (const json& element : innercuts) {
        std::string cutId;
        if (element.is_object()) {
          cutId = Js(Jobj(element, "vid"), "");
        } else if (element.is_string()) {
          cutId = element.get<std::string>();
        }
        if (cutId.empty()) continue;
        CrossSection cut = ReferencedRegion(document, cutId, visiting);
        if (!cut.IsEmpty()) inner.push_back(std::move(cut));
      }
    }
    int count = Ji(Jobj(size, "segments"), 0);
    // A full turn needs finer steps than a single round profile.
    count = count < 3 ? 2 * PipelineSegments() : CheckSegments(count, "lathe segment count");
    // Every profile point becomes a ring of `count` points, two triangles a step.
    ChargeTriangles(2 * count * (TotalPoints(outer) + TotalPoints(inner)));
    return Lathe(outer, inner, count);
  }

  if (type == "loft") {
    const std::vector<CrossSection> bottoms = ReferencedRegions(document, object, "bottom", visiting);
    const std::vector<CrossSection> tops = ReferencedRegions(document, object, "top", visiting);
    if (bottoms.empty() || tops.empty()) return Manifold();
    const CrossSection bottom = Union2D(bottoms);
    const CrossSection top = Union2D(tops);
    if (bottom.IsEmpty() || top.IsEmpty()) return Manifold();
    // Each pair of contours is matched to at most a few thousand points; the
    // caps take the points as they are.
    ChargeTriangles(kLoftPairTriangles * std::min(bottom.NumContour(), top.NumContour()) +
                    2 * TotalPoints({bottom, top}));
    const double height = AtLeast(Jd(Jobj(size, "height"), 10), 0.0001);
    const double x = Jd(Jobj(size, "x"), 0);
    const double y = Jd(Jobj(size, "y"), 0);
    const double rotate = Jd(Jobj(size, "rotate"), 0);
    Manifold result = Loft(bottom, top, height, x, y, rotate, 32);
    const double wall = Jd(Jobj(size, "wall"), 0);
    if (result.IsEmpty() || !(std::abs(wall) > 1e-9)) return result;
    // A hollow loft: the same loft between profiles moved inwards by the wall
    // (outwards for a negative wall) is the other side of the shell.
    const int segs = PipelineSegments();
    const Manifold inner = Loft(Offset2D(bottom, -wall, 1, 2.0, segs),
                                Offset2D(top, -wall, 1, 2.0, segs), height, x, y, rotate, 32);
    if (inner.IsEmpty()) return result;
    return wall > 0 ? result - inner : inner - result;
  }

  if (type == "extrudetwist") {
    const std::vector<CrossSection> parts =
        ReferencedRegions(document, object, "baseObjects", visiting);
    if (parts.empty()) return Manifold();
    const CrossSection region = Union2D(parts);
    if (region.IsEmpty()) return Manifold();
    const double height = AtLeast(Jd(Jobj(size, "height"), 10), 0.0001);
    const double twist = Jd(Jobj(size, "twist"), 0);
    // An endless height or turn has no solid.
    if (!std::isfinite(height) || !std::isfinite(twist)) return Manifold();
    int slices = Ji(Jobj(size, "slices"), 20);
    if (slices < 1) slices = 20;
    if (std::abs(twist) >= 1e-9) {
      // Every slice is a full ring of the profile, so slices count like segments.
      slices = static_cast<int>(CheckCount(slices, kMaxSegments, "extrudetwist slice count"));
      // The library's divisions insert rings between the ends, so `slices`
      // makes slices + 1 bands of two triangles a point; each cap takes
      // fewer than one triangle a point.
      ChargeTriangles(2 * (static_cast<int64_t>(slices) + 2) * TotalPoints({region}));
      return ExtrudeTwist(region, height, twist, slices, PipelineSegments());
    }
    return Prism(region, height);
  }

  return Manifold();
}

}  // namespace velamanifold
