#include "geometry/screw.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace velamanifold {

namespace {

using manifold::Manifold;

// Depth of the ISO thread below the major diameter, per unit of pitch (5√3/8).
constexpr double kMinorFactor = 1.0825317547305482;
// Beyond this many rings the tooth mesh could not be held in memory; such a
// tooth is treated like one the library refuses. Callers bound the count far
// lower (see MetricScrewRings).
constexpr int64_t kUnbuildableRings = 100'000'000;

// Sizes derived from the diameter, length, pitch and segment count.
struct ScrewSizes {
  int s = 64;         // circular segments
  double R = 0;       // major radius
  double r1 = 0;      // minor radius
  double r0 = 0;      // inner radius closing the tooth toward the axis
  double e = 0;       // run-out swept beyond both ends and trimmed away
  double Ls = 0;      // swept length
  double rings = 0;   // ring count as a double, so that absurd sizes cannot overflow
};

bool Usable(double diameter, double length, double pitch) {
  // Non-finite sizes would reach the library as infinite or NaN vertices.
  if (!std::isfinite(diameter) || !std::isfinite(length) || !std::isfinite(pitch)) return false;
  return diameter > 0 && length > 0 && pitch > 0;
}

ScrewSizes SizesOf(double diameter, double length, double pitch, int segments) {
  ScrewSizes z;
  // A count too low for a helix is replaced, not raised.
  z.s = segments < 8 ? 64 : segments;
  z.R = diameter / 2;
  z.r1 = (diameter - kMinorFactor * pitch) / 2;
  z.r0 = z.r1 / 2;
  z.e = std::clamp(pitch, 1.0, 5.0);
  z.Ls = length + 3 * z.e;
  z.rings = std::ceil(z.Ls / pitch * z.s);
  return z;
}

// Returns the helical tooth as a closed solid, or empty when the library
// refuses the mesh.
Manifold Tooth(const ScrewSizes& z, double pitch, int64_t n) {
  // Tooth profile: (radius, axial offset) from the root up the flank, across
  // the crest and down again, closed toward the axis by the first and last.
  const std::array<double, 6> radius = {z.r0, z.r1, z.R, z.R, z.r1, z.r0};
  const std::array<double, 6> offset = {0, 0, 5 * pitch / 16, 7 * pitch / 16, 3 * pitch / 4,
                                        3 * pitch / 4};
  manifold::MeshGL64 mesh;
  mesh.numProp = 3;
  // Vertex 6i + k is profile point k of ring i: x, y, z in that order.
  mesh.vertProperties.reserve(static_cast<size_t>(n + 1) * 18);
  const double turn = 2 * std::numbers::pi / z.s;
  for (int64_t i = 0; i <= n; ++i) {
    const double theta = static_cast<double>(i) * turn;
    const double base = -z.e + static_cast<double>(i) * pitch / z.s;
    const double c = std::cos(theta), s = std::sin(theta);
    for (int k = 0; k < 6; ++k) {
      mesh.vertProperties.push_back(radius[k] * c);
      mesh.vertProperties.push_back(radius[k] * s);
      mesh.vertProperties.push_back(base + offset[k]);
    }
  }
  // Three vertex indices per triangle: the sides between rings, then the caps.
  mesh.triVerts.reserve(static_cast<size_t>(n) * 36 + 24);
  auto tri = [&mesh](uint64_t a, uint64_t b, uint64_t c) {
    mesh.triVerts.push_back(a);
    mesh.triVerts.push_back(b);
    mesh.triVerts.push_back(c);
  };
  for (uint64_t i = 0; i < static_cast<uint64_t>(n); ++i) {
    for (uint64_t k = 0; k < 6; ++k) {
      const uint64_t k1 = (k + 1) % 6;
      tri(6 * i + k, 6 * i + 6 + k1, 6 * i + k1);
      tri(6 * i + k, 6 * i + 6 + k, 6 * i + 6 + k1);
    }
  }
  const uint64_t last = 6 * static_cast<uint64_t>(n);
  for (uint64_t j = 2; j <= 5; ++j) {
    tri(0, j - 1, j);
    tri(last, last + j, last + j - 1);
  }
  Manifold tooth(mesh);
  if (tooth.Status() != Manifold::Error::NoError || tooth.IsEmpty()) return Manifold();
  return tooth;
}

}  // namespace

int64_t MetricScrewRings(double diameter, double length, double pitch, int segments) {
  if (!Usable(diameter, length, pitch)) return 0;
  ScrewSizes z = SizesOf(diameter, length, pitch, segments);
  if (z.r1 <= 0) return 0;
  // Counts past the 64-bit range are reported as the largest count.
  if (!(z.rings < 9.2e18)) return std::numeric_limits<int64_t>::max();
  return static_cast<int64_t>(z.rings);
}

Manifold MetricScrew(double diameter, double length, double pitch, int segments) {
  if (!Usable(diameter, length, pitch)) return Manifold();
  ScrewSizes z = SizesOf(diameter, length, pitch, segments);
  if (z.r1 <= 0) return Manifold::Cylinder(length, z.R, z.R, z.s);

  const int64_t n = MetricScrewRings(diameter, length, pitch, segments);
  Manifold tooth = n <= kUnbuildableRings ? Tooth(z, pitch, n) : Manifold();
  Manifold core = Manifold::Cylinder(z.Ls, z.r1, z.r1, z.s).Translate({0, 0, -z.e});
  Manifold body = tooth.IsEmpty() ? core : tooth + core;

  const double h = z.R + std::max(pitch, 1.0);
  Manifold trim = Manifold::Cube({2 * h, 2 * h, length}).Translate({-h, -h, 0});
  return body ^ trim;
}

}  // namespace velamanifold
