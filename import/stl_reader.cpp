#include "import/stl_reader.h"

namespace velamanifold {
manifold::Manifold StlBufferToManifold(const std::vector<uint8_t>&, int) { return {}; }
}  // namespace velamanifold
