#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "import/font_catalog.h"
#include "import/text_outline.h"
#include "model/limits.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::Box;
using manifold::CrossSection;
using nlohmann::json;
using testing::Doc;
using testing::ResolveDoc;

// Returns the region of one "text" object with the given members.
CrossSection TextRegion(json members, int segments = 64) {
  members["vid"] = "t";
  members["type"] = "text";
  return ResolveDoc(Doc(json::array({members})), "t", segments);
}

manifold::Rect Bounds(json members) { return TextRegion(std::move(members)).Bounds(); }

// Returns the area-weighted centre of a region's polygons.
manifold::vec2 Centroid(const CrossSection& region) {
  double area = 0, x = 0, y = 0;
  for (const auto& ring : region.ToPolygons()) {
    for (size_t i = 0; i < ring.size(); ++i) {
      const auto& a = ring[i];
      const auto& b = ring[(i + 1) % ring.size()];
      const double cross = a.x * b.y - b.x * a.y;
      area += cross;
      x += (a.x + b.x) * cross;
      y += (a.y + b.y) * cross;
    }
  }
  return {x / (3 * area), y / (3 * area)};
}

TEST(TextString, BoundsScaleLinearlyWithFontSizeAndStringsGrowAsTheyShould) {
  const auto small = Bounds({{"text", "Hello"}, {"fontSize", 10}});
  const auto large = Bounds({{"text", "Hello"}, {"fontSize", 25}});
  ASSERT_GT(small.Size().x, 0);
  EXPECT_NEAR(large.min.x, 2.5 * small.min.x, 1e-9);
  EXPECT_NEAR(large.max.x, 2.5 * small.max.x, 1e-9);
  EXPECT_NEAR(large.min.y, 2.5 * small.min.y, 1e-9);
  EXPECT_NEAR(large.max.y, 2.5 * small.max.y, 1e-9);
  // A capital H of DejaVu Sans is 0.729 em tall and stands on the baseline.
  const auto h = Bounds({{"text", "H"}, {"fontSize", 100}});
  EXPECT_NEAR(h.min.y, 0, 1e-9);
  EXPECT_NEAR(h.max.y, 72.9, 0.1);
  const auto hh = Bounds({{"text", "HH"}, {"fontSize", 100}});
  EXPECT_GT(hh.Size().x, 1.9 * h.Size().x);
  // Letter spacing widens the advances only.
  const auto spaced = Bounds({{"text", "HH"}, {"fontSize", 100}, {"spacing", 2}});
  EXPECT_GT(spaced.Size().x, hh.Size().x + 50);
  EXPECT_NEAR(spaced.Size().y, hh.Size().y, 1e-9);
  // Each line break puts a line below at the font's line spacing.
  const auto two = Bounds({{"text", "H\nH"}, {"fontSize", 100}});
  const auto wide = Bounds({{"text", "H\nH"}, {"fontSize", 100}, {"lineHeight", 2}});
  EXPECT_NEAR(two.max.y, h.max.y, 1e-9);
  EXPECT_NEAR(two.min.y - wide.min.y, -two.min.y, 1e-6);
  EXPECT_GT(-two.min.y, 100);
}

TEST(TextString, KerningNarrowsAV) {
  // Unkerned, the V of "AV" would end one advance of A (as "AA" shows) right of a lone V.
  const double a = Bounds({{"text", "A"}, {"fontSize", 100}}).max.x;
  const double aa = Bounds({{"text", "AA"}, {"fontSize", 100}}).max.x;
  const double v = Bounds({{"text", "V"}, {"fontSize", 100}}).max.x;
  const double av = Bounds({{"text", "AV"}, {"fontSize", 100}}).max.x;
  EXPECT_LT(av, aa - a + v - 1.0);
}

TEST(TextString, AlignmentMovesTheBoundsAsDocumented) {
  const json base = {{"text", "H"}, {"fontSize", 100}};
  auto with = [&](const char* key, const char* value) {
    json members = base;
    members[key] = value;
    return Bounds(members);
  };
  const auto left = with("halign", "left");
  const auto center = with("halign", "center");
  const auto right = with("halign", "right");
  const double advance = left.max.x + left.min.x;  // H's side bearings are equal
  EXPECT_NEAR(center.min.x, -center.max.x, 1e-6);
  EXPECT_NEAR(right.max.x, left.max.x - advance, 1e-6);
  EXPECT_NEAR(center.Size().x, left.Size().x, 1e-9);
  // Vertical alignment goes by the font's ascender (0.928 em) and descender (-0.236 em).
  const struct {
    const char* valign;
    double bottom;
  } rows[] = {{"baseline", 0}, {"top", -92.8}, {"bottom", 23.6}, {"center", -(92.8 - 23.6) / 2}};
  for (const auto& row : rows) {
    EXPECT_NEAR(with("valign", row.valign).min.y, row.bottom, 0.1) << row.valign;
  }
}

TEST(TextString, ReadsUprightFromAboveAndCurvesFollowTheSegments) {
  // An L's mass lies left of and below the middle of its bounds.
  const CrossSection l = TextRegion({{"text", "L"}, {"fontSize", 100}});
  const auto box = l.Bounds();
  const auto centre = Centroid(l);
  EXPECT_LT(centre.x, (box.min.x + box.max.x) / 2);
  EXPECT_LT(centre.y, (box.min.y + box.max.y) / 2);
  // An O has about as many points as two circles of the same segments.
  for (int segments : {16, 64, 256}) {
    const CrossSection o = TextRegion({{"text", "O"}, {"fontSize", 100}}, segments);
    EXPECT_GE(o.NumVert(), static_cast<size_t>(2 * segments)) << segments;
    EXPECT_LE(o.NumVert(), static_cast<size_t>(2 * segments + 40)) << segments;
  }
}

TEST(TextString, PolygonsWinAndMembersThatSetNothingBuildNothing) {
  // A usable "_polygons" list keeps its outline whatever the string says.
  const json square = json::array({json::array({{0, 0}, {10, 0}, {10, 10}, {0, 10}})});
  const auto kept = Bounds({{"text", "Hello"}, {"_polygons", square}});
  EXPECT_NEAR(kept.Size().x, 10, 1e-9);
  EXPECT_FALSE(TextRegion({{"text", "Hi"}, {"_polygons", json::array()}}).IsEmpty());
  const json unusable[] = {
      {{"text", ""}},
      {{"text", "   "}},
      {{"text", "Hi"}, {"fontSize", 0}},
      {{"text", "Hi"}, {"fontSize", -3}},
      {{"text", "Hi"}, {"fontSize", 1e9}},
      {{"text", "Hi"}, {"spacing", 1e6}},
  };
  for (const json& members : unusable) EXPECT_TRUE(TextRegion(members).IsEmpty()) << members;
  // An unknown family or style falls back to the default.
  EXPECT_FALSE(TextRegion({{"text", "Hi"}, {"font", "Nope"}, {"style", "Wavy"}}).IsEmpty());
  EXPECT_THROW(TextRegion({{"text", std::string(kMaxTextBytes + 1, 'x')}}), LimitError);
}

TEST(TextString, FamiliesStylesAndMissingGlyphs) {
  EXPECT_EQ(MatchFontFamily("dejavusans"), "DejaVu Sans");
  EXPECT_EQ(MatchFontFamily("Liberation-Mono"), "Liberation Mono");
  EXPECT_EQ(MatchFontFamily("Comic Sans"), "");
  EXPECT_EQ(MatchFontStyle("bold oblique"), "Bold Italic");
  EXPECT_EQ(MatchFontStyle(""), "Regular");
  EXPECT_EQ(MatchFontStyle("Heavy"), "");
  for (const std::string& family : FontFamilies()) {
    for (const char* style : {"Regular", "Bold", "Italic", "Bold Italic"}) {
      EXPECT_TRUE(LoadFontFile(FontFilePath(family, style), nullptr)) << family << " " << style;
    }
  }
  const FontBytes sans = LoadFontFile(FontFilePath("DejaVu Sans", "Regular"), nullptr);
  EXPECT_EQ(MissingCharacters(sans, "A\xe4\xb8\xad" "B\xe4\xb8\xad\n\xea\xb0\x80"),
            (std::vector<char32_t>{0x4E2D, 0xAC00}));
  EXPECT_TRUE(MissingCharacters(sans, "Grüße, Ærøskøbing").empty());
  // A missing glyph leaves a gap: the letters around it still build.
  EXPECT_FALSE(TextRegion({{"text", "A\xe4\xb8\xad"}}).IsEmpty());
  EXPECT_TRUE(TextRegion({{"text", "\xe4\xb8\xad"}}).IsEmpty());
}

TEST(TextString, FilesThatAreNotFontsGiveNoOutline) {
  const std::string dir = ::testing::TempDir() + "tarvo-not-fonts";
  std::system(("mkdir -p " + dir).c_str());
  const std::string contents[] = {"", "not a font at all", std::string(4096, '\0'),
                                  std::string("\x00\x01\x00\x00\x00\x10", 6) + "garbage"};
  int n = 0;
  for (const std::string& bytes : contents) {
    const std::string path = dir + "/f" + std::to_string(n++) + ".ttf";
    std::ofstream(path, std::ios::binary) << bytes;
    std::string error;
    const FontBytes font = LoadFontFile(path, &error);
    ASSERT_TRUE(font) << error;
    TextLayout layout;
    const TextOutline outline = LayOutText(font, "Hello", layout);
    EXPECT_TRUE(outline.contours.empty());
    EXPECT_FALSE(outline.error.empty());
  }
  std::string error;
  EXPECT_FALSE(LoadFontFile(dir + "/none.ttf", &error));
  EXPECT_NE(error.find("no font file"), std::string::npos);
}

}  // namespace
}  // namespace velamanifold
