// Prints the peak memory of the library building the benchmarks' 1,000,000-
// triangle torus from a merged mesh, in a program that does nothing else:
// the floor under any job that builds this solid.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <string>

#include <manifold/manifold.h>

namespace {

// Returns the value in kB of one line ("VmHWM", "VmRSS") of /proc/self/status.
long StatusKb(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(line.find(':') + 1));
  }
  return 0;
}

}  // namespace

int main() {
  // The torus of bench/torus_stl.h (1000 x 500 quads), corners shared.
  const int u = 1000, v = 500;
  manifold::MeshGL mesh;
  mesh.numProp = 3;
  for (int i = 0; i < u; ++i) {
    for (int j = 0; j < v; ++j) {
      const double a = 2 * std::numbers::pi * i / u, b = 2 * std::numbers::pi * j / v;
      mesh.vertProperties.push_back(static_cast<float>((40 + 12 * std::cos(b)) * std::cos(a)));
      mesh.vertProperties.push_back(static_cast<float>((40 + 12 * std::cos(b)) * std::sin(a)));
      mesh.vertProperties.push_back(static_cast<float>(12 * std::sin(b)));
    }
  }
  auto id = [&](int i, int j) { return static_cast<uint32_t>((i % u) * v + j % v); };
  for (int i = 0; i < u; ++i) {
    for (int j = 0; j < v; ++j) {
      for (uint32_t k : {id(i, j), id(i + 1, j), id(i + 1, j + 1), id(i, j), id(i + 1, j + 1),
                         id(i, j + 1)}) {
        mesh.triVerts.push_back(k);
      }
    }
  }
  const long before = StatusKb("VmRSS");
  const manifold::Manifold solid(mesh);
  mesh = manifold::MeshGL();
  std::printf("{\"triangles\":%zu,\"mesh_mib\":%.1f,\"peak_mib\":%.1f,\"kept_mib\":%.1f}\n",
              solid.NumTri(), before / 1024.0, StatusKb("VmHWM") / 1024.0,
              StatusKb("VmRSS") / 1024.0);
  return solid.Status() == manifold::Manifold::Error::NoError ? 0 : 1;
}
