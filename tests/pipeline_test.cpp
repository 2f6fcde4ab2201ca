#include <gtest/gtest.h>

#include "pipeline/limits.h"
#include "pipeline/pipeline.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using nlohmann::json;
using testing::BuildDoc;
using testing::Doc;

json Cube(const std::string& id, double size, bool visible = true) {
  return {{"vid", id}, {"type", "cube"}, {"size", size}, {"visible", visible}};
}

json Union(const std::string& id, const json& ids, bool visible = true) {
  return {{"vid", id}, {"type", "union"}, {"baseObjects", ids}, {"visible", visible}};
}

TEST(Pipeline, UnknownIdsTypesAndTextsBuildNothing) {
  json doc = Doc({Cube("a", 2), {{"vid", "f"}, {"type", "fdm"}}, {{"vid", "n"}}});
  for (const char* id : {"zz", "f", "n", ""}) EXPECT_TRUE(BuildDoc(doc, id).IsEmpty()) << id;
  VelaPipeline pipeline;
  EXPECT_TRUE(pipeline.Build("{", "_all_").IsEmpty());
  EXPECT_TRUE(pipeline.Build("[1,2]", "_all_").IsEmpty());
  EXPECT_TRUE(pipeline.Build("{\"objects\":5}", "_all_").IsEmpty());
}

TEST(Pipeline, AllUnitesVisibleObjectsOnly) {
  json doc = Doc({Cube("a", 2), Cube("hidden", 50, false),
                  {{"vid", "p"}, {"type", "parameter"}, {"value", {{"value", 3}}}},
                  {{"type", "cube"}, {"size", 40}}});
  manifold::Manifold all = BuildDoc(doc, "_all_");
  EXPECT_NEAR(all.Volume(), 8.0, 1e-9);
}

TEST(Pipeline, ReferenceCyclesEndWithEmptyOperands) {
  // a lists itself; b and c list each other; every build stays finite.
  json doc = Doc({Union("a", {"a", "cube"}), Union("b", {"c"}), Union("c", {"b", "cube"}),
                  Cube("cube", 3)});
  EXPECT_NEAR(BuildDoc(doc, "a").Volume(), 27.0, 1e-9);
  EXPECT_NEAR(BuildDoc(doc, "b").Volume(), 27.0, 1e-9);
  EXPECT_NEAR(BuildDoc(doc, "_all_").Volume(), 27.0, 1e-9);
}

TEST(Pipeline, SharedOperandIsBuiltOnceAndReusedAsBuilt) {
  json doc = Doc({Cube("c", 2), Union("u1", {"c"}), Union("u2", {"c", "u1"})});
  VelaPipeline pipeline;
  manifold::Manifold u2 = pipeline.Build(doc.dump(), "u2");
  EXPECT_NEAR(u2.Volume(), 8.0, 1e-9);
}

TEST(Pipeline, ChainsDeeperThanTheCeilingFailTheRequest) {
  auto id = [](int i) { return std::string("u").append(std::to_string(i)); };
  json objects = json::array();
  const int n = kMaxObjectDepth + 10;
  for (int i = 0; i < n; ++i) objects.push_back(Union(id(i), {id(i + 1)}));
  objects.push_back(Cube(id(n), 1));
  EXPECT_THROW(BuildDoc(Doc(objects), "u0"), LimitError);
  // The "_all_" walk does not swallow a ceiling.
  EXPECT_THROW(BuildDoc(Doc(objects), "_all_"), LimitError);
  // A chain within the ceiling builds.
  json shallow = Doc({Union("a", {"b"}), Union("b", {"c"}), Cube("c", 2)});
  EXPECT_NEAR(BuildDoc(shallow, "a").Volume(), 8.0, 1e-9);
}

TEST(Pipeline, CopyCeilingCountsAcrossTheRequest) {
  VelaPipeline pipeline;
  pipeline.ChargeCopies(kMaxCopies - 1);
  pipeline.ChargeCopies(1);
  EXPECT_THROW(pipeline.ChargeCopies(1), LimitError);
}

TEST(Pipeline, SegmentCeiling) {
  VelaPipeline pipeline;
  pipeline.segments = kMaxSegments;
  EXPECT_EQ(pipeline.PipelineSegments(), kMaxSegments);
  pipeline.segments = kMaxSegments + 1;
  EXPECT_THROW(pipeline.PipelineSegments(), LimitError);
}

TEST(Pipeline, SeparateCachesPutTheOuterCachesBackAfterAThrow) {
  VelaPipeline pipeline;
  json doc = Doc(json::array({Cube("c", 2)}));
  pipeline.BuildInner(doc, "c", nullptr);
  try {
    VelaPipeline::SeparateCaches scope(pipeline);
    EXPECT_TRUE(pipeline.BuildInner(Doc(json::array()), "c", nullptr).IsEmpty());
    throw std::runtime_error("inner failure");
  } catch (const std::runtime_error&) {
  }
  // Served from the restored cache even from a document that lacks "c".
  EXPECT_NEAR(pipeline.BuildInner(Doc(json::array()), "c", nullptr).Volume(), 8.0, 1e-9);
}

}  // namespace
}  // namespace velamanifold
