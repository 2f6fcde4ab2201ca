#include "geometry/planar.h"

namespace velamanifold {
using manifold::CrossSection;
CrossSection Rectangle(double, double, double, int) { return {}; }
CrossSection Circle(double, int) { return {}; }
CrossSection Triangle2D(double, double, double) { return {}; }
CrossSection Polygon2D(const std::vector<std::vector<double>>&) { return {}; }
CrossSection Union2D(const std::vector<CrossSection>&) { return {}; }
CrossSection Difference2D(const CrossSection& base, const std::vector<CrossSection>&) { return base; }
CrossSection Intersection2D(const CrossSection& a, const CrossSection&) { return a; }
CrossSection Intersection2DMulti(const CrossSection& base, const std::vector<CrossSection>&) {
  return base;
}
CrossSection Scale2D(const CrossSection& r, double, double) { return r; }
CrossSection Translate2D(const CrossSection& r, double, double) { return r; }
CrossSection Rotate2D(const CrossSection& r, double) { return r; }
CrossSection Offset2D(const CrossSection& r, double, int, double, int) { return r; }
CrossSection Mirror2D(const CrossSection& r, const std::string&) { return r; }
CrossSection PolygonsToCS(const PointLists&) { return {}; }
CrossSection TextToCrossSection(const PointLists&) { return {}; }
CrossSection SvgToCrossSection(const PointLists&, double) { return {}; }
manifold::Polygons SvgToPolygons(const PointLists&) { return {}; }
CrossSection SliceToCrossSection(const manifold::Manifold&, double) { return {}; }
}  // namespace velamanifold
