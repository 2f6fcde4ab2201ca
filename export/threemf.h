// The single-object 3MF model document (formats shared with the multi-object
// writer are in threemf_format.h).
#pragma once

#include <string>

#include <manifold/manifold.h>

namespace velamanifold {

// Returns a one-line 3MF model document holding the solid as one mesh object
// named `name`, with per-triangle colours from its colour channels; the empty
// text when the mesh has no vertex or no triangle.
std::string ManifoldTo3MFModelXML(const manifold::Manifold& solid, const std::string& name);

// Returns the same document for the solid's mesh as GetMeshGL64 gives it.
std::string MeshTo3MFModelXML(manifold::MeshGL64 mesh, const std::string& name);

}  // namespace velamanifold
