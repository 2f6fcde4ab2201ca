// glTF 2.0 binary files (.glb).
#pragma once

#include <string>

#include <manifold/manifold.h>

namespace velamanifold {

// Returns the bytes of a glTF 2.0 binary file holding the mesh as one mesh of
// one node: POSITION in metres (the mesh is in millimetres) turned so that
// the model's +Z points along glTF's +Y (up), 32-bit indices, and COLOR_0
// (linear red, green, blue) when the mesh has colour properties 4 to 6
// (0..1, sRGB). Empty meshes give a file with no mesh.
std::string MeshToGlb(const manifold::MeshGL& mesh);

}  // namespace velamanifold
