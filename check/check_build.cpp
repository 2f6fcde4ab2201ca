// The build findings of a model document: each visible object is built as the
// "_all_" build builds it; one that builds nothing is traced down its
// references to the first reason, and a ceiling met is reported where it is met.
#include <cmath>
#include <exception>
#include <set>
#include <string>

#include "check/diagnostics.h"
#include "geometry/rounding.h"
#include "model/json_access.h"
#include "model/limits.h"
#include "model/object_keys.h"
#include "pipeline/pipeline.h"

namespace velamanifold {

namespace {

using json = nlohmann::json;

// Solids of less volume than this (cubic model units) are flat.
constexpr double kNoVolume = 1e-9;

// Reasons are traced this many references deep at most.
constexpr int kMaxTraceDepth = 20;

std::string Named(const std::string& id) { return "'" + id + "'"; }

// Finds why objects build nothing, with the pipeline's caches of one document
// (every object is built at most once, however often it is asked about).
class EmptyTracer {
 public:
  EmptyTracer(VelaPipeline& pipeline, const json& document)
      : pipeline_(pipeline), document_(document) {}

  bool SolidEmpty(const std::string& id) { return Solid(id).IsEmpty(); }

  manifold::Manifold Solid(const std::string& id) {
    return pipeline_.BuildInner(document_, id, nullptr);
  }

  bool RegionEmpty(const std::string& id) {
    return pipeline_.Resolve2DCrossSectionInner(document_, id, nullptr).IsEmpty();
  }

  // Returns why the solid of `id` is empty.
  std::string SolidReason(const std::string& id, int depth) {
    const json& object = FindObject(document_, id);
    if (object.is_null()) return "no object has the id " + Named(id);
    const std::string type = Js(object, "type", "");
    if (Is2DObjectType(type)) return RegionReason(id, depth);
    if (depth > kMaxTraceDepth || !onTrace_.insert(id).second) return "it refers back to itself";
    std::string reason = SolidReasonOf(object, type, depth);
    onTrace_.erase(id);
    return reason;
  }

  // Returns why the region of `id` is empty.
  std::string RegionReason(const std::string& id, int depth) {
    const json& object = FindObject(document_, id);
    if (object.is_null()) return "no object has the id " + Named(id);
    const std::string type = Js(object, "type", "");
    if (depth > kMaxTraceDepth || !onTrace_.insert(id).second) return "it refers back to itself";
    std::string reason = RegionReasonOf(object, type, depth);
    onTrace_.erase(id);
    return reason;
  }

 private:
  // Returns the reason traced into the first listed solid that builds
  // nothing, or "" when some listed solid builds.
  std::string FirstEmptySolid(const json& object, const char* key, const char* role, int depth) {
    const std::vector<std::string> ids = IdList(object, key);
    if (ids.empty()) return std::string("it lists no ") + role + " (\"" + key + "\")";
    for (const std::string& id : ids) {
      if (!SolidEmpty(id)) return "";
    }
    return "its " + std::string(role) + " " + Named(ids.front()) +
           " builds nothing: " + SolidReason(ids.front(), depth + 1);
  }

  // The same for listed regions.
  std::string FirstEmptyRegion(const json& object, const char* key, const char* role, int depth) {
    const std::vector<std::string> ids = IdList(object, key);
    if (ids.empty()) return std::string("it lists no ") + role + " (\"" + key + "\")";
    for (const std::string& id : ids) {
      if (!RegionEmpty(id)) return "";
    }
    return "its " + std::string(role) + " " + Named(ids.front()) +
           " is an empty region: " + RegionReason(ids.front(), depth + 1);
  }

  std::string SolidReasonOf(const json& object, const std::string& type, int depth) {
    const ObjectType* info = FindObjectType(type);
    if (type.empty()) return "it has no type";
    if (!info) return "its type \"" + type + "\" is unknown";
    if (info->openMembers || type == "parameter")
      return "a \"" + type + "\" object carries no geometry";

    if (type == "union" || type == "subtract" || type == "intersect" || type == "stretch" ||
        type == "mirror" || type == "grid" || type == "rectangularGrid" ||
        type == "hexagonalGrid" || type == "radialArray" || type == "array") {
      std::string reason = FirstEmptySolid(object, "baseObjects", "base", depth);
      if (!reason.empty()) return reason;
      if (type == "subtract") return "what it cuts away covers all of its base";
      if (type == "intersect") return "its base and what it intersects with do not overlap";
      if (type == "stretch") return "its scale leaves nothing of it";
      if (type == "grid" || type == "rectangularGrid" || type == "hexagonalGrid") {
        return "its grid holds no copy (rows or columns below 1)";
      }
      return "its placement leaves nothing of it";
    }
    if (type == "hull") {
      std::string reason = FirstEmptySolid(object, "baseObjects", "base", depth);
      return reason.empty() ? "its base objects enclose no volume" : reason;
    }
    if (type == "round") {
      std::string reason = FirstEmptySolid(object, "baseObjects", "base", depth);
      if (!reason.empty()) return reason;
      if (Jb(Jobj(object, "keepSize"), true) && !IsConvex(Solid(IdList(object, "baseObjects")[0]))) {
        return "its base is not convex, so it cannot be rounded within its own size; give it "
               "\"keepSize\": false to grow it by the radius instead";
      }
      return "its radius is half its thinnest side or more, which leaves nothing inside to round";
    }
    if (type == "extrudetwist") {
      std::string reason = FirstEmptyRegion(object, "baseObjects", "profile", depth);
      return reason.empty() ? "its height or twist leaves nothing" : reason;
    }
    if (type == "lathe") {
      std::string reason = FirstEmptyRegion(object, "outcut", "profile", depth);
      return reason.empty() ? "its cuts remove all of its profile" : reason;
    }
    if (type == "loft") {
      std::string reason = FirstEmptyRegion(object, "bottom", "bottom", depth);
      if (reason.empty()) reason = FirstEmptyRegion(object, "top", "top", depth);
      return reason.empty() ? "its profiles cannot be joined" : reason;
    }
    if (type == "plate") return PlateReason(object, depth);
    if (type == "polygons") return "none of its attachments holds a closed STL mesh";
    if (type == "includepart") return "its included model builds nothing";
    if (type == "text" || type == "svg") return "its outline points enclose no area";
    if (type == "bumpmesh" || type == "bumpmeshCylinder") {
      return "its height map or sizes leave nothing";
    }
    return "its sizes leave nothing";
  }

  std::string PlateReason(const json& object, int depth) {
    const std::string shell = Js(object, "outershell", "");
    if (shell.empty()) return "it names no outline (\"outershell\")";
    const json& named = FindObject(document_, shell);
    const std::string shellType = Js(named, "type", "");
    if (shellType == "plate" || shellType == "lathe") {
      if (SolidEmpty(shell)) {
        return "its body " + Named(shell) + " builds nothing: " + SolidReason(shell, depth + 1);
      }
      return "the machining of its body " + Named(shell) + " leaves nothing";
    }
    if (RegionEmpty(shell)) {
      return "its outline " + Named(shell) +
             " is an empty region: " + RegionReason(shell, depth + 1);
    }
    return "its cuts remove all of it";
  }

  std::string RegionReasonOf(const json& object, const std::string& type, int depth) {
    const json& size = Jobj(object, "size");
    if (type == "merge2d") {
      const bool any = !IdList(object, "union").empty() || !IdList(object, "subtract").empty() ||
                       !IdList(object, "intersect").empty();
      if (!any) return "it unites, cuts and intersects nothing";
      for (const char* key : {"union", "subtract", "intersect"}) {
        for (const std::string& id : IdList(object, key)) {
          if (RegionEmpty(id)) {
            return "its part " + Named(id) + " is an empty region: " + RegionReason(id, depth + 1);
          }
        }
      }
      return "its operations leave no area";
    }
    if (type == "slice") {
      const std::string source = Js(object, "outershell", "");
      if (source.empty()) return "it names no object to cut (\"outershell\")";
      if (SolidEmpty(source)) {
        return "its object " + Named(source) + " builds nothing: " + SolidReason(source, depth + 1);
      }
      return "the plane at z = " + std::to_string(Jd(Jobj(size, "z"), 0)) + " misses " +
             Named(source);
    }
    if (type == "rectangle" || type == "triangle2d") return "its sizes leave no area";
    if (type == "text" || type == "svg") return "its outline points enclose no area";
    if (type == "circle") return "its sizes leave no area";
    if (type.empty()) return "it has no type";
    return "a \"" + type + "\" object is no planar shape";
  }

  VelaPipeline& pipeline_;
  const json& document_;
  std::set<std::string> onTrace_;
};

}  // namespace

void CheckDocumentBuild(const std::string& text, int segments, Diagnostics& out) {
  VelaPipeline pipeline;
  pipeline.segments = segments;
  json document;
  if (!pipeline.LoadDocument(text, document)) return;
  CheckBuiltObjects(pipeline, document, out);
}

void CheckBuiltObjects(VelaPipeline& pipeline, const json& document, Diagnostics& out) {
  const json& objects = Jobj(document, "objects");
  if (!objects.is_array()) return;
  EmptyTracer tracer(pipeline, document);
  std::set<std::string> seen;
  for (size_t i = 0; i < objects.size(); ++i) {
    const json& entry = objects[i];
    const std::string pointer = "/objects/" + std::to_string(i);
    const std::string type = Js(entry, "type", "");
    const std::string vid = Js(entry, "vid", "");
    if (!Jb(Jobj(entry, "visible"), true) || type == "parameter" || vid.empty()) continue;
    // A repeated id builds the first object again; that is reported as a duplicate.
    if (!seen.insert(vid).second) continue;
    const ObjectType* info = FindObjectType(type);
    if (!info || info->openMembers) continue;  // reported as unknown, or no geometry by design
    try {
      const manifold::Manifold solid = tracer.Solid(vid);
      if (solid.IsEmpty()) {
        out.Warning(pointer, type + " " + Named(vid) +
                                 " is visible but builds nothing: " + tracer.SolidReason(vid, 0));
      } else if (!(std::abs(solid.Volume()) > kNoVolume)) {
        out.Warning(pointer, type + " " + Named(vid) +
                                 " builds a solid without volume (a size of 0 somewhere?)");
      }
    } catch (const LimitError& e) {
      // The ceilings count over the whole document: the objects after this one
      // would all meet it again.
      out.Error(pointer, type + " " + Named(vid) + " meets a ceiling: " + e.what());
      return;
    } catch (const std::exception& e) {
      out.Error(pointer, type + " " + Named(vid) + " fails to build: " + e.what());
    }
  }
}

}  // namespace velamanifold
