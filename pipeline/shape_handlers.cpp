// Handlers of the objects that reshape others as a whole: "hull" (the convex
// hull of the listed solids and regions) and "round" (every edge and corner
// of the listed solids rounded by a radius).
#include <cmath>

#include "geometry/rounding.h"
#include "model/json_access.h"
#include "model/limits.h"
#include "pipeline/pipeline.h"

namespace velamanifold {

using manifold::Manifold;

Manifold VelaPipeline::BuildShapeObject(const std::string& type, const json& document,
                                        const json& object, const VisitingSet* visiting) {
  if (type == "hull") {
    // A planar shape takes part as the thin slab it shows as.
    const std::vector<std::string> ids = IdList(object, "baseObjects");
    ChargeCopies(static_cast<int64_t>(ids.size()));
    std::vector<Manifold> solids;
    for (const std::string& id : ids) {
      Manifold solid = BuildInner(document, id, visiting);
      ChargeTriangles(static_cast<int64_t>(solid.NumTri()));
      solids.push_back(std::move(solid));
    }
    Manifold hull = HullOf(solids);
    ChargeTriangles(static_cast<int64_t>(hull.NumTri()));
    return hull;
  }
  if (type == "round") {
    Manifold base = ReferencedUnion(document, object, "baseObjects", visiting);
    const double radius = Jd(Jobj(object, "radius"), 1);
    if (base.IsEmpty() || !(radius > 0)) return base;
    const int count = Ji(Jobj(object, "segments"), 0);
    const int segments = count >= 3 ? CheckSegments(count, "round segment count") : PipelineSegments();
    const bool keepSize = Jb(Jobj(object, "keepSize"), true);
    const Manifold ball = Manifold::Sphere(radius, segments);
    ChargeTriangles(static_cast<int64_t>(ball.NumTri()) + static_cast<int64_t>(base.NumTri()));
    if (IsConvex(base)) {
      CheckCount(static_cast<int64_t>(base.NumVert()) * static_cast<int64_t>(ball.NumVert()),
                 kMaxRoundingPoints, "rounding points (corners of the solid times the sphere's)");
    } else if (!keepSize) {
      CheckCount(MinkowskiWork(base, ball), kMaxMinkowskiWork,
                 "rounding work (triangles of a solid that is not convex times the sphere's)");
    }
    Manifold rounded = RoundEdges(base, radius, segments, keepSize);
    ChargeTriangles(static_cast<int64_t>(rounded.NumTri()));
    return rounded;
  }
  return {};
}

}  // namespace velamanifold
