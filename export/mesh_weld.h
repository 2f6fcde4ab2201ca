// Joining the vertices that a property mesh splits along colour and operand
// seams, so that a file format indexing triangles by position gets a closed mesh.
#pragma once

#include <cstddef>

#include <manifold/manifold.h>

namespace velamanifold {

// Turns every set of vertices that the mesh's merge vectors join into one
// vertex, numbered in order of the set's first vertex and holding that
// vertex's properties (`stride` values each), points the triangles at it and
// clears the merge vectors. Without merge vectors, or with merge vectors or
// triangles that name vertices outside the list, the mesh stays as it is.
void WeldMergedVertices(manifold::MeshGL64& mesh, size_t stride);

}  // namespace velamanifold
