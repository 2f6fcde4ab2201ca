#include "pipeline/pipeline.h"

namespace velamanifold {
manifold::Manifold VelaPipeline::BuildProfileObject(const std::string&, const json&, const json&,
                                                    const std::string&, const VisitingSet*) {
  return {};
}
}  // namespace velamanifold
