#include <gtest/gtest.h>

#include <cstring>
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
  float v[8][3] = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0},
                   {0, 0, 10}, {10, 0, 10}, {10, 10, 10}, {0, 10, 10}};
  int faces[12][3] = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                      {1, 2, 6}, {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}};
  std::vector<Triangle> tris(12);
  for (int t = 0; t < 12; ++t) {
    for (int c : faces[t]) tris[t].insert(tris[t].end(), v[c], v[c] + 3);
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

// Returns an ASCII STL of the cube with the given line end and indentation.
Bytes Ascii(const std::string& eol, const std::string& indent) {
  std::string text = "solid cube" + eol;
  for (const Triangle& t : Cube()) {
    text += indent + "facet normal 0 0 0" + eol + indent + "outer loop" + eol;
    for (int c = 0; c < 3; ++c) {
      text += indent + "\tvertex " + std::to_string(t[3 * c]) + " " +
              std::to_string(t[3 * c + 1]) + " " + std::to_string(t[3 * c + 2]) + " " + eol;
    }
    text += indent + "endloop" + eol + "endfacet" + eol;
  }
  return {text.begin(), text.end()};
}

Bytes Resized(Bytes bytes, size_t size) {
  bytes.resize(size, 0);
  return bytes;
}

// Returns the solid and the log written while reading the bytes.
std::pair<manifold::Manifold, std::string> Read(const Bytes& bytes) {
  ::testing::internal::CaptureStdout();
  manifold::Manifold solid = StlBufferToManifold(bytes, 0);
  std::fflush(stdout);
  return {solid, ::testing::internal::GetCapturedStdout()};
}

TEST(StlReader, LogsOneLinePerFile) {
  std::vector<Triangle> open = Cube(), infinite = Cube();
  open.resize(2);
  infinite[0][0] = std::numeric_limits<float>::infinity();
  Bytes shortSolid = Resized(Binary({}, "solid"), 83);
  // No facet structure, malformed vertex lines and a dangling corner: only
  // complete triples of readable vertex lines make triangles.
  Bytes loose = Ascii("\n", "");
  std::string extra = "vertex\nvertex 1 2\nvertexes 1 2 3\nvertex 5 5 5";
  loose.insert(loose.end(), extra.begin(), extra.end());
  struct Case {
    Bytes bytes;
    std::string log;
    double volume;  // -1: empty
  } cases[] = {
      {Bytes(83, 0), "REJECTED: buffer too small (83 bytes)", -1},
      {shortSolid, "REJECTED: buffer too small (83 bytes)", -1},
      {Resized(Binary(open), 183), "REJECTED: binary size mismatch (183 < 184 expected for 2 tris)",
       -1},
      // The expected size of the largest count does not fit 32 bits.
      {Binary({}, "", 0xFFFFFFFF),
       "REJECTED: binary size mismatch (84 < 214748364834 expected for 4294967295 tris)", -1},
      {Resized(Binary(Cube()), 700), "OK: 12 tris -> 8 verts (dedup) -> manifold", 1000},
      {Binary({}), "OK: 0 tris -> 0 verts (dedup) -> manifold", -1},
      {Binary(open),
       "FAILED: Manifold status=2 (NotManifold), numVert=4, numTri=2, size=184 bytes, triCount=2",
       -1},
      {Binary({{0, 0, 0, 1, 0, 0, 0, 1, 0}}),
       "FAILED: Manifold status=2 (NotManifold), numVert=3, numTri=1, size=134 bytes, triCount=1",
       -1},
      {Binary(infinite),
       "FAILED: Manifold status=1 (NonFiniteVertex), numVert=9, numTri=12, size=684 bytes, "
       "triCount=12",
       -1},
      // A binary header that starts with "solid" is read as ASCII.
      {Binary(Cube(), "solid"), "OK (ASCII): 0 tris, 0 verts (dedup) -> manifold", -1},
      {Ascii("\r\n", "  \t "), "OK (ASCII): 12 tris, 8 verts (dedup) -> manifold", 1000},
      {loose, "OK (ASCII): 12 tris, 9 verts (dedup) -> manifold", 1000},
  };
  for (const Case& c : cases) {
    auto [solid, log] = Read(c.bytes);
    EXPECT_EQ(log, "[Tarvo STL] " + c.log + "\n");
    EXPECT_EQ(solid.IsEmpty(), c.volume < 0) << c.log;
    if (c.volume > 0) {
      EXPECT_NEAR(solid.Volume(), c.volume, 1e-6);
      EXPECT_TRUE(testing::IsClosed(solid));
    }
  }
}

TEST(StlReader, AsciiLineEndsAndIndentationDoNotMatter) {
  manifold::MeshGL plain = Read(Ascii("\n", "")).first.GetMeshGL();
  manifold::MeshGL crlf = Read(Ascii("\r\n", "  \t ")).first.GetMeshGL();
  EXPECT_EQ(plain.vertProperties, crlf.vertProperties);
  EXPECT_EQ(plain.triVerts, crlf.triVerts);
}

TEST(StlReader, QuantisationRoundsToHundredThousandths) {
  struct Case {
    float c;
    int32_t key;
  } cases[] = {
      {0.123456789f, 12346},
      {-0.123456789f, -12346},
      {0.015625f, 1563},  // exactly 1562.5: halves round away from zero
      {-0.015625f, -1563},
      {1e30f, std::numeric_limits<int32_t>::max()},
      {-1e30f, std::numeric_limits<int32_t>::min()},
      {std::numeric_limits<float>::quiet_NaN(), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(MakeVertexKey(c.c, 0, 0).x, c.key) << c.c;
  EXPECT_EQ(MakeVertexKey(1.000001f, 2, 3), MakeVertexKey(1.000003f, 2, 3));
  EXPECT_FALSE(MakeVertexKey(1.0f, 2, 3) == MakeVertexKey(1.00002f, 2, 3));
  // Components are sign-extended before their multiplication.
  EXPECT_EQ(VertexKeyHash{}(VertexKey{-1, 0, 0}), static_cast<size_t>(0) - 73856093u);
}

}  // namespace
}  // namespace velamanifold
