#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "geometry/plate.h"
#include "pipeline/limits.h"
#include "pipeline/pipeline.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::CrossSection;
using manifold::Manifold;
using testing::BoxNear;
using testing::IsClosed;

constexpr double kPi = std::numbers::pi;

CrossSection Square(double side) { return CrossSection::Square({side, side}, true); }

// Area of the n-gon the library makes for a circle of radius r.
double DiscArea(double r, int n = 64) { return 0.5 * n * r * r * std::sin(2 * kPi / n); }

double SliceArea(const Manifold& solid, double z) { return CrossSection(solid.Slice(z)).Area(); }

PlateParams SquarePlate(double side, double height) {
  PlateParams params;
  params.outline = Square(side);
  params.height = height;
  return params;
}

TEST(Plate, PlainOutlineIsAPrism) {
  Manifold plate = Plate(SquarePlate(10, 3), 64);
  EXPECT_NEAR(plate.Volume(), 300, 1e-9);
  EXPECT_TRUE(BoxNear(plate.BoundingBox(), {-5, -5, 0}, {5, 5, 3}));
  EXPECT_TRUE(IsClosed(plate));
}

TEST(Plate, UnusableInputsBuildNothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  PlateParams noOutline;
  noOutline.height = 3;
  EXPECT_TRUE(Plate(noOutline, 64).IsEmpty());
  for (double height : {0.0, -1.0, nan, inf}) {
    EXPECT_TRUE(Plate(SquarePlate(10, height), 64).IsEmpty()) << height;
  }
  for (double offset : {-6.0, nan, inf}) {
    PlateParams params = SquarePlate(10, 3);
    params.offset = offset;
    EXPECT_TRUE(Plate(params, 64).IsEmpty()) << offset;
  }
}

TEST(Plate, OffsetShrinksOrGrowsTheOutline) {
  PlateParams params = SquarePlate(10, 3);
  params.offset = -2;
  EXPECT_NEAR(Plate(params, 64).Volume(), 6 * 6 * 3, 1e-6);
  params.offset = 1;
  // Rounded corners: the square, four side strips and a quarter disc per corner.
  EXPECT_NEAR(Plate(params, 64).Volume(), (100 + 40 + kPi) * 3, 0.05);
}

TEST(Plate, FewSegmentsOffsetLikeEight) {
  PlateParams params = SquarePlate(10, 3);
  params.offset = 2;
  EXPECT_NEAR(Plate(params, 4).Volume(), Plate(params, 8).Volume(), 1e-9);
  EXPECT_GT(Plate(params, 64).Volume(), Plate(params, 8).Volume());
}

// Frustum volume h/3 (A1 + A2 + sqrt(A1 A2)) of square sections.
double SquareFrustum(double bottom, double top, double h) {
  return h / 3 * (bottom * bottom + top * top + bottom * top);
}

TEST(Plate, OuterChamferBevelsTheTopEdge) {
  struct Case {
    double chamfer, volume;
  };
  const Case cases[] = {
      {1, 10 * 10 * 2 + SquareFrustum(10, 8, 1)},
      // A chamfer taller than the plate is limited to its height.
      {3, SquareFrustum(10, 4, 3)},
      {5, SquareFrustum(10, 4, 3)},
      {0, 300},
      {-1, 300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chamfer);
    PlateParams params = SquarePlate(10, 3);
    params.chamferOuter = c.chamfer;
    Manifold plate = Plate(params, 64);
    EXPECT_NEAR(plate.Volume(), c.volume, 1e-3);
    EXPECT_TRUE(BoxNear(plate.BoundingBox(), {-5, -5, 0}, {5, 5, 3}, 1e-6));
    EXPECT_TRUE(IsClosed(plate));
  }
}

TEST(Plate, InnerCutsRemoveTheirPrism) {
  struct Case {
    double depth, removed;
  };
  // A 4 x 4 cut: depths outside (0, 3] go through the plate.
  const Case cases[] = {{0, 48}, {-1, 48}, {5, 48}, {3, 48}, {1, 16}, {2.5, 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.depth);
    PlateParams params = SquarePlate(10, 3);
    params.innerCuts.push_back({Square(4), c.depth, 0});
    Manifold plate = Plate(params, 64);
    EXPECT_NEAR(300 - plate.Volume(), c.removed, 1e-6);
    EXPECT_TRUE(IsClosed(plate));
    EXPECT_TRUE(BoxNear(plate.BoundingBox(), {-5, -5, 0}, {5, 5, 3}));
  }
}

TEST(Plate, CutsApplyInOrderAndEmptySectionsAreSkipped) {
  PlateParams params = SquarePlate(10, 3);
  params.innerCuts.push_back({Square(2).Translate({-3, -3}), 1, 0});
  params.innerCuts.push_back({CrossSection(), 1, 0});
  params.innerCuts.push_back({Square(2).Translate({3, 3}), 0, 0});
  EXPECT_NEAR(300 - Plate(params, 64).Volume(), 4 + 12, 1e-6);
}

// Volume outside a disc of radius r within a cone widening from r to r + c
// over the height c.
double CountersinkVolume(double r, double c) {
  return kPi * c / 3 * (r * r + (r + c) * (r + c) + r * (r + c)) - kPi * r * r * c;
}

TEST(Plate, InnerChamferAddsACountersink) {
  struct Case {
    double chamfer, depth, sink;
  };
  // A hole of radius 2: the countersink is limited by the depth of the cut.
  const Case cases[] = {{1, 0, 1}, {0.5, 0, 0.5}, {2, 1, 1}, {0, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.chamfer << " " << c.depth);
    PlateParams params = SquarePlate(10, 3);
    params.chamferInner = c.chamfer;
    params.innerCuts.push_back({CrossSection::Circle(2, 64), c.depth, 0});
    Manifold plate = Plate(params, 64);
    const double hole = DiscArea(2) * (c.depth > 0 ? c.depth : 3);
    const double sink = c.sink > 0 ? CountersinkVolume(2, c.sink) : 0;
    EXPECT_NEAR(300 - plate.Volume(), hole + sink, 0.02 * (hole + sink));
    EXPECT_TRUE(IsClosed(plate));
  }
}

TEST(Plate, ChamferRingHasNoWidthAtTheBottom) {
  Manifold ring = ChamferRing(Square(10), 1, 64);
  EXPECT_TRUE(BoxNear(ring.BoundingBox(), {-6, -6, 0}, {6, 6, 1}, 1e-6));
  // Grown by 1 with rounded corners, minus the square shrunk by 1.
  EXPECT_NEAR(SliceArea(ring, 0.999), 100 + 40 + kPi - 64, 0.5);
  EXPECT_LT(SliceArea(ring, 0.001), 0.1);
  EXPECT_TRUE(ChamferRing(CrossSection(), 1, 64).IsEmpty());
  EXPECT_TRUE(ChamferRing(Square(10), 0, 64).IsEmpty());
}

TEST(PlateShellA, BevelsAndCutsFromTheBottomFace) {
  const Manifold base = Manifold::Cube({10, 10, 3}, true).Translate({0, 0, 3.5});  // z 2 .. 5
  PlateParams params;
  params.chamferOuter = 1;
  Manifold bevelled = PlateShellA(params, Square(10), base, 2, 5, 64);
  EXPECT_NEAR(bevelled.Volume(), 200 + SquareFrustum(10, 8, 1), 1e-3);
  // The bevel is on the bottom edge: the bottom face is 8 x 8, the top 10 x 10.
  EXPECT_NEAR(SliceArea(bevelled, 2.001), 8.002 * 8.002, 0.01);
  EXPECT_NEAR(SliceArea(bevelled, 4.999), 100, 1e-6);

  params.chamferOuter = 0;
  params.innerCuts.push_back({Square(4), 1, 0});
  Manifold pocket = PlateShellA(params, Square(10), base, 2, 5, 64);
  EXPECT_NEAR(300 - pocket.Volume(), 16, 1e-6);
  EXPECT_NEAR(SliceArea(pocket, 2.5), 100 - 16, 1e-6);
  EXPECT_NEAR(SliceArea(pocket, 3.5), 100, 1e-6);
  EXPECT_TRUE(IsClosed(pocket));
}

TEST(PlateShellA, CollapsedBoundsCutAtMostAThinLayer) {
  // The cut is 0.0001 thick, below what the small-face cleanup keeps.
  const Manifold base = Manifold::Cube({10, 10, 3});
  PlateParams params;
  params.innerCuts.push_back({Square(4).Translate({5, 5}), 0, 0});
  Manifold shell = PlateShellA(params, CrossSection(), base, 0, 0, 64);
  EXPECT_NEAR(shell.Volume(), 300, 16 * 0.0001 + 1e-9);
  EXPECT_TRUE(IsClosed(shell));
}

TEST(CleanupSmallFaces, KeepsTheShapeAndPassesEmptyThrough) {
  EXPECT_TRUE(CleanupSmallFaces(Manifold()).IsEmpty());
  Manifold cube = Manifold::Cube({2, 3, 4});
  EXPECT_NEAR(CleanupSmallFaces(cube).Volume(), 24, 1e-9);
}

TEST(PlateShell, IgnoresTheSecondParameterSet) {
  PlateParams other = SquarePlate(20, 9);
  EXPECT_NEAR(PlateShell(SquarePlate(10, 3), other, 64).Volume(), 300, 1e-9);
}


// ---------------------------------------------------------------------------
// "thread" and "plate" objects built by the pipeline.

using nlohmann::json;
using testing::BuildDoc;
using testing::Doc;

json Rect(const std::string& vid, double x, double y, double mx = 0, double my = 0) {
  return {{"vid", vid},
          {"type", "rectangle"},
          {"visible", false},
          {"size", {{"x", x}, {"y", y}}},
          {"move", {{"x", mx}, {"y", my}}}};
}

json PlateOf(const std::string& vid, const std::string& shell, json size, json cuts = json()) {
  json plate = {{"vid", vid}, {"type", "plate"}, {"outershell", shell}, {"size", size}};
  if (!cuts.is_null()) plate["innercuts"] = cuts;
  return plate;
}

json Thread(const std::string& vid, json size, double mx = 0, double my = 0) {
  return {{"vid", vid},
          {"type", "thread"},
          {"visible", false},
          {"size", size},
          {"move", {{"x", mx}, {"y", my}}}};
}

TEST(ThreadObject, SizesDefaultsAndStandards) {
  struct Case {
    const char* name;
    json size;
    double radius, length;
  };
  const Case cases[] = {
      {"defaults", json::object(), 5, 20},
      {"M8 overrides the diameter", {{"standard", "M8"}, {"height", 30}, {"diameter", 3}}, 4, 30},
      {"names are case-sensitive", {{"standard", "m8"}, {"height", 12}}, 5, 12},
      {"a numeric standard is ignored", {{"standard", 8}, {"diameter", 6}, {"height", 9}}, 3, 9},
      {"sizes may be text", {{"diameter", "=12"}, {"height", "15"}, {"screw", "1.75"}}, 6, 15},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Manifold rod = BuildDoc(Doc(json::array({Thread("t", c.size)})), "t", 16);
    ASSERT_FALSE(rod.IsEmpty());
    EXPECT_TRUE(BoxNear(rod.BoundingBox(), {-c.radius, -c.radius, 0},
                        {c.radius, c.radius, c.length}, 0.02 * c.radius));
  }
}

TEST(ThreadObject, BareNumberIsDiameterLengthAndPitch) {
  // Diameter 4 with pitch 4 leaves no room for a thread: a plain cylinder.
  Manifold rod = BuildDoc(Doc(json::array({Thread("t", 4)})), "t");
  EXPECT_TRUE(BoxNear(rod.BoundingBox(), {-2, -2, 0}, {2, 2, 4}, 1e-6));
  EXPECT_NEAR(rod.Volume(), DiscArea(2) * 4, 1e-6);
}

TEST(ThreadObject, TooManyHelixRingsEndTheRequest) {
  // A pitch tiny against the length would need hundreds of millions of rings.
  json doc = Doc(json::array({Thread("t", {{"diameter", 10}, {"height", 100}, {"screw", 1e-6}})}));
  EXPECT_THROW(BuildDoc(doc, "t"), LimitError);
  json plate = Doc(json::array(
      {Rect("r", 20, 20), Thread("t", {{"diameter", 5}, {"screw", 1e-7}}, 10, 10),
       PlateOf("p", "r", {{"depth", 5}}, json::array({{{"vid", "t"}}}))}));
  EXPECT_THROW(BuildDoc(plate, "p"), LimitError);
}

TEST(ThreadObject, NonFiniteSizesBuildNothing) {
  for (const char* text : {"inf", "nan", "-inf"}) {
    SCOPED_TRACE(text);
    EXPECT_TRUE(BuildDoc(Doc(json::array({Thread("t", {{"diameter", text}})})), "t").IsEmpty());
    EXPECT_TRUE(BuildDoc(Doc(json::array({Thread("t", {{"screw", text}})})), "t").IsEmpty());
  }
}

TEST(PlateObject, OutlineModeBuildsTheSlab) {
  struct Case {
    const char* name;
    json plate;
    double volume, inset;
  };
  const Case cases[] = {
      {"no size: 3 thick", {{"vid", "p"}, {"type", "plate"}, {"outershell", "r"}}, 300, 0},
      {"depth 5", PlateOf("p", "r", {{"depth", 5}}), 500, 0},
      {"depth 0 is 0.0001 thick", PlateOf("p", "r", {{"depth", 0}}), 0.01, 0},
      {"offset -2", PlateOf("p", "r", {{"offset", -2}}), 108, 2},
      {"no outershell", {{"vid", "p"}, {"type", "plate"}}, 0, 0},
      {"unknown outershell", PlateOf("p", "nothing", json::object()), 0, 0},
      {"outershell is a solid", PlateOf("p", "c", json::object()), 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    json cube = {{"vid", "c"}, {"type", "cube"}, {"size", {{"x", 5}, {"y", 5}, {"z", 5}}}};
    Manifold plate = BuildDoc(Doc(json::array({Rect("r", 10, 10), cube, c.plate})), "p");
    EXPECT_NEAR(plate.Volume(), c.volume, 1e-6);
    if (c.volume > 0) {
      const double lo = c.inset, hi = 10 - c.inset, top = plate.BoundingBox().max.z;
      EXPECT_TRUE(BoxNear(plate.BoundingBox(), {lo, lo, 0}, {hi, hi, top}));
    }
  }
}

TEST(PlateObject, PlanarInnerCutsWithEffectiveDepth) {
  struct Case {
    json depth;
    double removed;
  };
  // A 2 x 3 cut in a plate 4 thick: depths outside (0, 4] go through.
  const Case cases[] = {{json(), 24}, {0, 24}, {-2, 24}, {9, 24}, {1.5, 9}, {"2", 12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.depth.dump());
    json cut = {{"vid", "h"}};
    if (!c.depth.is_null()) cut["depth"] = c.depth;
    json doc = Doc(json::array({Rect("r", 10, 10), Rect("h", 2, 3, 4, 4),
                                PlateOf("p", "r", {{"depth", 4}}, json::array({cut, "junk"}))}));
    Manifold plate = BuildDoc(doc, "p");
    EXPECT_NEAR(400 - plate.Volume(), c.removed, 1e-6);
    EXPECT_TRUE(IsClosed(plate));
  }
}

// The material a threaded hole removes from a plate: what the builder
// returned, subtracted from the same plate without threads.
struct HoleFacts {
  double removed;
  manifold::Box box;
};

HoleFacts ThreadedHole(json threadSize, json depth, double fase, double mx = 6, double my = 7) {
  json cuts = json::array({{{"vid", "t"}, {"depth", depth}}});
  json size = {{"depth", 10}, {"faseTopInner", fase}};
  json doc = Doc(json::array(
      {Rect("r", 12, 14), Thread("t", threadSize, mx, my), PlateOf("p", "r", size, cuts)}));
  Manifold plate = BuildDoc(doc, "p", 32);
  Manifold hole = Manifold::Cube({12, 14, 10}) - plate;
  return {hole.Volume(), hole.BoundingBox()};
}

TEST(PlateObject, ThreadedHolesCutBetweenMinorAndMajorCylinder) {
  struct Case {
    const char* name;
    json depth;
    double length;
  };
  const Case cases[] = {{"blind, 4 deep", 4, 4}, {"through when 0", 0, 10}, {"through when 12", 12, 10}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HoleFacts hole = ThreadedHole({{"standard", "M6"}}, c.depth, 0);
    const double r = 3, r1 = (6 - 1.0825317547305482) / 2;
    EXPECT_GT(hole.removed, DiscArea(r1, 32) * c.length);
    EXPECT_LT(hole.removed, kPi * r * r * c.length);
    // Holes open on the top face, at the thread's x and y.
    EXPECT_TRUE(BoxNear(hole.box, {6 - r, 7 - r, 10 - c.length}, {6 + r, 7 + r, 10}, 0.05));
  }
}

TEST(PlateObject, InnerChamferCountersinksThreadedHoles) {
  const double plain = ThreadedHole({{"diameter", 5}, {"screw", 0.8}}, 6, 0).removed;
  const double sunk = ThreadedHole(json::object(), 6, 1).removed;  // M5 x 0.8 by default
  // The cone widens from the major radius 2.5 to 3.5 at the face.
  const double outsideMajor = CountersinkVolume(2.5, 1);
  EXPECT_GT(sunk - plain, outsideMajor * 0.97);
  EXPECT_LT(sunk - plain, outsideMajor + kPi * 2.5 * 2.5 - DiscArea(2.5 - 0.433, 32));
  // A chamfer larger than the depth is limited by it.
  const double deep = ThreadedHole(json::object(), 0.5, 3).removed;
  EXPECT_LT(deep, kPi * 3 * 3 * 0.5 + 0.05);
}

TEST(PlateObject, PlatesNamingPlatesStopAfterOneLevel) {
  json a = PlateOf("a", "r", {{"depth", 3}});
  json b = PlateOf("b", "a", json::object());
  json c = PlateOf("c", "b", json::object());
  json doc = Doc(json::array({Rect("r", 10, 10), a, b, c}));
  EXPECT_NEAR(BuildDoc(doc, "b").Volume(), 300, 1e-6);
  EXPECT_TRUE(BuildDoc(doc, "c").IsEmpty());

  json loop = Doc(json::array({PlateOf("x", "y", json::object()), PlateOf("y", "x", json::object()),
                               PlateOf("self", "self", json::object())}));
  for (const char* id : {"x", "y", "self"}) EXPECT_TRUE(BuildDoc(loop, id).IsEmpty()) << id;
}

TEST(PlateObject, ShellAlreadyBeingVisitedIsEmpty) {
  json doc = Doc(json::array({Rect("r", 10, 10), PlateOf("a", "r", json::object()),
                              PlateOf("b", "a", json::object())}));
  VelaPipeline pipeline;
  const VisitingSet visiting = {"a"};
  EXPECT_TRUE(pipeline.BuildInner(doc, "b", &visiting).IsEmpty());
  VelaPipeline fresh;
  const VisitingSet other = {"q"};
  EXPECT_NEAR(fresh.BuildInner(doc, "b", &other).Volume(), 300, 1e-6);
}

TEST(PlateObject, PlateModeWorksUpFromTheBottomFace) {
  json a = PlateOf("a", "r", {{"depth", 5}});
  a["move"] = {{"z", 2}};  // the named plate spans z 2 .. 7
  json bevel = PlateOf("b", "a", {{"faseTopOuter", 1}});
  json pocket = PlateOf("b", "a", json::object(), json::array({{{"vid", "h"}, {"depth", 1}}}));
  json thread = PlateOf("b", "a", json::object(), json::array({{{"vid", "t"}, {"depth", 3}}}));
  json common = json::array({Rect("r", 10, 10), Rect("h", 2, 2, 4, 4), a,
                             Thread("t", {{"standard", "M4"}}, 5, 5)});
  auto build = [&](const json& b) {
    json objects = common;
    objects.push_back(b);
    return BuildDoc(Doc(objects), "b");
  };
  // Bevelled along the bottom edge: 8 x 8 at z = 2, 10 x 10 from z = 3 up.
  Manifold bevelled = build(bevel);
  EXPECT_NEAR(bevelled.Volume(), 400 + SquareFrustum(10, 8, 1), 1e-3);
  EXPECT_NEAR(SliceArea(bevelled, 2.001), 8.002 * 8.002, 0.01);

  Manifold pocketed = build(pocket);
  EXPECT_NEAR(500 - pocketed.Volume(), 4, 1e-6);
  EXPECT_NEAR(SliceArea(pocketed, 2.5), 96, 1e-6);
  EXPECT_NEAR(SliceArea(pocketed, 3.5), 100, 1e-6);

  Manifold threaded = build(thread);
  Manifold hole = Manifold::Cube({10, 10, 5}).Translate({0, 0, 2}) - threaded;
  EXPECT_TRUE(BoxNear(hole.BoundingBox(), {3, 3, 2}, {7, 7, 5}, 0.05));
}

}  // namespace
}  // namespace velamanifold
