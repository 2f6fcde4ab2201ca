// Planar regions: basic profiles, booleans, moves, offsets, mirrors, outlines
// from point lists and sections of solids.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <manifold/cross_section.h>
#include <manifold/manifold.h>

namespace velamanifold {

// Point-list input: contours of points, each point x, y (further numbers ignored).
using PointLists = std::vector<std::vector<std::vector<double>>>;

// Most triangles (estimated) a refinement to a given edge length may make.
inline constexpr double kMaxRefinedTriangles = 250000;

// Returns the solid refined so that no edge is longer than `length`; when that
// would make more than about kMaxRefinedTriangles triangles the edge length is
// raised until it does not, and a solid too large for any such length comes
// back unrefined. The shape is unchanged either way.
manifold::Manifold RefineToLengthBounded(const manifold::Manifold& solid, double length);

// Returns the shoelace area of the closed loop; positive when counter-clockwise.
double SignedArea(const std::vector<manifold::vec2>& loop);

// Returns a rectangle centred on the origin, corners rounded when cornerRadius > 0.
manifold::CrossSection Rectangle(double width, double length, double cornerRadius, int segments);

// Returns a disc of the given diameter centred on the origin.
manifold::CrossSection Circle(double diameter, int segments);

// Returns a right triangle (topWidth <= 0) or right trapezoid with its right
// angle at the origin.
manifold::CrossSection Triangle2D(double width, double height, double topWidth);

// Returns one simple polygon of the points with at least two numbers; empty
// when there is none.
manifold::CrossSection Polygon2D(const std::vector<std::vector<double>>& points);

// Returns the union of all parts (empty for no parts).
manifold::CrossSection Union2D(const std::vector<manifold::CrossSection>& parts);

// Returns base minus the union of the cutters.
manifold::CrossSection Difference2D(const manifold::CrossSection& base,
                                    const std::vector<manifold::CrossSection>& cutters);

// Returns a intersected with b.
manifold::CrossSection Intersection2D(const manifold::CrossSection& a,
                                      const manifold::CrossSection& b);

// Returns base intersected with every one of the others.
manifold::CrossSection Intersection2DMulti(const manifold::CrossSection& base,
                                           const std::vector<manifold::CrossSection>& others);

// Returns the region scaled by (sx, sy) about the origin.
manifold::CrossSection Scale2D(const manifold::CrossSection& region, double sx, double sy);

// Returns the region moved by (dx, dy).
manifold::CrossSection Translate2D(const manifold::CrossSection& region, double dx, double dy);

// Returns the region turned counter-clockwise about the origin.
manifold::CrossSection Rotate2D(const manifold::CrossSection& region, double degrees);

// Returns the region grown (delta > 0) or shrunk; joinType 0 Square, 1 Round,
// 2 Miter, 3 Bevel, anything else Round.
manifold::CrossSection Offset2D(const manifold::CrossSection& region, double delta, int joinType,
                                double miterLimit, int segments);

// Returns the region mirrored across the Y axis ("x") or the X axis ("y");
// any other axis gives an unchanged copy.
manifold::CrossSection Mirror2D(const manifold::CrossSection& region, const std::string& axis);

// Returns the region of all contours with 3 or more points, filled together.
manifold::CrossSection PolygonsToCS(const PointLists& input);

// Returns PolygonsToCS of glyph outlines.
manifold::CrossSection TextToCrossSection(const PointLists& input);

// Returns PolygonsToCS scaled by `scale` about the origin.
manifold::CrossSection SvgToCrossSection(const PointLists& input, double scale);

// Returns the contours with 3 or more points as plain polygons.
manifold::Polygons SvgToPolygons(const PointLists& input);

// Returns the section of the solid at height z (empty for an empty solid).
manifold::CrossSection SliceToCrossSection(const manifold::Manifold& solid, double z);

}  // namespace velamanifold
