#include "geometry/primitives.h"

namespace velamanifold {
using manifold::Manifold;
Manifold Cube(double, double, double, double, bool, int) { return {}; }
Manifold Cylinder(double, double, double, int) { return {}; }
Manifold Cone(double, double, int) { return {}; }
Manifold Sphere(double, int) { return {}; }
Manifold Torus(double, double, int) { return {}; }
Manifold Triangle3D(double, double, double, int) { return {}; }
Manifold EnsurePositiveWinding(const Manifold& solid) { return solid; }
}  // namespace velamanifold
