// Plates: slabs cut from an outline with 45-degree chamfers, pockets and holes.
#pragma once

#include <vector>

#include <manifold/cross_section.h>
#include <manifold/manifold.h>

namespace velamanifold {

// Thinnest slab a plate is given when its bounds collapse.
constexpr double kMinPlateThickness = 0.0001;

// Returns the depth of a cut: the requested one when it lies in (0, limit], else the limit.
double CutDepth(double requested, double limit);

// One hole or pocket of a plate.
struct PlateInnerCut {
  manifold::CrossSection section;
  double depth = 0;    // from the working face; outside (0, thickness] means through
  double chamfer = 0;  // the builders read PlateParams::chamferInner instead
};

// Parameters of one plate.
struct PlateParams {
  manifold::CrossSection outline;
  double height = 0;
  double offset = 0;
  double chamferOuter = 0;
  double chamferInner = 0;
  std::vector<PlateInnerCut> innerCuts;
};

// Returns the plate standing on z = 0; empty for an empty outline or a
// non-positive height.
manifold::Manifold Plate(const PlateParams& params, int segments);

// Returns `base` with its outer edge at z0 bevelled along `section` and the
// inner cuts made upward from z0.
manifold::Manifold PlateShellA(const PlateParams& params, const manifold::CrossSection& section,
                               const manifold::Manifold& base, double z0, double z1, int segments);

// Returns Plate(params, segments); `other` is not used.
manifold::Manifold PlateShell(const PlateParams& params, const PlateParams& other, int segments);

// Returns the cutter of a hole of `section` from zFar to the face at zFace
// (above or below), widened at 45 degrees over the last c into a countersink
// and going on past the face, and past zFar too when `through`; empty for an
// empty section or a non-positive c.
manifold::Manifold CountersunkHole(const manifold::CrossSection& section, double zFar,
                                   double zFace, double c, bool through, int segments);

// Returns the section extruded straight up over h from z = base; empty for an
// empty section or a non-positive h.
manifold::Manifold ExtrudeLayer(const manifold::CrossSection& section, double base, double h);

// Returns the solid simplified at 0.001, or the solid itself when that fails.
manifold::Manifold CleanupSmallFaces(const manifold::Manifold& solid);

}  // namespace velamanifold
