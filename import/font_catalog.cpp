#include "import/font_catalog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>

namespace velamanifold {

namespace {

// One family: its name and the file names of Regular, Bold, Italic and Bold
// Italic ("" where the family has no italic: the upright file serves).
struct FamilyFiles {
  const char* family;
  const char* files[4];
};

constexpr FamilyFiles kFamilies[] = {
    {"DejaVu Sans",
     {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSans-Oblique.ttf",
      "DejaVuSans-BoldOblique.ttf"}},
    {"DejaVu Serif",
     {"DejaVuSerif.ttf", "DejaVuSerif-Bold.ttf", "DejaVuSerif-Italic.ttf",
      "DejaVuSerif-BoldItalic.ttf"}},
    {"DejaVu Sans Mono",
     {"DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf", "DejaVuSansMono-Oblique.ttf",
      "DejaVuSansMono-BoldOblique.ttf"}},
    {"Liberation Sans",
     {"LiberationSans-Regular.ttf", "LiberationSans-Bold.ttf", "LiberationSans-Italic.ttf",
      "LiberationSans-BoldItalic.ttf"}},
    {"Liberation Serif",
     {"LiberationSerif-Regular.ttf", "LiberationSerif-Bold.ttf", "LiberationSerif-Italic.ttf",
      "LiberationSerif-BoldItalic.ttf"}},
    {"Liberation Mono",
     {"LiberationMono-Regular.ttf", "LiberationMono-Bold.ttf", "LiberationMono-Italic.ttf",
      "LiberationMono-BoldItalic.ttf"}},
    {"Noto Sans",
     {"NotoSans-Regular.ttf", "NotoSans-Bold.ttf", "NotoSans-Italic.ttf",
      "NotoSans-BoldItalic.ttf"}},
    {"Noto Serif",
     {"NotoSerif-Regular.ttf", "NotoSerif-Bold.ttf", "NotoSerif-Italic.ttf",
      "NotoSerif-BoldItalic.ttf"}},
    {"Noto Sans Arabic", {"NotoSansArabic-Regular.ttf", "NotoSansArabic-Bold.ttf", "", ""}},
    {"Noto Sans Hebrew", {"NotoSansHebrew-Regular.ttf", "NotoSansHebrew-Bold.ttf", "", ""}},
    {"Noto Sans Devanagari",
     {"NotoSansDevanagari-Regular.ttf", "NotoSansDevanagari-Bold.ttf", "", ""}},
};

constexpr off_t kMaxFontFileBytes = 64 << 20;

// Returns the text lower-cased without spaces, hyphens and underscores.
std::string Folded(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' || c == '-' || c == '_') continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

const std::vector<std::string>& FontFamilies() {
  static const std::vector<std::string> kNames = [] {
    std::vector<std::string> names;
    for (const FamilyFiles& f : kFamilies) names.emplace_back(f.family);
    return names;
  }();
  return kNames;
}

std::string MatchFontFamily(const std::string& name) {
  const std::string folded = Folded(name);
  for (const FamilyFiles& f : kFamilies) {
    if (Folded(f.family) == folded) return f.family;
  }
  return "";
}

std::string MatchFontStyle(const std::string& style) {
  std::string folded = Folded(style);
  if (const size_t at = folded.find("oblique"); at != std::string::npos) {
    folded.replace(at, 7, "italic");
  }
  if (folded.empty() || folded == "regular") return "Regular";
  if (folded == "bold") return "Bold";
  if (folded == "italic") return "Italic";
  if (folded == "bolditalic" || folded == "italicbold") return "Bold Italic";
  return "";
}

std::string FontDirectory() {
  if (const char* env = std::getenv("TARVO_FONTS"); env != nullptr && *env != '\0') return env;
#ifdef TARVO_FONT_DIR
  if (IsDirectory(TARVO_FONT_DIR)) return TARVO_FONT_DIR;
#endif
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    std::string path(self, static_cast<size_t>(n));
    path = path.substr(0, path.rfind('/') + 1) + "fonts";
    if (IsDirectory(path)) return path;
  }
  return "fonts";
}

std::string FontFilePath(const std::string& family, const std::string& style) {
  int index = 0;
  if (style == "Bold") index = 1;
  if (style == "Italic") index = 2;
  if (style == "Bold Italic") index = 3;
  for (const FamilyFiles& f : kFamilies) {
    if (family != f.family) continue;
    const char* file = f.files[index];
    if (*file == '\0') file = f.files[index - 2];
    return FontDirectory() + "/" + file;
  }
  return "";
}

std::shared_ptr<const std::vector<uint8_t>> LoadFontFile(const std::string& path,
                                                         std::string* error) {
  static std::map<std::string, std::shared_ptr<const std::vector<uint8_t>>> loaded;
  if (auto it = loaded.find(path); it != loaded.end()) return it->second;
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    if (error) *error = "no font file " + path;
    return nullptr;
  }
  if (info.st_size > kMaxFontFileBytes) {
    if (error) *error = "font file " + path + " is larger than 64 MiB";
    return nullptr;
  }
  std::ifstream in(path, std::ios::binary);
  auto bytes = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(info.st_size));
  if (!in.read(reinterpret_cast<char*>(bytes->data()), info.st_size)) {
    if (error) *error = "cannot read font file " + path;
    return nullptr;
  }
  loaded.emplace(path, bytes);
  return bytes;
}

}  // namespace velamanifold
