// A closed torus as binary STL bytes: the big import of the benchmarks.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

namespace velamanifold::bench {

// Returns a binary STL of a torus (major radius 40, tube radius 12) cut into
// u x v quads, 2 * u * v triangles, corners shared exactly between triangles.
inline std::vector<uint8_t> TorusStl(int u, int v) {
  std::vector<float> p(static_cast<size_t>(u) * v * 3);
  for (int i = 0; i < u; ++i) {
    const double a = 2 * std::numbers::pi * i / u;
    for (int j = 0; j < v; ++j) {
      const double b = 2 * std::numbers::pi * j / v;
      float* q = &p[(static_cast<size_t>(i) * v + j) * 3];
      q[0] = static_cast<float>((40 + 12 * std::cos(b)) * std::cos(a));
      q[1] = static_cast<float>((40 + 12 * std::cos(b)) * std::sin(a));
      q[2] = static_cast<float>(12 * std::sin(b));
    }
  }
  const uint32_t count = 2u * u * v;
  std::vector<uint8_t> bytes(84 + 50 * size_t{count}, 0);
  std::memcpy(bytes.data() + 80, &count, 4);
  uint8_t* record = bytes.data() + 84;
  auto corner = [&](int i, int j) { return &p[(static_cast<size_t>(i % u) * v + j % v) * 3]; };
  auto emit = [&](const float* a, const float* b, const float* c) {
    std::memcpy(record + 12, a, 12);
    std::memcpy(record + 24, b, 12);
    std::memcpy(record + 36, c, 12);
    record += 50;
  };
  for (int i = 0; i < u; ++i) {
    for (int j = 0; j < v; ++j) {
      emit(corner(i, j), corner(i + 1, j), corner(i + 1, j + 1));
      emit(corner(i, j), corner(i + 1, j + 1), corner(i, j + 1));
    }
  }
  return bytes;
}

}  // namespace velamanifold::bench
