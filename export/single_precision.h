// Meshes in the precision the file writers take.
#pragma once

#include <manifold/manifold.h>

namespace velamanifold {

// Returns the positions, channels and triangles of the mesh in single
// precision and 32-bit indices, as the library's GetMeshGL gives them for the
// solid `mesh` came from: what the file writers read, and nothing else.
manifold::MeshGL SinglePrecision(const manifold::MeshGL64& mesh);

}  // namespace velamanifold
