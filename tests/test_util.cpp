#include "tests/test_util.h"

#include <cmath>
#include <map>
#include <tuple>

#include "pipeline/pipeline.h"

namespace velamanifold::testing {

bool IsClosed(const manifold::Manifold& solid) {
  manifold::MeshGL64 mesh = solid.GetMeshGL64();
  if (mesh.triVerts.empty()) return false;
  std::map<std::tuple<double, double, double>, uint64_t> ids;
  std::vector<uint64_t> merged(mesh.NumVert());
  for (size_t v = 0; v < mesh.NumVert(); ++v) {
    const double* p = &mesh.vertProperties[v * mesh.numProp];
    merged[v] = ids.emplace(std::make_tuple(p[0], p[1], p[2]), ids.size()).first->second;
  }
  std::map<std::pair<uint64_t, uint64_t>, int> edges;
  for (size_t t = 0; t + 2 < mesh.triVerts.size(); t += 3) {
    for (int k = 0; k < 3; ++k) {
      uint64_t a = merged[mesh.triVerts[t + k]], b = merged[mesh.triVerts[t + (k + 1) % 3]];
      ++edges[{a, b}];
    }
  }
  for (const auto& [edge, count] : edges) {
    auto back = edges.find({edge.second, edge.first});
    if (count != 1 || back == edges.end() || back->second != 1) return false;
  }
  return true;
}

bool BoxNear(const manifold::Box& box, manifold::vec3 lo, manifold::vec3 hi, double tol) {
  for (int i = 0; i < 3; ++i) {
    if (std::abs(box.min[i] - lo[i]) > tol || std::abs(box.max[i] - hi[i]) > tol) return false;
  }
  return true;
}

nlohmann::json Doc(const nlohmann::json& objects) { return {{"objects", objects}}; }

manifold::Manifold BuildDoc(const nlohmann::json& document, const std::string& id, int segments) {
  VelaPipeline pipeline;
  pipeline.segments = segments;
  return pipeline.Build(document.dump(), id);
}

manifold::CrossSection ResolveDoc(const nlohmann::json& document, const std::string& id,
                                  int segments) {
  VelaPipeline pipeline;
  pipeline.segments = segments;
  return pipeline.Resolve2DCrossSection(document.dump(), id);
}

}  // namespace velamanifold::testing
