// Meshes in the precision the file writers take.
#pragma once

#include <manifold/manifold.h>

namespace velamanifold {

// Returns the mesh with single-precision positions and channels and 32-bit
// indices: what the library's GetMeshGL gives for the solid `mesh` came from.
manifold::MeshGL SinglePrecision(const manifold::MeshGL64& mesh);

}  // namespace velamanifold
