#include "pipeline/text_string.h"

#include <cmath>

#include "import/font_catalog.h"
#include "model/json_access.h"
#include "model/limits.h"

namespace velamanifold {

namespace {

// Largest font size (millimetres) and factor that still set a usable text.
constexpr double kMaxFontSize = 10000;
constexpr double kMaxFactor = 100;

bool Within(double value, double low, double high) {
  return std::isfinite(value) && value >= low && value <= high;
}

}  // namespace

bool SetsTextString(const json& object) {
  if (!Jobj(object, "text").is_string()) return false;
  const json& polygons = Jobj(object, "_polygons");
  return !polygons.is_array() || polygons.empty();
}

TextRequest ReadTextRequest(const json& object, int segments) {
  TextRequest request;
  request.text = Js(object, "text", "");
  const json& font = Jobj(object, "font");
  request.family = font.is_string() ? MatchFontFamily(font.get<std::string>()) : "";
  if (request.family.empty()) {
    request.familyKnown = !font.is_string() || font.get<std::string>().empty();
    request.family = kDefaultFontFamily;
  }
  request.style = MatchFontStyle(Js(object, "style", ""));
  if (request.style.empty()) {
    request.styleKnown = false;
    request.style = "Regular";
  }
  TextLayout& layout = request.layout;
  layout.fontSize = Jd(Jobj(object, "fontSize"), 10);
  layout.spacing = Jd(Jobj(object, "spacing"), 1);
  layout.lineHeight = Jd(Jobj(object, "lineHeight"), 1);
  layout.segments = segments;
  const std::string h = Js(object, "halign", "left");
  layout.halign = h == "center" ? TextHAlign::kCenter
                  : h == "right" ? TextHAlign::kRight
                                 : TextHAlign::kLeft;
  const std::string v = Js(object, "valign", "baseline");
  layout.valign = v == "bottom"   ? TextVAlign::kBottom
                  : v == "center" ? TextVAlign::kCenter
                  : v == "top"    ? TextVAlign::kTop
                                  : TextVAlign::kBaseline;
  request.usable = Within(layout.fontSize, 1e-6, kMaxFontSize) &&
                   Within(layout.spacing, -kMaxFactor, kMaxFactor) &&
                   Within(layout.lineHeight, -kMaxFactor, kMaxFactor);
  return request;
}

manifold::CrossSection TextStringRegion(const json& object, VelaPipeline& pipeline) {
  TextRequest request = ReadTextRequest(object, pipeline.PipelineSegments());
  CheckCount(static_cast<int64_t>(request.text.size()), kMaxTextBytes, "text length in bytes");
  if (!request.usable || request.text.empty()) return manifold::CrossSection();
  const FontBytes font = LoadFontFile(FontFilePath(request.family, request.style), nullptr);
  if (!font) return manifold::CrossSection();
  request.layout.maxPoints = kMaxOutlinePoints;
  TextOutline outline = LayOutText(font, request.text, request.layout);
  pipeline.ChargeOutlinePoints(outline.points);
  if (outline.contours.empty()) return manifold::CrossSection();
  // Outer contours and holes wind oppositely, as the font draws them.
  return manifold::CrossSection(outline.contours, manifold::CrossSection::FillRule::NonZero);
}

}  // namespace velamanifold
