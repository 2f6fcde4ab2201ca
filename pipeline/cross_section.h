// Planar objects as regions: the region of each planar type, 2D moves and
// copies, and the display height of planar objects.
#pragma once

#include <string>

#include <manifold/cross_section.h>
#include <nlohmann/json.hpp>

#include "geometry/planar.h"
#include "pipeline/pipeline.h"

namespace velamanifold {

// Moves a non-empty region in place by the object's "move": first turned by
// "rotate" degrees about the origin, then shifted by ("x", "y").
void Apply2DMove(manifold::CrossSection& region, const json& object);

// Returns the region united with the copies "size" asks for ("copies":
// "radial", "grid" or "hex"); other modes and an empty region give it
// unchanged. The copies are charged to the pipeline before any is made
// (LimitError past the request's ceiling).
manifold::CrossSection ApplyCopies2D(const manifold::CrossSection& region, const json& size,
                                     VelaPipeline& pipeline);

// Returns the outline points of a "_polygons" array: one contour per array
// element, one point per element of at least two numbers; contours without
// a point are dropped. The points are charged to the pipeline before any is
// read (LimitError past the ceiling); non-numeric coordinates throw the JSON
// library's type error.
PointLists ReadOutlinePoints(const json& polygons, VelaPipeline& pipeline);

// Returns the height at which the planar object `id` is shown: 0.05 times one
// plus the planar objects listed before it; 0 when the id is not listed.
double ZOffsetFor2DObject(const json& document, const std::string& id);

// Returns the segment count of a "circle" object: its own "segments" when 3 or
// more (LimitError past the ceiling), else the pipeline's.
int CircleSegments(const VelaPipeline& pipeline, const json& object);

}  // namespace velamanifold
