#include "pipeline/cross_section.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "geometry/planar.h"
#include "params/dropdowns.h"
#include "params/templates.h"
#include "model/json_access.h"
#include "model/limits.h"
#include "pipeline/text_string.h"

namespace velamanifold {

namespace {

using manifold::CrossSection;

// Grows or shrinks a text or SVG outline by "size"."offset".
CrossSection OffsetOutline(const CrossSection& region, const json& size, int segments) {
  const double offset = Jd(Jobj(size, "offset"), 0);
  if (std::abs(offset) > 1e-9 && !region.IsEmpty()) {
    return Offset2D(region, offset, 1, 2.0, segments);
  }
  return region;
}

CrossSection Merge2DRegion(VelaPipeline& pipeline, const json& document, const json& object,
                           const VisitingSet* visiting) {
  const json& size = Jobj(object, "size");
  const std::vector<CrossSection> unionParts =
      pipeline.ReferencedRegions(document, object, "union", visiting);
  const std::vector<CrossSection> subtractParts =
      pipeline.ReferencedRegions(document, object, "subtract", visiting);
  const std::vector<CrossSection> intersectParts =
      pipeline.ReferencedRegions(document, object, "intersect", visiting);

  CrossSection result;
  if (!unionParts.empty()) result = Union2D(unionParts);
  // Without anything to cut from, the cutters themselves make the region.
  if (!subtractParts.empty()) {
    result = result.IsEmpty() ? Union2D(subtractParts) : Difference2D(result, subtractParts);
  }
  if (!intersectParts.empty()) {
    result =
        result.IsEmpty() ? Union2D(intersectParts) : Intersection2DMulti(result, intersectParts);
  }
  if (result.IsEmpty()) return result;

  const double offset = Jd(Jobj(size, "offset"), 0);
  if (offset != 0) result = Offset2D(result, offset, 1, 2.0, pipeline.PipelineSegments());
  if (result.IsEmpty()) return result;

  const double sx = Jd(Jobj(size, "scalex"), 100) / 100;
  const double sy = Jd(Jobj(size, "scaley"), 100) / 100;
  if (sx != 1 || sy != 1) result = Scale2D(result, sx, sy);
  if (result.IsEmpty()) return result;

  const std::string axis = Js(Jobj(size, "mirror"), "none");
  if (axis == "x" || axis == "y") result = Mirror2D(result, axis);
  if (result.IsEmpty()) return result;

  return ApplyCopies2D(result, size, pipeline);
}

}  // namespace

void Apply2DMove(CrossSection& region, const json& object) {
  if (region.IsEmpty()) return;
  const json& move = Jobj(object, "move");
  const double rotate = Jd(Jobj(move, "rotate"), 0);
  const double x = Jd(Jobj(move, "x"), 0);
  const double y = Jd(Jobj(move, "y"), 0);
  if (rotate != 0) region = Rotate2D(region, rotate);
  if (x != 0 || y != 0) region = Translate2D(region, x, y);
}

CrossSection ApplyCopies2D(const CrossSection& region, const json& size, VelaPipeline& pipeline) {
  if (region.IsEmpty() || size.is_null()) return region;
  const std::string mode = Js(Jobj(size, "copies"), "none");

  if (mode == "radial") {
    const int count = Ji(Jobj(size, "copiesCount"), 1);
    if (count <= 1) return region;
    pipeline.ChargeCopies(count, static_cast<int64_t>(region.NumVert()));
    // The step divides by count - 1, so with a full turn the last copy lands
    // on the first.
    const double step = Jd(Jobj(size, "copiesDegree"), 360) / (count - 1);
    std::vector<CrossSection> copies;
    copies.reserve(count);
    copies.push_back(region);
    for (int k = 1; k < count; ++k) copies.push_back(Rotate2D(region, k * step));
    return Union2D(copies);
  }

  if (mode == "grid" || mode == "hex") {
    const int rows = Ji(Jobj(size, "copiesRows"), 1);
    const int columns = Ji(Jobj(size, "copiesColumns"), 1);
    if (rows <= 1 && columns <= 1) return region;
    // A grid with no rows or no columns holds no copy at all.
    if (rows < 1 || columns < 1) return CrossSection();
    pipeline.ChargeCopies(static_cast<int64_t>(rows) * columns,
                          static_cast<int64_t>(region.NumVert()));
    const double dx = Jd(Jobj(size, "copiesX"), 10);
    const double dy = Jd(Jobj(size, "copiesY"), 10);
    std::vector<CrossSection> copies;
    copies.reserve(static_cast<size_t>(rows) * columns);
    for (int r = 0; r < rows; ++r) {
      // Odd rows of a hexagonal layout sit half a step over.
      const double shift = (mode == "hex" && r % 2 == 1) ? dx / 2 : 0;
      for (int c = 0; c < columns; ++c) {
        if (r == 0 && c == 0) {
          copies.push_back(region);
        } else {
          copies.push_back(Translate2D(region, c * dx + shift, r * dy));
        }
      }
    }
    return Union2D(copies);
  }

  return region;
}

PointLists ReadOutlinePoints(const json& polygons, VelaPipeline& pipeline) {
  PointLists contours;
  if (!polygons.is_array()) return contours;
  int64_t points = 0;
  for (const json& element : polygons) {
    if (element.is_array()) points += static_cast<int64_t>(element.size());
  }
  pipeline.ChargeOutlinePoints(points);
  for (const json& element : polygons) {
    if (!element.is_array()) continue;
    std::vector<std::vector<double>> contour;
    for (const json& point : element) {
      if (!point.is_array() || point.size() < 2) continue;
      contour.push_back({ModelNumber(point[0].get<double>()), ModelNumber(point[1].get<double>())});
    }
    if (!contour.empty()) contours.push_back(std::move(contour));
  }
  return contours;
}

double ZOffsetFor2DObject(const json& document, const std::string& id) {
  if (!document.is_object() || !document.contains("objects")) return 0;
  int64_t before = 0;
  for (const json& entry : document["objects"]) {
    const json& vid = Jobj(entry, "vid");
    if (!vid.is_string() || vid.get_ref<const std::string&>().empty()) continue;
    if (vid.get_ref<const std::string&>() == id) return 0.05 * static_cast<double>(before + 1);
    if (Is2DObjectType(Js(Jobj(entry, "type"), ""))) ++before;
  }
  return 0;
}

int CircleSegments(const VelaPipeline& pipeline, const json& object) {
  const int count = Ji(Jobj(Jobj(object, "size"), "segments"), 0);
  if (count <= 2) return pipeline.PipelineSegments();
  return CheckSegments(count, "circle segment count");
}

namespace {

// Returns the unmoved region of an object of a planar, "text" or "svg" type;
// empty for other types and unusable members. Throws the JSON library's type
// error for non-numeric outline points, LimitError past a ceiling.
CrossSection PlanarRegion(VelaPipeline& pipeline, const std::string& type, const json& document,
                          const json& object, const VisitingSet* visiting) {
  const json& size = Jobj(object, "size");

  if (type == "rectangle") {
    const double width = Jd(Jobj(size, "x"), Jd(Jobj(size, "width"), 100));
    const double length = Jd(Jobj(size, "y"), Jd(Jobj(size, "height"), 50));
    const double corners = Jd(Jobj(size, "corners"), 0);
    return Translate2D(Rectangle(width, length, corners, pipeline.PipelineSegments()), width / 2,
                       length / 2);
  }
  if (type == "circle") {
    // The size may be the diameter itself or an object holding it.
    double diameter = AtLeast(Jd(size, 50), 0.0001);
    if (diameter == 50 && size.is_object() && size.contains("diameter")) {
      diameter = AtLeast(Jd(Jobj(size, "diameter"), 50), 0.0001);
    }
    return Circle(diameter, CircleSegments(pipeline, object));
  }
  if (type == "triangle2d") {
    return Triangle2D(Jd(Jobj(size, "x"), 100), Jd(Jobj(size, "y"), 50),
                      Jd(Jobj(size, "width"), 0));
  }
  if (type == "merge2d") return Merge2DRegion(pipeline, document, object, visiting);
  if (type == "text") {
    if (SetsTextString(object)) {
      CrossSection region = TextStringRegion(document, object, pipeline);
      return OffsetOutline(region, size, pipeline.PipelineSegments());
    }
    CrossSection region = TextToCrossSection(ReadOutlinePoints(Jobj(object, "_polygons"), pipeline));
    // Glyph outlines arrive with y pointing down.
    if (!region.IsEmpty()) region = region.Mirror({0, 1});
    return OffsetOutline(region, size, pipeline.PipelineSegments());
  }
  if (type == "svg") {
    return OffsetOutline(SvgToCrossSection(ReadOutlinePoints(Jobj(object, "_polygons"), pipeline), 1.0), size,
                         pipeline.PipelineSegments());
  }
  if (type == "slice") {
    const std::string source = Js(Jobj(object, "outershell"), "");
    if (source.empty()) return CrossSection();
    const double z = Jd(Jobj(size, "z"), 0);
    return SliceToCrossSection(pipeline.Referenced(document, source, visiting), z);
  }
  return CrossSection();
}

}  // namespace

CrossSection VelaPipeline::Resolve2DCrossSection(const std::string& text, const std::string& id) {
  json document;
  if (!LoadDocument(text, document)) return CrossSection();
  return Resolve2DCrossSectionInner(document, id, nullptr);
}

CrossSection VelaPipeline::Resolve2DCrossSectionInner(const json& document, const std::string& id,
                                                      const VisitingSet* visiting) {
  if (visiting != nullptr && visiting->count(id)) return CrossSection();
  auto cached = state_.regions.find(id);
  if (cached != state_.regions.end()) return cached->second;
  // An id that reaches itself through its references adds nothing there; the
  // empty stand-in is not cached, the finished region is.
  if (state_.resolving.count(id)) return CrossSection();

  const json& object = FindObject(document, id);
  if (object.is_null()) {
    state_.regions[id] = CrossSection();
    return CrossSection();
  }
  NestingGuard nesting(*this);
  OnPath onPath(state_.resolving, id);

  const std::string type = Js(Jobj(object, "type"), "");
  CrossSection region;
  try {
    NumberCheckScope numbers;
    region = PlanarRegion(*this, type, document, object, visiting);
    Apply2DMove(region, object);
  } catch (const UnusableNumber&) {
    region = CrossSection();
  }
  state_.regions[id] = region;
  return region;
}

}  // namespace velamanifold
