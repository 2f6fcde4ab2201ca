#include <algorithm>
#include <new>

#include "export/mesh_weld.h"
#include "export/threemf_format.h"
#include "export/xml_escape.h"
#include "params/dropdowns.h"
#include "params/templates.h"
#include "model/json_parse.h"
#include "model/limits.h"
#include "pipeline/pipeline.h"

namespace velamanifold {

namespace {

// A part that goes into the document, with its colours worked out.
struct BuiltPart {
  manifold::MeshGL64 mesh;
  size_t stride = 3;
  bool hasColor = false;
  bool uniform = false;
  std::string name;
  std::string color;
  std::string resolvedColor;            // the part's one colour; empty for none or several
  std::vector<int32_t> triangleColors;  // indices into the shared triangle colour table
};

// Switches a flag on for its lifetime and puts the former value back, also
// when the build throws.
class FlagOn {
 public:
  explicit FlagOn(bool& flag) : flag_(flag), saved_(flag) { flag_ = true; }
  ~FlagOn() { flag_ = saved_; }
  FlagOn(const FlagOn&) = delete;
  FlagOn& operator=(const FlagOn&) = delete;

 private:
  bool& flag_;
  bool saved_;
};

bool IndicesWithin(const manifold::MeshGL64& mesh, size_t vertexCount) {
  return std::all_of(mesh.triVerts.begin(), mesh.triVerts.end(),
                     [vertexCount](uint64_t v) { return v < vertexCount; });
}

}  // namespace

std::string PartsTo3MFModelXML(std::vector<ThreeMFPartMesh> parts) {
  std::vector<BuiltPart> kept;
  kept.reserve(parts.size());
  ColorTable partColors;      // group ids 1, 2, ... in table order
  ColorTable triangleColors;  // the shared group's entries
  bool needShared = false;
  for (ThreeMFPartMesh& part : parts) {
    BuiltPart built;
    built.stride = part.mesh.numProp < 4 ? 3 : part.mesh.numProp;
    const size_t length = part.mesh.vertProperties.size();
    if (part.mesh.triVerts.size() < 3 || length % built.stride != 0 ||
        !IndicesWithin(part.mesh, length / built.stride)) {
      continue;
    }
    built.hasColor = part.mesh.numProp >= 6;
    if (built.hasColor) {
      built.triangleColors = TriangleColorIndices(part.mesh, built.stride, triangleColors);
      const int32_t first = built.triangleColors.front();
      built.uniform = std::all_of(built.triangleColors.begin(), built.triangleColors.end(),
                                  [first](int32_t c) { return c == first; });
      if (built.uniform) {
        built.resolvedColor = triangleColors.Entries()[first];
      } else {
        needShared = true;
      }
    } else {
      built.resolvedColor = part.color;
    }
    // Colours are per triangle from here on; readers need each position once.
    WeldMergedVertices(part.mesh, built.stride);
    if (!built.resolvedColor.empty()) partColors.Index(built.resolvedColor);
    built.mesh = std::move(part.mesh);
    built.name = std::move(part.name);
    built.color = std::move(part.color);
    kept.push_back(std::move(built));
  }
  if (kept.empty()) return "";

  const int partGroups = static_cast<int>(partColors.Entries().size());
  const int sharedId = partGroups + 1;
  // Objects are numbered after the last colour group so that no ids collide.
  const int firstObjectId = (needShared ? sharedId : partGroups) + 1;

  size_t size = 512 + (partGroups + triangleColors.Entries().size()) * 64;
  for (const BuiltPart& part : kept) {
    size += EstimatedXmlSize(part.mesh, part.stride) + part.name.size() + 128;
  }
  std::string out;
  out.reserve(size);
  AppendModelStart(out);
  out += "<resources>";
  for (int i = 0; i < partGroups; ++i) {
    out += "<m:colorgroup id=\"";
    AppendInteger(out, i + 1);
    out += "\"><m:color color=\"";
    out += LocalXmlEscape(partColors.Entries()[i]);
    out += "\"/></m:colorgroup>";
  }
  if (needShared) AppendColorGroup(out, sharedId, triangleColors.Entries());

  int objectId = firstObjectId;
  for (const BuiltPart& part : kept) {
    const bool perTriangle = part.hasColor && !part.uniform;
    out += "<object id=\"";
    AppendInteger(out, objectId++);
    out += "\" name=\"";
    out += LocalXmlEscape(part.name);
    out += "\" type=\"model\"";
    if (!perTriangle && partColors.Contains(part.resolvedColor)) {
      out += " pid=\"";
      AppendInteger(out, partColors.At(part.resolvedColor) + 1);
      out += '"';
    }
    out += "><mesh>";
    AppendVertices(out, part.mesh, part.stride, part.mesh.vertProperties.size() / part.stride);
    AppendTriangles(out, part.mesh, perTriangle ? &part.triangleColors : nullptr, sharedId);
    out += "</mesh></object>";
  }
  out += "</resources><build>";
  for (int id = firstObjectId; id < objectId; ++id) {
    out += "<item objectid=\"";
    AppendInteger(out, id);
    out += "\"/>";
  }
  out += "</build></model>";
  return out;
}

std::string VelaPipeline::Build3MFMultiObjectXML(const std::string& partsJson,
                                                 const std::vector<ThreeMFBuildPart>& parts) {
  if (parts.empty()) return "";
  json document;
  try {
    document = ParseJson(partsJson);
  } catch (const std::exception&) {
    return "";
  }
  SolveAllObjects(document);
  ResolveDropdowns(document);
  // Every part holds its own mesh until the document is written, so a long
  // list of parts counts against the copy ceiling like array copies do.
  ChargeCopies(static_cast<int64_t>(parts.size()));

  std::vector<ThreeMFPartMesh> meshes;
  meshes.reserve(parts.size());
  {
    FlagOn colors(wantColors);
    ClearCaches();
    for (const ThreeMFBuildPart& part : parts) {
      ThreeMFPartMesh built{{}, part.name, part.color};
      try {
        const manifold::Manifold solid = BuildInner(document, part.vid, nullptr);
        ChargeTriangles(static_cast<int64_t>(solid.NumTri()));
        built.mesh = solid.GetMeshGL64();
      } catch (const LimitError&) {
        throw;
      } catch (const std::bad_alloc&) {
        throw;
      } catch (...) {
        continue;  // a part that cannot be built is left out
      }
      meshes.push_back(std::move(built));
    }
  }
  return PartsTo3MFModelXML(std::move(meshes));
}

}  // namespace velamanifold
