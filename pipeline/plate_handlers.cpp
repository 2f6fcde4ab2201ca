#include "pipeline/pipeline.h"

namespace velamanifold {
manifold::Manifold VelaPipeline::BuildPlateObject(const json&, const json&, const std::string&,
                                                  const VisitingSet*) {
  return {};
}
manifold::Manifold VelaPipeline::BuildThreadObject(const json&) { return {}; }
}  // namespace velamanifold
