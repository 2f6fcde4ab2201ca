#include "pipeline/text_string.h"

#include <cmath>

#include "import/font_catalog.h"
#include "model/json_access.h"
#include "model/limits.h"
#include "params/templates.h"

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

std::string TextMember(const json& document, const json& object, const std::string& key,
                       const std::string& def) {
  const std::string text = Js(object, key, def);
  if (text.size() < 5 || text.rfind("{{", 0) != 0 || text.find("{{", 2) != std::string::npos ||
      text.find("}}") != text.size() - 2) {
    return text;
  }
  const json& parameter = FindObject(document, text.substr(2, text.size() - 4));
  if (Js(parameter, "type", "") != "parameter") return text;
  const json& value = Jobj(Jobj(parameter, "value"), "value");
  if (value.is_number()) return NumberToJsonString(value.get<double>());
  return Js(value, text);
}

TextRequest ReadTextRequest(const json& document, const json& object, int segments) {
  TextRequest request;
  request.text = TextMember(document, object, "text", "");
  const std::string font = TextMember(document, object, "font", "");
  request.family = MatchFontFamily(font);
  if (request.family.empty()) {
    request.familyKnown = font.empty();
    request.family = kDefaultFontFamily;
  }
  request.style = MatchFontStyle(TextMember(document, object, "style", ""));
  if (request.style.empty()) {
    request.styleKnown = false;
    request.style = "Regular";
  }
  TextLayout& layout = request.layout;
  layout.fontSize = Jd(Jobj(object, "fontSize"), 10);
  layout.spacing = Jd(Jobj(object, "spacing"), 1);
  layout.lineHeight = Jd(Jobj(object, "lineHeight"), 1);
  layout.segments = segments;
  const std::string h = TextMember(document, object, "halign", "left");
  layout.halign = h == "center" ? TextHAlign::kCenter
                  : h == "right" ? TextHAlign::kRight
                                 : TextHAlign::kLeft;
  const std::string v = TextMember(document, object, "valign", "baseline");
  layout.valign = v == "bottom"   ? TextVAlign::kBottom
                  : v == "center" ? TextVAlign::kCenter
                  : v == "top"    ? TextVAlign::kTop
                                  : TextVAlign::kBaseline;
  request.usable = Within(layout.fontSize, 1e-6, kMaxFontSize) &&
                   Within(layout.spacing, -kMaxFactor, kMaxFactor) &&
                   Within(layout.lineHeight, -kMaxFactor, kMaxFactor);
  return request;
}

manifold::CrossSection TextStringRegion(const json& document, const json& object,
                                        VelaPipeline& pipeline) {
  TextRequest request = ReadTextRequest(document, object, pipeline.PipelineSegments());
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
