// Text set in a font: HarfBuzz shapes each line into glyphs and positions,
// FreeType gives each glyph's outline, and the curves are flattened at the
// caller's resolution.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <manifold/common.h>

namespace velamanifold {

// The bytes of a font file, shared with the opened font that reads them.
using FontBytes = std::shared_ptr<const std::vector<uint8_t>>;

enum class TextHAlign { kLeft, kCenter, kRight };
enum class TextVAlign { kBaseline, kBottom, kCenter, kTop };

struct TextLayout {
  double fontSize = 10;    // the font's em, in millimetres
  TextHAlign halign = TextHAlign::kLeft;
  TextVAlign valign = TextVAlign::kBaseline;
  double spacing = 1;      // factor on every glyph's advance
  double lineHeight = 1;   // factor on the font's line spacing
  int segments = 64;       // pieces of a curve that turns a full circle
  int64_t maxPoints = 0;   // outline points after which the layout stops
};

struct TextOutline {
  // Glyph contours in millimetres, y up, one polygon per contour; outer
  // contours and holes wind oppositely (fill by non-zero winding).
  manifold::Polygons contours;
  int64_t points = 0;             // points of all contours
  bool overBudget = false;        // stopped at maxPoints
  std::vector<char32_t> missing;  // characters the font has no glyph for, each once, in order
  std::string error;              // why the font is unusable; empty when it is
};

// Returns the outline of `text` (UTF-8; "\n" starts a new line below, a "\r"
// before it is dropped) set in the font file `font`. A font that FreeType
// cannot open gives no contours and the reason in `error`; characters
// without a glyph take their advance but draw nothing.
TextOutline LayOutText(const FontBytes& font, const std::string& text,
                       const TextLayout& layout);

// Returns the characters of `text` that the font file has no glyph for,
// each once, in order of first appearance; empty for a font FreeType cannot open.
std::vector<char32_t> MissingCharacters(const FontBytes& font, const std::string& text);

}  // namespace velamanifold
