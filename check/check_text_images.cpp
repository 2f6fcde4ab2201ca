// Findings about content set or decoded on the way: a "text" object's font,
// style, alignment, sizes and missing glyphs, and picture attachments.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "check/diagnostics.h"
#include "check/shape_checker.h"
#include "import/base64_decode.h"
#include "import/font_catalog.h"
#include "import/image_decode.h"
#include "import/text_outline.h"
#include "model/json_access.h"
#include "model/limits.h"
#include "pipeline/text_string.h"

namespace velamanifold::shape {

namespace {

// Returns "U+00E9 "é"" for a character (its UTF-8 as it was written).
std::string CharacterName(char32_t cp) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(cp));
  std::string utf8;
  if (cp < 0x80) {
    utf8 += static_cast<char>(cp);
  } else if (cp < 0x800) {
    utf8 += static_cast<char>(0xC0 | (cp >> 6));
    utf8 += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    utf8 += static_cast<char>(0xE0 | (cp >> 12));
    utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    utf8 += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    utf8 += static_cast<char>(0xF0 | (cp >> 18));
    utf8 += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    utf8 += static_cast<char>(0x80 | (cp & 0x3F));
  }
  const bool printable = cp >= 0x20 && cp != 0x7F && cp != 0xFFFD;
  std::string name = code;
  if (printable) {
    name += ' ';
    name += Quoted(utf8);
  }
  return name;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
  return out;
}

// Warns when the string member `key` is not one of `allowed`.
void CheckChoice(const json& document, const json& object, const std::string& key,
                 const std::vector<std::string>& allowed, const std::string& pointer,
                 Diagnostics& out) {
  if (!Jobj(object, key).is_string()) return;
  const std::string text = TextMember(document, object, key, "");
  if (std::find(allowed.begin(), allowed.end(), text) != allowed.end()) return;
  out.Warning(pointer + "/" + key, "unknown " + key + " " + Quoted(text) + DidYouMean(text, allowed) +
                                       ": \"" + allowed.front() + "\" is used");
}

}  // namespace

void ShapeChecker::CheckTextString(const json& resolved, const std::string& pointer) {
  const TextRequest request = ReadTextRequest(resolved_, resolved, 64);
  if (!request.familyKnown) {
    out_.Warning(pointer + "/font", "no font family " +
                                        Quoted(TextMember(resolved_, resolved, "font", "")) +
                                        ": the text is set in " + kDefaultFontFamily +
                                        "; the families are: " + Joined(FontFamilies()));
  }
  if (!request.styleKnown) {
    out_.Warning(pointer + "/style", "unknown style " +
                                         Quoted(TextMember(resolved_, resolved, "style", "")) +
                                         ": the text is set in Regular; the styles are Regular, "
                                         "Bold, Italic and Bold Italic");
  }
  CheckChoice(resolved_, resolved, "halign", {"left", "center", "right"}, pointer, out_);
  CheckChoice(resolved_, resolved, "valign", {"baseline", "bottom", "center", "top"}, pointer, out_);
  if (!request.usable) {
    out_.Warning(pointer, "\"fontSize\" must be above 0 and at most 10000, \"spacing\" and "
                          "\"lineHeight\" between -100 and 100: the text builds nothing");
  }
  if (static_cast<int64_t>(request.text.size()) > kMaxTextBytes) {
    out_.Error(pointer + "/text", "the text of " + std::to_string(request.text.size()) +
                                      " bytes exceeds the limit of " +
                                      std::to_string(kMaxTextBytes) + " bytes");
    return;
  }
  std::string error;
  const FontBytes font = LoadFontFile(FontFilePath(request.family, request.style), &error);
  if (!font) {
    out_.Error(pointer + "/font", error + ": the text builds nothing");
    return;
  }
  TextLayout probe;
  probe.maxPoints = 1;
  const TextOutline opened = LayOutText(font, "", probe);
  if (!opened.error.empty()) {
    out_.Error(pointer + "/font", "the file of " + request.family + " " + request.style +
                                      " is " + opened.error + ": the text builds nothing");
    return;
  }
  const std::vector<char32_t> missing = MissingCharacters(font, request.text);
  if (!missing.empty()) {
    std::vector<std::string> names;
    for (char32_t cp : missing) names.push_back(CharacterName(cp));
    out_.Warning(pointer + "/text", request.family + " " + request.style + " has no glyph for " +
                                        Joined(names) + ": each is left as a gap");
  }
}

void ShapeChecker::CheckImage(const json& content, const std::string& pointer) {
  if (!IsBase64Text(content, pointer, "a picture")) return;
  const std::string& text = content.get_ref<const std::string&>();
  const std::vector<uint8_t> bytes = Base64Decode(text);
  std::string error;
  if (DecodeImage(bytes.data(), bytes.size(), kMaxImagePixels, &error).Empty()) {
    out_.Error(pointer, "the picture is refused (" + error + "): a relief made from it builds nothing");
  }
}

}  // namespace velamanifold::shape
