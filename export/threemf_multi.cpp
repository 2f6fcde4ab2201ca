#include "export/threemf.h"
#include "pipeline/pipeline.h"

namespace velamanifold {
std::string VelaPipeline::Build3MFMultiObjectXML(const std::string&,
                                                 const std::vector<ThreeMFBuildPart>&) {
  return "";
}
}  // namespace velamanifold
