// Builds the geometry of the benchmark models with the same Manifold calls
// tarvo-cli makes for them, without JSON or the pipeline, and writes the mesh
// the way a "build" answer carries it: {"numTri":N,"tv":"...","vp":"..."}
// with the Base64 of the same buffers. run.py checks the bytes against
// tarvo-cli's answer and compares the wall times.
//   tarvo_bench_direct MODEL [STL_FILE]
#include <malloc.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include <manifold/cross_section.h>
#include <manifold/manifold.h>

#include "cli/base64.h"
#include "cli/stdout_guard.h"
#include "geometry/loft.h"
#include "import/heightmap.h"
#include "import/stl_reader.h"

namespace {

using manifold::CrossSection;
using manifold::Manifold;
using manifold::OpType;
using manifold::vec2;
using manifold::vec3;

Manifold Union(const std::vector<Manifold>& parts) {
  if (parts.size() == 1) return parts.front();
  return Manifold::BatchBoolean(parts, OpType::Add);
}

Manifold Spheres() {
  Manifold ball = Manifold::Sphere(5, 32);
  ball.IsEmpty();
  std::vector<Manifold> copies;
  for (int r = 0; r < 20; ++r) {
    for (int c = 0; c < 20; ++c) copies.push_back(ball.Translate(vec3(c * 8.0, r * 8.0, 0)));
  }
  return Union(copies);
}

Manifold PlateHolesCsg() {
  Manifold slab = Manifold::Cube({200, 100, 5}, false);
  Manifold pin = Manifold::Cylinder(7, 3, 3, 32, false).Translate({10, 5, -1});
  pin.IsEmpty();
  std::vector<Manifold> copies;
  for (int r = 0; r < 10; ++r) {
    for (int c = 0; c < 10; ++c) copies.push_back(pin.Translate(vec3(c * 20.0, r * 10.0, 0)));
  }
  // The pipeline evaluates every object it builds (its empty checks), so
  // the subtraction gets two finished operands, not one lazy tree.
  Manifold pins = Union(copies);
  pins.IsEmpty();
  slab.IsEmpty();
  return slab - pins;
}

Manifold Layer(const CrossSection& section, double base, double height) {
  return Manifold::Extrude(section.ToPolygons(), height, 0, 0.0, vec2(1, 1))
      .Translate({0, 0, base});
}

Manifold Cleanup(const Manifold& solid) {
  Manifold simple = solid.Simplify(0.001);
  if (simple.Status() != Manifold::Error::NoError || simple.IsEmpty()) return solid;
  return simple;
}

Manifold PlateHoles() {
  CrossSection outline = CrossSection::Square({200, 100}, false);
  CrossSection hole = CrossSection::Circle(3, 32).Translate({10, 5});
  std::vector<CrossSection> copies;
  for (int r = 0; r < 10; ++r) {
    for (int c = 0; c < 10; ++c) copies.push_back(hole.Translate(vec2(c * 20.0, r * 10.0)));
  }
  CrossSection holes = CrossSection::BatchBoolean(copies, OpType::Add);
  Manifold plate = Layer(outline, 0, 5);
  return Cleanup(plate - Layer(holes, 0, 5));
}

// The ISO metric rod: helical tooth mesh united with the core, trimmed.
Manifold MetricScrew(double diameter, double length, double pitch, int segments) {
  const int s = segments < 8 ? 64 : segments;
  const double R = diameter / 2, r1 = (diameter - 1.0825317547305482 * pitch) / 2, r0 = r1 / 2;
  const double e = std::clamp(pitch, 1.0, 5.0), Ls = length + 3 * e;
  const int64_t n = static_cast<int64_t>(std::ceil(Ls / pitch * s));
  const std::array<double, 6> radius = {r0, r1, R, R, r1, r0};
  const std::array<double, 6> offset = {0, 0, 5 * pitch / 16, 7 * pitch / 16, 3 * pitch / 4,
                                        3 * pitch / 4};
  manifold::MeshGL64 mesh;
  mesh.numProp = 3;
  mesh.vertProperties.reserve((n + 1) * 18);
  const double turn = 2 * std::numbers::pi / s;
  for (int64_t i = 0; i <= n; ++i) {
    const double theta = i * turn, base = -e + i * pitch / s;
    const double c = std::cos(theta), sn = std::sin(theta);
    for (int k = 0; k < 6; ++k) {
      mesh.vertProperties.insert(mesh.vertProperties.end(),
                                 {radius[k] * c, radius[k] * sn, base + offset[k]});
    }
  }
  mesh.triVerts.reserve(n * 36 + 24);
  for (uint64_t i = 0; i < static_cast<uint64_t>(n); ++i) {
    for (uint64_t k = 0; k < 6; ++k) {
      const uint64_t k1 = (k + 1) % 6;
      mesh.triVerts.insert(mesh.triVerts.end(), {6 * i + k, 6 * i + 6 + k1, 6 * i + k1, 6 * i + k,
                                                 6 * i + 6 + k, 6 * i + 6 + k1});
    }
  }
  const uint64_t last = 6 * static_cast<uint64_t>(n);
  for (uint64_t j = 2; j <= 5; ++j) {
    mesh.triVerts.insert(mesh.triVerts.end(), {0, j - 1, j, last, last + j, last + j - 1});
  }
  Manifold tooth(mesh);
  if (tooth.Status() != Manifold::Error::NoError || tooth.IsEmpty()) tooth = Manifold();
  Manifold core = Manifold::Cylinder(Ls, r1, r1, s).Translate({0, 0, -e});
  Manifold body = tooth.IsEmpty() ? core : tooth + core;
  const double h = R + std::max(pitch, 1.0);
  return body ^ Manifold::Cube({2 * h, 2 * h, length}).Translate({-h, -h, 0});
}

Manifold PlateM3() {
  const int segments = 32;
  const double H = 6, chamfer = 0.5, r = 1.5;
  Manifold plate = Layer(CrossSection::Square({120, 40}, false), 0, H);
  plate.IsEmpty();
  for (int row = 0; row < 2; ++row) {
    for (int c = 0; c < 10; ++c) {
      const double mx = 6 + 12 * c, my = 10 + 20 * row;
      // Evaluated where the plate handler checks for emptiness; the cuts
      // themselves stay one lazy chain of subtractions.
      Manifold cutter = MetricScrew(3, H + 0.02, 0.5, segments).Translate({mx, my, -0.01});
      cutter.IsEmpty();
      cutter = cutter + Manifold::Cylinder(chamfer, r, r + chamfer, segments, false)
                            .Translate({mx, my, H - chamfer});
      cutter.IsEmpty();
      plate = plate - cutter;
    }
  }
  return plate;
}

Manifold LoftHollow() {
  CrossSection low = CrossSection::Circle(30, 512), high = CrossSection::Circle(20, 300);
  Manifold outer = velamanifold::Loft(low, high, 50, 5, 0, 0, 32);
  CrossSection low2 = low.Offset(-2, CrossSection::JoinType::Round, 2.0, 64);
  CrossSection high2 = high.Offset(-2, CrossSection::JoinType::Round, 2.0, 64);
  Manifold inner = velamanifold::Loft(low2, high2, 50, 5, 0, 0, 32);
  return inner.IsEmpty() ? outer : outer - inner;
}

// The grey values of bench/make_models.py's pattern.
std::vector<uint8_t> HeightMap(int w, int h) {
  std::vector<uint8_t> map;
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < w; ++i) {
      double u = i / double(w - 1) - 0.5, v = j / double(h - 1) - 0.5;
      double g = 0.5 + 0.25 * std::sin(40 * std::hypot(u, v)) +
                 0.25 * std::cos(12 * u) * std::sin(9 * v);
      map.push_back(static_cast<uint8_t>(std::clamp(std::lround(g * 255), 0L, 255L)));
    }
  }
  return map;
}

// The reliefs come from the height-map kernel, which holds no JSON: it makes
// the box and the warp, or the cylinder's arrays, and calls the library once.
Manifold ReliefFlat() {
  return velamanifold::BumpMeshToManifold(HeightMap(256, 256), 256, 256, 100, 100, 2, 3, 64);
}

// A photo-sized map: the library's construction of its 2 million triangles is
// most of the request.
Manifold ReliefPhoto() {
  return velamanifold::BumpMeshToManifold(HeightMap(1000, 1000), 1000, 1000, 100, 100, 2, 3, 64);
}

Manifold ReliefCylinder() {
  return velamanifold::BumpMeshToCylinderManifold(HeightMap(256, 128), 256, 128, 50, 40, 46, 32);
}

// A binary STL file read from disk and merged by the same reader tarvo-cli
// uses (its log line goes to standard error), straight into the library: the
// ratio then shows what the request's JSON and Base64 cost on top.
Manifold Stl(const char* path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
  velamanifold::StdoutGuard guard;
  return velamanifold::StlBufferToManifold(bytes, 0);
}

// A 40 x 30 x 20 box rounded by 2 at 64 segments: the shrunk box grown back
// by a sphere, the shortest route through the library to the same shape.
Manifold RoundedBox() {
  return Manifold::Cube({36, 26, 16}).Translate({2, 2, 2}).MinkowskiSum(Manifold::Sphere(2, 64));
}

// The convex hull of 20 spheres of diameter 6 at 64 segments, at the centres
// bench/make_models.py writes into the request.
Manifold HullSpheres() {
  std::vector<Manifold> spheres;
  auto six = [](double v) { return std::round(v * 1e6) / 1e6; };
  for (int i = 0; i < 20; ++i) {
    const vec3 centre(six(7.0 * (i % 5) + 3.0 * std::sin(i)), six(6.0 * (i / 5) + 2.0 * std::cos(3 * i)),
                      six(4.0 * std::sin(1.7 * i)));
    spheres.push_back(Manifold::Sphere(3, 64).Translate(centre));
  }
  return Manifold::Hull(spheres);
}

}  // namespace

int main(int argc, char** argv) {
  // Memory kept in the heap as tarvo-cli keeps it, so that the ratio shows the request's cost.
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  const std::map<std::string, std::function<Manifold()>> models = {
      {"spheres", Spheres},         {"plate_holes_csg", PlateHolesCsg},
      {"plate_holes", PlateHoles},  {"screw_m10", [] { return MetricScrew(10, 20, 1.5, 64); }},
      {"plate_m3", PlateM3},        {"loft_hollow", LoftHollow},
      {"relief_flat", ReliefFlat},  {"relief_cylinder", ReliefCylinder},
      {"relief_photo", ReliefPhoto},  {"rounded_box", RoundedBox},
      {"hull_spheres", HullSpheres},
      {"stl_1m", [&] { return Stl(argc > 2 ? argv[2] : ""); }},
  };
  auto model = argc > 1 ? models.find(argv[1]) : models.end();
  if (model == models.end()) {
    std::fprintf(stderr, "usage: tarvo_bench_direct MODEL [STL_FILE]; models:");
    for (const auto& [name, build] : models) std::fprintf(stderr, " %s", name.c_str());
    std::fprintf(stderr, "\n");
    return 2;
  }
  Manifold solid = model->second();
  if (solid.IsEmpty()) {
    std::fputs("{\"empty\":true}\n", stdout);
    return 0;
  }
  manifold::MeshGL mesh = solid.GetMeshGL();
  bool flip = solid.Volume() < 0;
  std::string out = "{\"flipWinding\":";
  out += flip ? "true" : "false";
  out += ",\"numProp\":" + std::to_string(mesh.numProp);
  out += ",\"numTri\":" + std::to_string(mesh.triVerts.size() / 3) + ",\"tv\":\"";
  out += velamanifold::Base64Encode(mesh.triVerts.data(), mesh.triVerts.size() * 4);
  out += "\",\"vp\":\"";
  out += velamanifold::Base64Encode(mesh.vertProperties.data(), mesh.vertProperties.size() * 4);
  out += "\"}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
