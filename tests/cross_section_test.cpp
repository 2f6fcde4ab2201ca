#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "geometry/planar.h"
#include "pipeline/cross_section.h"
#include "pipeline/limits.h"
#include "pipeline/pipeline.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::CrossSection;
using manifold::Manifold;
using testing::BoxNear;
using testing::BuildDoc;
using testing::Doc;
using testing::ResolveDoc;

constexpr double kPi = 3.14159265358979323846;

double PolygonArea(double r, int n) { return 0.5 * n * r * r * std::sin(2 * kPi / n); }

::testing::AssertionResult RectNear(const manifold::Rect& r, double x0, double y0, double x1,
                                    double y1, double tol = 1e-6) {
  if (std::abs(r.min.x - x0) > tol || std::abs(r.min.y - y0) > tol ||
      std::abs(r.max.x - x1) > tol || std::abs(r.max.y - y1) > tol) {
    return ::testing::AssertionFailure() << "bounds (" << r.min.x << ", " << r.min.y << ") - ("
                                         << r.max.x << ", " << r.max.y << ")";
  }
  return ::testing::AssertionSuccess();
}

// Returns a document of one object (a braced single json would not be an array).
json One(const json& object) { return Doc(json::array({object})); }

json Rect(const std::string& vid, double x, double y, json extra = json::object()) {
  json o = {{"vid", vid}, {"type", "rectangle"}, {"size", {{"x", x}, {"y", y}}}};
  o.update(extra);
  return o;
}

json Merge(const std::string& vid, json members) {
  json o = {{"vid", vid}, {"type", "merge2d"}};
  o.update(members);
  return o;
}

TEST(CrossSection, PlanarTypeSizes) {
  struct Case {
    const char* name;
    json object;
    double area;
    double x0, y0, x1, y1;
  };
  const double c20 = PolygonArea(10, 64);
  const Case cases[] = {
      {"x wins over width", {{"type", "rectangle"}, {"size", {{"x", 10}, {"width", 30}}}},
       500, 0, 0, 10, 50},
      {"width alone", {{"type", "rectangle"}, {"size", {{"width", 30}, {"height", 5}}}},
       150, 0, 0, 30, 5},
      {"rectangle defaults", {{"type", "rectangle"}}, 5000, 0, 0, 100, 50},
      {"rectangle as text", {{"type", "rectangle"}, {"size", {{"x", "=12"}, {"y", "3mm"}}}},
       36, 0, 0, 12, 3},
      {"circle bare size", {{"type", "circle"}, {"size", 20}}, c20, -10, -10, 10, 10},
      {"circle diameter", {{"type", "circle"}, {"size", {{"diameter", 20}}}}, c20, -10, -10, 10,
       10},
      {"circle own segments", {{"type", "circle"}, {"size", {{"diameter", 20}, {"segments", 6}}}},
       PolygonArea(10, 6), -10, -8.660254, 10, 8.660254},
      {"triangle", {{"type", "triangle2d"}, {"size", {{"x", 6}, {"y", 4}}}}, 12, 0, 0, 6, 4},
      {"trapezoid", {{"type", "triangle2d"}, {"size", {{"x", 6}, {"y", 4}, {"width", 2}}}}, 16, 0,
       0, 6, 4},
      {"moved: rotate then translate",
       {{"type", "rectangle"},
        {"size", {{"x", 10}, {"y", 2}}},
        {"move", {{"rotate", 90}, {"x", 5}, {"y", 1}}}},
       20, 3, 1, 5, 11},
  };
  for (const Case& c : cases) {
    json object = c.object;
    object["vid"] = "a";
    CrossSection r = ResolveDoc(One(object), "a");
    EXPECT_NEAR(r.Area(), c.area, 1e-6) << c.name;
    EXPECT_TRUE(RectNear(r.Bounds(), c.x0, c.y0, c.x1, c.y1)) << c.name;
  }
}

TEST(CrossSection, CircleDiameterFloor) {
  CrossSection r = ResolveDoc(Doc({{{"vid", "a"}, {"type", "circle"}, {"size", 0}}}), "a");
  if (!r.IsEmpty()) {
    EXPECT_LE(r.Bounds().max.x, 0.0001);
  }
}

TEST(CrossSection, UnknownAndEmpty) {
  const json doc = Doc({Rect("r", 10, 10), {{"vid", "c"}, {"type", "cube"}}});
  EXPECT_TRUE(ResolveDoc(doc, "missing").IsEmpty());
  EXPECT_TRUE(ResolveDoc(doc, "c").IsEmpty());
  EXPECT_TRUE(ResolveDoc(doc, "").IsEmpty());
  VelaPipeline pipeline;
  EXPECT_TRUE(pipeline.Resolve2DCrossSection("{", "r").IsEmpty());
  EXPECT_FALSE(pipeline.Resolve2DCrossSection(doc.dump(), "r").IsEmpty());
}

TEST(CrossSection, Merge2D) {
  struct Case {
    const char* name;
    json merge;
    double area;
    size_t contours;
  };
  // a: [0,10]^2, b: [5,15] x [0,10], h: [4,6]^2
  const Case cases[] = {
      {"union", {{"union", {"a", "b"}}}, 150, 1},
      {"union minus hole", {{"union", {"a", "b"}}, {"subtract", {"h"}}}, 146, 2},
      {"intersect", {{"union", {"a"}}, {"intersect", {"b"}}}, 50, 1},
      {"subtract alone is its union", {{"subtract", {"a", "b"}}}, 150, 1},
      {"intersect alone is its union", {{"intersect", {"a", "h"}}}, 100, 1},
      {"missing and non-string ids are skipped", {{"union", {"nope", 5, "a"}}}, 100, 1},
      {"nothing listed", {{"union", "a"}}, 0, 0},
      {"offset", {{"union", {"h"}}, {"size", {{"offset", -0.5}}}}, 1, 1},
      {"scale", {{"union", {"a"}}, {"size", {{"scalex", 50}, {"scaley", "200"}}}}, 100, 1},
      {"mirror", {{"union", {"a"}}, {"size", {{"mirror", "x"}}}}, 100, 1},
  };
  for (const Case& c : cases) {
    const json doc = Doc({Rect("a", 10, 10), Rect("b", 10, 10, {{"move", {{"x", 5}}}}),
                          Rect("h", 2, 2, {{"move", {{"x", 4}, {"y", 4}}}}), Merge("m", c.merge)});
    CrossSection r = ResolveDoc(doc, "m");
    EXPECT_NEAR(r.Area(), c.area, 1e-6) << c.name;
    EXPECT_EQ(r.NumContour(), c.contours) << c.name;
  }
  const json mirrored = Doc({Rect("a", 10, 10), Merge("m", {{"union", {"a"}},
                                                             {"size", {{"mirror", "y"}}},
                                                             {"move", {{"x", 1}}}})});
  EXPECT_TRUE(RectNear(ResolveDoc(mirrored, "m").Bounds(), 1, -10, 11, 0));
}

TEST(CrossSection, Copies) {
  struct Case {
    const char* name;
    json size;
    double area;  // in units of one copy's area
    double x0, y0, x1, y1;
  };
  // One copy: the square [2,3] x [0,1].
  const Case cases[] = {
      {"radial 4 at 0, 120, 240, 360",
       {{"copies", "radial"}, {"copiesCount", 4}},
       3,
       -2.3660254,
       -3.0980762,
       3,
       2.5980762},
      {"radial count 1", {{"copies", "radial"}, {"copiesCount", 1}}, 1, 2, 0, 3, 1},
      {"radial 2 over 90 degrees",
       {{"copies", "radial"}, {"copiesCount", 2}, {"copiesDegree", 90}},
       2,
       -1,
       0,
       3,
       3},
      {"grid 2 x 3",
       {{"copies", "grid"}, {"copiesRows", 2}, {"copiesColumns", 3}, {"copiesX", 5},
        {"copiesY", 4}},
       6,
       2,
       0,
       13,
       5},
      {"hex shifts odd rows by half a step",
       {{"copies", "hex"}, {"copiesRows", 2}, {"copiesColumns", 3}, {"copiesX", 10}},
       6,
       2,
       0,
       28,
       11},
      {"rows 0 holds nothing", {{"copies", "grid"}, {"copiesRows", 0}, {"copiesColumns", 3}}, 0,
       0, 0, 0, 0},
      {"both 1 is the region", {{"copies", "hex"}, {"copiesRows", 1}, {"copiesColumns", 1}}, 1, 2,
       0, 3, 1},
      {"unknown mode", {{"copies", "spiral"}, {"copiesCount", 5}}, 1, 2, 0, 3, 1},
  };
  for (const Case& c : cases) {
    VelaPipeline pipeline;
    CrossSection square = CrossSection::Square({1, 1}).Translate({2, 0});
    CrossSection r = ApplyCopies2D(square, c.size, pipeline);
    EXPECT_NEAR(r.Area(), c.area, 1e-6) << c.name;
    if (c.area > 0) {
      EXPECT_TRUE(RectNear(r.Bounds(), c.x0, c.y0, c.x1, c.y1)) << c.name;
    }
  }
  // Row 1 of the hexagonal layout starts half a step over: x = 5, 15, 25.
  VelaPipeline pipeline;
  CrossSection hex = ApplyCopies2D(
      CrossSection::Square({1, 1}),
      {{"copies", "hex"}, {"copiesRows", 2}, {"copiesColumns", 3}, {"copiesX", 10}}, pipeline);
  CrossSection row1 = hex ^ CrossSection::Square({100, 1}).Translate({-50, 10});
  EXPECT_TRUE(RectNear(row1.Bounds(), 5, 10, 26, 11));
  EXPECT_NEAR(row1.Area(), 3, 1e-9);
}

TEST(CrossSection, CopyCeilingEndsTheRequestQuickly) {
  const json sizes[] = {
      {{"copies", "radial"}, {"copiesCount", 2000000000}},
      {{"copies", "grid"}, {"copiesRows", 2000000000}, {"copiesColumns", 2000000000}},
      {{"copies", "hex"}, {"copiesRows", 1000}, {"copiesColumns", 1000}},
  };
  for (const json& size : sizes) {
    const json doc = Doc({Rect("a", 1, 1), Merge("m", {{"union", {"a"}}, {"size", size}})});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(ResolveDoc(doc, "m"), LimitError) << size.dump();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  }
  // The ceiling counts over the whole request, not per object.
  const json small = {{"copies", "grid"}, {"copiesRows", 10}, {"copiesColumns", 11}};
  const json large = {{"copies", "grid"}, {"copiesRows", 999}, {"copiesColumns", 100}};
  const json doc = Doc({Rect("a", 0.1, 0.1), Merge("m1", {{"union", {"a"}}, {"size", small}}),
                        Merge("m2", {{"union", {"a"}}, {"size", large}}),
                        Merge("both", {{"union", {"m1", "m2"}}})});
  EXPECT_THROW(ResolveDoc(doc, "both"), LimitError);
}

TEST(CrossSection, SegmentCeilings) {
  const json circle = {{"vid", "c"}, {"type", "circle"}, {"size", {{"segments", 100000}}}};
  EXPECT_THROW(ResolveDoc(One(circle), "c"), LimitError);
  EXPECT_THROW(ResolveDoc(One(Rect("r", 10, 10, {{"size", {{"corners", 1}}}})), "r", 100000),
               LimitError);
}

TEST(CrossSection, CacheKeepsFirstResultPerId) {
  VelaPipeline pipeline;
  const json first = One(Rect("a", 10, 10));
  const json second = Doc({Rect("a", 20, 20), Rect("b", 5, 5)});
  EXPECT_NEAR(pipeline.Resolve2DCrossSectionInner(first, "a", nullptr).Area(), 100, 1e-9);
  EXPECT_NEAR(pipeline.Resolve2DCrossSectionInner(second, "a", nullptr).Area(), 100, 1e-9);
  // An empty result is cached too.
  EXPECT_TRUE(pipeline.Resolve2DCrossSectionInner(first, "b", nullptr).IsEmpty());
  EXPECT_TRUE(pipeline.Resolve2DCrossSectionInner(second, "b", nullptr).IsEmpty());
  // An id refused by the visiting set is not.
  const VisitingSet visiting = {"c"};
  const json third = One(Rect("c", 3, 3));
  EXPECT_TRUE(pipeline.Resolve2DCrossSectionInner(third, "c", &visiting).IsEmpty());
  EXPECT_NEAR(pipeline.Resolve2DCrossSectionInner(third, "c", nullptr).Area(), 9, 1e-9);
  // A new request starts afresh.
  EXPECT_NEAR(pipeline.Resolve2DCrossSection(second.dump(), "a").Area(), 400, 1e-9);
}

TEST(CrossSection, CyclesEndBounded) {
  struct Case {
    const char* name;
    json objects;
    const char* id;
    double area;
  };
  const Case cases[] = {
      {"merge2d lists itself",
       {Rect("a", 10, 10), Merge("m", {{"union", {"m", "a"}}})},
       "m",
       100},
      {"merge2d only itself", {Merge("m", {{"subtract", {"m"}}})}, "m", 0},
      {"two merge2d list each other",
       {Rect("a", 10, 10), Rect("b", 10, 10, {{"move", {{"x", 20}}}}),
        Merge("p", {{"union", {"q", "a"}}}), Merge("q", {{"union", {"p", "b"}}})},
       "p",
       200},
      {"slice of a union holding the slice's own slab",
       {{{"vid", "cube"}, {"type", "cube"}, {"size", {{"x", 4}, {"y", 5}, {"z", 10}}}},
        {{"vid", "u"}, {"type", "union"}, {"baseObjects", {"s", "cube"}}},
        {{"vid", "s"}, {"type", "slice"}, {"outershell", "u"}, {"size", {{"z", 5}}}}},
       "s",
       20},
  };
  for (const Case& c : cases) {
    CrossSection r = ResolveDoc(Doc(c.objects), c.id);
    EXPECT_NEAR(r.Area(), c.area, 1e-6) << c.name;
  }
  // The same cycles as solids: the slab of the planar object is still made.
  EXPECT_FALSE(BuildDoc(Doc(cases[0].objects), "m").IsEmpty());
  EXPECT_FALSE(BuildDoc(Doc(cases[2].objects), "q").IsEmpty());
  EXPECT_FALSE(BuildDoc(Doc(cases[3].objects), "s").IsEmpty());
}

TEST(CrossSection, LongChainsAreBounded) {
  json objects = json::array({Rect("m0", 1, 1)});
  for (int i = 1; i <= 1000; ++i) {
    const std::string id = std::to_string(i), previous = std::to_string(i - 1);
    objects.push_back(Merge(std::string("m").append(id), {{"union", {std::string("m").append(previous)}}}));
  }
  EXPECT_THROW(ResolveDoc(Doc(objects), "m1000"), LimitError);
  EXPECT_NEAR(ResolveDoc(Doc(objects), "m100").Area(), 1, 1e-9);
}

TEST(CrossSection, Outlines) {
  const json square = {{{0, 0}, {4, 0}, {4, 4}, {0, 4}}};
  struct Case {
    const char* name;
    json object;
    double area;
    double x0, y0, x1, y1;
  };
  const Case cases[] = {
      {"text is flipped to y up", {{"type", "text"}, {"_polygons", square}}, 16, 0, -4, 4, 0},
      {"svg is not", {{"type", "svg"}, {"_polygons", square}}, 16, 0, 0, 4, 4},
      {"svg offset",
       {{"type", "svg"}, {"_polygons", square}, {"size", {{"offset", -1}}}},
       4,
       1,
       1,
       3,
       3},
      {"two-point contours", {{"type", "text"}, {"_polygons", {{{0, 0}, {1, 1}}}}}, 0, 0, 0, 0, 0},
      {"no _polygons", {{"type", "svg"}}, 0, 0, 0, 0, 0},
      {"odd points skipped",
       {{"type", "svg"}, {"_polygons", {{{0, 0}, {5}, "x", {4, 0, 1}, {4, 3}}, 7}}},
       6,
       0,
       0,
       4,
       3},
  };
  for (const Case& c : cases) {
    json object = c.object;
    object["vid"] = "t";
    CrossSection r = ResolveDoc(One(object), "t");
    EXPECT_NEAR(r.Area(), c.area, 1e-6) << c.name;
    if (c.area > 0) {
      EXPECT_TRUE(RectNear(r.Bounds(), c.x0, c.y0, c.x1, c.y1)) << c.name;
    }
  }
  const json bad = {
      {"vid", "t"}, {"type", "text"}, {"_polygons", {{{0, 0}, {"a", 0}, {4, 4}}}}};
  EXPECT_THROW(ResolveDoc(One(bad), "t"), json::type_error);
}

TEST(CrossSection, SliceOfASolid) {
  const json cube = {{"vid", "cube"}, {"type", "cube"}, {"size", {{"x", 4}, {"y", 5}, {"z", 10}}}};
  struct Case {
    json slice;
    double area;
  };
  const Case cases[] = {
      {{{"size", {{"z", 5}}}}, 20},
      {{{"size", {{"z", 50}}}}, 0},
      {json::object(), 0},  // no outershell
  };
  for (const Case& c : cases) {
    json slice = {{"vid", "s"}, {"type", "slice"}};
    if (!c.slice.empty()) slice["outershell"] = "cube";
    slice.update(c.slice);
    EXPECT_NEAR(ResolveDoc(Doc({cube, slice}), "s").Area(), c.area, 1e-6) << c.slice.dump();
  }
}

TEST(CrossSection, ZOffsetCountsPlanarObjectsBefore) {
  const json doc = Doc({
      {{"vid", "p"}, {"type", "parameter"}},
      {{"vid", "a"}, {"type", "rectangle"}},
      {{"vid", "t"}, {"type", "text"}},
      {{"type", "circle"}},
      {{"vid", 5}, {"type", "circle"}},
      {{"vid", "b"}, {"type", "slice"}},
      {{"vid", "c"}, {"type", "merge2d"}},
  });
  struct Case {
    const char* id;
    double z;
  };
  for (const Case& c : {Case{"p", 0.05}, Case{"a", 0.05}, Case{"t", 0.1}, Case{"b", 0.1},
                        Case{"c", 0.15}, Case{"zzz", 0}, Case{"", 0}}) {
    EXPECT_NEAR(ZOffsetFor2DObject(doc, c.id), c.z, 1e-12) << c.id;
  }
  EXPECT_EQ(ZOffsetFor2DObject(json::array(), "a"), 0);
}

TEST(ProfileObjects, PlanarSlabs) {
  const json doc = Doc({
      {{"vid", "cube"}, {"type", "cube"}, {"size", {{"x", 4}, {"y", 5}, {"z", 10}}}},
      {{"vid", "r"}, {"type", "rectangle"}},
      {{"vid", "c"}, {"type", "circle"}, {"size", {{"diameter", 10}, {"segments", 40}}}},
      {{"vid", "s"}, {"type", "slice"}, {"outershell", "cube"}, {"size", {{"z", 5}}}},
      {{"vid", "m"}, {"type", "merge2d"}, {"union", {"r"}}, {"move", {{"x", -100}}}},
      {{"vid", "e"}, {"type", "merge2d"}},
  });
  Manifold r = BuildDoc(doc, "r");
  EXPECT_TRUE(BoxNear(r.BoundingBox(), {0, 0, 0.05}, {100, 50, 0.051}));
  EXPECT_NEAR(r.Volume(), 5, 1e-6);
  EXPECT_TRUE(testing::IsClosed(r));
  EXPECT_GT(r.NumTri(), 10000u);  // refined for display
  EXPECT_LT(BuildDoc(doc, "r", 16).NumTri(), 100u);
  // A circle's own count of 40 refines it even with 16 pipeline segments.
  Manifold c = BuildDoc(doc, "c", 16);
  EXPECT_TRUE(BoxNear(c.BoundingBox(), {-5, -5, 0.1}, {5, 5, 0.101}));
  EXPECT_GT(c.NumTri(), 1000u);
  Manifold s = BuildDoc(doc, "s", 16);
  EXPECT_TRUE(BoxNear(s.BoundingBox(), {0, 0, 0.15}, {4, 5, 0.151}));
  // The merge2d's move applies once, as for the resolved region.
  EXPECT_TRUE(BoxNear(BuildDoc(doc, "m", 16).BoundingBox(), {-100, 0, 0.2}, {0, 50, 0.201}));
  EXPECT_TRUE(BuildDoc(doc, "e").IsEmpty());
  // Planar objects ignore the solid placement members.
  json rotated = doc;
  rotated["objects"][1]["rotate"] = {{"x", 90}};
  EXPECT_TRUE(BoxNear(BuildDoc(rotated, "r", 16).BoundingBox(), {0, 0, 0.05}, {100, 50, 0.051}));
}

TEST(ProfileObjects, HugePlanarSlabStaysBounded) {
  const json doc = Doc({{{"vid", "r"}, {"type", "rectangle"}, {"size", {{"x", 3000}, {"y", 3000}}}}});
  Manifold r = BuildDoc(doc, "r");
  EXPECT_NEAR(r.Volume(), 9000, 1e-3);
  EXPECT_LE(r.NumTri(), static_cast<size_t>(kMaxRefinedTriangles));
}

TEST(ProfileObjects, AbsurdSizesEndWithoutACrash) {
  // Sizes far beyond any model: the slab is left unrefined, an endless
  // extrusion is nothing.
  const json objects[] = {
      {{"vid", "a"}, {"type", "rectangle"}, {"size", {{"x", 1e300}, {"y", 10}}}},
      {{"vid", "a"}, {"type", "circle"}, {"size", 1e300}},
      {{"vid", "a"}, {"type", "merge2d"}, {"union", {"r"}}, {"size", {{"scalex", -1e300}}}},
  };
  for (const json& object : objects) {
    Manifold m = BuildDoc(Doc({Rect("r", 10, 10), object}), "a");
    EXPECT_LE(m.NumTri(), 1000u) << object.dump();
  }
  for (const char* value : {"inf", "-inf", "nan"}) {
    const json twist = {{"vid", "a"},
                        {"type", "extrudetwist"},
                        {"baseObjects", {"r"}},
                        {"size", {{"height", value}, {"twist", value}}}};
    EXPECT_TRUE(BuildDoc(Doc({Rect("r", 10, 10), twist}), "a").IsEmpty()) << value;
  }
}

TEST(ProfileObjects, ExtrudeTwistStraight) {
  const json doc = Doc({
      Rect("a", 4, 5, {{"visible", false}}),
      Rect("b", 2, 2, {{"move", {{"x", 10}}}}),
      {{"vid", "x"}, {"type", "extrudetwist"}, {"baseObjects", {"a", "b"}}},
      {{"vid", "h"},
       {"type", "extrudetwist"},
       {"baseObjects", {"a"}},
       {"size", {{"height", 3}, {"twist", 1e-10}}}},
      {{"vid", "none"}, {"type", "extrudetwist"}, {"baseObjects", {"nope"}}},
      {{"vid", "big"},
       {"type", "extrudetwist"},
       {"baseObjects", {"a"}},
       {"size", {{"twist", 90}, {"slices", 100000000}}}},
  });
  Manifold x = BuildDoc(doc, "x");
  EXPECT_NEAR(x.Volume(), 240, 1e-6);
  EXPECT_TRUE(BoxNear(x.BoundingBox(), {0, 0, 0}, {12, 5, 10}));
  EXPECT_NEAR(BuildDoc(doc, "h").Volume(), 60, 1e-6);
  EXPECT_TRUE(BuildDoc(doc, "none").IsEmpty());
  EXPECT_THROW(BuildDoc(doc, "big"), LimitError);
}

TEST(ProfileObjects, ExtrudeTwistTurned) {
  const json doc = Doc({
      Rect("a", 4, 4, {{"move", {{"x", -2}, {"y", -2}}}}),
      {{"vid", "t"},
       {"type", "extrudetwist"},
       {"baseObjects", {"a"}},
       {"size", {{"twist", 90}, {"slices", 0}}}},
  });
  Manifold t = BuildDoc(doc, "t");
  EXPECT_TRUE(testing::IsClosed(t));
  EXPECT_NEAR(t.BoundingBox().min.z, 0, 1e-9);
  EXPECT_NEAR(t.BoundingBox().max.z, 10, 1e-9);
  // The section turns, so it sweeps out past the square's corners.
  EXPECT_GT(t.BoundingBox().max.x, 2.5);
  EXPECT_NEAR(t.Volume(), 160, 8);
}

TEST(ProfileObjects, LatheTube) {
  struct Case {
    const char* name;
    json innercuts;
    json size;
    int segments;
    double inner;  // inner radius of the tube
    int count;     // segments of the revolution
  };
  const Case cases[] = {
      {"plain", json::array(), json::object(), 64, 5, 128},
      {"own count", json::array(), {{"segments", 16}}, 64, 5, 16},
      {"count below 3 doubles the pipeline's", json::array(), {{"segments", 2}}, 8, 5, 16},
      {"cut named by string", {"cut"}, json::object(), 64, 6, 128},
      {"cut named by object", {{{"vid", "cut"}}, 7, {{"vid", ""}}}, json::object(), 64, 6, 128},
  };
  for (const Case& c : cases) {
    const json doc = Doc({
        Rect("wall", 2, 10, {{"move", {{"x", 5}}}}),
        Rect("cut", 1, 10, {{"move", {{"x", 5}}}}),
        {{"vid", "l"}, {"type", "lathe"}, {"outcut", {"wall"}}, {"innercuts", c.innercuts},
         {"size", c.size}},
    });
    Manifold l = BuildDoc(doc, "l", c.segments);
    const double ring = 0.5 * c.count * std::sin(2 * kPi / c.count) * (49 - c.inner * c.inner);
    EXPECT_NEAR(l.Volume(), ring * 10, 1e-6) << c.name;
    EXPECT_TRUE(BoxNear(l.BoundingBox(), {-7, -7, 0}, {7, 7, 10}, 1e-6)) << c.name;
  }
  EXPECT_TRUE(BuildDoc(Doc({{{"vid", "l"}, {"type", "lathe"}, {"innercuts", {"l"}}}}), "l")
                  .IsEmpty());
}

TEST(ProfileObjects, Loft) {
  struct Case {
    const char* name;
    json size;
    double volume;
    double xMax;
  };
  const double grown = 100 + 40 + PolygonArea(1, 64);
  const Case cases[] = {
      {"box", {{"height", 5}}, 500, 10},
      {"shifted top", {{"height", 5}, {"x", 3}}, 500, 13},
      {"wall inside", {{"height", 5}, {"wall", 1}}, 500 - 64 * 5, 10},
      {"wall outside", {{"height", 5}, {"wall", -1}}, (grown - 100) * 5, 11},
      {"tiny wall is no wall", {{"height", 5}, {"wall", 1e-10}}, 500, 10},
  };
  for (const Case& c : cases) {
    const json doc = Doc({
        Rect("sq", 10, 10),
        {{"vid", "l"}, {"type", "loft"}, {"bottom", {"sq"}}, {"top", {"sq"}}, {"size", c.size}},
    });
    Manifold l = BuildDoc(doc, "l");
    EXPECT_NEAR(l.Volume(), c.volume, 1e-3 * c.volume) << c.name;
    EXPECT_NEAR(l.BoundingBox().max.x, c.xMax, 1e-3) << c.name;
    EXPECT_NEAR(l.BoundingBox().max.z, 5, 1e-9) << c.name;
  }
  const json noTop = Doc({Rect("sq", 10, 10),
                          {{"vid", "l"}, {"type", "loft"}, {"bottom", {"sq"}}, {"top", {"x"}}}});
  EXPECT_TRUE(BuildDoc(noTop, "l").IsEmpty());
}

}  // namespace
}  // namespace velamanifold
