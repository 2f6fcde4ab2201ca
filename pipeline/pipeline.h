// The build pipeline: turns a model document into solids and regions, one
// object at a time, with a cache per request.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <manifold/cross_section.h>
#include <manifold/manifold.h>
#include <nlohmann/json.hpp>

namespace velamanifold {

using json = nlohmann::json;

// Ids handed down recursive builds; absent (null) at the top.
using VisitingSet = std::set<std::string>;

// Returns the mesh the library gives a solid after the colour channels of
// every vertex are set to `color`, from `mesh`, that of the solid before.
manifold::MeshGL64 PaintedMesh(manifold::MeshGL64 mesh, manifold::vec3 color);

class VelaPipeline {
 public:
  // One requested part of a multi-object 3MF build.
  struct ThreeMFBuildPart {
    std::string vid;
    std::string name;
    std::string color;
  };

  int segments = 64;
  double planarThickness = 0.001;
  bool wantColors = false;
  // Red, green and blue (0..1) of a solid with no colour of its own and no
  // coloured parts: the requests' green unless a command for people sets another.
  double plainColor[3] = {0.0, 1.0, 0.0};

  // Returns the solid of object `id` ("_all_": the union of every visible
  // object) of the model document `text`; empty when the text is not JSON.
  manifold::Manifold Build(const std::string& text, const std::string& id);

  // Returns the placed (and, with wantColors, coloured) solid of object `id`
  // of a resolved document, building each id at most once per request.
  manifold::Manifold BuildInner(const json& document, const std::string& id,
                                const VisitingSet* visiting);

  // Returns the mesh (in double precision) of BuildInner's solid of object
  // `id`, having called `whileCached` (when the solid is not empty) while
  // the solids built are still in the caches. For one object (or "_all_" of one) with wantColors, the
  // colour its own record gives every vertex is written into the mesh after
  // the solid and the caches are let go, so that a large part is never held
  // twice; the caches are empty afterwards.
  manifold::MeshGL64 BuildMesh(const json& document, const std::string& id,
                               const std::function<void()>& whileCached = {});

  // Returns the unplaced solid of one object by its type's handler family.
  manifold::Manifold BuildRaw(const std::string& type, const json& document, const json& object,
                              const std::string& id, const VisitingSet* visiting);

  // Returns the solid rotated and moved by the object's "rotate" and "move".
  manifold::Manifold ApplyTransformation(const manifold::Manifold& solid, const json& object) const;

  // Returns the solid with red, green and blue vertex channels from the
  // object's "color" (or the default green when it has none and no channels).
  // Throws when the colour text holds non-hexadecimal pieces.
  manifold::Manifold ApplyColorProps(const manifold::Manifold& solid, const json& object) const;

  // Returns the colour ApplyColorProps gives every vertex of the solid, or
  // nothing when it keeps the solid's own channels (or the solid is empty).
  std::optional<manifold::vec3> UniformColor(const manifold::Manifold& solid,
                                             const json& object) const;

  // Returns the planar region of object `id` of the model document `text`;
  // empty when the text is not JSON.
  manifold::CrossSection Resolve2DCrossSection(const std::string& text, const std::string& id);

  // Returns the planar region of object `id` of a resolved document; ids in
  // `visiting` and ids already being resolved give the empty region.
  manifold::CrossSection Resolve2DCrossSectionInner(const json& document, const std::string& id,
                                                    const VisitingSet* visiting);

  // Returns one 3MF model document holding every part that builds, or the
  // empty text when none does.
  std::string Build3MFMultiObjectXML(const std::string& partsJson,
                                     const std::vector<ThreeMFBuildPart>& parts);

  // Handler families, each returning the raw solid of one object (before
  // placement and colour). `type` is the object's type name.
  manifold::Manifold BuildSolidObject(const std::string& type, const json& document,
                                      const json& object, const VisitingSet* visiting);
  manifold::Manifold BuildArrayObject(const std::string& type, const json& document,
                                      const json& object, const VisitingSet* visiting);
  manifold::Manifold BuildProfileObject(const std::string& type, const json& document,
                                        const json& object, const std::string& id,
                                        const VisitingSet* visiting);
  manifold::Manifold BuildImportedObject(const std::string& type, const json& document,
                                         const json& object, const VisitingSet* visiting);
  manifold::Manifold BuildPlateObject(const json& document, const json& object,
                                      const std::string& id, const VisitingSet* visiting);
  manifold::Manifold BuildThreadObject(const json& object);
  manifold::Manifold BuildShapeObject(const std::string& type, const json& document,
                                      const json& object, const VisitingSet* visiting);

  // Returns the solid of one listed reference, counted as one more copy of
  // its triangles also when it comes from the cache: a list can name the
  // same object any number of times. Throws LimitError past a ceiling.
  manifold::Manifold Referenced(const json& document, const std::string& id,
                                const VisitingSet* visiting);

  // Returns the region of one listed reference, counted as one more copy of
  // its points; throws LimitError past a ceiling.
  manifold::CrossSection ReferencedRegion(const json& document, const std::string& id,
                                          const VisitingSet* visiting);

  // Returns the solid of the STL attachment `id` (empty when there is none or
  // it is refused), decoded once per document (charged by its size) and
  // counted as one more copy of its triangles at every later use.
  manifold::Manifold StlAttachment(const json& document, const std::string& id);

  // Returns the union of the solids of the string ids listed under `key`;
  // empty results are skipped. Every listed id is charged, repeats included.
  manifold::Manifold ReferencedUnion(const json& document, const json& object,
                                     const std::string& key, const VisitingSet* visiting);

  // Returns the non-empty regions of the string ids listed under `key`, in order.
  std::vector<manifold::CrossSection> ReferencedRegions(const json& document, const json& object,
                                                        const std::string& key,
                                                        const VisitingSet* visiting);

  // Counts `n` more copies, each of `trianglesEach` triangles, against the
  // request's copy and triangle ceilings; throws LimitError past either.
  void ChargeCopies(int64_t n, int64_t trianglesEach = 0);

  // Counts `n` more triangles against the request's triangle ceiling; throws
  // LimitError past it.
  void ChargeTriangles(int64_t n);

  // Counts `n` more outline points against the request's outline point
  // ceiling; throws LimitError past it.
  void ChargeOutlinePoints(int64_t n);

  // Returns the pipeline segment count; throws when it is above the ceiling.
  int PipelineSegments() const;

  // Returns the triangles charged so far against the request's ceiling.
  int64_t TrianglesCharged() const { return triangles_; }

 private:
  // Caches and in-progress ids of one model document.
  struct DocumentState {
    std::map<std::string, manifold::Manifold> solids;
    std::map<std::string, manifold::CrossSection> regions;
    std::map<std::string, manifold::Manifold> stlAttachments;
    // Copies charged while building each solid, charged again whenever the
    // cached solid is used again: the library's bookkeeping of where each
    // triangle came from grows with every use, as if it were built anew.
    std::map<std::string, int64_t> copiesCharged;
    std::set<std::string> building;   // ids whose solid is being built
    std::set<std::string> resolving;  // ids whose region is being resolved
  };

 public:
  // Sets the pipeline's caches aside for its lifetime, so that an included
  // model's ids neither see nor overwrite them, and puts them back on exit,
  // also when the build throws.
  class SeparateCaches {
   public:
    explicit SeparateCaches(VelaPipeline& pipeline)
        : pipeline_(pipeline), saved_(std::move(pipeline.state_)) {
      pipeline_.state_ = DocumentState{};
    }
    ~SeparateCaches() { pipeline_.state_ = std::move(saved_); }
    SeparateCaches(const SeparateCaches&) = delete;
    SeparateCaches& operator=(const SeparateCaches&) = delete;

   private:
    VelaPipeline& pipeline_;
    DocumentState saved_;
  };

  // Counts one more level of nested building for its lifetime; throws when
  // references or includes nest deeper than the ceiling.
  class NestingGuard {
   public:
    explicit NestingGuard(VelaPipeline& pipeline);
    ~NestingGuard() { --pipeline_.depth_; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;

   private:
    VelaPipeline& pipeline_;
  };

  // Empties both caches.
  void ClearCaches() { state_ = DocumentState{}; }

  // Empties the caches and returns true with `document` parsed from `text`,
  // its templates solved and dropdowns resolved; false when the text is not JSON.
  bool LoadDocument(const std::string& text, json& document);

 private:
  // Marks an id as being built (or resolved) on the current path for the
  // lifetime of the scope, so that a reference back to it is recognised.
  class OnPath {
   public:
    OnPath(std::set<std::string>& path, const std::string& id) : path_(path), id_(id) {
      path_.insert(id_);
    }
    ~OnPath() { path_.erase(id_); }
    OnPath(const OnPath&) = delete;
    OnPath& operator=(const OnPath&) = delete;

   private:
    std::set<std::string>& path_;
    std::string id_;
  };

  DocumentState state_;
  // The object BuildMesh colours itself: the BuildInner call it makes leaves
  // it uncoloured (and forgets it).
  std::string colorLater_;
  int depth_ = 0;
  int64_t copies_ = 0;
  int64_t triangles_ = 0;
  int64_t outlinePoints_ = 0;
};

// Returns every object type name the pipeline knows, in ascending order: those
// that build geometry and those that build nothing ("parameter", machine and
// tool settings).
std::vector<std::string> DispatchedTypeNames();

// Unites `solid` into `acc`; an empty operand counts as absent.
void AddTo(manifold::Manifold& acc, const manifold::Manifold& solid);

// Returns the ids of the string elements of the array under `key`, in order.
std::vector<std::string> IdList(const json& object, const std::string& key);

}  // namespace velamanifold
