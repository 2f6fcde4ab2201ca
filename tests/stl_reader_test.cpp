#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "import/stl_reader.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using Triangle = std::vector<float>;  // three corners, x y z each

// The twelve outward-facing triangles of the cube [0, s]^3.
std::vector<Triangle> CubeTriangles(float s) {
  float v[8][3] = {{0, 0, 0}, {s, 0, 0}, {s, s, 0}, {0, s, 0},
                   {0, 0, s}, {s, 0, s}, {s, s, s}, {0, s, s}};
  int faces[12][3] = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                      {1, 2, 6}, {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}};
  std::vector<Triangle> tris;
  for (auto& f : faces) {
    Triangle t;
    for (int c : f) t.insert(t.end(), v[c], v[c] + 3);
    tris.push_back(t);
  }
  return tris;
}

std::vector<uint8_t> BinaryStl(const std::vector<Triangle>& tris, const char* header = "bin") {
  std::vector<uint8_t> bytes(84 + 50 * tris.size(), 0);
  std::memcpy(bytes.data(), header, std::strlen(header));
  uint32_t count = static_cast<uint32_t>(tris.size());
  std::memcpy(&bytes[80], &count, 4);
  for (size_t t = 0; t < tris.size(); ++t) std::memcpy(&bytes[84 + 50 * t + 12], &tris[t][0], 36);
  return bytes;
}

// Returns an ASCII STL of the triangles with the given line end and indent.
std::vector<uint8_t> AsciiStl(const std::vector<Triangle>& tris, const std::string& eol,
                              const std::string& indent) {
  std::string text = "solid cube" + eol;
  for (const Triangle& t : tris) {
    text += indent + "facet normal 0 0 0" + eol + indent + indent + "outer loop" + eol;
    for (int c = 0; c < 3; ++c) {
      text += indent + indent + "\tvertex " + std::to_string(t[3 * c]) + " " +
              std::to_string(t[3 * c + 1]) + " " + std::to_string(t[3 * c + 2]) + " " + eol;
    }
    text += indent + "endloop" + eol + indent + "endfacet" + eol;
  }
  text += "endsolid cube" + eol;
  return {text.begin(), text.end()};
}

// Returns the solid and the log line written while reading the bytes.
std::pair<manifold::Manifold, std::string> Read(const std::vector<uint8_t>& bytes) {
  ::testing::internal::CaptureStdout();
  manifold::Manifold solid = StlBufferToManifold(bytes, 0);
  std::fflush(stdout);
  return {solid, ::testing::internal::GetCapturedStdout()};
}

TEST(StlReader, RejectsShortBuffersBeforeReading) {
  std::vector<uint8_t> twoTris = BinaryStl(CubeTriangles(1)), huge(84, 0);
  twoTris.resize(183);
  uint32_t two = 2, most = 0xFFFFFFFFu;
  std::memcpy(&twoTris[80], &two, 4);
  std::memcpy(&huge[80], &most, 4);
  std::vector<uint8_t> shortSolid(83, 0);
  std::memcpy(shortSolid.data(), "solid", 5);
  struct Case {
    std::vector<uint8_t> bytes;
    std::string log;
  } cases[] = {
      {std::vector<uint8_t>(83, 0), "[Tarvo STL] REJECTED: buffer too small (83 bytes)\n"},
      {shortSolid, "[Tarvo STL] REJECTED: buffer too small (83 bytes)\n"},
      {{}, "[Tarvo STL] REJECTED: buffer too small (0 bytes)\n"},
      {twoTris,
       "[Tarvo STL] REJECTED: binary size mismatch (183 < 184 expected for 2 tris)\n"},
      // The expected size of the largest count does not fit 32 bits.
      {huge,
       "[Tarvo STL] REJECTED: binary size mismatch (84 < 214748364834 expected for 4294967295 "
       "tris)\n"},
  };
  for (const Case& c : cases) {
    auto [solid, log] = Read(c.bytes);
    EXPECT_TRUE(solid.IsEmpty());
    EXPECT_EQ(log, c.log);
  }
}

TEST(StlReader, BinaryCubeMergesCornersIntoClosedSolid) {
  std::vector<uint8_t> bytes = BinaryStl(CubeTriangles(10));
  bytes.resize(bytes.size() + 7, 0xAB);  // bytes after the last record are ignored
  auto [solid, log] = Read(bytes);
  EXPECT_EQ(log, "[Tarvo STL] OK: 12 tris -> 8 verts (dedup) -> manifold\n");
  EXPECT_NEAR(solid.Volume(), 1000.0, 1e-6);
  EXPECT_EQ(solid.NumVert(), 8u);
  EXPECT_TRUE(testing::IsClosed(solid));
}

TEST(StlReader, CountMatchingSizeIsReadAndEmptyFileIsOk) {
  std::vector<Triangle> two = CubeTriangles(1);
  two.resize(2);
  auto [open, openLog] = Read(BinaryStl(two));
  EXPECT_TRUE(open.IsEmpty());
  EXPECT_EQ(openLog,
            "[Tarvo STL] FAILED: Manifold status=2 (NotManifold), numVert=4, numTri=2, "
            "size=184 bytes, triCount=2\n");

  auto [none, noneLog] = Read(BinaryStl({}));
  EXPECT_TRUE(none.IsEmpty());
  EXPECT_EQ(noneLog, "[Tarvo STL] OK: 0 tris -> 0 verts (dedup) -> manifold\n");
}

TEST(StlReader, OpenTriangleIsRefusedWithLibraryStatus) {
  auto [solid, log] = Read(BinaryStl({{0, 0, 0, 1, 0, 0, 0, 1, 0}}));
  EXPECT_TRUE(solid.IsEmpty());
  EXPECT_EQ(solid.Status(), manifold::Manifold::Error::NotManifold);
  EXPECT_EQ(log,
            "[Tarvo STL] FAILED: Manifold status=2 (NotManifold), numVert=3, numTri=1, "
            "size=134 bytes, triCount=1\n");
}

TEST(StlReader, NonFiniteCornerIsReported) {
  std::vector<Triangle> tris = CubeTriangles(10);
  tris[0][0] = std::numeric_limits<float>::infinity();
  auto [solid, log] = Read(BinaryStl(tris));
  EXPECT_TRUE(solid.IsEmpty());
  EXPECT_EQ(log.rfind("[Tarvo STL] FAILED: Manifold status=1 (NonFiniteVertex), numVert=9,", 0),
            0u)
      << log;
}

TEST(StlReader, SolidHeaderMeansAscii) {
  auto [solid, log] = Read(BinaryStl(CubeTriangles(10), "solid exported"));
  EXPECT_TRUE(solid.IsEmpty());
  EXPECT_EQ(log, "[Tarvo STL] OK (ASCII): 0 tris, 0 verts (dedup) -> manifold\n");
}

TEST(StlReader, AsciiLineEndsAndIndentationDoNotMatter) {
  std::vector<Triangle> tris = CubeTriangles(10);
  auto [plain, plainLog] = Read(AsciiStl(tris, "\n", ""));
  auto [crlf, crlfLog] = Read(AsciiStl(tris, "\r\n", "  \t "));
  EXPECT_EQ(plainLog, "[Tarvo STL] OK (ASCII): 12 tris, 8 verts (dedup) -> manifold\n");
  EXPECT_EQ(crlfLog, plainLog);
  EXPECT_NEAR(plain.Volume(), 1000.0, 1e-6);
  manifold::MeshGL a = plain.GetMeshGL(), b = crlf.GetMeshGL();
  EXPECT_EQ(a.vertProperties, b.vertProperties);
  EXPECT_EQ(a.triVerts, b.triVerts);
}

TEST(StlReader, AsciiTrianglesAreConsecutiveVertexLines) {
  // No facet structure at all, malformed vertex lines and a dangling corner:
  // only complete triples of readable vertex lines make triangles.
  std::string text = "solid x\nvertex\nvertex 1 2\nvertexes 1 2 3 4\n";
  for (const Triangle& t : CubeTriangles(10)) {
    for (int c = 0; c < 3; ++c) {
      text += "vertex " + std::to_string(t[3 * c]) + " " + std::to_string(t[3 * c + 1]) + " " +
              std::to_string(t[3 * c + 2]) + "\n";
    }
  }
  text += "vertex 5 5 5";  // no final line feed, and no triangle to finish
  auto [solid, log] = Read({text.begin(), text.end()});
  // "vertexes 1 2 3 4" is read from its eighth character, "s 1 2 3 4",
  // which starts with no number, so it is ignored like the short lines.
  EXPECT_EQ(log, "[Tarvo STL] OK (ASCII): 12 tris, 9 verts (dedup) -> manifold\n");
  EXPECT_NEAR(solid.Volume(), 1000.0, 1e-6);
}

TEST(StlReader, QuantisationRoundsToHundredThousandths) {
  struct Case {
    float c;
    int32_t key;
  } cases[] = {
      {0.123456789f, 12346},
      {-0.123456789f, -12346},
      {0.015625f, 1563},  // exactly 1562.5: a half rounds away from zero
      {-0.015625f, -1563},
      {1e30f, std::numeric_limits<int32_t>::max()},
      {-1e30f, std::numeric_limits<int32_t>::min()},
      {std::numeric_limits<float>::quiet_NaN(), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(MakeVertexKey(c.c, 0, 0).x, c.key) << c.c;

  // Close corners merge, corners 0.00002 apart never do.
  EXPECT_EQ(MakeVertexKey(1.000001f, 2, 3), MakeVertexKey(1.000003f, 2, 3));
  EXPECT_FALSE(MakeVertexKey(1.0f, 2, 3) == MakeVertexKey(1.00002f, 2, 3));
  // Components are sign-extended before their multiplication.
  EXPECT_EQ(VertexKeyHash{}(VertexKey{-1, 0, 0}), static_cast<size_t>(0) - 73856093u);
}

}  // namespace
}  // namespace velamanifold
