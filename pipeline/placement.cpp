#include "pipeline/pipeline.h"

namespace velamanifold {
manifold::Manifold VelaPipeline::ApplyTransformation(const manifold::Manifold& solid,
                                                     const json&) const {
  return solid;
}
manifold::Manifold VelaPipeline::ApplyColorProps(const manifold::Manifold& solid,
                                                 const json&) const {
  return solid;
}
}  // namespace velamanifold
