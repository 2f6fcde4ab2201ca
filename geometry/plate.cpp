#include "geometry/plate.h"

#include <algorithm>
#include <cmath>

#include "geometry/bevel.h"

namespace velamanifold {

namespace {

using manifold::CrossSection;
using manifold::Manifold;


// Returns the cutter of CountersunkHole made as the hole united with the
// cones of its edges, for sections whose loops a countersink closes. Both go
// on past the face, so that neither ends on it.
Manifold ConeCutter(const CrossSection& section, double zFar, double zFace, double c, bool through,
                    int segments) {
  const double margin = kBevelMargin * c, far = through ? margin : 0;
  const double up = zFace > zFar ? 1 : -1;
  const double low = std::min(zFar - up * far, zFace + up * margin);
  const double high = std::max(zFar - up * far, zFace + up * margin);
  return ExtrudeLayer(section, low, high - low) +
         BevelCones(section, zFace - up * c, zFace + up * margin, segments);
}

// Returns the outline extruded over the height with its top edge bevelled by
// c: built directly where the bevel keeps the loops of the outline, else a
// piece of the outline at a time, as a hull where the piece is convex and
// cut by the cones of its edges where it is not.
Manifold ChamferedPlate(const CrossSection& outline, double height, double c, int segments) {
  Manifold plate = ChamferedSlab(outline, height, c, segments);
  if (!plate.IsEmpty()) return plate;
  const std::vector<CrossSection> pieces = outline.Decompose();
  std::vector<Manifold> parts;
  for (const CrossSection& piece : pieces) {
    Manifold part;
    if (pieces.size() > 1) part = ChamferedSlab(piece, height, c, segments);
    if (part.IsEmpty()) part = ConvexChamferedSlab(piece, height, c, segments);
    if (part.IsEmpty()) {
      part = ExtrudeLayer(piece, 0, height) -
             BevelCones(piece, height - c, height + kBevelMargin * c, segments);
    }
    parts.push_back(part);
  }
  // The pieces do not overlap.
  return Manifold::BatchBoolean(parts, manifold::OpType::Add);
}

// Returns the size of a chamfer limited to `limit`; NaN and non-positive sizes
// mean no chamfer.
double ChamferSize(double requested, double limit) {
  return requested > 0 ? std::min(limit, requested) : 0;
}

}  // namespace

double CutDepth(double requested, double limit) {
  return requested > 0 && requested <= limit ? requested : limit;
}

Manifold CountersunkHole(const CrossSection& section, double zFar, double zFace, double c,
                         bool through, int segments) {
  Manifold cutter = CountersunkCutter(section, zFar, zFace, c, through, segments);
  if (!cutter.IsEmpty() || section.IsEmpty() || !(c > 0)) return cutter;
  // The cones of neighbouring holes meet, or a countersink closes a loop:
  // each piece of the section gets a cutter of its own, and those are united.
  const std::vector<CrossSection> pieces = section.Decompose();
  std::vector<Manifold> cutters;
  for (const CrossSection& piece : pieces) {
    Manifold part;
    if (pieces.size() > 1) part = CountersunkCutter(piece, zFar, zFace, c, through, segments);
    if (part.IsEmpty()) part = ConeCutter(piece, zFar, zFace, c, through, segments);
    cutters.push_back(part);
  }
  return Manifold::BatchBoolean(cutters, manifold::OpType::Add);
}

Manifold ExtrudeLayer(const CrossSection& section, double base, double h) {
  if (section.IsEmpty() || !(h > 0)) return Manifold();
  return Manifold::Extrude(section.ToPolygons(), h, 0, 0, {1, 1}).Translate({0, 0, base});
}

Manifold CleanupSmallFaces(const Manifold& solid) {
  if (solid.IsEmpty()) return solid;
  Manifold simplified = solid.Simplify(0.001);
  if (simplified.Status() != Manifold::Error::NoError || simplified.IsEmpty()) return solid;
  return simplified;
}

Manifold Plate(const PlateParams& params, int segments) {
  const double height = params.height;
  // Non-finite sizes would reach the library as infinite or NaN coordinates.
  if (params.outline.IsEmpty() || !(height > 0) || !std::isfinite(height) ||
      !std::isfinite(params.offset)) {
    return Manifold();
  }
  CrossSection outline = params.outline;
  if (params.offset != 0) outline = RoundOffset(outline, params.offset, segments);
  if (outline.IsEmpty()) return Manifold();

  const double c = ChamferSize(params.chamferOuter, height);
  Manifold plate =
      c > 0 ? ChamferedPlate(outline, height, c, segments) : ExtrudeLayer(outline, 0, height);

  for (const PlateInnerCut& cut : params.innerCuts) {
    if (cut.section.IsEmpty()) continue;
    const double depth = CutDepth(cut.depth, height);
    const double ci = ChamferSize(params.chamferInner, depth);
    const Manifold cutter =
        ci > 0 ? CountersunkHole(cut.section, height - depth, height, ci, depth >= height, segments)
               : ExtrudeLayer(cut.section, height - depth, depth);
    plate = CleanupSmallFaces(plate - cutter);
  }
  return plate;
}

Manifold PlateShellA(const PlateParams& params, const CrossSection& section, const Manifold& base,
                     double z0, double z1, int segments) {
  const double thickness = z1 - z0 > kMinPlateThickness ? z1 - z0 : kMinPlateThickness;
  Manifold result = base;
  if (!section.IsEmpty()) {
    const double c = ChamferSize(params.chamferOuter, thickness);
    if (c > 0) {
      Manifold ring = BottomBevelRing(section, z0, c, segments);
      if (ring.IsEmpty()) ring = BevelCones(section, z0 + c, z0 - kBevelMargin * c, segments);
      result = CleanupSmallFaces(result - ring);
    }
  }
  for (const PlateInnerCut& cut : params.innerCuts) {
    if (cut.section.IsEmpty()) continue;
    const double depth = CutDepth(cut.depth, thickness);
    const double ci = ChamferSize(params.chamferInner, depth);
    const Manifold cutter =
        ci > 0 ? CountersunkHole(cut.section, z0 + depth, z0, ci, depth >= thickness, segments)
               : ExtrudeLayer(cut.section, 0, depth).Translate({0, 0, z0});
    result = CleanupSmallFaces(result - cutter);
  }
  return result;
}

Manifold PlateShell(const PlateParams& params, const PlateParams&, int segments) {
  return Plate(params, segments);
}

}  // namespace velamanifold
