#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "import/stl_reader.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using Bytes = std::vector<uint8_t>;
using Triangle = std::vector<float>;  // three corners, x y z each

// The twelve outward triangles of each of `count` cubes of side 10, 20 apart on a 20 x 20 x n grid.
std::vector<Triangle> Cubes(int count = 1) {
  const manifold::MeshGL mesh = manifold::Manifold::Cube({10, 10, 10}).GetMeshGL();
  std::vector<Triangle> tris(12 * count);
  for (size_t k = 0; k < 3 * tris.size(); ++k) {
    const float offset[3] = {20.0f * (k / 36 % 20), 20.0f * (k / 720 % 20), 20.0f * (k / 14400)};
    const float* p = &mesh.vertProperties[3 * mesh.triVerts[k % 36]];
    for (int a = 0; a < 3; ++a) tris[k / 3].push_back(p[a] + offset[a]);
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

Bytes Resized(Bytes bytes, size_t size) { bytes.resize(size, 0); return bytes; }

// Returns an ASCII STL of the cube with the given line end and indentation, then `tail`.
Bytes Ascii(const std::string& eol, const std::string& indent, const std::string& tail = "") {
  std::string text = "solid cube" + eol;
  for (const Triangle& t : Cubes()) {
    text += indent + "facet normal 0 0 0" + eol + indent + "outer loop" + eol;
    for (int c = 0; c < 9; c += 3) {
      text += indent + "\tvertex " + std::to_string(t[c]) + " " + std::to_string(t[c + 1]) + " " +
              std::to_string(t[c + 2]) + " " + eol;
    }
    text += indent + "endloop" + eol + "endfacet" + eol;
  }
  text += tail;
  return {text.begin(), text.end()};
}

// Returns an ASCII cube whose size is just what the count at its bytes 80
// to 83 would ask of a binary file.
Bytes AsciiOfBinarySize() {
  const Bytes cube = Ascii("\n", "");
  const uint32_t count = static_cast<uint32_t>(cube.size() / 50 + 1);
  std::string text = "solid" + std::string(79, ' ');
  std::memcpy(&text[80], &count, 4);
  text.append(cube.begin(), cube.end());
  text.resize(84 + 50 * count, '\n');
  return {text.begin(), text.end()};
}

TEST(StlReader, LogsOneLinePerFile) {
  std::vector<Triangle> cube = Cubes(), open = {cube[0], cube[1]}, eleven = cube, infinite = cube;
  eleven.pop_back();
  infinite[0][0] = INFINITY;
  // Unreadable vertex lines are skipped; a dangling corner makes no triangle.
  Bytes loose = Ascii("\n", "", "vertex\nvertex 1 2\nvertexes 1 2 3\nvertex 5 5 5");
  // Two triangles with two corners at one point: one on the cube, one at its corner.
  std::vector<Triangle> withDegenerate = cube;
  withDegenerate.push_back({0, 0, 0, 0, 0, 0, 10, 0, 0});
  withDegenerate.push_back({10, 10, 10, 10, 10, 10, 10, 10, 10});
  const std::string degenerate =
      "vertex 0 0 0\nvertex 0 0 0\nvertex 10 0 0\nvertex 10 10 10\nvertex 10 10 10\n"
      "vertex 10 10 10\n";
  const std::tuple<double, Bytes, std::string> cases[] = {  // volume (-1: empty), file, log
      {-1, Bytes(83, 0), "REJECTED: buffer too small (83 bytes)"},
      {-1, Resized(Binary({}, "solid"), 83), "REJECTED: buffer too small (83 bytes)"},
      {-1, Resized(Binary(open), 183),
       "REJECTED: binary size mismatch (183 < 184 expected for 2 tris)"},
      {-1, Binary({}, "", 0xFFFFFFFF),  // an expected size beyond 32 bits
       "REJECTED: binary size mismatch (84 < 214748364834 expected for 4294967295 tris)"},
      {1000, Resized(Binary(cube), 700), "OK: 12 tris -> 8 verts (dedup) -> manifold"},
      {-1, Binary({}), "OK: 0 tris -> 0 verts (dedup) -> manifold"},
      {-1, Binary(open),
       "FAILED: Manifold status=2 (NotManifold), numVert=4, numTri=2, size=184 bytes, triCount=2"},
      {-1, Binary(infinite),
       "FAILED: Manifold status=1 (NonFiniteVertex), numVert=9, numTri=12, size=684 bytes, "
       "triCount=12"},
      {-1, Binary(eleven),  // an odd number of triangles is never closed: the library is not asked
       "FAILED: Manifold status=2 (NotManifold), numVert=8, numTri=11, size=634 bytes, "
       "triCount=11"},
      // A binary header may start with "solid": the file is binary when its
      // size is what its count asks for and it holds no ASCII triangle.
      {1000, Binary(cube, "solid cube"), "OK: 12 tris -> 8 verts (dedup) -> manifold"},
      {-1, Resized(Binary(cube, "solid cube"), 685),
       "OK (ASCII): 0 tris, 0 verts (dedup) -> manifold"},
      {-1, Binary(cube, "solid cube", 11), "OK (ASCII): 0 tris, 0 verts (dedup) -> manifold"},
      {1000, Ascii("\r\n", "  \t "), "OK (ASCII): 12 tris, 8 verts (dedup) -> manifold"},
      {1000, Ascii("\n", "", "endsolid cube\n\0\x0c\xff trailing bytes"),
       "OK (ASCII): 12 tris, 8 verts (dedup) -> manifold"},
      {1000, AsciiOfBinarySize(), "OK (ASCII): 12 tris, 8 verts (dedup) -> manifold"},
      {1000, loose, "OK (ASCII): 12 tris, 9 verts (dedup) -> manifold"},
      // The count is the file's, degenerate triangles included; they are
      // left out of the solid.
      {1000, Ascii("\n", "", degenerate), "OK (ASCII): 14 tris, 8 verts (dedup) -> manifold"},
      {1000, Binary(withDegenerate), "OK: 14 tris -> 8 verts (dedup) -> manifold"},
      {-1, Binary({cube[0], cube[1], withDegenerate[12]}),
       "FAILED: Manifold status=2 (NotManifold), numVert=4, numTri=3, size=234 bytes, "
       "triCount=3"},
      // 2000 separate cubes: more vertices than the vertex table first holds
      {2000 * 1000.0, Binary(Cubes(2000)), "OK: 24000 tris -> 16000 verts (dedup) -> manifold"},
  };
  for (const auto& [volume, bytes, log] : cases) {
    // The reader that is handed the bytes reads the same and frees them.
    for (bool handOver : {false, true}) {
      Bytes owned = bytes;
      ::testing::internal::CaptureStdout();
      manifold::Manifold solid =
          handOver ? StlBufferToManifold(std::move(owned), 0) : StlBufferToManifold(owned, 0);
      std::fflush(stdout);
      EXPECT_EQ(::testing::internal::GetCapturedStdout(), "[Tarvo STL] " + log + "\n");
      EXPECT_NEAR(solid.IsEmpty() ? -1 : solid.Volume(), volume, 1e-6) << log;
      EXPECT_TRUE(volume < 0 || testing::IsClosed(solid)) << log;
      if (handOver && bytes.size() >= 84 && log.rfind("REJECTED", 0) != 0) {
        EXPECT_EQ(owned.capacity(), 0u) << log;
      }
    }
  }
}

TEST(StlReader, QuantisationRoundsToHundredThousandths) {
  // Halves (0.015625 * 100000 is 1562.5) round away from zero; NaN has the key 0.
  EXPECT_EQ(MakeVertexKey(-0.015625f, 0.015625f, NAN), (VertexKey{-1563, 1563, 0}));
  // Any float: the key is round-half-away-from-zero of c * 100000, saturated.
  std::mt19937 random(7);
  for (int i = 0; i < 200000; ++i) {
    float c = std::bit_cast<float>(static_cast<uint32_t>(random()));
    if (i % 2) c = std::ldexp(static_cast<float>(static_cast<int32_t>(random())), -21);
    if (std::isnan(c)) continue;
    double expected = std::clamp(std::round(c * 100000.0), -2147483648.0, 2147483647.0);
    ASSERT_EQ(MakeVertexKey(c, 0, 0).x, static_cast<int32_t>(expected)) << c;
  }
}

}  // namespace
}  // namespace velamanifold
