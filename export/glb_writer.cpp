#define TINYGLTF_IMPLEMENTATION
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include "export/glb_writer.h"

#include <tiny_gltf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>

namespace velamanifold {

namespace {

constexpr double kMetresPerMillimetre = 0.001;

// glTF colours are linear; the model's are sRGB as written in hex.
float LinearChannel(float srgb) {
  const float c = std::clamp(srgb, 0.0f, 1.0f);
  return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
}

// Appends `count` three-float elements to the buffer as a view and an accessor
// with their bounds; returns the accessor's index.
int AddVec3(tinygltf::Model& model, const std::vector<float>& values, size_t offset) {
  const size_t count = values.size() / 3;
  std::vector<double> lo(3, std::numeric_limits<double>::infinity());
  std::vector<double> hi(3, -std::numeric_limits<double>::infinity());
  for (size_t i = 0; i < count; ++i) {
    for (size_t k = 0; k < 3; ++k) {
      lo[k] = std::min<double>(lo[k], values[3 * i + k]);
      hi[k] = std::max<double>(hi[k], values[3 * i + k]);
    }
  }
  tinygltf::BufferView view;
  view.buffer = 0;
  view.byteOffset = offset;
  view.byteLength = values.size() * sizeof(float);
  view.target = TINYGLTF_TARGET_ARRAY_BUFFER;
  model.bufferViews.push_back(view);
  tinygltf::Accessor accessor;
  accessor.bufferView = static_cast<int>(model.bufferViews.size() - 1);
  accessor.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
  accessor.type = TINYGLTF_TYPE_VEC3;
  accessor.count = count;
  accessor.minValues = lo;
  accessor.maxValues = hi;
  model.accessors.push_back(accessor);
  return static_cast<int>(model.accessors.size() - 1);
}

}  // namespace

std::string MeshToGlb(const manifold::MeshGL& mesh) {
  tinygltf::Model model;
  model.asset.version = "2.0";
  model.asset.generator = "tarvo-cli";
  tinygltf::Scene scene;

  const size_t stride = mesh.numProp;
  const size_t vertCount = stride >= 3 ? mesh.vertProperties.size() / stride : 0;
  const size_t indexCount = mesh.triVerts.size() / 3 * 3;
  if (vertCount > 0 && indexCount > 0) {
    const bool colored = stride >= 6;
    std::vector<float> positions(vertCount * 3), colors(colored ? vertCount * 3 : 0);
    for (size_t v = 0; v < vertCount; ++v) {
      const float* p = mesh.vertProperties.data() + v * stride;
      // +Z up becomes +Y up: a turn about x, which keeps the triangles' winding.
      positions[3 * v] = static_cast<float>(p[0] * kMetresPerMillimetre);
      positions[3 * v + 1] = static_cast<float>(p[2] * kMetresPerMillimetre);
      positions[3 * v + 2] = static_cast<float>(-p[1] * kMetresPerMillimetre);
      if (colored) {
        for (size_t k = 0; k < 3; ++k) colors[3 * v + k] = LinearChannel(p[3 + k]);
      }
    }
    tinygltf::Buffer buffer;
    const size_t positionBytes = positions.size() * sizeof(float);
    const size_t colorBytes = colors.size() * sizeof(float);
    const size_t indexBytes = indexCount * sizeof(uint32_t);
    buffer.data.resize(positionBytes + colorBytes + indexBytes);
    std::memcpy(buffer.data.data(), positions.data(), positionBytes);
    if (colored) std::memcpy(buffer.data.data() + positionBytes, colors.data(), colorBytes);
    std::memcpy(buffer.data.data() + positionBytes + colorBytes, mesh.triVerts.data(), indexBytes);
    model.buffers.push_back(std::move(buffer));

    tinygltf::Primitive primitive;
    primitive.mode = TINYGLTF_MODE_TRIANGLES;
    primitive.attributes["POSITION"] = AddVec3(model, positions, 0);
    if (colored) primitive.attributes["COLOR_0"] = AddVec3(model, colors, positionBytes);

    tinygltf::BufferView indexView;
    indexView.buffer = 0;
    indexView.byteOffset = positionBytes + colorBytes;
    indexView.byteLength = indexBytes;
    indexView.target = TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER;
    model.bufferViews.push_back(indexView);
    tinygltf::Accessor indices;
    indices.bufferView = static_cast<int>(model.bufferViews.size() - 1);
    indices.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
    indices.type = TINYGLTF_TYPE_SCALAR;
    indices.count = indexCount;
    model.accessors.push_back(indices);
    primitive.indices = static_cast<int>(model.accessors.size() - 1);

    // A plain, non-metallic surface: the default material is fully metallic
    // and shows nearly black without an environment map.
    tinygltf::Material material;
    material.name = "surface";
    material.pbrMetallicRoughness.metallicFactor = 0.0;
    material.pbrMetallicRoughness.roughnessFactor = 0.8;
    model.materials.push_back(material);
    primitive.material = 0;

    tinygltf::Mesh gltfMesh;
    gltfMesh.primitives.push_back(primitive);
    model.meshes.push_back(gltfMesh);
    tinygltf::Node node;
    node.mesh = 0;
    model.nodes.push_back(node);
    scene.nodes.push_back(0);
  }
  model.scenes.push_back(scene);
  model.defaultScene = 0;

  std::ostringstream stream;
  tinygltf::TinyGLTF writer;
  writer.WriteGltfSceneToStream(&model, stream, false, true);
  return std::move(stream).str();
}

}  // namespace velamanifold
