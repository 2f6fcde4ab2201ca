#include <gtest/gtest.h>

#include <array>
#include <map>
#include <set>

#include "export/mesh_weld.h"

namespace velamanifold {
namespace {

using manifold::Manifold;
using manifold::MeshGL64;
using Position = std::array<double, 3>;

Manifold Colored(const Manifold& solid, double r, double g, double b) {
  return solid.SetProperties(3, [r, g, b](double* p, manifold::vec3, const double*) {
    p[0] = r;
    p[1] = g;
    p[2] = b;
  });
}

Position At(const MeshGL64& mesh, uint64_t v) {
  const double* p = &mesh.vertProperties[v * mesh.numProp];
  return {p[0], p[1], p[2]};
}

// Coloured Boolean results split vertices along every seam; after the weld
// each position is one vertex, every directed edge appears once with its
// reverse once, and every triangle keeps its corners and its colour values.
TEST(MeshWeld, ColoredBooleanResultsCloseByIndex) {
  const Manifold plate = Manifold::Cube({40, 40, 4});
  const Manifold hole = Manifold::Cylinder(10, 3, 3, 32).Translate({20, 20, -3});
  const Manifold red = Colored(plate, 1, 0, 0), blue = Colored(hole, 0, 0, 1);
  const struct {
    const char* name;
    Manifold solid;
    bool splits;  // the property mesh holds a position more than once
  } cases[] = {
      {"one colour minus a hole", red - Colored(hole, 1, 0, 0), true},
      {"two colours united", red + blue, true},
      {"two colours cut", red - blue, true},
      {"two colours intersected", red ^ blue.Scale({2, 2, 2}), true},
      {"no colour", plate - hole, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const MeshGL64 before = c.solid.GetMeshGL64();
    ASSERT_EQ(before.mergeFromVert.empty(), !c.splits);
    MeshGL64 mesh = before;
    WeldMergedVertices(mesh, mesh.numProp);
    EXPECT_EQ(mesh.mergeFromVert.size() + mesh.mergeToVert.size(), 0u);
    if (!c.splits) {
      EXPECT_EQ(mesh.vertProperties, before.vertProperties);
      EXPECT_EQ(mesh.triVerts, before.triVerts);
    }
    ASSERT_EQ(mesh.triVerts.size(), before.triVerts.size());

    std::set<Position> positions;
    for (size_t v = 0; v < mesh.NumVert(); ++v) positions.insert(At(mesh, v));
    EXPECT_EQ(positions.size(), mesh.NumVert());

    // New vertices are numbered in the order their positions first appear
    // in the old vertex list.
    std::map<uint64_t, uint64_t> newOfOld;
    for (size_t i = 0; i < mesh.triVerts.size(); ++i) {
      const uint64_t oldV = before.triVerts[i], newV = mesh.triVerts[i];
      ASSERT_EQ(At(mesh, newV), At(before, oldV));
      newOfOld[oldV] = newV;
    }
    uint64_t next = 0;
    for (const auto& [oldV, newV] : newOfOld) {
      ASSERT_LE(newV, next);
      if (newV == next) ++next;
    }

    std::map<std::pair<uint64_t, uint64_t>, int> edges;
    for (size_t t = 0; t < mesh.triVerts.size(); t += 3) {
      for (int k = 0; k < 3; ++k) ++edges[{mesh.triVerts[t + k], mesh.triVerts[t + (k + 1) % 3]}];
    }
    for (const auto& [edge, count] : edges) {
      ASSERT_EQ(count, 1);
      ASSERT_EQ(edges.count({edge.second, edge.first}), 1u);
    }
  }
}

TEST(MeshWeld, MergeVectorsNamingMissingVerticesLeaveTheMeshAsItIs) {
  const MeshGL64 good =
      (Colored(Manifold::Cube(), 1, 0, 0) - Colored(Manifold::Sphere(0.5, 16), 0, 0, 1))
          .GetMeshGL64();
  ASSERT_FALSE(good.mergeFromVert.empty());
  const uint64_t outside = good.NumVert();
  const struct {
    const char* name;
    void (*spoil)(MeshGL64&, uint64_t);
  } cases[] = {
      {"lengths differ", [](MeshGL64& m, uint64_t) { m.mergeToVert.pop_back(); }},
      {"from outside", [](MeshGL64& m, uint64_t o) { m.mergeFromVert.back() = o; }},
      {"to outside", [](MeshGL64& m, uint64_t o) { m.mergeToVert.front() = o; }},
      {"corner outside", [](MeshGL64& m, uint64_t o) { m.triVerts[4] = o; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MeshGL64 mesh = good;
    c.spoil(mesh, outside);
    const MeshGL64 spoilt = mesh;
    WeldMergedVertices(mesh, 6);
    EXPECT_EQ(mesh.vertProperties, spoilt.vertProperties);
    EXPECT_EQ(mesh.triVerts, spoilt.triVerts);
    EXPECT_EQ(mesh.mergeFromVert, spoilt.mergeFromVert);
  }
}

}  // namespace
}  // namespace velamanifold
