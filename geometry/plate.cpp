#include "geometry/plate.h"

#include <algorithm>
#include <cmath>

#include "geometry/loft.h"

namespace velamanifold {

namespace {

using manifold::CrossSection;
using manifold::Manifold;

// Thinnest slab a plate shell is given when its bounds collapse.
constexpr double kMinThickness = 0.0001;

CrossSection RoundOffset(const CrossSection& section, double delta, int segments) {
  return section.Offset(delta, CrossSection::JoinType::Round, 2.0, std::max(segments, 8));
}

// Returns the ring of size c around the section over the height c: wide
// (section shrunk to section grown by c) at the top or at the bottom, no width
// at the other end.
Manifold Ring(const CrossSection& section, double c, int segments, bool wideAtTop) {
  if (section.IsEmpty() || !(c > 0)) return Manifold();
  const CrossSection grown = RoundOffset(section, c, segments);
  const CrossSection shrunk = RoundOffset(section, -c, segments);
  if (wideAtTop) {
    return Loft(section, grown, c, 0, 0, 0, 1) - Loft(section, shrunk, c, 0, 0, 0, 1);
  }
  return Loft(grown, section, c, 0, 0, 0, 1) - Loft(shrunk, section, c, 0, 0, 0, 1);
}

// Returns the size of a chamfer limited to `limit`; NaN and non-positive sizes
// mean no chamfer.
double ChamferSize(double requested, double limit) {
  return requested > 0 ? std::min(limit, requested) : 0;
}

// Depth of a cut: the requested one when it lies in (0, limit], else the limit.
double EffectiveDepth(double requested, double limit) {
  return requested > 0 && requested <= limit ? requested : limit;
}

}  // namespace

Manifold ChamferRing(const CrossSection& section, double c, int segments) {
  return Ring(section, c, segments, true);
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

  Manifold plate = ExtrudeLayer(outline, 0, height);
  const double c = ChamferSize(params.chamferOuter, height);
  if (c > 0) plate -= ChamferRing(outline, c, segments).Translate({0, 0, height - c});

  for (const PlateInnerCut& cut : params.innerCuts) {
    if (cut.section.IsEmpty()) continue;
    const double depth = EffectiveDepth(cut.depth, height);
    const double ci = ChamferSize(params.chamferInner, depth);
    Manifold cutter = ExtrudeLayer(cut.section, height - depth, depth);
    // The ring widens the opening of the hole into a countersink.
    if (ci > 0) cutter += ChamferRing(cut.section, ci, segments).Translate({0, 0, height - ci});
    plate = CleanupSmallFaces(plate - cutter);
  }
  return plate;
}

Manifold PlateShellA(const PlateParams& params, const CrossSection& section, const Manifold& base,
                     double z0, double z1, int segments) {
  const double thickness = z1 - z0 > kMinThickness ? z1 - z0 : kMinThickness;
  Manifold result = base;
  if (!section.IsEmpty()) {
    const double c = ChamferSize(params.chamferOuter, thickness);
    if (c > 0) {
      result = CleanupSmallFaces(
          result - Ring(section, c, segments, false).Translate({0, 0, z0}));
    }
  }
  for (const PlateInnerCut& cut : params.innerCuts) {
    if (cut.section.IsEmpty()) continue;
    const double depth = EffectiveDepth(cut.depth, thickness);
    const double ci = ChamferSize(params.chamferInner, depth);
    Manifold cutter = ExtrudeLayer(cut.section, 0, depth);
    if (ci > 0) cutter += Ring(cut.section, ci, segments, false);
    result = CleanupSmallFaces(result - cutter.Translate({0, 0, z0}));
  }
  return result;
}

Manifold PlateShell(const PlateParams& params, const PlateParams&, int segments) {
  return Plate(params, segments);
}

}  // namespace velamanifold
