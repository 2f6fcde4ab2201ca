#include "pipeline/pipeline.h"

#include <new>
#include <optional>
#include <stdexcept>

#include "params/dropdowns.h"
#include "params/templates.h"
#include "model/json_access.h"
#include "model/json_parse.h"
#include "model/limits.h"

namespace velamanifold {

namespace {

using manifold::Manifold;

enum class Family { kNone, kSolid, kProfile, kPlate, kArray, kThread, kImported, kShape };

const std::map<std::string, Family>& FamilyTable() {
  static const std::map<std::string, Family> kTable = {
      {"cube", Family::kSolid},           {"cylinder", Family::kSolid},
      {"cone", Family::kSolid},           {"sphere", Family::kSolid},
      {"torus", Family::kSolid},          {"triangle", Family::kSolid},
      {"rectangle", Family::kProfile},    {"circle", Family::kProfile},
      {"triangle2d", Family::kProfile},   {"merge2d", Family::kProfile},
      {"plate", Family::kPlate},          {"lathe", Family::kProfile},
      {"loft", Family::kProfile},         {"extrudetwist", Family::kProfile},
      {"union", Family::kSolid},          {"subtract", Family::kSolid},
      {"intersect", Family::kSolid},      {"stretch", Family::kSolid},
      {"mirror", Family::kSolid},         {"rectangularGrid", Family::kArray},
      {"grid", Family::kArray},           {"radialArray", Family::kArray},
      {"array", Family::kArray},          {"hexagonalGrid", Family::kArray},
      {"thread", Family::kThread},        {"polygons", Family::kImported},
      {"includepart", Family::kImported}, {"text", Family::kImported},
      {"svg", Family::kImported},         {"bumpmesh", Family::kImported},
      {"bumpmeshCylinder", Family::kImported}, {"slice", Family::kProfile},
      {"hull", Family::kShape},           {"round", Family::kShape},
      // Parameters and the settings of machines and tools carry no geometry.
      {"parameter", Family::kNone},       {"slicer", Family::kNone},
      {"fdm", Family::kNone},             {"factory", Family::kNone},
      {"drillbit", Family::kNone},        {"fraese", Family::kNone},
      {"toolbit", Family::kNone},         {"cncLathe", Family::kNone},
  };
  return kTable;
}

Family FamilyOf(const std::string& type) {
  auto it = FamilyTable().find(type);
  return it == FamilyTable().end() ? Family::kNone : it->second;
}

}  // namespace

std::vector<std::string> DispatchedTypeNames() {
  std::vector<std::string> names;
  for (const auto& [name, family] : FamilyTable()) names.push_back(name);
  return names;
}

void AddTo(Manifold& acc, const Manifold& solid) {
  if (acc.IsEmpty()) {
    acc = solid;
  } else if (!solid.IsEmpty()) {
    acc = acc + solid;
  }
}

// Returns the id of the one object "_all_" unites, or "" when there are
// none or several (the entries "_all_" builds, counted as it counts them).
std::string OnlyVisibleObject(const json& document) {
  if (!document.is_object() || !document.contains("objects")) return "";
  std::string only;
  int count = 0;
  for (const json& entry : document["objects"]) {
    const std::string vid = Js(Jobj(entry, "vid"), "");
    if (!Jb(Jobj(entry, "visible"), true) || Js(Jobj(entry, "type"), "") == "parameter" ||
        vid.empty()) {
      continue;
    }
    if (++count > 1) return "";
    only = vid;
  }
  return only;
}

std::vector<std::string> IdList(const json& object, const std::string& key) {
  std::vector<std::string> ids;
  const json& list = Jobj(object, key);
  if (!list.is_array()) return ids;
  for (const json& element : list) {
    if (element.is_string()) ids.push_back(element.get<std::string>());
  }
  return ids;
}

VelaPipeline::NestingGuard::NestingGuard(VelaPipeline& pipeline) : pipeline_(pipeline) {
  if (pipeline_.depth_ >= kMaxObjectDepth) {
    throw LimitError("objects nest deeper than " + std::to_string(kMaxObjectDepth) +
                             " levels");
  }
  ++pipeline_.depth_;
}

void VelaPipeline::ChargeCopies(int64_t n, int64_t trianglesEach) {
  if (n <= 0) return;
  copies_ += n;
  CheckCount(copies_, kMaxCopies, "copy count");
  // Both factors are bounded here (n by the copy ceiling), so the product fits.
  ChargeTriangles(n * trianglesEach);
}

void VelaPipeline::ChargeTriangles(int64_t n) {
  if (n <= 0) return;
  triangles_ += n;
  CheckCount(triangles_, kMaxTriangles, "triangle count");
}

void VelaPipeline::ChargeOutlinePoints(int64_t n) {
  if (n <= 0) return;
  outlinePoints_ += n;
  CheckCount(outlinePoints_, kMaxOutlinePoints, "outline point count");
}

int VelaPipeline::PipelineSegments() const { return CheckSegments(segments, "segment count"); }

bool VelaPipeline::LoadDocument(const std::string& text, json& document) {
  // A new document: nothing resolved or built for an earlier one applies.
  ClearCaches();
  try {
    document = ParseJson(text);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    return false;
  }
  SolveAllObjects(document);
  ResolveDropdowns(document);
  return true;
}

Manifold VelaPipeline::Build(const std::string& text, const std::string& id) {
  json document;
  if (!LoadDocument(text, document)) return Manifold();
  return BuildInner(document, id, nullptr);
}

Manifold VelaPipeline::BuildInner(const json& document, const std::string& id,
                                  const VisitingSet* visiting) {
  if (id == "_all_") {
    Manifold result;
    if (!document.is_object() || !document.contains("objects")) return result;
    for (const json& entry : document["objects"]) {
      Manifold m;
      try {
        if (!Jb(Jobj(entry, "visible"), true)) continue;
        std::string type = Js(Jobj(entry, "type"), "");
        std::string vid = Js(Jobj(entry, "vid"), "");
        if (type == "parameter" || vid.empty()) continue;
        m = BuildInner(document, vid, visiting);
      } catch (const LimitError&) {
        throw;
      } catch (const std::bad_alloc&) {
        throw;
      } catch (const std::exception&) {
        continue;
      }
      AddTo(result, m);
    }
    return result;
  }

  // Only the call BuildMesh makes leaves its object uncoloured, not an
  // object of the same id in a model that object includes.
  const bool colorLater = id == colorLater_;
  colorLater_.clear();

  auto cached = state_.solids.find(id);
  if (cached != state_.solids.end()) {
    // Objects uniting all earlier objects would otherwise double this work
    // with each one; now the copy ceiling ends them.
    ChargeCopies(state_.copiesCharged[id]);
    return cached->second;
  }
  // An object that reaches itself through its references builds nothing there.
  if (state_.building.count(id)) return Manifold();

  const json& object = FindObject(document, id);
  if (object.is_null()) {
    state_.solids[id] = Manifold();
    return Manifold();
  }
  NestingGuard nesting(*this);
  OnPath onPath(state_.building, id);

  std::string type = Js(Jobj(object, "type"), "");
  const int64_t copiesBefore = copies_;
  Manifold result;
  try {
    NumberCheckScope numbers;
    result = BuildRaw(type, document, object, id, visiting);
    if (!Is2DObjectType(type)) result = ApplyTransformation(result, object);
  } catch (const UnusableNumber&) {
    result = Manifold();
  }
  if (wantColors && !colorLater) result = ApplyColorProps(result, object);
  state_.solids[id] = result;
  state_.copiesCharged[id] = copies_ - copiesBefore;
  return result;
}

manifold::MeshGL64 VelaPipeline::BuildMesh(const json& document, const std::string& id,
                                           const std::function<void()>& whileCached) {
  // "_all_" of one object is that object's solid.
  const std::string one = id == "_all_" ? OnlyVisibleObject(document) : id;
  if (!wantColors || one.empty()) {
    manifold::MeshGL64 mesh = BuildInner(document, id, nullptr).GetMeshGL64();
    if (whileCached && mesh.NumTri() > 0) whileCached();
    return mesh;
  }
  colorLater_ = one;
  Manifold solid;
  std::optional<manifold::vec3> color;
  try {
    solid = BuildInner(document, one, nullptr);
    color = UniformColor(solid, FindObject(document, one));
  } catch (const LimitError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    // "_all_" passes over an object that fails, its colour included.
    if (id != "_all_") throw;
    solid = Manifold();
    color.reset();
  }
  colorLater_.clear();
  if (whileCached && !solid.IsEmpty()) whileCached();
  manifold::MeshGL64 mesh = solid.GetMeshGL64();
  solid = Manifold();
  ClearCaches();
  return color ? PaintedMesh(std::move(mesh), *color) : mesh;
}

Manifold VelaPipeline::BuildRaw(const std::string& type, const json& document, const json& object,
                                const std::string& id, const VisitingSet* visiting) {
  Manifold result;
  switch (FamilyOf(type)) {
    case Family::kSolid:
      result = BuildSolidObject(type, document, object, visiting);
      break;
    case Family::kProfile:
      result = BuildProfileObject(type, document, object, id, visiting);
      break;
    case Family::kPlate:
      result = BuildPlateObject(document, object, id, visiting);
      break;
    case Family::kArray:
      result = BuildArrayObject(type, document, object, visiting);
      break;
    case Family::kThread:
      result = BuildThreadObject(object);
      break;
    case Family::kImported:
      result = BuildImportedObject(type, document, object, visiting);
      break;
    case Family::kShape:
      result = BuildShapeObject(type, document, object, visiting);
      break;
    case Family::kNone:
      break;
  }
  return result;
}

Manifold VelaPipeline::Referenced(const json& document, const std::string& id,
                                  const VisitingSet* visiting) {
  Manifold solid = BuildInner(document, id, visiting);
  ChargeCopies(1, static_cast<int64_t>(solid.NumTri()));
  return solid;
}

manifold::CrossSection VelaPipeline::ReferencedRegion(const json& document, const std::string& id,
                                                      const VisitingSet* visiting) {
  manifold::CrossSection region = Resolve2DCrossSectionInner(document, id, visiting);
  ChargeCopies(1, static_cast<int64_t>(region.NumVert()));
  return region;
}

Manifold VelaPipeline::ReferencedUnion(const json& document, const json& object,
                                       const std::string& key, const VisitingSet* visiting) {
  const std::vector<std::string> ids = IdList(object, key);
  // The whole list counts before anything is built; an id listed again
  // counts again but adds nothing to the union.
  ChargeCopies(static_cast<int64_t>(ids.size()));
  std::set<std::string> united;
  Manifold acc;
  for (const std::string& id : ids) {
    Manifold solid = BuildInner(document, id, visiting);
    ChargeTriangles(static_cast<int64_t>(solid.NumTri()));
    if (united.insert(id).second) AddTo(acc, solid);
  }
  return acc;
}

std::vector<manifold::CrossSection> VelaPipeline::ReferencedRegions(const json& document,
                                                                    const json& object,
                                                                    const std::string& key,
                                                                    const VisitingSet* visiting) {
  const std::vector<std::string> ids = IdList(object, key);
  ChargeCopies(static_cast<int64_t>(ids.size()));
  std::vector<manifold::CrossSection> regions;
  for (const std::string& id : ids) {
    manifold::CrossSection region = Resolve2DCrossSectionInner(document, id, visiting);
    ChargeTriangles(static_cast<int64_t>(region.NumVert()));
    if (!region.IsEmpty()) regions.push_back(std::move(region));
  }
  return regions;
}

}  // namespace velamanifold
