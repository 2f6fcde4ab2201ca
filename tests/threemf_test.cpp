#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

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

TEST(ThreeMFFormat, CoordinatesMatchPrintfG9) {
  std::vector<double> values = {-0.0, 1e-5, 0.0001, 999999999.5, 9007199254740993.0, 5e-324,
                                std::numeric_limits<double>::max(), -HUGE_VAL};
  std::mt19937_64 random(1234);
  std::uniform_real_distribution<double> small(-1000, 1000);
  for (int i = 0; i < 20000; ++i) {
    values.insert(values.end(), {std::bit_cast<double>(random()), small(random)});
  }
  for (double d : values) {
    if (std::isnan(d)) continue;
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.9g", d);
    std::string got;
    AppendCoordinate(got, d);
    ASSERT_EQ(got, expected) << "bits of " << d;
  }
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
