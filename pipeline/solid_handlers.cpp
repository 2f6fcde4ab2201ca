#include "pipeline/pipeline.h"

namespace velamanifold {
manifold::Manifold VelaPipeline::BuildSolidObject(const std::string&, const json&, const json&,
                                                  const VisitingSet*) {
  return {};
}
}  // namespace velamanifold
