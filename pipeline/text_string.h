// "text" objects that carry a string: the members that say how it is set,
// and the region of its glyphs.
#pragma once

#include <string>
#include <vector>

#include <manifold/cross_section.h>
#include <nlohmann/json.hpp>

#include "import/text_outline.h"
#include "pipeline/pipeline.h"

namespace velamanifold {

// The font and layout a "text" object asks for, as it will be set.
struct TextRequest {
  std::string text;
  std::string family;        // ours; the default when the object names another
  std::string style;         // "Regular", "Bold", "Italic" or "Bold Italic"
  bool familyKnown = true;   // false when "font" names a family we do not have
  bool styleKnown = true;    // false when "style" is none of the four
  TextLayout layout;
  bool usable = true;        // false for sizes and factors that set nothing
};

// Returns true when a "text" object is set from its "text" string: the
// string is there and "_polygons" is absent, not a list or an empty list.
bool SetsTextString(const json& object);

// Returns the text member `key` of an object of `document`. Placeholders
// stand for numbers only, so a text parameter written alone as "={{name}}"
// comes out of the solver as "{{name}}": such a member takes the text (or
// number) of the parameter `name`.
std::string TextMember(const json& document, const json& object, const std::string& key,
                       const std::string& def);

// Returns the font and layout of a "text" object's members ("text", "font",
// "style", "fontSize", "halign", "valign", "spacing", "lineHeight") at `segments`.
TextRequest ReadTextRequest(const json& document, const json& object, int segments);

// Returns the region of the object's string, y up, read left to right from
// above, before "move" and "offset"; empty for unusable members or a font
// that cannot be read. Throws LimitError past the text length or outline
// point ceilings.
manifold::CrossSection TextStringRegion(const json& document, const json& object,
                                        VelaPipeline& pipeline);

}  // namespace velamanifold
