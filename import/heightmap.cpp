#include "import/heightmap.h"

namespace velamanifold {
manifold::Manifold BumpMeshToManifold(const std::vector<uint8_t>&, int, int, double, double, double,
                                      double, int) {
  return {};
}
manifold::Manifold BumpMeshToCylinderManifold(const std::vector<uint8_t>&, int, int, double,
                                              double, double, int) {
  return {};
}
}  // namespace velamanifold
