// Height-map reliefs: grey values (row after row, w per row, h rows) into a
// flat relief plate or a relief cylinder.
#pragma once

#include <cstdint>
#include <vector>

#include <manifold/manifold.h>

namespace velamanifold {

// Returns a width x depth box of height base whose top is raised by
// relief x grey / 255 (image row 0 at the far edge y = depth); empty for
// unusable sizes or too few grey values. segments is not used.
manifold::Manifold BumpMeshToManifold(const std::vector<uint8_t>& map, int w, int h, double width,
                                      double depth, double base, double relief, int segments);

// Returns the triangles BumpMeshToManifold makes for a w x h map on a
// width x depth plate (0 for sizes it refuses): two per grey value for
// square pixels, at most 32 per grey value (or 8,192 in all) for any.
int64_t ReliefTriangles(int w, int h, double width, double depth);

// Returns a closed cylinder of the given height whose radius runs from half the
// base diameter (black) to half the outer diameter (white) around its
// circumference; empty for unusable sizes or segments below 3.
manifold::Manifold BumpMeshToCylinderManifold(const std::vector<uint8_t>& map, int w, int h,
                                              double outerDiameter, double height,
                                              double baseDiameter, int segments);

}  // namespace velamanifold
