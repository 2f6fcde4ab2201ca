#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <tuple>

#include "geometry/planar.h"
#include "model/limits.h"
#include "pipeline/pipeline.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using testing::BuildDoc;

double NGon(double r, int n) { return 0.5 * n * r * r * std::sin(2 * M_PI / n); }

json Obj(const std::string& vid, const std::string& type, json members = json::object()) {
  members["vid"] = vid;
  members["type"] = type;
  return members;
}

json Rect(const std::string& vid, double x, double y, json members = json::object()) {
  members["size"] = {{"x", x}, {"y", y}};
  return Obj(vid, "rectangle", members);
}

json Merge(const std::string& vid, json members) { return Obj(vid, "merge2d", members); }

// Regions other objects refer to: a [0,10]^2, b [5,15] x [0,10], h [4,6]^2,
// sq [2,3] x [0,1], wall [5,7] x [0,10], cut [5,6] x [0,10], cube 4 x 5 x 10.
json WithBase(const json& extra) {
  json objects = {Rect("a", 10, 10), Rect("b", 10, 10, {{"move", {{"x", 5}}}}),
                  Rect("h", 2, 2, {{"move", {{"x", 4}, {"y", 4}}}}),
                  Rect("sq", 1, 1, {{"move", {{"x", 2}}}}),
                  Rect("wall", 2, 10, {{"move", {{"x", 5}}}}),
                  Rect("cut", 1, 10, {{"move", {{"x", 5}}}}),
                  Obj("cube", "cube", {{"size", {{"x", 4}, {"y", 5}, {"z", 10}}}})};
  for (const json& o : extra.is_array() ? extra : json::array({extra})) objects.push_back(o);
  return testing::Doc(objects);
}

json Copies(json size) { return Merge("t", {{"union", {"sq"}}, {"size", size}}); }

TEST(CrossSection, Regions) {
  const json square = {{{0, 0}, {4, 0}, {4, 4}, {0, 4}}};
  // Objects added to the base; area, contour count, x0, y0, x1, y1 of "t", also built as a slab.
  const std::tuple<const char*, json, double, size_t, std::vector<double>> cases[] = {
      {"rectangle defaults", {Obj("t", "rectangle")}, 5000, 1, {0, 0, 100, 50}},
      {"circle", Obj("t", "circle", {{"size", 20}}), NGon(10, 64), 1, {-10, -10, 10, 10}},
      {"circle, own count", Obj("t", "circle", {{"size", {{"diameter", 20}, {"segments", 6}}}}),
       NGon(10, 6), 1, {}},
      {"trapezoid", {Obj("t", "triangle2d", {{"size", {{"x", 6}, {"y", 4}, {"width", 2}}}})}, 16, 1,
       {0, 0, 6, 4}},
      {"union, subtract, then intersect",
       {Merge("t", {{"union", {"a"}}, {"subtract", {"h"}}, {"intersect", {"b"}}})}, 48, 1, {}},
      {"subtract alone is its union", {Merge("t", {{"subtract", {"a", "b"}}})}, 150, 1, {}},
      {"offset, scale in percent, mirror, then rotate and move",
       {Merge("t", {{"union", {"a"}}, {"move", {{"x", 1}, {"rotate", 90}}},
                    {"size", {{"offset", -1}, {"scalex", 50}, {"mirror", "y"}}}})},
       32, 1, {2, 0.5, 10, 4.5}},
      {"radial 4: 0, 120, 240, 360", {Copies({{"copies", "radial"}, {"copiesCount", 4}})}, 3, 3,
       {-2.3660254, -3.0980762, 3, 2.5980762}},
      {"hex rows shift", {Copies({{"copies", "hex"}, {"copiesRows", 2}, {"copiesColumns", 3}})},
       6, 6, {2, 0, 28, 11}},
      {"0 rows", {Copies({{"copies", "grid"}, {"copiesRows", 0}, {"copiesColumns", 3}})}, 0, 0, {}},
      {"text has y up, then offset",
       Obj("t", "text", {{"_polygons", square}, {"size", {{"offset", -1}}}}), 4, 1, {1, -3, 3, -1}},
      {"outline with a hole, odd points skipped",
       {Obj("t", "svg", {{"_polygons", {{{0, 0}, {5}, "x", {10, 0, 1}, {10, 10}, {0, 10}},
                                        {{2, 2}, {2, 4}, {4, 4}, {4, 2}}, {{1, 1}}, 7}}})},
       96, 2, {0, 0, 10, 10}},
      {"two merge2d list each other",
       {Merge("t", {{"union", {"q", "a"}}}), Merge("q", {{"union", {"t", "b"}}})}, 150, 1, {}},
      {"slice of a union holding its own slab",
       {Obj("u", "union", {{"baseObjects", {"t", "cube"}}}),
        Obj("t", "slice", {{"outershell", "u"}, {"size", {{"z", 5}}}})},
       20, 1, {0, 0, 4, 5}},
  };
  for (const auto& [name, objects, area, contours, box] : cases) {
    const json doc = WithBase(objects);
    const manifold::CrossSection r = testing::ResolveDoc(doc, "t");
    EXPECT_NEAR(r.Area(), area, 1e-6) << name;
    EXPECT_EQ(r.NumContour(), contours) << name;
    const manifold::Rect b = r.Bounds();
    const double got[] = {b.min.x, b.min.y, b.max.x, b.max.y};
    for (size_t i = 0; i < box.size(); ++i) EXPECT_NEAR(got[i], box[i], 1e-6) << name;
    EXPECT_TRUE(area == 0 || !BuildDoc(doc, "t", 16).IsEmpty()) << name;
  }
}

TEST(CrossSection, UnusableInputBuildsNothingAndRunawayWorkFailsQuickly) {
  const json nothing[] = {
      Obj("t", "merge2d"), Obj("t", "lathe", {{"innercuts", {"t"}}}),
      Obj("t", "loft", {{"bottom", {"sq"}}, {"top", {"nope"}}}),
      Obj("t", "extrudetwist", {{"baseObjects", {"a"}}, {"size", {{"height", "inf"}}}}),
      Obj("t", "extrudetwist", {{"baseObjects", {"a"}}, {"size", {{"twist", "-inf"}}}}),
  };
  for (const json& o : nothing) EXPECT_TRUE(BuildDoc(WithBase(o), "t").IsEmpty()) << o;
  json chain = {Rect("0", 1, 1), Merge("t", {{"union", {"1000"}}})};
  for (int i = 1; i <= 1000; ++i) {
    chain.push_back(Merge(std::to_string(i), {{"union", {std::to_string(i - 1)}}}));
  }
  const std::tuple<const char*, json, int> cases[] = {
      {"twist slices", {Obj("t", "extrudetwist", {{"baseObjects", {"sq"}},
                                                  {"size", {{"twist", 9}, {"slices", 1e8}}}})}, 64},
      {"radial copies", {Copies({{"copies", "radial"}, {"copiesCount", 2000000000}})}, 64},
      {"circle segments", {Obj("t", "circle", {{"size", {{"segments", 100000}}}})}, 64},
      {"long chain", chain, 64},
  };
  for (const auto& [name, objects, segments] : cases) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(BuildDoc(WithBase(objects), "t", segments), LimitError) << name;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << name;
  }
}

TEST(CrossSection, CacheLastsOneRequestAndSkipsRefusedIds) {
  VelaPipeline pipeline;
  const json first = WithBase(json::array());
  const json second = testing::Doc(json::array({Rect("a", 20, 20)}));
  const VisitingSet visiting = {"a"};
  EXPECT_TRUE(pipeline.Resolve2DCrossSectionInner(first, "a", &visiting).IsEmpty());
  EXPECT_NEAR(pipeline.Resolve2DCrossSectionInner(first, "a", nullptr).Area(), 100, 1e-9);
  EXPECT_NEAR(pipeline.Resolve2DCrossSection(second.dump(), "a").Area(), 400, 1e-9);
}

TEST(ProfileObjects, Solids) {
  const auto loft = [](double wall) {
    return Obj("t", "loft", {{"bottom", {"a"}}, {"top", {"a"}}, {"size", {{"wall", wall}}}});
  };
  const json lathe = Obj("t", "lathe", {{"innercuts", {{{"vid", "cut"}}, 7, {{"vid", ""}}, "cut"}},
                                        {"outcut", {"wall"}}});
  // Objects added to the base, pipeline segments; volume and box of "t".
  const std::tuple<const char*, json, int, double, manifold::vec3, manifold::vec3> cases[] = {
      {"slab above the six planar objects before it, moved once, no solid placement",
       Merge("t", {{"union", {"a"}}, {"move", {{"x", -10}}}, {"rotate", {{"x", 90}}}}), 16, 0.1,
       {-10, 0, 0.35}, {0, 10, 0.351}},
      {"straight extrusion", Obj("t", "extrudetwist", {{"baseObjects", {"h", "sq"}}}), 64, 50,
       {2, 0, 0}, {6, 6, 10}},
      {"lathe: twice the pipeline's count, cut by object and string", lathe, 8,
       NGon(1, 16) * (49 - 36) * 10, {-7, -7, 0}, {7, 7, 10}},
      {"loft wall inside", loft(1), 64, 1000 - 640, {0, 0, 0}, {10, 10, 10}},
      {"loft wall outside", loft(-1), 64, (40 + NGon(1, 64)) * 10, {-1, -1, 0}, {11, 11, 10}},
  };
  for (const auto& [name, objects, segments, volume, lo, hi] : cases) {
    const manifold::Manifold m = BuildDoc(WithBase(objects), "t", segments);
    EXPECT_NEAR(m.Volume(), volume, 1e-3 * volume) << name;
    EXPECT_TRUE(testing::BoxNear(m.BoundingBox(), lo, hi, 1e-5)) << name;
    EXPECT_TRUE(testing::IsClosed(m)) << name;
  }
}

TEST(ProfileObjects, SlabRefinementStaysBounded) {
  const size_t fine = BuildDoc(testing::Doc(json::array({Obj("t", "rectangle")})), "t").NumTri();
  EXPECT_TRUE(fine >= 10000 && fine <= kMaxRefinedTriangles) << fine;
  // No refinement length fits sizes like these.
  for (const json& object : {Rect("t", 1e300, 10), Obj("t", "circle", {{"size", 1e300}})}) {
    EXPECT_LE(BuildDoc(testing::Doc(json::array({object})), "t").NumTri(), 1000u) << object;
  }
}

}  // namespace
}  // namespace velamanifold
