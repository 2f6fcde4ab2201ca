#include "import/text_outline.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <hb.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

namespace velamanifold {

namespace {

// One opened font: FreeType's face for outlines and HarfBuzz's font for
// shaping, both reading the same bytes (which outlive them).
struct OpenFont {
  FT_Face face = nullptr;
  hb_blob_t* blob = nullptr;
  hb_face_t* hbFace = nullptr;
  hb_font_t* hbFont = nullptr;
  std::string error;
  ~OpenFont() {
    if (hbFont) hb_font_destroy(hbFont);
    if (hbFace) hb_face_destroy(hbFace);
    if (blob) hb_blob_destroy(blob);
    if (face) FT_Done_Face(face);
  }
};

FT_Library Library() {
  static FT_Library library = [] {
    FT_Library made = nullptr;
    if (FT_Init_FreeType(&made) != 0) made = nullptr;
    return made;
  }();
  return library;
}

// Returns the opened font of these bytes, opened once per process (the
// bytes are kept with it).
const OpenFont& Open(const FontBytes& shared) {
  static std::map<FontBytes, std::unique_ptr<OpenFont>> opened;
  std::unique_ptr<OpenFont>& slot = opened[shared];
  if (slot) return *slot;
  slot = std::make_unique<OpenFont>();
  static const std::vector<uint8_t> kNone;
  const std::vector<uint8_t>& bytes = shared ? *shared : kNone;
  FT_Library library = Library();
  if (library == nullptr) {
    slot->error = "the font library cannot start";
    return *slot;
  }
  if (bytes.empty() ||
      FT_New_Memory_Face(library, bytes.data(), static_cast<FT_Long>(bytes.size()), 0,
                         &slot->face) != 0) {
    slot->face = nullptr;
    slot->error = "not a font file";
    return *slot;
  }
  if (!FT_IS_SCALABLE(slot->face) || slot->face->units_per_EM == 0) {
    slot->error = "not an outline font";
    return *slot;
  }
  slot->blob = hb_blob_create(reinterpret_cast<const char*>(bytes.data()),
                              static_cast<unsigned>(bytes.size()), HB_MEMORY_MODE_READONLY,
                              nullptr, nullptr);
  slot->hbFace = hb_face_create(slot->blob, 0);
  slot->hbFont = hb_font_create(slot->hbFace);
  // Positions in font units, the units FreeType's unscaled outlines have.
  const int upem = static_cast<int>(slot->face->units_per_EM);
  hb_font_set_scale(slot->hbFont, upem, upem);
  return *slot;
}

// Returns the code point starting at byte `at` of UTF-8 text (U+FFFD for a
// malformed sequence).
char32_t CodePointAt(const std::string& text, size_t at) {
  if (at >= text.size()) return 0xFFFD;
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  const int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
  if (extra < 0) return 0xFFFD;
  char32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
  for (int i = 1; i <= extra; ++i) {
    if (at + i >= text.size() || (byte(at + i) & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (byte(at + i) & 0x3F);
  }
  return cp;
}

// Splits text into lines at "\n", dropping a "\r" before it.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (true) {
    const size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

// One line shaped: glyph ids, positions in font units, and its advance.
struct ShapedLine {
  std::vector<hb_glyph_info_t> infos;
  std::vector<hb_glyph_position_t> positions;
};

ShapedLine Shape(const OpenFont& font, const std::string& line) {
  ShapedLine shaped;
  hb_buffer_t* buffer = hb_buffer_create();
  hb_buffer_add_utf8(buffer, line.data(), static_cast<int>(line.size()), 0,
                     static_cast<int>(line.size()));
  // Direction, script and language from the text itself: right-to-left
  // scripts come back in visual order, left to right.
  hb_buffer_guess_segment_properties(buffer);
  hb_shape(font.hbFont, buffer, nullptr, 0);
  unsigned count = 0;
  const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer, &count);
  const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, &count);
  shaped.infos.assign(infos, infos + count);
  shaped.positions.assign(positions, positions + count);
  hb_buffer_destroy(buffer);
  return shaped;
}

void NoteMissing(std::vector<char32_t>& missing, char32_t cp) {
  if (std::find(missing.begin(), missing.end(), cp) == missing.end()) missing.push_back(cp);
}

// Flattens one glyph's outline (font units) into contours placed at
// (originX, originY) font units and scaled by `scale`.
struct Flattener {
  double scale = 1, originX = 0, originY = 0;
  int segments = 64;
  manifold::Polygons contours;
  manifold::SimplePolygon current;
  FT_Vector last{};

  manifold::vec2 Place(double x, double y) const {
    return {(x + originX) * scale, (y + originY) * scale};
  }
  void Close() {
    if (current.size() >= 2 && current.front() == current.back()) current.pop_back();
    if (current.size() >= 3) contours.push_back(std::move(current));
    current.clear();
  }
  // Returns how many pieces a curve through these control points is cut into:
  // its turn (the angles between the legs of its control polygon) in
  // proportion to a full circle of `segments` pieces, at least one.
  int Pieces(const std::vector<FT_Vector>& control) const {
    double turn = 0;
    for (size_t i = 2; i < control.size(); ++i) {
      const double ax = control[i - 1].x - control[i - 2].x, ay = control[i - 1].y - control[i - 2].y;
      const double bx = control[i].x - control[i - 1].x, by = control[i].y - control[i - 1].y;
      if ((ax == 0 && ay == 0) || (bx == 0 && by == 0)) continue;
      turn += std::abs(std::atan2(ax * by - ay * bx, ax * bx + ay * by));
    }
    const double pieces = std::ceil(turn / (2 * M_PI) * segments - 1e-9);
    return static_cast<int>(std::clamp(pieces, 1.0, static_cast<double>(segments)));
  }
  void Curve(const std::vector<FT_Vector>& control) {
    const int pieces = Pieces(control);
    for (int k = 1; k <= pieces; ++k) {
      const double t = static_cast<double>(k) / pieces, u = 1 - t;
      double x, y;
      if (control.size() == 3) {
        x = u * u * control[0].x + 2 * u * t * control[1].x + t * t * control[2].x;
        y = u * u * control[0].y + 2 * u * t * control[1].y + t * t * control[2].y;
      } else {
        x = u * u * u * control[0].x + 3 * u * u * t * control[1].x + 3 * u * t * t * control[2].x +
            t * t * t * control[3].x;
        y = u * u * u * control[0].y + 3 * u * u * t * control[1].y + 3 * u * t * t * control[2].y +
            t * t * t * control[3].y;
      }
      current.push_back(Place(x, y));
    }
  }
};

int MoveTo(const FT_Vector* to, void* user) {
  auto* f = static_cast<Flattener*>(user);
  f->Close();
  f->current.push_back(f->Place(to->x, to->y));
  f->last = *to;
  return 0;
}
int LineTo(const FT_Vector* to, void* user) {
  auto* f = static_cast<Flattener*>(user);
  f->current.push_back(f->Place(to->x, to->y));
  f->last = *to;
  return 0;
}
int ConicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
  auto* f = static_cast<Flattener*>(user);
  f->Curve({f->last, *control, *to});
  f->last = *to;
  return 0;
}
int CubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
  auto* f = static_cast<Flattener*>(user);
  f->Curve({f->last, *c1, *c2, *to});
  f->last = *to;
  return 0;
}

}  // namespace

TextOutline LayOutText(const FontBytes& bytes, const std::string& text,
                       const TextLayout& layout) {
  TextOutline out;
  const OpenFont& font = Open(bytes);
  if (!font.error.empty()) {
    out.error = font.error;
    return out;
  }
  FT_Face face = font.face;
  const double units = face->units_per_EM;
  const double scale = layout.fontSize / units;
  const double lineAdvance = face->height * layout.lineHeight;
  const double ascender = face->ascender, descender = face->descender;
  const std::vector<std::string> lines = Lines(text);
  const double lastBaseline = -lineAdvance * static_cast<double>(lines.size() - 1);
  double shiftY = 0;
  switch (layout.valign) {
    case TextVAlign::kBaseline:
      break;
    case TextVAlign::kTop:
      shiftY = -ascender;
      break;
    case TextVAlign::kBottom:
      shiftY = -(lastBaseline + descender);
      break;
    case TextVAlign::kCenter:
      shiftY = -(ascender + lastBaseline + descender) / 2;
      break;
  }

  FT_Outline_Funcs funcs{};
  funcs.move_to = MoveTo;
  funcs.line_to = LineTo;
  funcs.conic_to = ConicTo;
  funcs.cubic_to = CubicTo;
  Flattener flattener;
  flattener.scale = scale;
  flattener.segments = std::max(3, layout.segments);
  size_t counted = 0;  // contours whose points are in out.points

  for (size_t i = 0; i < lines.size() && !out.overBudget; ++i) {
    const ShapedLine shaped = Shape(font, lines[i]);
    double width = 0;
    for (const hb_glyph_position_t& p : shaped.positions) width += p.x_advance * layout.spacing;
    double pen = 0;
    if (layout.halign == TextHAlign::kCenter) pen = -width / 2;
    if (layout.halign == TextHAlign::kRight) pen = -width;
    const double baseline = -lineAdvance * static_cast<double>(i) + shiftY;
    for (size_t g = 0; g < shaped.infos.size(); ++g) {
      const hb_glyph_info_t& info = shaped.infos[g];
      const hb_glyph_position_t& pos = shaped.positions[g];
      if (info.codepoint == 0) {
        NoteMissing(out.missing, CodePointAt(lines[i], info.cluster));
      } else if (FT_Load_Glyph(face, info.codepoint,
                               FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0 &&
                 face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
        flattener.originX = pen + pos.x_offset;
        flattener.originY = baseline + pos.y_offset;
        FT_Outline_Decompose(&face->glyph->outline, &funcs, &flattener);
        flattener.Close();
      }
      pen += pos.x_advance * layout.spacing;
      for (; counted < flattener.contours.size(); ++counted) {
        out.points += static_cast<int64_t>(flattener.contours[counted].size());
      }
      if (layout.maxPoints > 0 && out.points > layout.maxPoints) {
        out.overBudget = true;
        break;
      }
    }
  }
  out.contours = std::move(flattener.contours);
  return out;
}

std::vector<char32_t> MissingCharacters(const FontBytes& bytes, const std::string& text) {
  std::vector<char32_t> missing;
  const OpenFont& font = Open(bytes);
  if (!font.error.empty()) return missing;
  for (const std::string& line : Lines(text)) {
    const ShapedLine shaped = Shape(font, line);
    for (const hb_glyph_info_t& info : shaped.infos) {
      if (info.codepoint == 0) NoteMissing(missing, CodePointAt(line, info.cluster));
    }
  }
  return missing;
}

}  // namespace velamanifold
