#include "export/single_precision.h"

namespace velamanifold {

manifold::MeshGL SinglePrecision(const manifold::MeshGL64& mesh) {
  manifold::MeshGL out;
  out.numProp = mesh.numProp;
  out.vertProperties.assign(mesh.vertProperties.begin(), mesh.vertProperties.end());
  out.triVerts.assign(mesh.triVerts.begin(), mesh.triVerts.end());
  return out;
}

}  // namespace velamanifold
