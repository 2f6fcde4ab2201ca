#include "export/threemf.h"

namespace velamanifold {
std::string ManifoldTo3MFModelXML(const manifold::Manifold&, const std::string&) { return ""; }
}  // namespace velamanifold
