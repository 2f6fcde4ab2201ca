#include <gtest/gtest.h>

#include <tuple>

#include "model/limits.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

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
  const std::tuple<const char*, std::string, json, json, double, vec3, vec3> cases[] = {
      {"grid defaults: 3 x 3 at pitch 10", "grid", nullptr, {"c"}, 9 * 125, {0, 0, 0}, {25, 25, 5}},
      {"x wins over width, length fills in for y", "rectangularGrid",
       {{"width", 12}, {"x", 8}, {"length", 7}}, {"c"}, 9 * 125, {0, 0, 0}, {21, 19, 5}},
      {"every base fills the whole grid, other entries skipped", "grid",
       {{"rows", 1}, {"columns", 2}}, {"c", "p", 5}, 2 * (125 + 12), {0, 0, 0}, {15, 5, 8}},
      {"radial: the last copy at the full angle and height", "array",
       {{"instanceCount", 3}, {"degree", 180}, {"radius", 10}, {"height", 30}}, {"c"}, 3 * 125,
       {-15, -5, 0}, {15, 15, 35}},
      {"radial count 0 means 6, the sixth on the first", "radialArray",
       {{"count", 0}, {"radius", 20}}, {"c"}, 5 * 125, {-23.16435112083605, -23.77641290737884, 0},
       {25, 25.321497879253574, 5}},
      {"hexagonal grid shifts every other row by dx / 2", "hexagonalGrid",
       {{"rows", 3}, {"columns", 3}}, {"c"}, 9 * 125, {0, 0, 0}, {30, 25, 5}},
  };
  for (const auto& [name, type, grid, bases, volume, lo, hi] : cases) {
    const manifold::Manifold solid = BuildDoc(ArrayDoc(type, grid, bases), "a");
    EXPECT_NEAR(solid.Volume(), volume, 1e-6) << name;
    EXPECT_TRUE(BoxNear(solid.BoundingBox(), lo, hi, 1e-6)) << name;
  }
}

TEST(Arrays, NothingToRepeatBuildsNothingAndRunawayCountsFail) {
  const json empty[] = {
      ArrayDoc("grid", {{"rows", 0}}), ArrayDoc("radialArray", nullptr, {"nope"}),
      ArrayDoc("hexagonalGrid", {{"rows", -70000}, {"columns", -70000}}),
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
