// Handlers of the solid primitives and of the groups that combine or reshape
// other objects ("union", "subtract", "intersect", "stretch", "mirror").
#include <cctype>
#include <cmath>

#include "geometry/primitives.h"
#include "model/json_access.h"
#include "model/limits.h"
#include "pipeline/pipeline.h"

namespace velamanifold {

namespace {

using manifold::Manifold;

// Dimensions that must stay positive never go below this.
constexpr double kMinSize = 0.0001;

double AtLeastMin(double v) { return v < kMinSize ? kMinSize : v; }

bool Has(const json& size, const char* key) { return size.is_object() && size.contains(key); }

// Reads a dimension from a bare-number size first; a named member fills in
// only while the value still equals the default, so a bare number other than
// the default wins over every member.
double ReadDim(const json& size, const char* key, double def) {
  double v = AtLeastMin(Jd(size, def));
  if (v == def && Has(size, key)) v = AtLeastMin(Jd(Jobj(size, key), def));
  return v;
}

// A cube axis: "x"/"y"/"z" replace the bare-number value, and
// "width"/"length"/"height" fill in only while that is still 10.
double CubeDim(const json& size, const char* axis, const char* name) {
  double v = AtLeastMin(Jd(size, 10));
  if (Has(size, axis)) v = AtLeastMin(Jd(Jobj(size, axis), 10));
  if (v == 10 && Has(size, name)) v = AtLeastMin(Jd(Jobj(size, name), 10));
  return v;
}

// The round-shape count: a bare-number size sets it, then "segments"; a count
// below 3 falls back to the pipeline's.
int RoundSegments(const VelaPipeline& pipeline, const json& size, const std::string& type) {
  int count = Ji(size, 0);
  if (count == 0 && Has(size, "segments")) count = Ji(Jobj(size, "segments"), 0);
  if (count < 3) return pipeline.PipelineSegments();
  return CheckSegments(count, type + " segment count");
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

Manifold VelaPipeline::BuildSolidObject(const std::string& type, const json& document,
                                        const json& object, const VisitingSet* visiting) {
  const json& size = Jobj(object, "size");

  if (type == "cube") {
    double width = CubeDim(size, "x", "width");
    double length = CubeDim(size, "y", "length");
    double height = CubeDim(size, "z", "height");
    double offset = Jd(Jobj(size, "offset"), 0);
    return Cube(width, length, height, offset, false, segments);
  }
  if (type == "cylinder" || type == "cone") {
    double diameter = ReadDim(size, "diameter", 10);
    double height = ReadDim(size, "height", 20);
    int count = RoundSegments(*this, size, type);
    if (type == "cone") return Cone(diameter, height, count);
    return Cylinder(diameter, height, Jd(Jobj(size, "tapering"), 0), count);
  }
  if (type == "sphere") {
    return Sphere(ReadDim(size, "diameter", 10), PipelineSegments());
  }
  if (type == "torus") {
    double majorDiameter = ReadDim(size, "majorDiameter", 20);
    double tubeDiameter = ReadDim(size, "tubeDiameter", 5);
    return Torus(majorDiameter, tubeDiameter, PipelineSegments());
  }
  if (type == "triangle") {
    double width = AtLeastMin(Jd(Jobj(size, "width"), 10));
    double height = AtLeastMin(Jd(Jobj(size, "height"), 10));
    double depth = AtLeastMin(Jd(Jobj(size, "depth"), 10));
    return Triangle3D(width, height, depth, segments);
  }

  Manifold base = ReferencedUnion(document, object, "baseObjects", visiting);
  if (type == "union") return base;
  if (type == "subtract" || type == "intersect") {
    // An operation with nothing to act on keeps its base.
    bool cut = type == "subtract";
    Manifold other =
        ReferencedUnion(document, object, cut ? "subtractObjects" : "intersectObjects", visiting);
    if (base.IsEmpty() || other.IsEmpty()) return base;
    return cut ? base - other : base ^ other;
  }
  if (base.IsEmpty()) return base;
  if (type == "stretch") {
    const json& scale = Jobj(object, "scale");
    manifold::vec3 factor(Jd(Jobj(scale, "x"), 100) / 100, Jd(Jobj(scale, "y"), 100) / 100,
                          Jd(Jobj(scale, "z"), 100) / 100);
    // An infinite or NaN factor leaves no vertex anywhere meaningful.
    if (!std::isfinite(factor.x) || !std::isfinite(factor.y) || !std::isfinite(factor.z)) {
      return {};
    }
    return base.Scale(factor);
  }
  if (type == "mirror") {
    std::string axis = Lower(Js(Jobj(object, "mirror"), "axis", "x"));
    manifold::vec3 normal = axis == "y"   ? manifold::vec3(0, 1, 0)
                            : axis == "z" ? manifold::vec3(0, 0, 1)
                                          : manifold::vec3(1, 0, 0);
    return EnsurePositiveWinding(base.Mirror(normal));
  }
  return {};
}

}  // namespace velamanifold
