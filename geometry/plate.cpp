#include "geometry/plate.h"

namespace velamanifold {
using manifold::Manifold;
Manifold Plate(const PlateParams&, int) { return {}; }
Manifold PlateShellA(const PlateParams&, const manifold::CrossSection&, const Manifold& base,
                     double, double, int) {
  return base;
}
Manifold PlateShell(const PlateParams& params, const PlateParams&, int segments) {
  return Plate(params, segments);
}
Manifold ChamferRing(const manifold::CrossSection&, double, int) { return {}; }
Manifold CleanupSmallFaces(const Manifold& solid) { return solid; }
}  // namespace velamanifold
