// Solids from planar profiles: lofts between two profiles, lathes and twisted
// extrusions.
#pragma once

#include <vector>

#include <manifold/cross_section.h>
#include <manifold/manifold.h>

namespace velamanifold {

// Returns the solid joining bottom at z = 0 to top at z = height, the top moved
// by (x, y) and tilted by rotate degrees about the X-parallel line at the top.
// Loops pair by rank of area; a pair of holes is cut through, surplus loops
// are left out. Empty when the library refuses the hand-built mesh. segments
// is not used.
manifold::Manifold Loft(const manifold::CrossSection& bottom, const manifold::CrossSection& top,
                        double height, double x, double y, double rotate, int segments);

// Returns the profiles revolved a full turn about Z, minus the revolved cutouts.
manifold::Manifold Lathe(const std::vector<manifold::CrossSection>& profiles,
                         const std::vector<manifold::CrossSection>& cutouts, int segments);

// Returns the profile extruded to height with twist degrees over max(slices, 1)
// divisions; empty for an empty profile or a non-positive height.
manifold::Manifold ExtrudeTwist(const manifold::CrossSection& profile, double height, double twist,
                                int slices, int segments);

}  // namespace velamanifold
