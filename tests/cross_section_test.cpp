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

// Returns the objects as a list: a braced single object is not an array.
json List(const json& objects) { return objects.is_array() ? objects : json::array({objects}); }

// Regions other objects refer to: a [0,10]^2, b [5,15] x [0,10], h [4,6]^2,
// sq [2,3] x [0,1], cube 4 x 5 x 10.
json WithBase(const json& extra) {
  json objects = {Rect("a", 10, 10), Rect("b", 10, 10, {{"move", {{"x", 5}}}}),
                  Rect("h", 2, 2, {{"move", {{"x", 4}, {"y", 4}}}}),
                  Rect("sq", 1, 1, {{"move", {{"x", 2}}}}),
                  Obj("cube", "cube", {{"size", {{"x", 4}, {"y", 5}, {"z", 10}}}})};
  for (const json& o : List(extra)) objects.push_back(o);
  return Doc(objects);
}

json Copies(json size) { return Merge("t", {{"union", {"sq"}}, {"size", size}}); }

TEST(CrossSection, Regions) {
  struct Case {
    const char* name;
    json objects;  // added to the base; the region of "t" is checked
    double area;
    size_t contours;
    std::vector<double> box;  // x0, y0, x1, y1 when given
  };
  const json square = {{{0, 0}, {4, 0}, {4, 4}, {0, 4}}};
  const Case cases[] = {
      {"x wins over width", {Obj("t", "rectangle", {{"size", {{"x", 10}, {"width", 30}}}})}, 500, 1,
       {0, 0, 10, 50}},
      {"rectangle defaults", {Obj("t", "rectangle")}, 5000, 1, {0, 0, 100, 50}},
      {"circle bare size", {Obj("t", "circle", {{"size", 20}})}, NGon(10, 64), 1,
       {-10, -10, 10, 10}},
      {"circle own segments", {Obj("t", "circle", {{"size", {{"diameter", 20}, {"segments", 6}}}})},
       NGon(10, 6), 1, {}},
      {"trapezoid", {Obj("t", "triangle2d", {{"size", {{"x", 6}, {"y", 4}, {"width", 2}}}})}, 16, 1,
       {0, 0, 6, 4}},
      {"rotate, then translate", {Rect("t", 10, 2, {{"move", {{"rotate", 90}, {"x", 5}, {"y", 1}}}})},
       20, 1, {3, 1, 5, 11}},
      {"union", {Merge("t", {{"union", {"a", "b"}}})}, 150, 1, {}},
      {"union minus hole", {Merge("t", {{"union", {"a", "b"}}, {"subtract", {"h"}}})}, 146, 2, {}},
      {"intersect", {Merge("t", {{"union", {"a"}}, {"intersect", {"b"}}})}, 50, 1, {}},
      {"subtract alone is its union", {Merge("t", {{"subtract", {"a", "b"}}})}, 150, 1, {}},
      {"bad ids skipped", {Merge("t", {{"union", {"nope", 5, "a"}}})}, 100, 1, {}},
      {"offset", {Merge("t", {{"union", {"h"}}, {"size", {{"offset", -0.5}}}})}, 1, 1, {}},
      {"scale in percent", {Merge("t", {{"union", {"a"}}, {"size", {{"scalex", 50}, {"scaley", "200"}}}})},
       100, 1, {0, 0, 5, 20}},
      {"mirror, then move",
       {Merge("t", {{"union", {"a"}}, {"size", {{"mirror", "y"}}}, {"move", {{"x", 1}}}})}, 100, 1,
       {1, -10, 11, 0}},
      {"radial 4 at 0, 120, 240, 360", {Copies({{"copies", "radial"}, {"copiesCount", 4}})}, 3, 3,
       {-2.3660254, -3.0980762, 3, 2.5980762}},
      {"grid", {Copies({{"copies", "grid"}, {"copiesRows", 2}, {"copiesColumns", 3}, {"copiesX", 5},
                        {"copiesY", 4}})},
       6, 6, {2, 0, 13, 5}},
      {"hex: odd rows half a step over",
       {Copies({{"copies", "hex"}, {"copiesRows", 2}, {"copiesColumns", 3}, {"copiesX", 10}})}, 6, 6,
       {2, 0, 28, 11}},
      {"no rows", {Copies({{"copies", "grid"}, {"copiesRows", 0}, {"copiesColumns", 3}})}, 0, 0, {}},
      {"one by one", {Copies({{"copies", "hex"}, {"copiesRows", 1}, {"copiesColumns", 1}})}, 1, 1,
       {2, 0, 3, 1}},
      {"text has y up", {Obj("t", "text", {{"_polygons", square}})}, 16, 1, {0, -4, 4, 0}},
      {"svg offset", {Obj("t", "svg", {{"_polygons", square}, {"size", {{"offset", -1}}}})}, 4, 1,
       {1, 1, 3, 3}},
      {"odd outline points skipped",
       {Obj("t", "svg", {{"_polygons", {{{0, 0}, {5}, "x", {4, 0, 1}, {4, 3}}, 7}}})}, 6, 1, {}},
      {"slice", {Obj("t", "slice", {{"outershell", "cube"}, {"size", {{"z", 5}}}})}, 20, 1,
       {0, 0, 4, 5}},
      {"solid type", {Obj("t", "cube")}, 0, 0, {}},
      {"missing id", json::array(), 0, 0, {}},
      {"merge2d lists itself", {Merge("t", {{"union", {"t", "a"}}})}, 100, 1, {}},
      {"two merge2d list each other",
       {Merge("t", {{"union", {"q", "a"}}}), Merge("q", {{"union", {"t", "far"}}}),
        Rect("far", 10, 10, {{"move", {{"x", 20}}}})},
       200, 2, {}},
      {"slice of a union holding its own slab",
       {Obj("u", "union", {{"baseObjects", {"t", "cube"}}}),
        Obj("t", "slice", {{"outershell", "u"}, {"size", {{"z", 5}}}})},
       20, 1, {}},
  };
  for (const Case& c : cases) {
    const json doc = WithBase(c.objects);
    CrossSection r = ResolveDoc(doc, "t");
    EXPECT_NEAR(r.Area(), c.area, 1e-6) << c.name;
    EXPECT_EQ(r.NumContour(), c.contours) << c.name;
    if (!c.box.empty()) {
      const manifold::Rect b = r.Bounds();
      const double got[] = {b.min.x, b.min.y, b.max.x, b.max.y};
      for (int i = 0; i < 4; ++i) EXPECT_NEAR(got[i], c.box[i], 1e-6) << c.name;
    }
    // Built as a slab, the same planar object ends too.
    if (c.area > 0 && Is2DObjectType(Js(FindObject(doc, "t"), "type", ""))) {
      EXPECT_FALSE(BuildDoc(doc, "t", 16).IsEmpty()) << c.name;
    }
  }
}

TEST(CrossSection, FailuresEndTheRequestQuickly) {
  json chain = {Rect("m0", 1, 1)};
  for (int i = 1; i <= 1000; ++i) {
    const std::string id = std::to_string(i), previous = std::to_string(i - 1);
    chain.push_back(Merge(std::string("m").append(id), {{"union", {std::string("m").append(previous)}}}));
  }
  chain.push_back(Merge("t", {{"union", {"m1000"}}}));
  struct Case {
    const char* name;
    json objects;
    int segments;
    bool limit;  // LimitError, else the JSON library's type error
  };
  const Case cases[] = {
      {"radial copies", {Copies({{"copies", "radial"}, {"copiesCount", 2000000000}})}, 64, true},
      {"grid copies in 64 bits",
       {Copies({{"copies", "grid"}, {"copiesRows", 2000000000}, {"copiesColumns", 2000000000}})}, 64,
       true},
      // The ceiling counts over the request: 110 + 99900 copies.
      {"copies summed over objects",
       {Merge("m1", {{"union", {"sq"}}, {"size", {{"copies", "grid"}, {"copiesRows", 10},
                                                  {"copiesColumns", 11}}}}),
        Merge("m2", {{"union", {"sq"}}, {"size", {{"copies", "grid"}, {"copiesRows", 999},
                                                  {"copiesColumns", 100}}}}),
        Merge("t", {{"union", {"m1", "m2"}}})},
       64, true},
      {"circle segments", {Obj("t", "circle", {{"size", {{"segments", 100000}}}})}, 64, true},
      {"pipeline segments", {Obj("t", "rectangle", {{"size", {{"corners", 1}}}})}, 100000, true},
      {"long chain", chain, 64, true},
      {"text point", {Obj("t", "text", {{"_polygons", {{{0, 0}, {"a", 0}, {4, 4}}}}})}, 64, false},
  };
  for (const Case& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    if (c.limit) {
      EXPECT_THROW(ResolveDoc(WithBase(c.objects), "t", c.segments), LimitError) << c.name;
    } else {
      EXPECT_THROW(ResolveDoc(WithBase(c.objects), "t", c.segments), json::type_error) << c.name;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << c.name;
  }
}

TEST(CrossSection, CacheKeepsFirstResultPerId) {
  VelaPipeline pipeline;
  const json first = Doc(json::array({Rect("a", 10, 10)}));
  const json second = Doc({Rect("a", 20, 20), Rect("b", 5, 5)});
  EXPECT_NEAR(pipeline.Resolve2DCrossSectionInner(first, "a", nullptr).Area(), 100, 1e-9);
  EXPECT_NEAR(pipeline.Resolve2DCrossSectionInner(second, "a", nullptr).Area(), 100, 1e-9);
  // Empty results are cached too, ids refused by the visiting set are not.
  EXPECT_TRUE(pipeline.Resolve2DCrossSectionInner(first, "b", nullptr).IsEmpty());
  EXPECT_TRUE(pipeline.Resolve2DCrossSectionInner(second, "b", nullptr).IsEmpty());
  const VisitingSet visiting = {"a"};
  VelaPipeline fresh;
  EXPECT_TRUE(fresh.Resolve2DCrossSectionInner(first, "a", &visiting).IsEmpty());
  EXPECT_NEAR(fresh.Resolve2DCrossSectionInner(first, "a", nullptr).Area(), 100, 1e-9);
  // A new request starts afresh.
  EXPECT_NEAR(pipeline.Resolve2DCrossSection(second.dump(), "a").Area(), 400, 1e-9);
  EXPECT_TRUE(pipeline.Resolve2DCrossSection("{", "a").IsEmpty());
}

TEST(CrossSection, ZOffsetCountsPlanarObjectsBefore) {
  const json doc = Doc({Obj("p", "parameter"), Obj("a", "rectangle"), Obj("t", "text"),
                        {{"type", "circle"}}, {{"vid", 5}, {"type", "circle"}}, Obj("b", "slice"),
                        Obj("c", "merge2d")});
  const char* ids[] = {"p", "a", "t", "b", "c", "zzz", ""};
  const double zs[] = {0.05, 0.05, 0.1, 0.1, 0.15, 0, 0};
  for (int i = 0; i < 7; ++i) EXPECT_NEAR(ZOffsetFor2DObject(doc, ids[i]), zs[i], 1e-12) << ids[i];
  EXPECT_EQ(ZOffsetFor2DObject(json::array(), "a"), 0);
}

TEST(ProfileObjects, Solids) {
  struct Case {
    const char* name;
    json objects;  // the solid of "t" is checked
    int segments;
    double volume;
    manifold::vec3 lo, hi;
  };
  const json hidden = {{"visible", false}};
  const auto lathe = [](json innercuts, json size) {
    return json{Rect("wall", 2, 10, {{"move", {{"x", 5}}}}),
                Rect("cut", 1, 10, {{"move", {{"x", 5}}}}),
                Obj("t", "lathe", {{"outcut", {"wall"}}, {"innercuts", innercuts}, {"size", size}})};
  };
  const auto tube = [](double inner, int n) { return NGon(1, n) * (49 - inner * inner) * 10; };
  const auto loft = [](json size) {
    return json{Rect("sq", 10, 10),
                Obj("t", "loft", {{"bottom", {"sq"}}, {"top", {"sq"}}, {"size", size}})};
  };
  const double grown = 40 + NGon(1, 64);  // the square grown by 1, less the square
  const Case cases[] = {
      {"first planar slab", {Obj("c", "cube"), Obj("t", "rectangle")}, 64, 5, {0, 0, 0.05},
       {100, 50, 0.051}},
      {"second planar slab", {Rect("r", 1, 1), Obj("t", "circle", {{"size", 10}})}, 16,
       0.001 * NGon(5, 16), {-5, -5, 0.1}, {5, 5, 0.101}},
      {"slice slab", {Obj("c", "cube", {{"size", {{"x", 4}, {"y", 5}, {"z", 10}}}}),
                      Obj("t", "slice", {{"outershell", "c"}, {"size", {{"z", 5}}}})},
       64, 0.02, {0, 0, 0.05}, {4, 5, 0.051}},
      {"merge2d moves once, no solid placement",
       {Rect("r", 10, 10, hidden),
        Merge("t", {{"union", {"r"}}, {"move", {{"x", -10}}}, {"rotate", {{"x", 90}}}})},
       16, 0.1, {-10, 0, 0.1}, {0, 10, 0.101}},
      {"straight extrusion", {Rect("a", 4, 5), Rect("b", 2, 2, {{"move", {{"x", 10}}}}),
                              Obj("t", "extrudetwist", {{"baseObjects", {"a", "b"}},
                                                        {"size", {{"twist", 1e-10}}}})},
       64, 240, {0, 0, 0}, {12, 5, 10}},
      {"lathe tube", lathe(json::array(), json::object()), 64, tube(5, 128), {-7, -7, 0}, {7, 7, 10}},
      {"lathe own count", lathe(json::array(), {{"segments", 16}}), 64, tube(5, 16), {-7, -7, 0},
       {7, 7, 10}},
      {"lathe count below 3: twice the pipeline's", lathe(json::array(), {{"segments", 2}}), 8,
       tube(5, 16), {-7, -7, 0}, {7, 7, 10}},
      {"lathe cut by object and string", lathe({{{"vid", "cut"}}, 7, {{"vid", ""}}, "cut"}, json::object()), 64,
       tube(6, 128), {-7, -7, 0}, {7, 7, 10}},
      {"loft", loft({{"height", 5}}), 64, 500, {0, 0, 0}, {10, 10, 5}},
      {"loft shifted top", loft({{"height", 5}, {"x", 3}}), 64, 500, {0, 0, 0}, {13, 10, 5}},
      {"loft wall inside", loft({{"height", 5}, {"wall", 1}}), 64, 500 - 320, {0, 0, 0},
       {10, 10, 5}},
      {"loft wall outside", loft({{"height", 5}, {"wall", -1}}), 64, grown * 5, {-1, -1, 0},
       {11, 11, 5}},
      {"loft tiny wall", loft({{"height", 5}, {"wall", 1e-10}}), 64, 500, {0, 0, 0}, {10, 10, 5}},
  };
  for (const Case& c : cases) {
    Manifold m = BuildDoc(Doc(List(c.objects)), "t", c.segments);
    EXPECT_NEAR(m.Volume(), c.volume, 1e-3 * c.volume) << c.name;
    EXPECT_TRUE(testing::BoxNear(m.BoundingBox(), c.lo, c.hi, 1e-5)) << c.name;
    EXPECT_TRUE(testing::IsClosed(m)) << c.name;
  }
}

TEST(ProfileObjects, NothingToBuild) {
  const json cases[] = {
      {Obj("t", "merge2d")},
      {Rect("sq", 1, 1), Obj("t", "loft", {{"bottom", {"sq"}}, {"top", {"nope"}}})},
      {Obj("t", "extrudetwist", {{"baseObjects", {"nope"}}})},
      {Obj("t", "lathe", {{"innercuts", {"t"}}})},
      {Rect("r", 1, 1), Obj("t", "extrudetwist", {{"baseObjects", {"r"}},
                                                 {"size", {{"height", "inf"}, {"twist", 90}}}})},
      {Rect("r", 1, 1), Obj("t", "extrudetwist", {{"baseObjects", {"r"}},
                                                 {"size", {{"twist", "-inf"}}}})},
  };
  for (const json& objects : cases) {
    EXPECT_TRUE(BuildDoc(Doc(List(objects)), "t").IsEmpty()) << objects;
  }
  const json big = Obj("t", "extrudetwist",
                       {{"baseObjects", {"sq"}}, {"size", {{"twist", 90}, {"slices", 100000000}}}});
  EXPECT_THROW(BuildDoc(WithBase({big}), "t"), LimitError);
}

TEST(ProfileObjects, SlabRefinementStaysBounded) {
  struct Case {
    json object;
    int segments;
    size_t minTri, maxTri;
  };
  const size_t budget = static_cast<size_t>(kMaxRefinedTriangles);
  const Case cases[] = {
      {Obj("t", "rectangle"), 64, 10000, budget},
      {Obj("t", "rectangle"), 16, 0, 100},  // too coarse a model to refine
      {Obj("t", "circle", {{"size", {{"diameter", 10}, {"segments", 40}}}}), 16, 1000, budget},
      {Rect("t", 3000, 3000), 64, 10000, budget},
      {Rect("t", 1e300, 10), 64, 0, 1000},  // no refinement length fits
      {Obj("t", "circle", {{"size", 1e300}}), 64, 0, 1000},
  };
  for (const Case& c : cases) {
    Manifold m = BuildDoc(Doc(json::array({c.object})), "t", c.segments);
    EXPECT_GE(m.NumTri(), c.minTri) << c.object;
    EXPECT_LE(m.NumTri(), c.maxTri) << c.object;
  }
}

}  // namespace
}  // namespace velamanifold
