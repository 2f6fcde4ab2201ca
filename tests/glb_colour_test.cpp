// The colours of a .glb file: every 8-bit sRGB value of a model's hex colours
// converted to glTF's linear values by the sRGB transfer function.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "export/glb_writer.h"

namespace velamanifold {
namespace {

using nlohmann::json;

// The sRGB transfer function, inverted: linear light of an encoded value in 0..1.
double SrgbToLinear(double c) {
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// Returns the COLOR_0 values of a .glb file, three floats a vertex.
std::vector<float> GlbColours(const std::string& glb) {
  uint32_t jsonLength = 0;
  std::memcpy(&jsonLength, glb.data() + 12, 4);
  const json gltf = json::parse(glb.substr(20, jsonLength));
  const size_t binary = 20 + jsonLength + 8;
  const json& accessor =
      gltf["accessors"][gltf["meshes"][0]["primitives"][0]["attributes"]["COLOR_0"].get<int>()];
  const json& view = gltf["bufferViews"][accessor["bufferView"].get<int>()];
  std::vector<float> values(3 * accessor["count"].get<size_t>());
  std::memcpy(values.data(), glb.data() + binary + view.value("byteOffset", size_t(0)),
              values.size() * sizeof(float));
  return values;
}

TEST(GlbColours, EveryEightBitValueFollowsTheSrgbFormula) {
  // One vertex per value, in red; green and blue run the other way and
  // through the middle, so that every channel is read.
  manifold::MeshGL mesh;
  mesh.numProp = 6;
  for (int k = 0; k < 256; ++k) {
    mesh.vertProperties.insert(mesh.vertProperties.end(),
                               {float(k), 0, 0, k / 255.0f, (255 - k) / 255.0f,
                                ((k + 128) % 256) / 255.0f});
  }
  mesh.triVerts = {0, 1, 2};
  const std::vector<float> colours = GlbColours(MeshToGlb(mesh));
  ASSERT_EQ(colours.size(), 3u * 256);
  for (int k = 0; k < 256; ++k) {
    const int channels[3] = {k, 255 - k, (k + 128) % 256};
    for (int i = 0; i < 3; ++i) {
      const double expected = SrgbToLinear(channels[i] / 255.0);
      EXPECT_NEAR(colours[3 * k + i], expected, 2e-6 + 1e-5 * expected)
          << "value " << channels[i] << " channel " << i;
    }
  }
  // #333333, just above the linear part, and #0A0A0A, just inside it.
  EXPECT_NEAR(colours[3 * 0x33], 0.0331, 1e-4);
  EXPECT_NEAR(colours[3 * 0x0A], 10 / 255.0 / 12.92, 1e-6);
}

}  // namespace
}  // namespace velamanifold
