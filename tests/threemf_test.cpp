#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "export/number_text.h"
#include "export/threemf.h"
#include "export/threemf_format.h"
#include "model/limits.h"
#include "pipeline/pipeline.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::Manifold;
using manifold::MeshGL64;
using Rgb = std::array<double, 3>;

const std::string kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><model unit=\"millimeter\" "
    "xmlns=\"http://schemas.microsoft.com/3dmanufacturing/core/2015/02\" "
    "xmlns:m=\"http://schemas.microsoft.com/3dmanufacturing/material/2015/02\"><resources>";

std::string PrintfG9(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

// Returns what `write` puts into a buffer, failing when it touched bytes past `room`.
template <typename T>
std::string Written(size_t room, char* (*write)(char*, T), T value) {
  char buffer[64];
  std::memset(buffer, '#', sizeof buffer);
  const std::string text(buffer, write(buffer, value));
  EXPECT_EQ(std::string(buffer + room, buffer + 64), std::string(64 - room, '#'));
  return text;
}

// A mesh of one triangle per three corners, `numProp` properties per vertex:
// x (the corner's index), y, z, then as much of the corner's colour as fits.
MeshGL64 Mesh(int numProp, const std::vector<Rgb>& corners = {{}, {}, {}}) {
  MeshGL64 mesh;
  mesh.numProp = numProp;
  for (const Rgb& c : corners) {
    const double p[] = {static_cast<double>(mesh.triVerts.size()), 0, 0, c[0], c[1], c[2]};
    mesh.vertProperties.insert(mesh.vertProperties.end(), p, p + numProp);
    mesh.triVerts.push_back(mesh.triVerts.size());
  }
  return mesh;
}

// The "vertices" and "triangles" elements of the mesh made piece by piece.
std::string Elements(const MeshGL64& mesh, const std::vector<int32_t>& colors = {},
                     int group = 0) {
  std::string text = "<vertices>";
  for (size_t v = 0; v < mesh.vertProperties.size(); v += mesh.numProp) {
    const double* p = &mesh.vertProperties[v];
    text += "<vertex x=\"" + PrintfG9(p[0]) + "\" y=\"" + PrintfG9(p[1]) + "\" z=\"" +
            PrintfG9(p[2]) + "\"/>";
  }
  text += "</vertices><triangles>";
  for (size_t t = 0; t < mesh.triVerts.size(); t += 3) {
    const uint64_t* c = &mesh.triVerts[t];
    text += "<triangle v1=\"" + std::to_string(c[0]) + "\" v2=\"" + std::to_string(c[1]) +
            "\" v3=\"" + std::to_string(c[2]);
    if (!colors.empty()) {
      text += "\" pid=\"" + std::to_string(group) + "\" p1=\"" + std::to_string(colors[t / 3]);
    }
    text += "\"/>";
  }
  return text + "</triangles>";
}

std::string Group(int id, const std::vector<std::string>& colors) {
  std::string text = "<m:colorgroup id=\"" + std::to_string(id) + "\">";
  for (const std::string& color : colors) text += "<m:color color=\"" + color + "\"/>";
  return text + "</m:colorgroup>";
}

// An object of a multi-object document holding the mesh (pid 0: none).
std::string Object(int id, const std::string& name, int pid, const MeshGL64& mesh,
                   const std::vector<int32_t>& colors = {}, int group = 0) {
  const std::string pidText = pid ? " pid=\"" + std::to_string(pid) + "\"" : "";
  return "<object id=\"" + std::to_string(id) + "\" name=\"" + name + "\" type=\"model\"" +
         pidText + "><mesh>" + Elements(mesh, colors, group) + "</mesh></object>";
}

std::string Items(int first, int last) {
  std::string text = "</resources><build>";
  for (int id = first; id <= last; ++id) text += "<item objectid=\"" + std::to_string(id) + "\"/>";
  return text + "</build></model>";
}

TEST(ThreeMFFormat, NumbersMatchPrintfAndStayWithinTheirRoom) {
  std::vector<double> values = {0.0, -0.0, HUGE_VAL, -HUGE_VAL, NAN, -NAN, 5e-324,
                                -2.2250738585072014e-308, 1.7976931348623157e308};
  // Adds the double nearest to `text` and `steps` neighbours on either side.
  auto add = [&values](const std::string& text, int steps) {
    double up = std::strtod(text.c_str(), nullptr), down = up;
    for (int i = 0; i <= steps; ++i, up = std::nextafter(up, HUGE_VAL)) {
      values.insert(values.end(), {up, down});
      down = std::nextafter(down, -HUGE_VAL);
    }
  };
  std::mt19937_64 random(1234);
  for (int e = -6; e <= 11; ++e) {
    // Exponent changes, rounding up to the next power or not, ninth-digit halves, ties.
    const std::string exp = "e" + std::to_string(e);
    for (const char* m : {"1", "9.999999995", "9.99999999499999", "1.000000005"}) add(m + exp, 3);
    for (int i = 0; i < 100; ++i) {
      const std::string digits = std::to_string(random() % 900000000 + 100000000);
      add(digits.substr(0, 1) + "." + digits.substr(1) + "5" + exp, 1);
      values.push_back(static_cast<double>(random() % 900000000 + 100000000) + 0.5);
    }
  }
  for (int i = 0; i < 20000; ++i) {
    values.insert(values.end(), {std::bit_cast<double>(random()), std::ldexp(1e9 - 1, -(i % 40)),
                                 (random() * 0x1p-60 - 8) * std::pow(10.0, random() % 17 - 6.0),
                                 std::ldexp(static_cast<double>(random() % 4000000000), -10)});
  }
  for (double d : values) {
    ASSERT_EQ(Written(kG9Room, WriteG9, d), PrintfG9(d)) << std::bit_cast<uint64_t>(d);
  }
  std::vector<uint64_t> ints = {0, UINT64_MAX, uint64_t{1} << 63};
  for (uint64_t p = 1; p <= 1e18; p *= 10) ints.insert(ints.end(), {p - 1, p, p + 1, 9 * p});
  for (uint64_t v : ints) {
    ASSERT_EQ(Written(kIntegerRoom, WriteUnsigned, v), std::to_string(v));
    for (auto s : {static_cast<int64_t>(v), static_cast<int64_t>(0 - v)}) {
      ASSERT_EQ(Written(kIntegerRoom, WriteInteger, s), std::to_string(s));
    }
  }
}

// Four or five properties per vertex are walked whole but carry no colour.
TEST(ThreeMFDocument, SingleObjectDocumentIsExact) {
  for (int extra : {0, 1, 2}) {
    const Manifold solid = Manifold::Tetrahedron().SetProperties(
        extra, [extra](double* p, manifold::vec3, const double*) { std::fill(p, p + extra, 7); });
    EXPECT_EQ(ManifoldTo3MFModelXML(solid, "m"),
              kHead + "<object id=\"1\" type=\"model\" name=\"m\"><mesh>" +
                  Elements(solid.GetMeshGL64()) + "</mesh></object>" + Items(1, 1));
  }
  EXPECT_EQ(ManifoldTo3MFModelXML(Manifold(), "m"), "");
}

// Parts without colour channels use their colour text, a part of one colour
// gets a group of its own, a part of several the shared group, whose corners
// are clamped to 0..1 (NaN as 0), averaged and rounded halves up. Inconsistent
// meshes are left out; objects are numbered after the groups.
TEST(ThreeMFDocument, MultiObjectDocumentIsExact) {
  std::mt19937_64 random(7);
  // Big enough to fill the writer's buffer many times, with a fourth property to step over.
  MeshGL64 big = Mesh(4), ragged = Mesh(3), outOfRange = Mesh(3);
  big.vertProperties.resize(4 * 3000);
  for (double& p : big.vertProperties) {
    p = (static_cast<double>(random() % 2000001) - 1e6) * std::pow(10.0, random() % 19 - 13.0);
  }
  big.triVerts.resize(3 * 5000);
  for (uint64_t& v : big.triVerts) v = random() % 3000;
  ragged.vertProperties.pop_back();
  outOfRange.triVerts[2] = 3;
  const Rgb r{1, 0, 0}, g{0, 1, 0}, b{0, 0, 1}, odd{0.5, 1.4, NAN}, low{-0.2, 0.2, 1.0 / 255};
  const MeshGL64 mixed =
      Mesh(6, {b, b, b, g, g, g, b, b, b, r, g, b, odd, odd, odd, low, low, low});
  const std::string xml = PartsTo3MFModelXML(
      {{ragged, "r", "#ABCDEF"}, {big, "a", "#FF0000"}, {Mesh(5), "b", "#FF0000"},
       {outOfRange, "o", ""}, {Mesh(3), "<\t\n\r\x0B&amp;>", "r&d"}, {Mesh(3, {}), "n", ""},
       {Mesh(3), "d", ""}, {mixed, "e", "#1"}, {Mesh(6, {g, g, g}), "f", ""}});
  EXPECT_EQ(xml, kHead + Group(1, {"#FF0000"}) + Group(2, {"r&amp;d"}) + Group(3, {"#00FF00"}) +
                     Group(4, {"#0000FF", "#00FF00", "#555555", "#80FF00", "#003301"}) +
                     Object(5, "a", 1, big) + Object(6, "b", 1, Mesh(5)) +
                     Object(7, "&lt;\t\n\r&amp;amp;&gt;", 2, Mesh(3)) + Object(8, "d", 0, Mesh(3)) +
                     Object(9, "e", 0, mixed, {0, 1, 0, 2, 3, 4}, 4) +
                     Object(10, "f", 3, Mesh(6, {g, g, g})) + Items(5, 10));
  EXPECT_EQ(PartsTo3MFModelXML({{ragged, "r", "#FF0000"}}), "");
}

TEST(ThreeMFDocument, BuildRestoresWantColorsAndPassesCeilingErrorsOn) {
  nlohmann::json objects = {{{"vid", "c0"}, {"type", "cube"}},
                            {{"vid", "bad"}, {"type", "cube"}, {"color", {{"color", "#zz0000"}}}}};
  auto id = [](int i) { return std::string("c").append(std::to_string(i)); };
  for (int i = 0; i < kMaxObjectDepth + 10; ++i) {
    objects.push_back({{"vid", id(i + 1)}, {"type", "union"}, {"baseObjects", {id(i)}}});
  }
  const std::string text = testing::Doc(objects).dump();
  VelaPipeline pipeline;
  // A colour text that is not hexadecimal fails its part only.
  std::string xml = pipeline.Build3MFMultiObjectXML(text, {{"bad", "b", ""}, {"c0", "c", ""}});
  EXPECT_TRUE(xml.ends_with("</mesh></object>" + Items(2, 2))) << xml;
  const std::string deep = id(kMaxObjectDepth + 10);
  EXPECT_THROW(pipeline.Build3MFMultiObjectXML(text, {{"c0", "ok", ""}, {deep, "deep", ""}}),
               LimitError);
  EXPECT_FALSE(pipeline.wantColors);
  std::vector<VelaPipeline::ThreeMFBuildPart> many(kMaxCopies + 1, {"c0", "a", ""});
  EXPECT_THROW(pipeline.Build3MFMultiObjectXML(text, many), LimitError);
}

}  // namespace
}  // namespace velamanifold
