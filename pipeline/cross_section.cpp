#include "pipeline/pipeline.h"

namespace velamanifold {
manifold::CrossSection VelaPipeline::Resolve2DCrossSection(const std::string&, const std::string&) {
  return {};
}
manifold::CrossSection VelaPipeline::Resolve2DCrossSectionInner(const json&, const std::string&,
                                                                const VisitingSet*) {
  return {};
}
}  // namespace velamanifold
