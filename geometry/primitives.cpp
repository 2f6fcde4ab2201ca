#include "geometry/primitives.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include <manifold/cross_section.h>

namespace velamanifold {

namespace {

using manifold::Manifold;

// 0 lets the library pick a count that suits the radius.
int NormalizeSegments(int segments) { return segments < 3 ? 0 : segments; }

// Infinite or NaN sizes would reach the library as non-finite vertices or as
// a radius it derives an unbounded segment count from; they build nothing.
bool AllFinite(std::initializer_list<double> values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// Returns the frustum over [-hx, hx] x [-hy, hy] whose top at `height` is
// inset by r on every side.
Manifold InsetBox(double hx, double hy, double height, double r) {
  manifold::MeshGL64 mesh;
  mesh.numProp = 3;
  mesh.vertProperties = {
      -hx,    -hy,    0,      hx,     -hy,    0,      -hx,    hy,     0,
      hx,     hy,     0,      r - hx, r - hy, height, hx - r, r - hy, height,
      r - hx, hy - r, height, hx - r, hy - r, height,
  };
  mesh.triVerts = {
      0, 2, 3, 0, 3, 1,  // base
      4, 5, 7, 4, 7, 6,  // top
      0, 1, 5, 0, 5, 4,  // front
      2, 6, 7, 2, 7, 3,  // back
      0, 4, 6, 0, 6, 2,  // left
      1, 3, 7, 1, 7, 5,  // right
  };
  return Manifold(mesh);
}

}  // namespace

Manifold Cube(double width, double length, double height, double offset, bool center, int) {
  if (!AllFinite({width, length, height})) return {};
  if (!(offset > 0)) return Manifold::Cube({width, length, height}, center);
  double hx = width / 2;
  double hy = length / 2;
  double r = std::min(offset, std::min(width, length) / 2 + 0.0001);
  Manifold solid = InsetBox(hx, hy, height, r).Rotate(0, 0, 180).Translate({hx, hy, 0});
  // Centring keeps the base on z = 0 so an inset box still stands on the plate.
  if (center) solid = solid.Translate({-hx, -hy, 0});
  return solid;
}

Manifold Cylinder(double diameter, double height, double tapering, int segments) {
  double top = std::max((diameter - tapering) / 2, 0.0);
  if (!AllFinite({diameter, height, top})) return {};
  return Manifold::Cylinder(height, diameter / 2, top, NormalizeSegments(segments), false);
}

Manifold Cone(double diameter, double height, int segments) {
  if (!AllFinite({diameter, height})) return {};
  return Manifold::Cylinder(height, diameter / 2, 0, NormalizeSegments(segments), false);
}

Manifold Sphere(double diameter, int segments) {
  if (!AllFinite({diameter})) return {};
  return Manifold::Sphere(diameter / 2, NormalizeSegments(segments));
}

Manifold Torus(double majorDiameter, double tubeDiameter, int segments) {
  if (!AllFinite({majorDiameter, tubeDiameter})) return {};
  int n = NormalizeSegments(segments);
  manifold::CrossSection tube =
      manifold::CrossSection::Circle(tubeDiameter / 2, n).Translate({majorDiameter / 2, 0});
  return Manifold::Revolve(tube.ToPolygons(), n, 360.0);
}

Manifold Triangle3D(double width, double height, double depth, int) {
  if (!AllFinite({width, height, depth})) return {};
  manifold::Polygons profile = {{{0, 0}, {0, -height}, {width, 0}}};
  return Manifold::Extrude(profile, depth, 0, 0.0, {1, 1}).Rotate(-90, 0, 0);
}

Manifold EnsurePositiveWinding(const Manifold& solid) {
  if (solid.IsEmpty() || solid.Volume() >= 0) return solid;
  manifold::MeshGL64 mesh = solid.GetMeshGL64(-1);
  for (size_t t = 0; t + 2 < mesh.triVerts.size(); t += 3) {
    std::swap(mesh.triVerts[t + 1], mesh.triVerts[t + 2]);
  }
  return Manifold(mesh);
}

}  // namespace velamanifold
