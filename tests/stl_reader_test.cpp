#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <limits>
#include <string>
#include <vector>

#include "import/stl_reader.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using Bytes = std::vector<uint8_t>;
using Triangle = std::vector<float>;  // three corners, x y z each

// The twelve outward-facing triangles of the cube [0, 10]^3.
std::vector<Triangle> Cube() {
  manifold::MeshGL mesh = manifold::Manifold::Cube({10, 10, 10}).GetMeshGL();
  std::vector<Triangle> tris(mesh.NumTri());
  for (size_t k = 0; k < mesh.triVerts.size(); ++k) {
    const float* p = &mesh.vertProperties[3 * mesh.triVerts[k]];
    tris[k / 3].insert(tris[k / 3].end(), p, p + 3);
  }
  return tris;
}

// Returns a binary STL; `count` overrides the stored triangle count.
Bytes Binary(std::vector<Triangle> tris, const char* header = "binary", int64_t count = -1) {
  Bytes bytes(84 + 50 * tris.size(), 0);
  std::memcpy(bytes.data(), header, std::strlen(header));
  uint32_t n = static_cast<uint32_t>(count < 0 ? tris.size() : count);
  std::memcpy(&bytes[80], &n, 4);
  for (size_t t = 0; t < tris.size(); ++t) std::memcpy(&bytes[84 + 50 * t + 12], &tris[t][0], 36);
  return bytes;
}

// Returns an ASCII STL of the cube with the given line end and indentation,
// followed by `tail`.
Bytes Ascii(const std::string& eol, const std::string& indent, const std::string& tail = "") {
  std::string text = "solid cube" + eol;
  for (const Triangle& t : Cube()) {
    text += indent + "facet normal 0 0 0" + eol + indent + "outer loop" + eol;
    for (int c = 0; c < 3; ++c) {
      text += indent + "\tvertex " + std::to_string(t[3 * c]) + " " +
              std::to_string(t[3 * c + 1]) + " " + std::to_string(t[3 * c + 2]) + " " + eol;
    }
    text += indent + "endloop" + eol + "endfacet" + eol;
  }
  text += tail;
  return {text.begin(), text.end()};
}

// `count` cubes of side 10, 20 apart on a grid of 20 x 20 x n.
std::vector<Triangle> Cubes(int count) {
  std::vector<Triangle> tris;
  for (int i = 0; i < count; ++i) {
    const float offset[3] = {20.0f * (i % 20), 20.0f * (i / 20 % 20), 20.0f * (i / 400)};
    for (Triangle t : Cube()) {
      for (int c = 0; c < 9; ++c) t[c] += offset[c % 3];
      tris.push_back(t);
    }
  }
  return tris;
}

Bytes Resized(Bytes bytes, size_t size) {
  bytes.resize(size, 0);
  return bytes;
}

TEST(StlReader, LogsOneLinePerFile) {
  std::vector<Triangle> open = Cube(), infinite = Cube(), eleven = Cube();
  open.resize(2);
  eleven.pop_back();
  infinite[0][0] = std::numeric_limits<float>::infinity();
  // Malformed vertex lines and a dangling corner: only complete triples of
  // readable vertex lines make triangles.
  Bytes loose = Ascii("\n", "", "vertex\nvertex 1 2\nvertexes 1 2 3\nvertex 5 5 5");
  struct Case {
    double volume;  // -1: empty
    Bytes bytes;
    std::string log;
  } cases[] = {
      {-1, Bytes(83, 0), "REJECTED: buffer too small (83 bytes)"},
      {-1, Resized(Binary({}, "solid"), 83), "REJECTED: buffer too small (83 bytes)"},
      {-1, Resized(Binary(open), 183),
       "REJECTED: binary size mismatch (183 < 184 expected for 2 tris)"},
      // The expected size of the largest count does not fit 32 bits.
      {-1, Binary({}, "", 0xFFFFFFFF),
       "REJECTED: binary size mismatch (84 < 214748364834 expected for 4294967295 tris)"},
      {1000, Resized(Binary(Cube()), 700), "OK: 12 tris -> 8 verts (dedup) -> manifold"},
      {-1, Binary({}), "OK: 0 tris -> 0 verts (dedup) -> manifold"},
      {-1, Binary(open),
       "FAILED: Manifold status=2 (NotManifold), numVert=4, numTri=2, size=184 bytes, triCount=2"},
      {-1, Binary(infinite),
       "FAILED: Manifold status=1 (NonFiniteVertex), numVert=9, numTri=12, size=684 bytes, "
       "triCount=12"},
      // An odd number of triangles is never closed; the library is not asked.
      {-1, Binary(eleven),
       "FAILED: Manifold status=2 (NotManifold), numVert=8, numTri=11, size=634 bytes, "
       "triCount=11"},
      // A binary header that starts with "solid" is read as ASCII.
      {-1, Binary(Cube(), "solid"), "OK (ASCII): 0 tris, 0 verts (dedup) -> manifold"},
      {1000, Ascii("\r\n", "  \t "), "OK (ASCII): 12 tris, 8 verts (dedup) -> manifold"},
      {1000, loose, "OK (ASCII): 12 tris, 9 verts (dedup) -> manifold"},
      // 2000 separate cubes: more vertices than the vertex table first holds
      {2000 * 1000.0, Binary(Cubes(2000)), "OK: 24000 tris -> 16000 verts (dedup) -> manifold"},
  };
  for (const Case& c : cases) {
    ::testing::internal::CaptureStdout();
    manifold::Manifold solid = StlBufferToManifold(c.bytes, 0);
    std::fflush(stdout);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "[Tarvo STL] " + c.log + "\n");
    EXPECT_EQ(solid.IsEmpty(), c.volume < 0) << c.log;
    if (c.volume > 0) {
      EXPECT_NEAR(solid.Volume(), c.volume, 1e-6);
      EXPECT_TRUE(testing::IsClosed(solid));
    }
  }
}

TEST(StlReader, QuantisationRoundsToHundredThousandths) {
  const std::pair<float, int32_t> cases[] = {
      {-0.015625f, -1563},  // exactly -1562.5: halves round away from zero
      {1e30f, INT32_MAX}, {-1e30f, INT32_MIN}, {std::numeric_limits<float>::quiet_NaN(), 0}};
  for (auto [c, key] : cases) EXPECT_EQ(MakeVertexKey(c, 0, 0).x, key) << c;
  EXPECT_EQ(MakeVertexKey(1.000001f, 2, 3), MakeVertexKey(1.000003f, 2, 3));
  // Any float: the key is round-half-away-from-zero of c * 100000, saturated.
  std::mt19937 random(7);
  for (int i = 0; i < 200000; ++i) {
    float c = std::bit_cast<float>(static_cast<uint32_t>(random()));
    if (i % 2) c = std::ldexp(static_cast<float>(static_cast<int32_t>(random())), -21);
    if (std::isnan(c)) continue;
    double expected = std::clamp(std::round(c * 100000.0), -2147483648.0, 2147483647.0);
    ASSERT_EQ(MakeVertexKey(c, 0, 0).x, static_cast<int32_t>(expected)) << c;
  }
  EXPECT_FALSE(MakeVertexKey(1.0f, 2, 3) == MakeVertexKey(1.00002f, 2, 3));
}

}  // namespace
}  // namespace velamanifold
