// Bevelled solids built as one mesh: slabs with a 45-degree chamfer on their
// top edge, countersunk cutters and bevel rings. The loops of a region and of
// its offset are joined by a band of triangles, so a bevel costs one triangle
// per loop point and needs no Boolean. Each builder returns an empty solid
// when the offset changes the region's loops (a loop splits, merges or
// vanishes), so that the caller can fall back to BevelCones and Booleans.
#pragma once

#include <manifold/cross_section.h>
#include <manifold/manifold.h>

namespace velamanifold {

// How far cones and cutters go on past the face they open, as a part of the
// bevel's size.
constexpr double kBevelMargin = 0.1;

// Returns the outline extruded from z = 0 to `height` with its top edge
// bevelled by c at 45 degrees (the top face is the outline shrunk by c); empty
// when c is not in (0, height] or the loops cannot be paired.
manifold::Manifold ChamferedSlab(const manifold::CrossSection& outline, double height, double c,
                                 int segments);

// Returns the cutter of a hole or pocket of `section` running from zFar to a
// face at zFace, widened at 45 degrees over the last c before the face into a
// countersink; the cone goes on a tenth of c past the face, and so does the
// far end when pastFar (a hole through), so that no face of the cutter lies
// on a face of the solid it cuts. The face is above zFar when zFar < zFace,
// else below. Empty when c is not in (0, |zFace - zFar|] or the loops cannot
// be paired.
manifold::Manifold CountersunkCutter(const manifold::CrossSection& section, double zFar,
                                     double zFace, double c, bool pastFar, int segments);

// Returns the ring that bevels an edge along `section` lying on the bottom
// face at z: from the section shrunk by c to the section grown by c at z, no
// width at z + c, and going on a tenth of c below z. Empty when c is not
// positive or the loops cannot be paired.
manifold::Manifold BottomBevelRing(const manifold::CrossSection& section, double z, double c,
                                   int segments);

// Returns the points within distance |z - zApex| of the section's outline at
// every height z from zApex to zWide: the cutter of a bevel whatever an
// offset does to the loops, made as a union of one convex piece per edge
// (much slower than the builders above). Empty for an empty section or equal
// heights.
manifold::Manifold BevelCones(const manifold::CrossSection& section, double zApex, double zWide,
                              int segments);

// Returns the section offset by delta with round joins, at least 8 segments a circle.
manifold::CrossSection RoundOffset(const manifold::CrossSection& section, double delta,
                                   int segments);

}  // namespace velamanifold
