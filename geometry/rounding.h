// Convex hulls and rounded edges from the library's own hull and Minkowski sum.
#pragma once

#include <cstdint>
#include <vector>

#include <manifold/manifold.h>

namespace velamanifold {

// Returns the convex hull of every solid (empty ones ignored); empty when
// there is nothing to hull.
manifold::Manifold HullOf(const std::vector<manifold::Manifold>& solids);

// True when the solid equals its convex hull (within rounding).
bool IsConvex(const manifold::Manifold& solid);

// Returns the convex solid shrunk by `radius` on every side: each face plane
// moved inward by it (the erosion by a ball, exact for convex solids). Empty
// when the radius consumes the solid, or nearly: when the centre of its
// corners is no longer inside by more than 1e-9.
manifold::Manifold ShrinkConvex(const manifold::Manifold& convex, double radius);

// Returns the Minkowski sum of two convex solids: the hull of the sums of
// their corners (#corners of a times #corners of b points).
manifold::Manifold SumConvex(const manifold::Manifold& a, const manifold::Manifold& b);

// Returns the work of the library's Minkowski sum of a solid that is not
// convex with a convex one: it hulls every pair of the solid's convex pieces
// with the other, so its time grows with the product of their triangles.
int64_t MinkowskiWork(const manifold::Manifold& solid, const manifold::Manifold& ball);

// Returns the solid with every edge and corner rounded by `radius`, as the
// library's Minkowski sum with a sphere of `segments` segments: grown by the
// radius on every side, or, with `keepSize` and a convex solid, first shrunk
// by it, so that its outside stays where it was. Empty for keepSize and a
// solid that is not convex (its erosion would take the library minutes).
// A radius of 0 or less returns the solid.
manifold::Manifold RoundEdges(const manifold::Manifold& solid, double radius, int segments,
                              bool keepSize);

}  // namespace velamanifold
