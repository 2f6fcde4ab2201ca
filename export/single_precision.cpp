#include "export/single_precision.h"

namespace velamanifold {

manifold::MeshGL SinglePrecision(const manifold::MeshGL64& mesh) {
  manifold::MeshGL out;
  out.numProp = mesh.numProp;
  out.vertProperties.assign(mesh.vertProperties.begin(), mesh.vertProperties.end());
  out.triVerts.assign(mesh.triVerts.begin(), mesh.triVerts.end());
  out.faceID.assign(mesh.faceID.begin(), mesh.faceID.end());
  out.runIndex.assign(mesh.runIndex.begin(), mesh.runIndex.end());
  out.runOriginalID = mesh.runOriginalID;
  return out;
}

}  // namespace velamanifold
