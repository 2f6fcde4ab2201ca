#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <regex>

#include "export/threemf.h"
#include "export/threemf_format.h"
#include "export/xml_escape.h"
#include "pipeline/limits.h"
#include "pipeline/pipeline.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::Manifold;
using manifold::MeshGL64;

const std::string kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><model unit=\"millimeter\" "
    "xmlns=\"http://schemas.microsoft.com/3dmanufacturing/core/2015/02\" "
    "xmlns:m=\"http://schemas.microsoft.com/3dmanufacturing/material/2015/02\"><resources>";

// Returns the solid with `extra` constant vertex properties after x, y, z.
Manifold WithProps(const Manifold& solid, std::vector<double> extra) {
  return solid.SetProperties(static_cast<int>(extra.size()),
                             [extra](double* p, manifold::vec3, const double*) {
                               for (size_t i = 0; i < extra.size(); ++i) p[i] = extra[i];
                             });
}

Manifold Colored(double r, double g, double b) {
  return WithProps(Manifold::Cube({1, 1, 1}), {r, g, b});
}

size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

// The colour index ("p1") of every triangle element, in order (-1 where
// there is none).
std::vector<int> TriangleColorIndex(const std::string& xml) {
  static const std::regex kTriangle("<triangle [^>]*?(?: p1=\"(\\d+)\")?/>");
  std::vector<int> out;
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), kTriangle);
       it != std::sregex_iterator(); ++it) {
    out.push_back((*it)[1].matched ? std::stoi((*it)[1].str()) : -1);
  }
  return out;
}

std::vector<std::string> GroupColors(const std::string& xml) {
  static const std::regex kColor("<m:color color=\"([^\"]*)\"/>");
  std::vector<std::string> out;
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), kColor);
       it != std::sregex_iterator(); ++it) {
    out.push_back((*it)[1].str());
  }
  return out;
}

TEST(ThreeMFFormat, CoordinatesMatchPrintfG9) {
  const double inf = std::numeric_limits<double>::infinity();
  // clang-format off
  std::vector<double> values = {0.0, -0.0, 10, 0.1, 1.0 / 3, -2.0 / 3, 1e-12, 123456789.5,
      123456785, 999999999.5, 1e9, 1e15, 9007199254740993.0, 1e300, 0.0001, 0.00001, 1.5e-5,
      5e-324, 2.2250738585072014e-308, 4.9e-320, std::numeric_limits<double>::max(), inf, -inf};
  // clang-format on
  std::mt19937_64 random(1234);
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (std::isfinite(d)) values.push_back(d);
    values.push_back(std::uniform_real_distribution<double>(-1000, 1000)(random));
  }
  for (double d : values) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.9g", d);
    std::string got;
    AppendCoordinate(got, d);
    ASSERT_EQ(got, expected) << "bits of " << d;
  }
}

TEST(ThreeMFFormat, EscapeTable) {
  struct Case {
    std::string in, out;
  };
  const std::vector<Case> cases = {
      {"a<b&c\"d'e>f", "a&lt;b&amp;c&quot;d&apos;e&gt;f"},
      {"tab\tlf\ncr\r", "tab\tlf\ncr\r"},
      {std::string("a\x01" "b\x08\x0B\x0C\x0E\x1F" "c", 9), "abc"},
      {std::string("nul\0end", 7), "nulend"},
      {"\x7F\xC3\xA4\xE2\x82\xAC ok", "\x7F\xC3\xA4\xE2\x82\xAC ok"},
      {"&amp;", "&amp;amp;"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(LocalXmlEscape(c.in), c.out);
}

TEST(ThreeMFFormat, TriangleColorRoundsAndClamps) {
  struct Case {
    std::vector<double> channels;
    std::string color;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<Case> cases = {
      {{0.5, 0.5, 0.5}, "#808080"},   // 127.5 rounds away from zero
      {{-0.2, 1.4, 0.2}, "#00FF33"},  // clamped to 0 and 1
      {{1, 0, 0}, "#FF0000"},
      {{nan, 1, 0}, "#00FF00"},
      {{0.1, 0.9, 1.0 / 255}, "#1AE601"},
  };
  for (const Case& c : cases) {
    MeshGL64 mesh = WithProps(Manifold::Cube(), c.channels).GetMeshGL64();
    EXPECT_EQ(TriangleColor(mesh, mesh.numProp, 0), c.color);
  }
  // Channels are averaged over the three vertices before rounding.
  MeshGL64 mixed;
  mixed.numProp = 6;
  mixed.vertProperties = {0, 0, 0, 1, 0, 0.5, 1, 0, 0, 0, 0, 0.5, 0, 1, 0, 0, 1, 0.5};
  mixed.triVerts = {0, 1, 2};
  EXPECT_EQ(TriangleColor(mixed, 6, 0), "#555580");
}

TEST(ThreeMFSingle, UncolouredSolidHasNoColourGroup) {
  Manifold cube = Manifold::Cube({2, 3, 4});
  std::string xml = ManifoldTo3MFModelXML(cube, "model");
  EXPECT_EQ(xml.rfind(kHead + "<object id=\"1\" type=\"model\" name=\"model\"><mesh><vertices>", 0),
            0u);
  EXPECT_TRUE(xml.ends_with("</triangles></mesh></object></resources><build><item objectid=\"1\"/>"
                            "</build></model>"));
  EXPECT_EQ(Count(xml, "pid"), 0u);
  EXPECT_EQ(Count(xml, "<vertex "), cube.NumVert());
  EXPECT_EQ(Count(xml, "<triangle "), cube.NumTri());
  EXPECT_EQ(Count(xml, "<vertex x=\"2\" y=\"3\" z=\"4\"/>"), 1u);
  EXPECT_FALSE(std::regex_search(xml, std::regex(">\\s|\\s<|\n")));
  EXPECT_EQ(ManifoldTo3MFModelXML(Manifold(), "model"), "");
}

TEST(ThreeMFSingle, TwoColoursGoOnEveryTriangleInFirstAppearanceOrder) {
  Manifold solid = Colored(0, 0, 1) + Colored(1, 0, 0).Translate({3, 0, 0});
  MeshGL64 mesh = solid.GetMeshGL64();
  std::string xml = ManifoldTo3MFModelXML(solid, "two");
  EXPECT_EQ(Count(xml, "<object id=\"2\" type=\"model\" name=\"two\"><mesh>"), 1u);
  std::vector<std::string> table = GroupColors(xml);
  ASSERT_EQ(table.size(), 2u);
  std::vector<int> pindex = TriangleColorIndex(xml);
  ASSERT_EQ(pindex.size(), mesh.NumTri());
  EXPECT_EQ(pindex[0], 0);
  EXPECT_EQ(Count(xml, "pid=\"1\" p1="), mesh.NumTri());
  for (size_t t = 0; t < pindex.size(); ++t) {
    ASSERT_TRUE(pindex[t] == 0 || pindex[t] == 1);
    EXPECT_EQ(table[pindex[t]], TriangleColor(mesh, 6, t));
  }
}

TEST(ThreeMFSingle, ShortPropertyRowsAreWalkedWithoutColours) {
  for (std::vector<double> extra : {std::vector<double>{7}, std::vector<double>{7, 8}}) {
    Manifold solid = WithProps(Manifold::Cube({1, 1, 1}).Translate({5, 0, 0}), extra);
    std::string xml = ManifoldTo3MFModelXML(solid, "m");
    EXPECT_EQ(Count(xml, "colorgroup"), 0u);
    EXPECT_EQ(Count(xml, "<object id=\"1\""), 1u);
    EXPECT_EQ(Count(xml, "<vertex "), solid.NumVert());
    EXPECT_EQ(Count(xml, "<vertex x=\"6\" y=\"1\" z=\"1\"/>"), 1u);
    EXPECT_EQ(Count(xml, " x=\"7\""), 0u);
  }
}

// A mesh of one triangle, with `numProp` properties per vertex and channels
// r, g, b when numProp >= 6.
MeshGL64 Triangle(int numProp, std::vector<double> rgb = {}) {
  MeshGL64 mesh;
  mesh.numProp = numProp;
  for (int v = 0; v < 3; ++v) {
    std::vector<double> row(numProp, 0);
    row[0] = v == 1;
    row[1] = v == 2;
    for (size_t k = 0; k < rgb.size(); ++k) row[3 + k] = rgb[k];
    mesh.vertProperties.insert(mesh.vertProperties.end(), row.begin(), row.end());
  }
  mesh.triVerts = {0, 1, 2};
  return mesh;
}

TEST(ThreeMFMulti, UncolouredPartsUseTheirColourText) {
  struct Case {
    std::string colorA, colorB;
    std::string groups;               // the colour groups as written
    std::string pidA, pidB;           // the pid attribute of each object
  };
  const std::vector<Case> cases = {
      {"#FF0000", "#00FF00",
       "<m:colorgroup id=\"1\"><m:color color=\"#FF0000\"/></m:colorgroup>"
       "<m:colorgroup id=\"2\"><m:color color=\"#00FF00\"/></m:colorgroup>",
       "<object id=\"3\" name=\"a\" type=\"model\" pid=\"1\">",
       "<object id=\"4\" name=\"b\" type=\"model\" pid=\"2\">"},
      {"#FF0000", "#FF0000", "<m:colorgroup id=\"1\"><m:color color=\"#FF0000\"/></m:colorgroup>",
       "<object id=\"2\" name=\"a\" type=\"model\" pid=\"1\">",
       "<object id=\"3\" name=\"b\" type=\"model\" pid=\"1\">"},
      {"", "", "", "<object id=\"1\" name=\"a\" type=\"model\">",
       "<object id=\"2\" name=\"b\" type=\"model\">"},
      {"r&d", "", "<m:colorgroup id=\"1\"><m:color color=\"r&amp;d\"/></m:colorgroup>",
       "<object id=\"2\" name=\"a\" type=\"model\" pid=\"1\">",
       "<object id=\"3\" name=\"b\" type=\"model\">"},
  };
  for (const Case& c : cases) {
    for (int numProp : {3, 5}) {
      std::vector<ThreeMFPartMesh> parts;
      parts.push_back({Triangle(numProp), "a", c.colorA});
      parts.push_back({Triangle(numProp), "b", c.colorB});
      std::string xml = PartsTo3MFModelXML(std::move(parts));
      EXPECT_EQ(xml.rfind(kHead + c.groups + c.pidA + "<mesh><vertices><vertex x=\"0\" y=\"0\" "
                                                      "z=\"0\"/><vertex x=\"1\"",
                          0),
                0u)
          << xml;
      EXPECT_EQ(Count(xml, c.pidB + "<mesh>"), 1u);
      EXPECT_EQ(Count(xml, "pindex"), 0u);
      EXPECT_EQ(Count(xml, "p1="), 0u);
      EXPECT_EQ(Count(xml, "<vertex "), 6u);
    }
  }
}

TEST(ThreeMFMulti, InconsistentMeshesAreLeftOutAndIdsCloseUp) {
  MeshGL64 ragged = Triangle(3);
  ragged.vertProperties.pop_back();
  MeshGL64 outOfRange = Triangle(3);
  outOfRange.triVerts[2] = 3;
  MeshGL64 noTriangle = Triangle(3);
  noTriangle.triVerts.clear();
  std::vector<ThreeMFPartMesh> parts;
  parts.push_back({ragged, "ragged", ""});
  parts.push_back({Triangle(3), "first", ""});
  parts.push_back({outOfRange, "outOfRange", ""});
  parts.push_back({MeshGL64(), "empty", ""});
  parts.push_back({Triangle(3), "second", ""});
  parts.push_back({noTriangle, "noTriangle", ""});
  std::string xml = PartsTo3MFModelXML(std::move(parts));
  EXPECT_EQ(Count(xml, "<object "), 2u);
  EXPECT_EQ(Count(xml, "<object id=\"1\" name=\"first\""), 1u);
  EXPECT_EQ(Count(xml, "<object id=\"2\" name=\"second\""), 1u);
  EXPECT_TRUE(xml.ends_with("<build><item objectid=\"1\"/><item objectid=\"2\"/></build></model>"));

  std::vector<ThreeMFPartMesh> none;
  none.push_back({ragged, "ragged", "#FF0000"});
  EXPECT_EQ(PartsTo3MFModelXML(std::move(none)), "");
}

TEST(ThreeMFMulti, BuildRestoresWantColorsAndPassesCeilingErrorsOn) {
  nlohmann::json objects = {{{"vid", "c0"}, {"type", "cube"}},
                            {{"vid", "bad"}, {"type", "cube"}, {"color", {{"color", "#zz0000"}}}}};
  auto id = [](int i) {
    std::string text = "c";
    return text += std::to_string(i);
  };
  for (int i = 0; i < kMaxObjectDepth + 10; ++i) {
    objects.push_back({{"vid", id(i + 1)}, {"type", "union"}, {"baseObjects", {id(i)}}});
  }
  const std::string text = testing::Doc(objects).dump();
  VelaPipeline pipeline;
  // A colour text that is not hexadecimal fails its part only.
  std::string xml = pipeline.Build3MFMultiObjectXML(text, {{"bad", "b", ""}, {"c0", "c", ""}});
  EXPECT_EQ(Count(xml, "<object "), 1u);
  EXPECT_EQ(Count(xml, "<object id=\"2\" name=\"c\" type=\"model\" pid=\"1\">"), 1u);
  EXPECT_FALSE(pipeline.wantColors);
  const std::string deep = id(kMaxObjectDepth + 10);
  EXPECT_THROW(pipeline.Build3MFMultiObjectXML(text, {{"c0", "ok", ""}, {deep, "deep", ""}}),
               LimitError);
  EXPECT_FALSE(pipeline.wantColors);
  std::vector<VelaPipeline::ThreeMFBuildPart> many(kMaxCopies + 1, {"c0", "a", ""});
  EXPECT_THROW(pipeline.Build3MFMultiObjectXML(text, many), LimitError);
}

}  // namespace
}  // namespace velamanifold
