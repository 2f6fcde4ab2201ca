// What each producer of triangles is charged against the request's ceilings.
// Every producer must be charged at least the triangles the library really
// makes for it (else a request past the ceiling builds), and, with the rest
// of the ceiling taken by a head start, it must build at exactly the ceiling
// and be refused one triangle past it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/base64.h"
#include "model/limits.h"
#include "pipeline/pipeline.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using testing::Doc;

constexpr int kSegments = 64;

// A round outline of n points around (cx, 0) of the given radius.
json Ring(int n, double cx, double radius) {
  json points = json::array();
  for (int i = 0; i < n; ++i) {
    const double a = 2 * M_PI * i / n;
    points.push_back({cx + radius * std::cos(a), radius * std::sin(a)});
  }
  return points;
}

json Svg(const std::string& id, const json& points) {
  return {{"vid", id}, {"type", "svg"}, {"_polygons", {points}}, {"visible", false}};
}

// Grey values 0..255 repeating, w x h of them.
json Map(int w, int h) {
  json values = json::array();
  for (int i = 0; i < w * h; ++i) values.push_back((i * 37) % 256);
  return values;
}

// Base64 of a binary STL holding `count` separate tetrahedra (4 triangles each).
std::string Tetrahedra(int count) {
  std::vector<uint8_t> bytes(84, 0);
  const uint32_t triangles = 4 * count;
  std::memcpy(&bytes[80], &triangles, 4);
  for (int k = 0; k < count; ++k) {
    const float x = 2.0f * k;
    const float a[3] = {x, 0, 0}, b[3] = {x + 1, 0, 0}, c[3] = {x, 1, 0}, d[3] = {x, 0, 1};
    const float* faces[4][3] = {{a, c, b}, {a, b, d}, {b, c, d}, {c, a, d}};
    for (const auto& face : faces) {
      std::vector<uint8_t> record(50, 0);
      for (int corner = 0; corner < 3; ++corner) {
        std::memcpy(&record[12 + 12 * corner], face[corner], 12);
      }
      bytes.insert(bytes.end(), record.begin(), record.end());
    }
  }
  return Base64Encode(bytes.data(), bytes.size());
}

// Builds `id` after charging `headStart` triangles; returns the LimitError's
// message, or "" when it builds (with the triangles made and charged).
std::string BuildAfter(const std::string& text, const std::string& id, int64_t headStart,
                       int64_t* made = nullptr, int64_t* charged = nullptr) {
  VelaPipeline pipeline;
  pipeline.segments = kSegments;
  try {
    pipeline.ChargeTriangles(headStart);
    const manifold::Manifold solid = pipeline.Build(text, id);
    if (made) *made = static_cast<int64_t>(solid.NumTri());
    if (charged) *charged = pipeline.TrianglesCharged() - headStart;
    return "";
  } catch (const LimitError& e) {
    return e.what();
  }
}

struct Producer {
  std::string what;
  json document;
  std::string id;
  // Triangles charged beyond the solid's own, for the regions it reads
  // (a listed region counts its points) or the STL bytes it decodes.
  int64_t extra;
  // Most the charge may exceed the solid's triangles, as a factor (0: any).
  double slack;
};

std::vector<Producer> Producers() {
  const json ring = Svg("o", Ring(40, 20, 5));
  const json square = Svg("q", {{-10, -10}, {10, -10}, {10, 10}, {-10, 10}});
  const json disc = Svg("d", Ring(48, 0, 8));
  const json stl = {{"vid", "a"}, {"filetype", "model/stl"}, {"content", Tetrahedra(50)}};
  return {
      {"lathe of a 40-point ring, 64 steps",
       Doc({ring, {{"vid", "p"}, {"type", "lathe"}, {"outcut", {"o"}}}}), "p", 40, 1.0},
      {"lathe of a 40-point ring, 300 steps of its own",
       Doc({ring,
            {{"vid", "p"}, {"type", "lathe"}, {"outcut", {"o"}}, {"size", {{"segments", 300}}}}}),
       "p", 40, 1.0},
      // The loft is charged for the few thousand points each pair of loops
      // may be matched to, whatever it makes.
      {"loft of a square into a disc",
       Doc({square, disc,
            {{"vid", "p"}, {"type", "loft"}, {"bottom", {"q"}}, {"top", {"d"}}}}),
       "p", 4 + 48, 0},
      {"twisted extrusion, 100 slices",
       Doc({disc,
            {{"vid", "p"}, {"type", "extrudetwist"}, {"baseObjects", {"d"}},
             {"size", {{"twist", 90}, {"slices", 100}}}}}),
       "p", 48, 1.05},
      {"relief of a 37 x 23 map",
       Doc({{{"vid", "p"}, {"type", "bumpmesh"}, {"_heightmap", Map(37, 23)},
             {"_heightmapWidth", 37}, {"_heightmapHeight", 23}}}),
       "p", 0, 1.0},
      {"relief of a one-column map of 300 values",
       Doc({{{"vid", "p"}, {"type", "bumpmesh"}, {"_heightmap", Map(1, 300)},
             {"_heightmapWidth", 1}, {"_heightmapHeight", 300}}}),
       "p", 0, 1.0},
      {"relief cylinder of a 37 x 23 map",
       Doc({{{"vid", "p"}, {"type", "bumpmeshCylinder"}, {"_heightmap", Map(37, 23)},
             {"_heightmapWidth", 37}, {"_heightmapHeight", 23}}}),
       "p", 0, 1.1},
      {"metric thread M8 x 30",
       Doc({{{"vid", "p"},
             {"type", "thread"},
             {"size", {{"diameter", 8}, {"height", 30}, {"screw", 1.25}}}}}),
       "p", 0, 2.0},
      {"STL of 50 tetrahedra",
       {{"objects", {{{"vid", "p"}, {"type", "polygons"}, {"attachmentVids", {"a"}}}}},
        {"attachments", {stl}}},
       "p", 1, 1.0},
      {"STL of 50 tetrahedra listed three times",
       {{"objects", {{{"vid", "p"}, {"type", "polygons"}, {"attachmentVids", {"a", "a", "a"}}}}},
        {"attachments", {stl}}},
       "p", 1 + 2 * 200, 1.0},
      {"grid of 3 x 2 spheres",
       Doc({{{"vid", "s"}, {"type", "sphere"}, {"size", 4}, {"visible", false}},
            {{"vid", "p"}, {"type", "grid"}, {"baseObjects", {"s"}},
             {"grid", {{"rows", 3}, {"columns", 2}, {"x", 10}, {"y", 10}}}}}),
       "p", 0, 1.0},
  };
}

TEST(Ceilings, EveryProducerIsChargedTheTrianglesItMakesAndRefusedOnePastTheCeiling) {
  for (const Producer& p : Producers()) {
    const std::string text = p.document.dump();
    int64_t made = 0, charged = 0;
    ASSERT_EQ(BuildAfter(text, p.id, 0, &made, &charged), "") << p.what;
    ASSERT_GT(made, 0) << p.what;
    EXPECT_GE(charged, made + p.extra) << p.what;
    if (p.slack > 0) {
      EXPECT_LE(charged, p.slack * made + p.extra) << p.what;
    }
    // The same request with the rest of the ceiling taken: it builds at
    // exactly 4,000,000 and is refused at one more.
    EXPECT_EQ(BuildAfter(text, p.id, kMaxTriangles - charged), "") << p.what;
    EXPECT_EQ(BuildAfter(text, p.id, kMaxTriangles - charged + 1),
              "triangle count of 4000001 exceeds the limit of 4000000")
        << p.what;
  }
}

// The documented value of each ceiling is admitted and one more is refused,
// whether counted at once or by the request's running totals.
TEST(Ceilings, EachCeilingAdmitsItsValueAndRefusesOneMore) {
  const struct {
    int64_t limit;
    int64_t documented;
    const char* what;
    void (VelaPipeline::*charge)(int64_t);
  } ceilings[] = {
      {kMaxSegments, 1024, "segment count", nullptr},
      {kMaxCopies, 100000, "copy count", nullptr},
      {kMaxTriangles, 4000000, "triangle count", &VelaPipeline::ChargeTriangles},
      {kMaxOutlinePoints, 250000, "outline point count", &VelaPipeline::ChargeOutlinePoints},
      {kMaxScrewRings, 250000, "screw thread ring count", nullptr},
  };
  for (const auto& c : ceilings) {
    EXPECT_EQ(c.limit, c.documented) << c.what;
    EXPECT_EQ(CheckCount(c.limit, c.limit, c.what), c.limit) << c.what;
    try {
      CheckCount(c.limit + 1, c.limit, c.what);
      ADD_FAILURE() << c.what << " one past the ceiling passed";
    } catch (const LimitError& e) {
      EXPECT_EQ(std::string(e.what()), std::string(c.what) + " of " + std::to_string(c.limit + 1) +
                                           " exceeds the limit of " + std::to_string(c.limit));
    }
    if (c.charge == nullptr) continue;
    // The running total: the ceiling charged in two parts, then one more.
    VelaPipeline pipeline;
    (pipeline.*c.charge)(c.limit - 1);
    EXPECT_NO_THROW((pipeline.*c.charge)(1)) << c.what;
    EXPECT_THROW((pipeline.*c.charge)(1), LimitError) << c.what;
  }
  VelaPipeline copies;
  copies.ChargeCopies(kMaxCopies - 1, 40);
  EXPECT_NO_THROW(copies.ChargeCopies(1, 40));  // 100,000 copies of 40: 4,000,000 triangles
  EXPECT_EQ(copies.TrianglesCharged(), kMaxTriangles);
  EXPECT_THROW(copies.ChargeCopies(1), LimitError);
  EXPECT_EQ(CheckSegments(1024, "segment count"), 1024);
  EXPECT_THROW(CheckSegments(1025, "segment count"), LimitError);
  EXPECT_EQ(kMaxObjectDepth, 200);
}

}  // namespace
}  // namespace velamanifold
