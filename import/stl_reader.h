// STL import: binary or ASCII triangle soup into a solid with shared vertices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <manifold/manifold.h>

namespace velamanifold {

// Quantised position of a vertex: each coordinate times 100000, rounded half
// away from zero and saturated to 32 bits (NaN gives 0). Corners with equal
// keys are one vertex.
struct VertexKey {
  int32_t x = 0;
  int32_t y = 0;
  int32_t z = 0;
  bool operator==(const VertexKey&) const = default;
};

// Returns (x * 73856093) ^ (y * 19349663) ^ (z * 83492791), each component
// sign-extended to 64 bits, products and xor modulo 2^64.
struct VertexKeyHash {
  size_t operator()(const VertexKey& key) const;
};

// Returns the key of a vertex read as single-precision coordinates.
VertexKey MakeVertexKey(float x, float y, float z);

// Returns the solid of an STL file's bytes, or an empty solid when the bytes
// are rejected or the library refuses the mesh. Logs one "[Tarvo STL]" line
// to standard output. The integer is not used.
manifold::Manifold StlBufferToManifold(const std::vector<uint8_t>& bytes, int unused);

// The same, releasing the bytes once their triangles are read, before the
// library builds the solid (a big file's bytes would otherwise stay through
// the library's peak).
manifold::Manifold StlBufferToManifold(std::vector<uint8_t>&& bytes, int unused);

}  // namespace velamanifold
