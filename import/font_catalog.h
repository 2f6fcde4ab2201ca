// The pinned fonts: the families we ship, their styles and where their files
// are. Looked up in our own font directory only, never the machine's, so a
// text builds to the same bytes everywhere.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velamanifold {

// The family a text gets when it names none or one we do not have.
inline constexpr const char* kDefaultFontFamily = "DejaVu Sans";

// Returns the families of the pinned set, in the documented order.
const std::vector<std::string>& FontFamilies();

// Returns our spelling of a family name (letter case and spaces ignored:
// "dejavusans" is "DejaVu Sans"), or the empty text for a family we do not have.
std::string MatchFontFamily(const std::string& name);

// Returns "Regular", "Bold", "Italic" or "Bold Italic" for a style name
// (letter case, spaces and "Oblique" for "Italic" ignored; "" is "Regular"),
// or the empty text for any other.
std::string MatchFontStyle(const std::string& style);

// Returns the directory the font files are read from: $TARVO_FONTS when
// set, else the directory the set-up installed them in, else "fonts" beside
// the program.
std::string FontDirectory();

// Returns the path of the file of a family and style of ours (both as the
// Match functions spell them; a family without italics gives its upright
// file), or the empty text for a family we do not have.
std::string FontFilePath(const std::string& family, const std::string& style);

// Returns the bytes of a font file, read once per process; null when it
// cannot be read or is larger than 64 MiB, with the reason in `error`.
std::shared_ptr<const std::vector<uint8_t>> LoadFontFile(const std::string& path,
                                                         std::string* error);

}  // namespace velamanifold
