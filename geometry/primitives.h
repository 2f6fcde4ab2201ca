// Solid primitives: box (with an inset top), cylinder, cone, sphere, torus and
// right-triangular prism. Segment counts below 3 leave the choice to the library.
#pragma once

#include <manifold/manifold.h>

namespace velamanifold {

// Returns a width x length x height box, or with offset > 0 a frustum whose top
// is inset by offset on every side; center centres X and Y (and Z for the box).
manifold::Manifold Cube(double width, double length, double height, double offset, bool center,
                        int segments);

// Returns a cylinder on z = 0 along +Z whose top diameter is smaller by tapering.
manifold::Manifold Cylinder(double diameter, double height, double tapering, int segments);

// Returns a cone on z = 0 with its apex up.
manifold::Manifold Cone(double diameter, double height, int segments);

// Returns a sphere centred on the origin.
manifold::Manifold Sphere(double diameter, int segments);

// Returns a ring about the Z axis centred on the origin.
manifold::Manifold Torus(double majorDiameter, double tubeDiameter, int segments);

// Returns a right-triangular prism: legs width along +X and height along +Z,
// spanning Y from 0 to depth.
manifold::Manifold Triangle3D(double width, double height, double depth, int segments);

// Returns the solid, turned outward when its volume is negative.
manifold::Manifold EnsurePositiveWinding(const manifold::Manifold& solid);

}  // namespace velamanifold
