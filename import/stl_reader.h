// STL import: binary or ASCII triangle soup into a solid with shared vertices.
#pragma once

#include <cstdint>
#include <vector>

#include <manifold/manifold.h>

namespace velamanifold {

// Returns the solid of an STL file's bytes, or an empty solid when the bytes
// are rejected or the library refuses the mesh. Logs one "[Tarvo STL]" line
// to standard output. The integer is not used.
manifold::Manifold StlBufferToManifold(const std::vector<uint8_t>& bytes, int unused);

}  // namespace velamanifold
