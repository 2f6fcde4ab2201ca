#include <gtest/gtest.h>

#include "pipeline/limits.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::Manifold;
using manifold::vec3;
using nlohmann::json;
using testing::BoxNear;
using testing::BuildDoc;
using testing::Doc;

// A document with a 5-cube "c", a 2 x 2 x 8 post "p" and the array "a".
json ArrayDoc(const std::string& type, const json& grid, const json& bases = {"c"}) {
  json array = {{"vid", "a"}, {"type", type}, {"baseObjects", bases}};
  if (!grid.is_null()) array["grid"] = grid;
  return Doc({{{"vid", "c"}, {"type", "cube"}, {"size", 5}, {"visible", false}},
              {{"vid", "p"}, {"type", "cube"}, {"size", {{"x", 2}, {"y", 2}, {"z", 8}}}},
              array});
}

TEST(Arrays, LayoutsPlaceEveryCopy) {
  struct Case {
    const char* name;
    std::string type;
    json grid;
    double volume;
    vec3 lo, hi;
    json bases = {"c"};
  } cases[] = {
      {"grid defaults: 3 x 3 at pitch 10", "grid", nullptr, 9 * 125, {0, 0, 0}, {25, 25, 5}},
      {"x wins over width, length fills in for y", "rectangularGrid",
       {{"rows", 2}, {"columns", 3}, {"width", 12}, {"x", 8}, {"length", 7}}, 6 * 125,
       {0, 0, 0}, {21, 12, 5}},
      {"overlapping copies unite", "grid", {{"rows", 1}, {"columns", 2}, {"x", 3}}, 5 * 5 * 8,
       {0, 0, 0}, {8, 5, 5}},
      {"every base fills the whole grid", "grid", {{"rows", 1}, {"columns", 2}}, 2 * (125 + 12),
       {0, 0, 0}, {15, 5, 8}, {"c", "p", 5}},
      {"radial: the fourth copy lands on the first", "radialArray",
       {{"count", 4}, {"radius", 10}}, 3 * 125, {-11.830127018922191, -15.490381056766578, 0},
       {15, 12.99038105676658, 5}},
      {"radial count 1 is one unturned copy", "array", {{"count", 1}, {"radius", 10}}, 125,
       {10, 0, 0}, {15, 5, 5}},
      {"radial height rises to the last copy", "radialArray",
       {{"count", 4}, {"radius", 10}, {"height", 30}}, 4 * 125,
       {-11.830127018922191, -15.490381056766578, 0}, {15, 12.99038105676658, 35}},
      {"radial count 0 means 6, the sixth on the first", "radialArray",
       {{"count", 0}, {"radius", 20}}, 5 * 125, {-23.16435112083605, -23.77641290737884, 0},
       {25, 25.321497879253574, 5}},
      {"radial angle and instanceCount", "array",
       {{"instanceCount", 3}, {"degree", 180}, {"radius", 10}}, 3 * 125, {-15, -5, 0},
       {15, 15, 5}},
      {"hexagonal grid shifts odd rows by dx / 2", "hexagonalGrid",
       {{"rows", 2}, {"columns", 3}}, 6 * 125, {0, 0, 0}, {30, 15, 5}},
  };
  for (const Case& c : cases) {
    Manifold solid = BuildDoc(ArrayDoc(c.type, c.grid, c.bases), "a");
    EXPECT_NEAR(solid.Volume(), c.volume, 1e-6) << c.name;
    EXPECT_TRUE(BoxNear(solid.BoundingBox(), c.lo, c.hi, 1e-6)) << c.name;
  }
}

TEST(Arrays, HexagonalRowsAlternate) {
  Manifold solid = BuildDoc(ArrayDoc("hexagonalGrid", {{"rows", 3}, {"columns", 3}}), "a");
  auto rowBox = [&](double y) {
    return (solid ^ Manifold::Cube({100, 5, 10}).Translate({-50, y, -1})).BoundingBox();
  };
  EXPECT_TRUE(BoxNear(rowBox(0), {0, 0, 0}, {25, 5, 5}));
  EXPECT_TRUE(BoxNear(rowBox(10), {5, 10, 0}, {30, 15, 5}));
  EXPECT_TRUE(BoxNear(rowBox(20), {0, 20, 0}, {25, 25, 5}));
}

TEST(Arrays, NothingToRepeatBuildsNothing) {
  struct Case {
    const char* name;
    json document;
  } cases[] = {
      {"rows 0", ArrayDoc("grid", {{"rows", 0}})},
      {"columns -1", ArrayDoc("rectangularGrid", {{"columns", -1}})},
      {"both negative", ArrayDoc("hexagonalGrid", {{"rows", -70000}, {"columns", -70000}})},
      {"unknown base", ArrayDoc("radialArray", nullptr, {"nope"})},
      {"no base list", ArrayDoc("grid", nullptr, nullptr)},
      {"base list as text", ArrayDoc("grid", nullptr, "c")},
  };
  for (const Case& c : cases) EXPECT_TRUE(BuildDoc(c.document, "a").IsEmpty()) << c.name;
}

TEST(Arrays, RunawayCopyCountsFailBeforeCopying) {
  // 65536 x 65536 wraps to 0 in 32 bits; the count must still be refused.
  struct Case {
    const char* name;
    json document;
  } cases[] = {
      {"grid 100000 x 100000", ArrayDoc("grid", {{"rows", 100000}, {"columns", 100000}})},
      {"grid 65536 x 65536", ArrayDoc("rectangularGrid", {{"rows", 65536}, {"columns", 65536}})},
      {"hexagonal", ArrayDoc("hexagonalGrid", {{"rows", 2147483647}, {"columns", 3}})},
      {"radial", ArrayDoc("radialArray", {{"count", 2000000000}})},
      {"radial from text", ArrayDoc("array", {{"instanceCount", "9999999"}})},
  };
  for (const Case& c : cases) EXPECT_THROW(BuildDoc(c.document, "a"), LimitError) << c.name;
}

}  // namespace
}  // namespace velamanifold
