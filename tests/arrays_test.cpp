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
      {"every base fills the whole grid", "grid", {{"rows", 1}, {"columns", 2}}, 2 * (125 + 12),
       {0, 0, 0}, {15, 5, 8}, {"c", "p", 5}},
      {"radial height rises to the last copy", "radialArray",
       {{"count", 4}, {"radius", 10}, {"height", 30}}, 4 * 125,
       {-11.830127018922191, -15.490381056766578, 0}, {15, 12.99038105676658, 35}},
      {"radial count 0 means 6, the sixth on the first", "radialArray",
       {{"count", 0}, {"radius", 20}}, 5 * 125, {-23.16435112083605, -23.77641290737884, 0},
       {25, 25.321497879253574, 5}},
      {"radial angle and instanceCount", "array",
       {{"instanceCount", 3}, {"degree", 180}, {"radius", 10}}, 3 * 125, {-15, -5, 0},
       {15, 15, 5}},
      {"hexagonal grid shifts every other row by dx / 2", "hexagonalGrid",
       {{"rows", 3}, {"columns", 3}}, 9 * 125, {0, 0, 0}, {30, 25, 5}},
  };
  for (const Case& c : cases) {
    Manifold solid = BuildDoc(ArrayDoc(c.type, c.grid, c.bases), "a");
    EXPECT_NEAR(solid.Volume(), c.volume, 1e-6) << c.name;
    EXPECT_TRUE(BoxNear(solid.BoundingBox(), c.lo, c.hi, 1e-6)) << c.name;
  }
}

TEST(Arrays, NothingToRepeatBuildsNothingAndRunawayCountsFail) {
  const json empty[] = {
      ArrayDoc("grid", {{"rows", 0}}),
      ArrayDoc("hexagonalGrid", {{"rows", -70000}, {"columns", -70000}}),
      ArrayDoc("radialArray", nullptr, {"nope"}),
      ArrayDoc("grid", nullptr, "c"),
  };
  for (const json& doc : empty) EXPECT_TRUE(BuildDoc(doc, "a").IsEmpty()) << doc;
  // 65536 x 65536 wraps to 0 in 32 bits; the count must still be refused.
  const json runaway[] = {
      ArrayDoc("rectangularGrid", {{"rows", 65536}, {"columns", 65536}}),
      ArrayDoc("hexagonalGrid", {{"rows", 2147483647}, {"columns", 3}}),
      ArrayDoc("array", {{"instanceCount", "9999999"}}),
  };
  for (const json& doc : runaway) EXPECT_THROW(BuildDoc(doc, "a"), LimitError) << doc;
}

}  // namespace
}  // namespace velamanifold
