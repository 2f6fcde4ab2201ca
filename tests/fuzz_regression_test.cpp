// Requests found by fuzzing and by probing the request ceilings: each must end
// as an ordinary answer or a failed request, never as a crash, a hang or an
// exhausted machine.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/base64.h"
#include "cli/request.h"
#include "model/limits.h"

namespace velamanifold {
namespace {

using nlohmann::json;

std::string BuildRequest(const json& objects, const std::string& vid, int segments = 64) {
  return json{{"jsonStr", json{{"objects", objects}}.dump()}, {"vid", vid}, {"segments", segments}}
      .dump();
}

// A grid of `rows` x `rows` copies of `base`, hidden unless it is the last.
json Grid(const std::string& vid, const std::string& base, int rows, double pitch,
          bool visible = false) {
  return {{"vid", vid},
          {"type", "grid"},
          {"baseObjects", {base}},
          {"grid", {{"rows", rows}, {"columns", rows}, {"x", pitch}, {"y", pitch}}},
          {"visible", visible}};
}

// Each of these stays far below the copy ceiling while asking for billions
// of triangles; without a ceiling on triangles a run takes all the memory
// there is (the first one crashes inside the library once an allocation
// fails).
TEST(FuzzRegression, WorkThatMultipliesBeyondTheCeilingsEndsWithALimitError) {
  const json cube = {{"vid", "b"}, {"type", "cube"}, {"size", 1}, {"visible", false}};
  const json sphere = {{"vid", "b"}, {"type", "sphere"}, {"size", 10}, {"visible", false}};
  json manyParts = json::array();
  // 2,000 parts of an 8,192-triangle torus: 16 million triangles to write.
  for (int i = 0; i < 2000; ++i) manyParts.push_back({"t", "part", ""});
  const struct {
    std::string what, op, request;
  } cases[] = {
      // 90,000 copies of a sphere: within the copy ceiling, some 10^8 triangles.
      {"wide grid of spheres", "build",
       BuildRequest({sphere, Grid("m", "b", 300, 10, true)}, "m")},
      // Three nested 40 x 40 grids: 4,800 copies charged, 4 million cubes built.
      {"nested grids", "build",
       BuildRequest({cube, Grid("g1", "b", 40, 2), Grid("g2", "g1", 40, 80),
                     Grid("m", "g2", 40, 3200, true)},
                    "m")},
      // One small document, its torus written once per listed part.
      {"many parts of one mesh", "multi_xml",
       json{{"partsJson",
             json{{"objects", {{{"vid", "t"}, {"type", "torus"}, {"size", 40}}}}}.dump()},
            {"parts", manyParts}}
           .dump()},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(AnswerRequest(c.op, c.request), LimitError) << c.what;
  }
}

// Requests that ended in a crash before: an unusable number reaching the
// copies of an array (then the library's Boolean), an absurd relief size,
// and an outline whose collinear points made the library's triangulator
// recurse beyond the stack. Each now answers.
TEST(FuzzRegression, UnusableNumbersAndCollinearOutlinesAnswerWithoutCrashing) {
  const json cube = {{"vid", "b"}, {"type", "cube"}, {"size", 2}, {"visible", false}};
  json collinear = json::array();
  for (int i = 0; i < 100000; ++i) collinear.push_back({i * 0.01, 0});
  const json heightMap = {{"vid", "m"}, {"type", "bumpmesh"}, {"_heightmap", {1, 2, 3, 4}},
                          {"_heightmapWidth", 2}, {"_heightmapHeight", 2},
                          {"size", {{"x", 1e308}, {"y", 1e308}, {"base", 1e308}}}};
  auto grid = [&](const json& spacing) {
    return json{{"vid", "m"}, {"type", "grid"}, {"baseObjects", {"b"}},
                {"grid", {{"rows", 2}, {"columns", 2}, {"x", spacing}, {"y", spacing}}}};
  };
  auto radial = [&](const char* key) {
    return json{{"vid", "m"}, {"type", "radialArray"}, {"baseObjects", {"b"}},
                {"grid", {{"count", 3}, {key, "NaN"}}}};
  };
  const struct {
    std::string what;
    json objects;
    std::string answer;  // the start of the answer
  } cases[] = {
      {"grid spacing 1/0", {cube, grid("=1/0")}, R"({"empty":true})"},
      {"grid spacing inf", {cube, grid("inf")}, R"({"empty":true})"},
      {"radial radius NaN", {cube, radial("radius")}, R"({"empty":true})"},
      {"radial angle NaN", {cube, radial("angle")}, R"({"empty":true})"},
      {"relief of 1e308", {heightMap}, R"({"empty":true})"},
      {"100,000 collinear points",
       {{{"vid", "m"}, {"type", "svg"}, {"_polygons", {collinear}}}},
       R"({"flipWinding":false)"},
  };
  for (const auto& c : cases) {
    const std::string answer = AnswerRequest("build", BuildRequest(c.objects, "m")).text;
    EXPECT_EQ(answer.substr(0, c.answer.size()), c.answer) << c.what;
  }
}

// Returns a binary STL holding the triangles, three corners each.
std::string Stl(const std::vector<std::vector<std::vector<float>>>& triangles) {
  std::string bytes(80, '\0');
  uint32_t count = static_cast<uint32_t>(triangles.size());
  bytes.append(reinterpret_cast<const char*>(&count), 4);
  for (const auto& triangle : triangles) {
    bytes.append(12, '\0');  // normal
    for (const auto& corner : triangle) {
      bytes.append(reinterpret_cast<const char*>(corner.data()), 12);
    }
    bytes.append(2, '\0');  // attribute word
  }
  return bytes;
}

// Meshes left with an odd number of triangles: the library leaves one
// half-edge unset for them and crashes reading it in its manifold check.
// Found by the fuzzer; such meshes are never closed, so nothing is imported.
TEST(FuzzRegression, StlWithAnOddTriangleCountAnswersWithoutCrashing) {
  const std::vector<float> a = {1, 0, 0}, b = {0, 1, 0}, c = {0, 0, 1}, d = {1, 1, 1},
                           e = {1, 0, 1}, f = {0, 1, 1}, g = {1.0000076f, 1, 0},
                           o = {0, 0, 0}, z = {0, 0, 1197193.125f},
                           far = {-7.7438616e11f, 4.4292752e8f, 0};
  const std::vector<std::vector<std::vector<float>>> meshes[] = {
      // a sliver (a, b, a) and two triangles collapsed to a point, next to one
      {{a, b, a}, {c, d, a}, {o, o, o}, {o, o, o}},
      // five triangles on one edge once seven collapsed ones are left out
      {{z, o, o}, {e, a, o}, {e, o, o}, {f, a, o}, {g, a, o}, {b, a, o}, {a, a, o}, {d, a, o},
       {d, o, o}, {f, o, o}, {b, o, o}, {o, far, far}},
  };
  for (const auto& mesh : meshes) {
    const std::string stl = Stl(mesh);
    const json document = {
        {"objects", {{{"vid", "m"}, {"type", "polygons"}, {"attachmentVids", {"s"}}}}},
        {"attachments",
         {{{"vid", "s"},
           {"filetype", "model/stl"},
           {"content", Base64Encode(stl.data(), stl.size())}}}}};
    const std::string request = json{{"jsonStr", document.dump()}, {"vid", "m"}}.dump();
    EXPECT_EQ(AnswerRequest("build", request).text, "{\"empty\":true}\n");
  }
}

}  // namespace
}  // namespace velamanifold
