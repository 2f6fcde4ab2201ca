#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "geometry/planar.h"
#include "pipeline/cross_section.h"
#include "pipeline/json_access.h"
#include "pipeline/limits.h"
#include "pipeline/pipeline.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::CrossSection;
using manifold::Manifold;
using testing::BuildDoc;
using testing::Doc;
using testing::ResolveDoc;

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
// sq [2,3] x [0,1], cube 4 x 5 x 10.
json WithBase(const json& extra) {
  json objects = {Rect("a", 10, 10), Rect("b", 10, 10, {{"move", {{"x", 5}}}}),
                  Rect("h", 2, 2, {{"move", {{"x", 4}, {"y", 4}}}}),
                  Rect("sq", 1, 1, {{"move", {{"x", 2}}}}),
                  Obj("cube", "cube", {{"size", {{"x", 4}, {"y", 5}, {"z", 10}}}})};
  for (const json& o : extra.is_array() ? extra : json::array({extra})) objects.push_back(o);
  return Doc(objects);
}

json Copies(json size) { return Merge("t", {{"union", {"sq"}}, {"size", size}}); }

TEST(CrossSection, Regions) {
  const json square = {{{0, 0}, {4, 0}, {4, 4}, {0, 4}}};
  const struct {
    const char* name;
    json objects;  // added to the base; the region of "t" is checked
    double area;
    size_t contours;
    std::vector<double> box;  // x0, y0, x1, y1 when given
  } cases[] = {
      {"rectangle defaults", {Obj("t", "rectangle")}, 5000, 1, {0, 0, 100, 50}},
      {"circle bare size", {Obj("t", "circle", {{"size", 20}})}, NGon(10, 64), 1,
       {-10, -10, 10, 10}},
      {"circle own segments", {Obj("t", "circle", {{"size", {{"diameter", 20}, {"segments", 6}}}})},
       NGon(10, 6), 1, {}},
      {"trapezoid", {Obj("t", "triangle2d", {{"size", {{"x", 6}, {"y", 4}, {"width", 2}}}})}, 16, 1,
       {0, 0, 6, 4}},
      {"no top width", {Obj("t", "triangle2d", {{"size", {{"x", 6}, {"y", 4}, {"width", -2}}}})},
       12, 1, {0, 0, 6, 4}},
      {"rotate, then translate", {Rect("t", 10, 2, {{"move", {{"rotate", 90}, {"x", 5}, {"y", 1}}}})},
       20, 1, {3, 1, 5, 11}},
      {"intersect", {Merge("t", {{"union", {"a"}}, {"intersect", {"b"}}})}, 50, 1, {}},
      {"subtract alone is its union", {Merge("t", {{"subtract", {"a", "b"}}})}, 150, 1, {}},
      {"offset", {Merge("t", {{"union", {"h"}}, {"size", {{"offset", -0.5}}}})}, 1, 1, {}},
      {"scale in percent", {Merge("t", {{"union", {"a"}}, {"size", {{"scalex", 50}, {"scaley", "200"}}}})},
       100, 1, {0, 0, 5, 20}},
      {"ring mirrored, then moved",
       {Merge("t", {{"union", {"a"}}, {"subtract", {"h"}}, {"size", {{"mirror", "y"}}},
                    {"move", {{"x", 1}}}})},
       96, 2, {1, -10, 11, 0}},
      {"radial 4 at 0, 120, 240, 360", {Copies({{"copies", "radial"}, {"copiesCount", 4}})}, 3, 3,
       {-2.3660254, -3.0980762, 3, 2.5980762}},
      {"hex: odd rows half a step over",
       {Copies({{"copies", "hex"}, {"copiesRows", 2}, {"copiesColumns", 3}, {"copiesX", 10}})}, 6, 6,
       {2, 0, 28, 11}},
      {"no rows", {Copies({{"copies", "grid"}, {"copiesRows", 0}, {"copiesColumns", 3}})}, 0, 0, {}},
      {"text has y up", {Obj("t", "text", {{"_polygons", square}})}, 16, 1, {0, -4, 4, 0}},
      {"svg offset", {Obj("t", "svg", {{"_polygons", square}, {"size", {{"offset", -1}}}})}, 4, 1,
       {1, 1, 3, 3}},
      {"outline with a hole, odd points skipped",
       {Obj("t", "svg", {{"_polygons", {{{0, 0}, {5}, "x", {10, 0, 1}, {10, 10}, {0, 10}},
                                        {{2, 2}, {2, 4}, {4, 4}, {4, 2}}, {{1, 1}}, 7}}})},
       96, 2, {0, 0, 10, 10}},
      {"solid type", {Obj("t", "cube")}, 0, 0, {}},
      {"merge2d lists itself", {Merge("t", {{"union", {"t", "a"}}})}, 100, 1, {}},
      {"two merge2d list each other",
       {Merge("t", {{"union", {"q", "a"}}}), Merge("q", {{"union", {"t", "b"}}})}, 150, 1, {}},
      {"slice of a union holding its own slab",
       {Obj("u", "union", {{"baseObjects", {"t", "cube"}}}),
        Obj("t", "slice", {{"outershell", "u"}, {"size", {{"z", 5}}}})},
       20, 1, {0, 0, 4, 5}},
  };
  for (const auto& c : cases) {
    const json doc = WithBase(c.objects);
    CrossSection r = ResolveDoc(doc, "t");
    EXPECT_NEAR(r.Area(), c.area, 1e-6) << c.name;
    EXPECT_EQ(r.NumContour(), c.contours) << c.name;
    if (!c.box.empty()) {
      const manifold::Rect b = r.Bounds();
      const double got[] = {b.min.x, b.min.y, b.max.x, b.max.y};
      for (int i = 0; i < 4; ++i) EXPECT_NEAR(got[i], c.box[i], 1e-6) << c.name;
    }
    // The object also builds as a slab (the slice reaching itself included).
    if (c.area > 0 && Is2DObjectType(Js(FindObject(doc, "t"), "type", ""))) {
      EXPECT_FALSE(BuildDoc(doc, "t", 16).IsEmpty()) << c.name;
    }
  }
}

TEST(CrossSection, FailuresEndTheRequestQuickly) {
  json chain = {Rect("m0", 1, 1), Merge("t", {{"union", {"m1000"}}})};
  for (int i = 1; i <= 1000; ++i) {
    const std::string id = std::to_string(i), previous = std::to_string(i - 1);
    chain.push_back(Merge(std::string("m").append(id), {{"union", {std::string("m").append(previous)}}}));
  }
  const struct {
    const char* name;
    json objects;
    int segments;
  } cases[] = {
      {"radial copies", {Copies({{"copies", "radial"}, {"copiesCount", 2000000000}})}, 64},
      {"circle segments", {Obj("t", "circle", {{"size", {{"segments", 100000}}}})}, 64},
      {"pipeline segments", {Obj("t", "rectangle", {{"size", {{"corners", 1}}}})}, 100000},
      {"long chain", chain, 64},
  };
  for (const auto& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(ResolveDoc(WithBase(c.objects), "t", c.segments), LimitError) << c.name;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << c.name;
  }
}

TEST(CrossSection, CacheLastsOneRequestAndSkipsRefusedIds) {
  VelaPipeline pipeline;
  const json first = WithBase(json::array()), second = Doc(json::array({Rect("a", 20, 20)}));
  const VisitingSet visiting = {"a"};
  EXPECT_TRUE(pipeline.Resolve2DCrossSectionInner(first, "a", &visiting).IsEmpty());
  EXPECT_NEAR(pipeline.Resolve2DCrossSectionInner(first, "a", nullptr).Area(), 100, 1e-9);
  EXPECT_NEAR(pipeline.Resolve2DCrossSection(second.dump(), "a").Area(), 400, 1e-9);
}

TEST(ProfileObjects, Solids) {
  const auto lathe = [](json innercuts, json size) {
    return json{Rect("wall", 2, 10, {{"move", {{"x", 5}}}}),
                Rect("cut", 1, 10, {{"move", {{"x", 5}}}}),
                Obj("t", "lathe", {{"outcut", {"wall"}}, {"innercuts", innercuts}, {"size", size}})};
  };
  const auto tube = [](double inner, int n) { return NGon(1, n) * (49 - inner * inner) * 10; };
  const auto loft = [](double wall) {
    return Obj("t", "loft", {{"bottom", {"a"}}, {"top", {"a"}}, {"size", {{"wall", wall}}}});
  };
  const double grown = 40 + NGon(1, 64);  // the square grown by 1, less the square
  const struct {
    const char* name;
    json objects;  // added to the base; the solid of "t" is checked
    int segments;
    double volume;
    manifold::vec3 lo, hi;
  } cases[] = {
      {"slab above the four planar objects before it", Obj("t", "rectangle"), 64, 5, {0, 0, 0.25},
       {100, 50, 0.251}},
      {"merge2d moves once, no solid placement",
       Merge("t", {{"union", {"a"}}, {"move", {{"x", -10}}}, {"rotate", {{"x", 90}}}}), 16, 0.1,
       {-10, 0, 0.25}, {0, 10, 0.251}},
      {"straight extrusion",
       Obj("t", "extrudetwist", {{"baseObjects", {"h", "sq"}}, {"size", {{"twist", 1e-10}}}}), 64,
       50, {2, 0, 0}, {6, 6, 10}},
      {"lathe count below 3: twice the pipeline's", lathe(json::array(), {{"segments", 2}}), 8,
       tube(5, 16), {-7, -7, 0}, {7, 7, 10}},
      {"lathe cut by object and string", lathe({{{"vid", "cut"}}, 7, {{"vid", ""}}, "cut"}, {}), 64,
       tube(6, 128), {-7, -7, 0}, {7, 7, 10}},
      {"loft wall inside", loft(1), 64, 1000 - 640, {0, 0, 0}, {10, 10, 10}},
      {"loft wall outside", loft(-1), 64, grown * 10, {-1, -1, 0}, {11, 11, 10}},
      {"loft tiny wall", loft(1e-10), 64, 1000, {0, 0, 0}, {10, 10, 10}},
  };
  for (const auto& c : cases) {
    Manifold m = BuildDoc(WithBase(c.objects), "t", c.segments);
    EXPECT_NEAR(m.Volume(), c.volume, 1e-3 * c.volume) << c.name;
    EXPECT_TRUE(testing::BoxNear(m.BoundingBox(), c.lo, c.hi, 1e-5)) << c.name;
    EXPECT_TRUE(testing::IsClosed(m)) << c.name;
  }
}

TEST(ProfileObjects, NothingToBuild) {
  const json cases[] = {
      Obj("t", "merge2d"),
      Obj("t", "loft", {{"bottom", {"sq"}}, {"top", {"nope"}}}),
      Obj("t", "extrudetwist", {{"baseObjects", {"nope"}}}),
      Obj("t", "lathe", {{"innercuts", {"t"}}}),
      Obj("t", "extrudetwist", {{"baseObjects", {"a"}}, {"size", {{"height", "inf"}}}}),
      Obj("t", "extrudetwist", {{"baseObjects", {"a"}}, {"size", {{"twist", "-inf"}}}}),
  };
  for (const json& object : cases) EXPECT_TRUE(BuildDoc(WithBase(object), "t").IsEmpty()) << object;
  const json big = Obj("t", "extrudetwist",
                       {{"baseObjects", {"sq"}}, {"size", {{"twist", 90}, {"slices", 100000000}}}});
  EXPECT_THROW(BuildDoc(WithBase(big), "t"), LimitError);
}

TEST(ProfileObjects, SlabRefinementStaysBounded) {
  const size_t fine = BuildDoc(Doc(json::array({Obj("t", "rectangle")})), "t").NumTri();
  EXPECT_GE(fine, 10000u);
  EXPECT_LE(fine, static_cast<size_t>(kMaxRefinedTriangles));
  // No refinement length fits sizes like these.
  for (const json& object : {Rect("t", 1e300, 10), Obj("t", "circle", {{"size", 1e300}})}) {
    EXPECT_LE(BuildDoc(Doc(json::array({object})), "t").NumTri(), 1000u) << object;
  }
}

}  // namespace
}  // namespace velamanifold
