#include "export/mesh_weld.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

namespace velamanifold {

namespace {

// Returns the first vertex of v's set, shortening the paths it walked.
uint64_t Root(std::vector<uint64_t>& parent, uint64_t v) {
  uint64_t root = v;
  while (parent[root] != root) root = parent[root];
  while (parent[v] != root) {
    const uint64_t next = parent[v];
    parent[v] = root;
    v = next;
  }
  return root;
}

}  // namespace

void WeldMergedVertices(manifold::MeshGL64& mesh, size_t stride) {
  const size_t merges = mesh.mergeFromVert.size();
  if (merges == 0 || stride == 0 || mesh.mergeToVert.size() != merges) return;
  const size_t vertexCount = mesh.vertProperties.size() / stride;
  auto within = [vertexCount](uint64_t v) { return v < vertexCount; };
  if (!std::all_of(mesh.mergeFromVert.begin(), mesh.mergeFromVert.end(), within) ||
      !std::all_of(mesh.mergeToVert.begin(), mesh.mergeToVert.end(), within) ||
      !std::all_of(mesh.triVerts.begin(), mesh.triVerts.end(), within)) {
    return;
  }

  // Each set's root is its lowest vertex, so roots come first in vertex order
  // and the renumbering below needs one pass.
  std::vector<uint64_t> parent(vertexCount);
  std::iota(parent.begin(), parent.end(), uint64_t{0});
  for (size_t i = 0; i < merges; ++i) {
    const uint64_t a = Root(parent, mesh.mergeFromVert[i]);
    const uint64_t b = Root(parent, mesh.mergeToVert[i]);
    if (a < b) {
      parent[b] = a;
    } else {
      parent[a] = b;
    }
  }

  // parent[] becomes the new number of every vertex, in vertex order: a root
  // takes the next number (never above its old one, so its properties move
  // down in place); any other vertex's parent lies below it and so already
  // holds the number of their set.
  double* props = mesh.vertProperties.data();
  uint64_t kept = 0;
  for (uint64_t v = 0; v < vertexCount; ++v) {
    if (parent[v] == v) {
      std::copy_n(props + v * stride, stride, props + kept * stride);
      parent[v] = kept++;
    } else {
      parent[v] = parent[parent[v]];
    }
  }
  mesh.vertProperties.resize(kept * stride);
  for (uint64_t& corner : mesh.triVerts) corner = parent[corner];
  mesh.mergeFromVert.clear();
  mesh.mergeToVert.clear();
}

}  // namespace velamanifold
