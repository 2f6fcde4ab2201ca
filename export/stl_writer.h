// Binary STL files.
#pragma once

#include <string>

#include <manifold/manifold.h>

namespace velamanifold {

// Returns the bytes of a binary STL file of the mesh (positions are its first
// three properties, in millimetres): an 80-byte header naming the program
// that never begins with "solid", the triangle count, then per triangle its
// unit normal (zero for a degenerate triangle), three corners and a zero
// attribute word, all little-endian.
std::string MeshToBinaryStl(const manifold::MeshGL& mesh);

}  // namespace velamanifold
