#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <random>

#include "export/number_text.h"
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

size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

// A mesh of one triangle with `numProp` properties per vertex.
MeshGL64 Triangle(int numProp) {
  MeshGL64 mesh;
  mesh.numProp = numProp;
  mesh.vertProperties.assign(3 * numProp, 0);
  mesh.vertProperties[numProp] = mesh.vertProperties[2 * numProp + 1] = 1;  // x, then y
  mesh.triVerts = {0, 1, 2};
  return mesh;
}

// The start tag of an object of a multi-object document (pid 0: none).
std::string Object(int id, const std::string& name, int pid) {
  std::string tag =
      "<object id=\"" + std::to_string(id) + "\" name=\"" + name + "\" type=\"model\"";
  return pid ? tag + " pid=\"" + std::to_string(pid) + "\">" : tag + ">";
}

std::string Group(int id, const std::string& color) {
  return "<m:colorgroup id=\"" + std::to_string(id) + "\"><m:color color=\"" + color +
         "\"/></m:colorgroup>";
}

std::string PrintfG9(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

// The decimal `text` read to the nearest double, with `steps` neighbours on
// either side.
void AddAround(std::vector<double>& values, const std::string& text, int steps) {
  const double centre = std::strtod(text.c_str(), nullptr);
  double up = centre, down = centre;
  values.push_back(centre);
  for (int i = 0; i < steps; ++i) {
    values.push_back(up = std::nextafter(up, HUGE_VAL));
    values.push_back(down = std::nextafter(down, -HUGE_VAL));
  }
}

TEST(ThreeMFFormat, CoordinatesMatchPrintfG9) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> values = {
      0.0,      -0.0,      1e-5, 0.0001, 999999999.5, 9007199254740993.0, 5e-324,
      -2.2250738585072014e-308, std::numeric_limits<double>::max(),
      HUGE_VAL, -HUGE_VAL, nan,  -nan,   0.1,         1.5,                 -25,
      100,      1e8,       123456789};
  for (int e = -6; e <= 11; ++e) {
    const std::string exponent = "e" + std::to_string(e);
    AddAround(values, "1" + exponent, 3);                     // where the exponent changes
    AddAround(values, "9.999999995" + exponent, 3);           // rounds up to the next power
    AddAround(values, "9.99999999499999" + exponent, 1);      // just does not
    AddAround(values, "1.000000005" + exponent, 3);           // a half at the ninth digit
    AddAround(values, "1.0000000050000001" + exponent, 1);
  }
  std::mt19937_64 random(1234);
  std::uniform_int_distribution<int> exponents(-6, 10);
  std::uniform_int_distribution<int64_t> nineDigits(100000000, 999999999);
  for (int i = 0; i < 2000; ++i) {
    // Near halves at the ninth digit, at every exponent.
    const std::string digits = std::to_string(nineDigits(random));
    AddAround(values, digits.substr(0, 1) + "." + digits.substr(1) + "5e" +
                          std::to_string(exponents(random)), 1);
    // Exact halves, where a rounding rule for ties decides.
    values.push_back(static_cast<double>(nineDigits(random)) + 0.5);
  }
  for (int k = 0; k <= 40; ++k) {
    values.insert(values.end(), {std::ldexp(1.0, -k), std::ldexp(3.0, -k), std::ldexp(1e9 - 1, -k),
                                 std::ldexp(0x1FFFFFFFFFFFFF, -k - 30)});
  }
  std::uniform_real_distribution<double> mantissa(1, 10), small(-1000, 1000);
  std::uniform_int_distribution<int64_t> integers(-2000000000, 2000000000);
  for (int i = 0; i < 20000; ++i) {
    const double scaled = mantissa(random) * std::pow(10.0, exponents(random));
    const double integer = static_cast<double>(integers(random));
    values.insert(values.end(), {std::bit_cast<double>(random()), small(random),
                                 random() % 2 ? scaled : -scaled, integer, integer / 2,
                                 integer / 1024});
  }
  for (double d : values) {
    std::string got;
    AppendCoordinate(got, d);
    ASSERT_EQ(got, PrintfG9(d)) << "bits " << std::bit_cast<uint64_t>(d);
  }
}

TEST(ThreeMFFormat, IntegersMatchToString) {
  std::vector<uint64_t> values = {0, std::numeric_limits<uint64_t>::max()};
  for (uint64_t power = 1; power <= 1000000000000000000u; power *= 10) {
    values.insert(values.end(), {power - 1, power, power + 1, 9 * power, 5 * power + 7});
  }
  std::mt19937_64 random(99);
  for (int i = 0; i < 2000; ++i) values.push_back(random() >> (random() % 64));
  for (uint64_t v : values) {
    std::string unsignedText, signedText;
    AppendUnsigned(unsignedText, v);
    ASSERT_EQ(unsignedText, std::to_string(v));
    const auto s = static_cast<int64_t>(v);
    AppendInteger(signedText, s);
    ASSERT_EQ(signedText, std::to_string(s));
  }
}

// The writers store whole words and may run past the text's end, but never
// past the room their callers leave.
TEST(ThreeMFFormat, NumberWritersStayWithinTheirRoom) {
  const struct {
    size_t room;
    std::function<char*(char*)> write;
  } cases[] = {
      {kG9Room, [](char* out) { return WriteG9(out, -1.23456789e-308); }},
      {kG9Room, [](char* out) { return WriteG9(out, -0.000123456789); }},
      {kG9Room, [](char* out) { return WriteG9(out, -12345678.9); }},
      {kG9Room, [](char* out) { return WriteG9(out, -1.5); }},
      {kIntegerRoom, [](char* out) { return WriteInteger(out, INT64_MIN); }},
      {kIntegerRoom, [](char* out) { return WriteUnsigned(out, UINT64_MAX); }},
      {kIntegerRoom, [](char* out) { return WriteUnsigned(out, 7); }},
  };
  for (const auto& c : cases) {
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    const char* end = c.write(buffer);
    EXPECT_LE(static_cast<size_t>(end - buffer), c.room);
    EXPECT_EQ(std::string(buffer + c.room, buffer + sizeof buffer), std::string(64 - c.room, '#'));
  }
}

// Elements long enough to fill the writer's buffer many times over, with
// numbers of every length (and a fourth property to step over), against the
// same text made piece by piece.
TEST(ThreeMFFormat, ElementsMatchPieceByPieceText) {
  std::mt19937_64 random(7);
  std::uniform_int_distribution<int> exponents(-7, 11);
  std::uniform_real_distribution<double> unit(-1, 1);
  MeshGL64 mesh;
  std::string vertices = "<vertices>", plain = "<triangles>", coloured = plain;
  for (int v = 0; v < 3000; ++v) {
    double p[4];
    for (double& c : p) c = unit(random) * std::pow(10.0, exponents(random));
    mesh.vertProperties.insert(mesh.vertProperties.end(), p, p + 4);
    vertices += "<vertex x=\"" + PrintfG9(p[0]) + "\" y=\"" + PrintfG9(p[1]) + "\" z=\"" +
                PrintfG9(p[2]) + "\"/>";
  }
  std::vector<int32_t> colors;
  for (int t = 0; t < 5000; ++t) {
    std::string triangle = "<triangle";
    for (const char* corner : {" v1=\"", "\" v2=\"", "\" v3=\""}) {
      mesh.triVerts.push_back(random() % 3000);
      triangle += corner + std::to_string(mesh.triVerts.back());
    }
    colors.push_back(static_cast<int32_t>(random() % 70000));
    plain += triangle + "\"/>";
    coloured += triangle + "\" pid=\"12345\" p1=\"" + std::to_string(colors.back()) + "\"/>";
  }
  std::string got, gotPlain, gotColoured;
  AppendVertices(got, mesh, 4, 3000);
  EXPECT_EQ(got, vertices + "</vertices>");
  AppendTriangles(gotPlain, mesh, nullptr, 12345);
  EXPECT_EQ(gotPlain, plain + "</triangles>");
  AppendTriangles(gotColoured, mesh, &colors, 12345);
  EXPECT_EQ(gotColoured, coloured + "</triangles>");
}

TEST(ThreeMFFormat, EscapeKeepsLineBreaksAndDropsOtherControls) {
  EXPECT_EQ(LocalXmlEscape(std::string("<\t\n\r\0\x0B&amp;>", 12)), "&lt;\t\n\r&amp;amp;&gt;");
}

TEST(ThreeMFFormat, TriangleColorClampsAndRoundsHalvesUp) {
  auto color = [](std::vector<double> rgb) {
    MeshGL64 mesh = WithProps(Manifold::Cube(), rgb).GetMeshGL64();
    return TriangleColor(mesh, mesh.numProp, 0);
  };
  // 127.5 rounds away from zero; channels beyond 0..1 are clamped, NaN counts as 0.
  EXPECT_EQ(color({0.5, 1.4, std::numeric_limits<double>::quiet_NaN()}), "#80FF00");
  EXPECT_EQ(color({-0.2, 0.2, 1.0 / 255}), "#003301");
}

TEST(ThreeMFFormat, TriangleColorIndicesNumberColoursAsTheyFirstAppear) {
  using Rgb = std::array<double, 3>;
  const Rgb red{1, 0, 0}, green{0, 1, 0}, blue{0, 0, 1};
  // One triangle per entry, its corners coloured as listed.
  const std::vector<std::array<Rgb, 3>> corners = {
      {red, red, red},       {green, green, green}, {red, red, red}, {blue, blue, blue},
      {red, green, blue},    {green, green, green}, {blue, blue, blue}};
  MeshGL64 mesh;
  mesh.numProp = 6;
  for (const auto& triangle : corners) {
    for (const Rgb& rgb : triangle) {
      mesh.triVerts.push_back(mesh.vertProperties.size() / 6);
      mesh.vertProperties.insert(mesh.vertProperties.end(), {0, 0, 0, rgb[0], rgb[1], rgb[2]});
    }
  }
  ColorTable table;
  table.Index("#0000FF");  // met in an earlier part of the same document
  EXPECT_EQ(TriangleColorIndices(mesh, 6, table), (std::vector<int32_t>{1, 2, 1, 0, 3, 2, 0}));
  EXPECT_EQ(table.Entries(),
            (std::vector<std::string>{"#0000FF", "#FF0000", "#00FF00", "#555555"}));
}

TEST(ThreeMFSingle, SolidWithoutColourChannelsHasNoColourGroup) {
  // Four or five properties per vertex are walked whole but carry no colour.
  for (const std::vector<double>& extra : std::vector<std::vector<double>>{{}, {7}, {7, 8}}) {
    Manifold solid = WithProps(Manifold::Cube({2, 3, 4}), extra);
    std::string xml = ManifoldTo3MFModelXML(solid, "model");
    EXPECT_TRUE(xml.starts_with(kHead + "<object id=\"1\" type=\"model\" name=\"model\"><mesh>"));
    EXPECT_TRUE(xml.ends_with("</mesh></object></resources><build><item objectid=\"1\"/></build>"
                              "</model>"));
    EXPECT_EQ(Count(xml, "pid"), 0u);
    EXPECT_EQ(Count(xml, "<vertex "), solid.NumVert());
    EXPECT_EQ(Count(xml, "<vertex x=\"2\" y=\"3\" z=\"4\"/>"), 1u);
  }
  EXPECT_EQ(ManifoldTo3MFModelXML(Manifold(), "model"), "");
}

TEST(ThreeMFMulti, UncolouredPartsUseTheirColourText) {
  const struct {
    std::string colorA, colorB, groups;
    int idA, pidA, pidB;  // part b has id idA + 1
  } cases[] = {
      {"#FF0000", "#00FF00", Group(1, "#FF0000") + Group(2, "#00FF00"), 3, 1, 2},
      {"#FF0000", "#FF0000", Group(1, "#FF0000"), 2, 1, 1},
      {"r&d", "", Group(1, "r&amp;d"), 2, 1, 0},
  };
  for (const auto& c : cases) {
    for (int numProp : {3, 5}) {
      std::string xml = PartsTo3MFModelXML(
          {{Triangle(numProp), "a", c.colorA}, {Triangle(numProp), "b", c.colorB}});
      EXPECT_TRUE(xml.starts_with(kHead + c.groups + Object(c.idA, "a", c.pidA) +
                                  "<mesh><vertices><vertex x=\"0\" y=\"0\" z=\"0\"/>"))
          << xml;
      EXPECT_EQ(Count(xml, Object(c.idA + 1, "b", c.pidB) + "<mesh>"), 1u);
      EXPECT_EQ(Count(xml, "<vertex "), 6u);
    }
  }
}

TEST(ThreeMFMulti, InconsistentMeshesAreLeftOutAndIdsCloseUp) {
  MeshGL64 ragged = Triangle(3), outOfRange = Triangle(3), noTriangle = Triangle(3);
  ragged.vertProperties.pop_back();
  outOfRange.triVerts[2] = 3;
  noTriangle.triVerts.clear();
  std::vector<ThreeMFPartMesh> parts;
  for (const MeshGL64& mesh :
       {ragged, Triangle(3), outOfRange, MeshGL64(), Triangle(3), noTriangle}) {
    parts.push_back({mesh, std::string("p").append(std::to_string(parts.size())), ""});
  }
  std::string xml = PartsTo3MFModelXML(std::move(parts));
  EXPECT_EQ(Count(xml, "<object "), 2u);
  EXPECT_EQ(Count(xml, Object(1, "p1", 0)) + Count(xml, Object(2, "p4", 0)), 2u);
  EXPECT_TRUE(xml.ends_with("<build><item objectid=\"1\"/><item objectid=\"2\"/></build></model>"));
  EXPECT_EQ(PartsTo3MFModelXML({{ragged, "ragged", "#FF0000"}}), "");
}

TEST(ThreeMFMulti, BuildRestoresWantColorsAndPassesCeilingErrorsOn) {
  nlohmann::json objects = {{{"vid", "c0"}, {"type", "cube"}},
                            {{"vid", "bad"}, {"type", "cube"}, {"color", {{"color", "#zz0000"}}}}};
  auto id = [](int i) { return std::string("c").append(std::to_string(i)); };
  for (int i = 0; i < kMaxObjectDepth + 10; ++i) {
    objects.push_back({{"vid", id(i + 1)}, {"type", "union"}, {"baseObjects", {id(i)}}});
  }
  const std::string text = testing::Doc(objects).dump();
  VelaPipeline pipeline;
  EXPECT_EQ(pipeline.Build3MFMultiObjectXML("{not json", {{"c0", "c", ""}}), "");
  // A colour text that is not hexadecimal fails its part only.
  std::string xml = pipeline.Build3MFMultiObjectXML(text, {{"bad", "b", ""}, {"c0", "c", ""}});
  EXPECT_EQ(Count(xml, "<object "), 1u);
  EXPECT_EQ(Count(xml, Object(2, "c", 1)), 1u);
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
