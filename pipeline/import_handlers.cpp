// Handlers of imported content: STL attachments ("polygons"), included models
// ("includepart"), outlines delivered as point lists ("text", "svg") and
// grey-value height maps ("bumpmesh", "bumpmeshCylinder").
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>

#include "geometry/planar.h"
#include "import/base64_decode.h"
#include "import/heightmap.h"
#include "import/stl_reader.h"
#include "params/dropdowns.h"
#include "params/part_values.h"
#include "params/templates.h"
#include "pipeline/cross_section.h"
#include "model/json_access.h"
#include "model/limits.h"
#include "pipeline/image_relief.h"
#include "pipeline/pipeline.h"
#include "pipeline/text_string.h"

namespace velamanifold {

namespace {

using manifold::CrossSection;
using manifold::Manifold;

// Returns the first attachment whose "vid" is `id` and whose "filetype" is
// `filetype`, or null when there is none.
const json* FindAttachment(const json& document, const std::string& id,
                           const std::string& filetype) {
  const json& attachments = Jobj(document, "attachments");
  if (id.empty() || !attachments.is_array()) return nullptr;
  for (const json& attachment : attachments) {
    if (Js(attachment, "vid", "") == id && Js(attachment, "filetype", "") == filetype) {
      return &attachment;
    }
  }
  return nullptr;
}

// Fewest bytes one triangle takes in an STL file (binary records are 50).
constexpr size_t kMinStlTriangleBytes = 50;

// Returns the outline grown (or shrunk) by size."offset" with round joins;
// offsets below 1e-9 leave it as it is.
manifold::Polygons OffsetOutline(const manifold::Polygons& polygons, const json& size) {
  double offset = Jd(Jobj(size, "offset"), 0);
  if (!(std::abs(offset) > 1e-9)) return polygons;
  return CrossSection(polygons).Offset(offset, CrossSection::JoinType::Round, 2.0, 0).ToPolygons();
}

// Returns size."z" (default 3), at least 0.001.
double OutlineHeight(const json& size) {
  double height = Jd(Jobj(size, "z"), 3);
  return height >= 0.001 ? height : 0.001;
}

Manifold ExtrudeOutline(const manifold::Polygons& polygons, double height) {
  return Manifold::Extrude(polygons, height, 0, 0, {1, 1});
}

// Returns the grey values of "_heightmap", each the low 8 bits of its integer.
std::vector<uint8_t> ReadHeightMap(const json& values) {
  std::vector<uint8_t> bytes;
  if (!values.is_array()) return bytes;
  bytes.reserve(values.size());
  for (const json& value : values) bytes.push_back(static_cast<uint8_t>(Ji(value, 0) & 0xFF));
  return bytes;
}

bool HasHeightMap(const json& object) {
  return object.is_object() && object.contains("_heightmap") &&
         object.contains("_heightmapWidth") && object.contains("_heightmapHeight");
}

}  // namespace

Manifold VelaPipeline::StlAttachment(const json& document, const std::string& id) {
  auto cached = state_.stlAttachments.find(id);
  if (cached == state_.stlAttachments.end()) {
    Manifold solid;
    if (const json* attachment = FindAttachment(document, id, "model/stl")) {
      // Read in place: the content may be tens of megabytes.
      const json& content = Jobj(*attachment, "content");
      std::vector<uint8_t> bytes =
          content.is_string() ? Base64Decode(content.get_ref<const std::string&>())
                              : std::vector<uint8_t>();
      // A triangle takes at least 50 bytes in either form of the file.
      ChargeTriangles(static_cast<int64_t>(bytes.size() / kMinStlTriangleBytes));
      solid = StlBufferToManifold(std::move(bytes), 0);
    }
    // The first use is paid for by the decoding.
    ChargeCopies(1);
    return state_.stlAttachments.emplace(id, std::move(solid)).first->second;
  }
  ChargeCopies(1, static_cast<int64_t>(cached->second.NumTri()));
  return cached->second;
}

Manifold VelaPipeline::BuildImportedObject(const std::string& type, const json& document,
                                           const json& object, const VisitingSet* /*visiting*/) {
  const json& size = Jobj(object, "size");

  if (type == "polygons") {
    Manifold result;
    if (!Jobj(object, "attachmentVids").is_array() || !document.is_object() ||
        !document.contains("attachments")) {
      return result;
    }
    const std::vector<std::string> ids = IdList(object, "attachmentVids");
    // An attachment listed again counts again but adds nothing to the union.
    std::set<std::string> united;
    for (const std::string& id : ids) {
      Manifold solid = StlAttachment(document, id);
      if (united.insert(id).second) AddTo(result, solid);
    }
    return result;
  }

  if (type == "includepart") {
    Manifold result;
    if (!object.is_object() || !object.contains("attachmentVid") || !document.is_object() ||
        !document.contains("attachments")) {
      return result;
    }
    const json* attachment = FindAttachment(document, Js(object, "attachmentVid", ""), "vela");
    if (attachment == nullptr || !attachment->contains("content")) return result;
    json content = (*attachment)["content"];
    if (!content.is_object()) return result;
    ApplyPartValues(content, object, document);
    SolveAllObjects(content);
    ResolveDropdowns(content);

    const json& objects = Jobj(content, "objects");
    if (!objects.is_array()) return result;
    // Every include builds its model afresh, so a model that includes another
    // twice per level doubles the work with each level: each object of an
    // included model counts as a copy.
    ChargeCopies(std::max<int64_t>(1, static_cast<int64_t>(objects.size())));
    NestingGuard nesting(*this);
    SeparateCaches separate(*this);
    for (const json& entry : objects) {
      if (!Jb(Jobj(entry, "visible"), true)) continue;
      if (Js(entry, "type", "") == "parameter") continue;
      std::string vid = Js(entry, "vid", "");
      if (vid.empty()) continue;
      AddTo(result, BuildInner(content, vid, nullptr));
    }
    return result;
  }

  if (type == "text" && SetsTextString(object)) {
    const CrossSection region = TextStringRegion(document, object, *this);
    if (region.IsEmpty()) return Manifold();
    const double offset = Jd(Jobj(size, "offset"), 0);
    const CrossSection grown =
        std::abs(offset) > 1e-9 ? Offset2D(region, offset, 1, 2.0, PipelineSegments()) : region;
    // Set in a font, the glyphs already read upright from above.
    return ExtrudeOutline(grown.ToPolygons(), OutlineHeight(size));
  }

  if (type == "text" || type == "svg") {
    const json& input = Jobj(object, "_polygons");
    if (!input.is_array()) return Manifold();
    PointLists contours = ReadOutlinePoints(input, *this);
    // Glyph and SVG outlines alike keep their contours of three or more points.
    manifold::Polygons polygons = OffsetOutline(SvgToPolygons(contours), size);
    double height = OutlineHeight(size);
    Manifold result = ExtrudeOutline(polygons, height);
    // Glyph outlines arrive with Y pointing down: turning the extrusion over
    // about X mirrors them in Y and keeps the solid between 0 and height.
    if (type == "text" && !result.IsEmpty()) {
      result = result.Rotate(180, 0, 0).Translate({0, 0, height});
    }
    return result;
  }

  if (type == "bumpmesh" || type == "bumpmeshCylinder") {
    std::vector<uint8_t> bytes;
    int w = 0;
    int h = 0;
    if (HasHeightMap(object)) {
      bytes = ReadHeightMap(object["_heightmap"]);
      w = Ji(object["_heightmapWidth"], 0);
      h = Ji(object["_heightmapHeight"], 0);
    } else if (FindImageAttachment(document, object) != nullptr) {
      // A picture is shrunk to the relief's resolution before anything is
      // charged or made: its pixels are as many as the map's grey values.
      const bool flat = type == "bumpmesh";
      const double spanX = flat ? Jd(Jobj(size, "x"), 100) : M_PI * Jd(Jobj(size, "diameter"), 50);
      const double spanY = flat ? Jd(Jobj(size, "y"), 100) : Jd(Jobj(size, "height"), 80);
      ReliefMap map = ImageReliefMap(document, object, spanX, spanY);
      bytes = std::move(map.grey);
      w = map.w;
      h = map.h;
    } else {
      return Manifold();
    }
    // Maps with too few grey values build nothing, so only a usable one is charged.
    const bool usable = w >= 1 && h >= 1 && static_cast<int64_t>(w) * h <=
                                                static_cast<int64_t>(bytes.size());
    if (type == "bumpmesh") {
      double x = Jd(Jobj(size, "x"), 100);
      double y = Jd(Jobj(size, "y"), 100);
      double base = std::max(Jd(Jobj(size, "base"), 1), 0.001);
      double z = Jd(Jobj(size, "z"), 5);
      if (usable) ChargeTriangles(ReliefTriangles(w, h, x, y));
      return BumpMeshToManifold(bytes, w, h, x, y, base, z, PipelineSegments());
    }
    double diameter = Jd(Jobj(size, "diameter"), 50);
    double cylinderHeight = Jd(Jobj(size, "height"), 80);
    double base = std::max(Jd(Jobj(size, "base"), 0.001), 0.001);
    int count = Ji(Jobj(size, "segments"), 32);
    if (count < 3) count = 32;
    CheckSegments(count, "bumpmeshCylinder segment count");
    // Two triangles per grey value around the sides, one per column in each cap.
    if (usable) ChargeTriangles(2 * static_cast<int64_t>(w) * h + 2 * static_cast<int64_t>(w));
    return BumpMeshToCylinderManifold(bytes, w, h, diameter, cylinderHeight, base, count);
  }

  return Manifold();
}

}  // namespace velamanifold
