// Handlers of the "plate" and "thread" object types: plates cut from planar
// outlines, the same machining applied to another plate or a lathe body, and
// metric threaded rods, which also cut the threaded holes of plates.
#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "geometry/plate.h"
#include "geometry/screw.h"
#include "model/json_access.h"
#include "model/limits.h"
#include "pipeline/pipeline.h"
#include "pipeline/thread_standards.h"

namespace velamanifold {

namespace {

using manifold::CrossSection;
using manifold::Manifold;

// How far rods and lathe pockets reach past the faces they open, so that no
// skin of material is left on the face.
constexpr double kThreadOvershoot = 0.01;
constexpr double kPocketOvershoot = 0.01;

// Overrides diameter and pitch by the "standard" name of a "size" object;
// anything but a known name leaves them alone.
void ApplyStandard(const json& size, double& diameter, double& pitch) {
  if (!size.is_object()) return;
  const json& standard = Jobj(size, "standard");
  if (!standard.is_string()) return;
  auto it = ThreadStandards().find(standard.get<std::string>());
  if (it == ThreadStandards().end()) return;
  diameter = it->second.diameter;
  pitch = it->second.pitch;
}

// Throws when a screw of these sizes would have more helix rings than one
// screw may have, or its tooth more triangles than the request has left.
void CheckScrewRings(VelaPipeline& pipeline, double diameter, double length, double pitch,
                     int segments) {
  const int64_t rings = CheckCount(MetricScrewRings(diameter, length, pitch, segments),
                                   kMaxScrewRings, "screw thread ring count");
  // The tooth has 12 triangles per ring.
  pipeline.ChargeTriangles(12 * rings);
}

bool IsType(const json& object, const char* type) { return Js(object, "type", "") == type; }

// Returns the cutter of one threaded hole d deep whose opening lies on the
// face at height z: the hole runs up from the face for direction >= 0 and
// down from it otherwise, with a countersink of size min(d, c). Empty for
// unusable sizes; throws when the rod would need too many helix rings.
Manifold ThreadCutter(VelaPipeline& pipeline, const json& thread, double d, double z, double c,
                      int direction, int segments) {
  const json& size = Jobj(thread, "size");
  const json& move = Jobj(thread, "move");
  double diameter, pitch, mx, my;
  try {
    // The thread is an object of its own: an unusable number of it leaves
    // its hole out, not the plate.
    diameter = Jd(Jobj(size, "diameter"), 5);
    pitch = Jd(Jobj(size, "screw"), 0.8);
    mx = Jd(Jobj(move, "x"), 0);
    my = Jd(Jobj(move, "y"), 0);
  } catch (const UnusableNumber&) {
    return Manifold();
  }
  ApplyStandard(size, diameter, pitch);
  if (!(d > 0) || !(diameter > 0) || !(pitch > 0)) return Manifold();

  // Infinite or NaN positions would reach the Booleans as unusable vertices.
  for (double v : {d, z, diameter, pitch, mx, my}) {
    if (!std::isfinite(v)) return Manifold();
  }
  const double cc = c > 0 ? std::min(d, c) : 0;
  const double zb = direction >= 0 ? z : z - d;

  CheckScrewRings(pipeline, diameter, d + 2 * kThreadOvershoot, pitch, segments);
  Manifold cutter = MetricScrew(diameter, d + 2 * kThreadOvershoot, pitch, segments)
                        .Translate({mx, my, zb - kThreadOvershoot});
  if (cc > 0) {
    // The cone is widest on the face and narrows into the material.
    const double r = diameter / 2;
    Manifold cone = direction >= 0
                        ? Manifold::Cylinder(cc, r + cc, r, segments).Translate({mx, my, z})
                        : Manifold::Cylinder(cc, r, r + cc, segments).Translate({mx, my, z - cc});
    cutter = cutter.IsEmpty() ? cone : cutter + cone;
  }
  return cutter;
}

// Returns the solid with the threaded holes of the plate's "thread" inner cuts
// made into the face at height z (depths limited to maxDepth).
Manifold ApplyPlateThreadCuts(VelaPipeline& pipeline, const json& document, const json& plate,
                              Manifold solid, double maxDepth, double z, double c, int direction,
                              int segments) {
  const json& cuts = Jobj(plate, "innercuts");
  if (solid.IsEmpty() || !cuts.is_array()) return solid;
  for (const json& entry : cuts) {
    const std::string id = Js(entry, "vid", "");
    if (id.empty()) continue;
    const json& thread = FindObject(document, id);
    if (thread.is_null() || !IsType(thread, "thread")) continue;
    const double d = CutDepth(Jd(Jobj(entry, "depth"), 0), maxDepth);
    Manifold cutter = ThreadCutter(pipeline, thread, d, z, c, direction, segments);
    if (!cutter.IsEmpty()) solid -= cutter;
  }
  return solid;
}

// The plate options every mode reads from "size".
struct PlateOptions {
  double depth;
  double offset;
  double chamferOuter;
  double chamferInner;
};

PlateOptions ReadPlateOptions(const json& object) {
  const json& size = Jobj(object, "size");
  return {std::max(Jd(Jobj(size, "depth"), 3), kMinPlateThickness), Jd(Jobj(size, "offset"), 0),
          Jd(Jobj(size, "faseTopOuter"), 0), Jd(Jobj(size, "faseTopInner"), 0)};
}

// Returns a copy of the visiting set (empty when absent) holding `id` too.
VisitingSet Extended(const VisitingSet* visiting, const std::string& id) {
  VisitingSet extended = visiting ? *visiting : VisitingSet{};
  extended.insert(id);
  return extended;
}

// Returns the regions of the plate's planar inner cuts in order; "thread"
// cuts are left to ApplyPlateThreadCuts.
std::vector<PlateInnerCut> PlanarCuts(VelaPipeline& pipeline, const json& document,
                                      const json& plate, double chamfer,
                                      const VisitingSet* visiting) {
  std::vector<PlateInnerCut> cuts;
  const json& entries = Jobj(plate, "innercuts");
  if (!entries.is_array()) return cuts;
  for (const json& entry : entries) {
    const std::string id = Js(entry, "vid", "");
    if (id.empty() || IsType(FindObject(document, id), "thread")) continue;
    CrossSection region = pipeline.ReferencedRegion(document, id, visiting);
    if (region.IsEmpty()) continue;
    cuts.push_back({region, Jd(Jobj(entry, "depth"), 0), chamfer});
  }
  return cuts;
}

// Returns the plate `named` (the shell of `plate`) machined from its underside:
// bottom edge bevelled, cuts and threaded holes made upward from its lowest z.
Manifold MachinePlate(VelaPipeline& pipeline, const json& document, const json& plate,
                      const std::string& shell, const json& named, const PlateOptions& options,
                      const VisitingSet& visiting, int segments) {
  // Only one level is built: a plate machining a plate that machines a plate
  // (two plates naming each other included) is empty.
  const std::string innerShell = Js(named, "outershell", "");
  if (IsType(FindObject(document, innerShell), "plate")) return Manifold();
  Manifold built = pipeline.Referenced(document, shell, &visiting);
  if (built.IsEmpty()) return Manifold();
  CrossSection section;
  if (!innerShell.empty()) {
    section = pipeline.ReferencedRegion(document, innerShell, &visiting);
  }
  const manifold::Box box = built.BoundingBox();
  const double z0 = box.min.z, z1 = box.max.z;

  PlateParams params;
  params.chamferOuter = options.chamferOuter;
  params.chamferInner = options.chamferInner;
  params.innerCuts = PlanarCuts(pipeline, document, plate, options.chamferInner, &visiting);
  Manifold solid = PlateShellA(params, section, built, z0, z1, segments);
  const double thickness = std::max(z1 - z0, kMinPlateThickness);
  return ApplyPlateThreadCuts(pipeline, document, plate, solid, thickness, z0,
                              options.chamferInner, +1, segments);
}

// Returns the lathe body `shell` with the plate's cuts sunk into it from the
// top of its bounding box.
Manifold MachineLathe(VelaPipeline& pipeline, const json& document, const json& plate,
                      const std::string& shell, const PlateOptions& options,
                      const VisitingSet& visiting, int segments) {
  Manifold result = pipeline.Referenced(document, shell, &visiting);
  if (result.IsEmpty()) return Manifold();
  const manifold::Box box = result.BoundingBox();
  const double top = box.max.z;
  const double thickness = std::max(top - box.min.z, kMinPlateThickness);
  const json& entries = Jobj(plate, "innercuts");
  if (!entries.is_array()) return result;
  for (const json& entry : entries) {
    const std::string id = Js(entry, "vid", "");
    if (id.empty()) continue;
    const double d = CutDepth(Jd(Jobj(entry, "depth"), 0), thickness);
    const json& cut = FindObject(document, id);
    if (IsType(cut, "thread")) {
      Manifold cutter = ThreadCutter(pipeline, cut, d, top, options.chamferInner, -1, segments);
      if (!cutter.IsEmpty()) result -= cutter;
      continue;
    }
    CrossSection region = pipeline.ReferencedRegion(document, id, &visiting);
    if (region.IsEmpty()) continue;
    // The pocket pierces the top face so that no skin is left on it.
    const double ci = options.chamferInner > 0 ? std::min(d, options.chamferInner) : 0;
    result -= ci > 0 ? CountersunkHole(region, top - d, top, ci, d >= thickness, segments)
                     : ExtrudeLayer(region, top - d, d + kPocketOvershoot);
  }
  return result;
}

}  // namespace

Manifold VelaPipeline::BuildThreadObject(const json& object) {
  const json& size = Jobj(object, "size");
  double diameter, length, pitch;
  if (size.is_object()) {
    diameter = Jd(Jobj(size, "diameter"), 10);
    length = Jd(Jobj(size, "height"), 20);
    pitch = Jd(Jobj(size, "screw"), 1);
    ApplyStandard(size, diameter, pitch);
  } else {
    // A bare number is diameter, length and pitch at once.
    diameter = Jd(size, 10);
    length = Jd(size, 20);
    pitch = Jd(size, 1);
  }
  const int n = PipelineSegments();
  CheckScrewRings(*this, diameter, length, pitch, n);
  return MetricScrew(diameter, length, pitch, n);
}

Manifold VelaPipeline::BuildPlateObject(const json& document, const json& object,
                                        const std::string& id, const VisitingSet* visiting) {
  const std::string shell = Js(object, "outershell", "");
  if (shell.empty()) return Manifold();
  const int n = PipelineSegments();
  const PlateOptions options = ReadPlateOptions(object);
  const json& named = FindObject(document, shell);
  const bool plateMode = IsType(named, "plate");
  if (plateMode || IsType(named, "lathe")) {
    if (visiting && visiting->count(shell)) return Manifold();
    // The shell is built with this plate on the path, so that it cannot come back here.
    const VisitingSet extended = Extended(visiting, id);
    return plateMode ? MachinePlate(*this, document, object, shell, named, options, extended, n)
                     : MachineLathe(*this, document, object, shell, options, extended, n);
  }

  PlateParams params;
  params.outline = ReferencedRegion(document, shell, visiting);
  if (params.outline.IsEmpty()) return Manifold();
  params.height = options.depth;
  params.offset = options.offset;
  params.chamferOuter = options.chamferOuter;
  params.chamferInner = options.chamferInner;
  params.innerCuts = PlanarCuts(*this, document, object, options.chamferInner, visiting);
  Manifold solid = Plate(params, n);
  // Holes run down from the top face.
  return ApplyPlateThreadCuts(*this, document, object, solid, params.height, params.height,
                              options.chamferInner, -1, n);
}

}  // namespace velamanifold
