// Placement (rotation, then translation) and colour channels of built objects.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "model/json_access.h"
#include "pipeline/pipeline.h"

namespace velamanifold {

namespace {

using manifold::Manifold;

constexpr double kDegToRad = 0.017453292519943295;

manifold::vec3 ReadXyz(const json& record) {
  return {Jd(Jobj(record, "x"), 0), Jd(Jobj(record, "y"), 0), Jd(Jobj(record, "z"), 0)};
}

bool AnyNonZero(const manifold::vec3& v) { return v.x != 0 || v.y != 0 || v.z != 0; }

bool AllFinite(const manifold::vec3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Returns R = Rx * Ry * Rz for angles in degrees: a point turns about Z
// first, then Y, then X, about the fixed world axes.
manifold::mat3x4 RotationMatrix(const manifold::vec3& degrees) {
  double cx = std::cos(degrees.x * kDegToRad), sx = std::sin(degrees.x * kDegToRad);
  double cy = std::cos(degrees.y * kDegToRad), sy = std::sin(degrees.y * kDegToRad);
  double cz = std::cos(degrees.z * kDegToRad), sz = std::sin(degrees.z * kDegToRad);
  // linalg matrices are built column by column.
  return manifold::mat3x4({cy * cz, sx * sy * cz + cx * sz, -cx * sy * cz + sx * sz},
                          {-cy * sz, cx * cz - sx * sy * sz, sx * cz + cx * sy * sz},
                          {sy, -sx * cy, cx * cy}, {0, 0, 0});
}

// Returns the colour text of the object's "color" record, or "" when there is none.
std::string ColorText(const json& object) {
  const json& color = Jobj(object, "color");
  if (!color.is_object()) return "";
  return Js(Jobj(color, "color"), "");
}

Manifold WithChannels(const Manifold& solid, double r, double g, double b) {
  return solid.SetProperties(3, [r, g, b](double* props, manifold::vec3, const double*) {
    props[0] = r;
    props[1] = g;
    props[2] = b;
  });
}

}  // namespace

manifold::MeshGL64 PaintedMesh(manifold::MeshGL64 mesh, manifold::vec3 color) {
  const size_t stride = mesh.numProp;
  if (stride < 3) return mesh;
  const size_t count = mesh.vertProperties.size() / stride;
  std::vector<double> painted;
  painted.reserve(6 * count);
  auto add = [&](size_t vert) {
    painted.insert(painted.end(), &mesh.vertProperties[stride * vert],
                   &mesh.vertProperties[stride * vert] + 3);
    painted.insert(painted.end(), {color.x, color.y, color.z});
  };
  if (stride > 3) {
    // Vertices with channels keep their places and splits: only the values change.
    for (size_t v = 0; v < count; ++v) add(v);
  } else {
    // A solid without channels lists its vertices by index; once coloured,
    // in the order the triangles first use them, unused ones left out.
    std::vector<uint64_t> renumbered(count, UINT64_MAX);
    uint64_t next = 0;
    for (uint64_t& vert : mesh.triVerts) {
      if (vert >= count) continue;
      if (renumbered[vert] == UINT64_MAX) {
        renumbered[vert] = next++;
        add(vert);
      }
      vert = renumbered[vert];
    }
  }
  mesh.vertProperties = std::move(painted);
  mesh.numProp = 6;
  return mesh;
}

Manifold VelaPipeline::ApplyTransformation(const Manifold& solid, const json& object) const {
  if (solid.IsEmpty()) return solid;
  manifold::vec3 angles = ReadXyz(Jobj(object, "rotate"));
  manifold::vec3 offset = ReadXyz(Jobj(object, "move"));
  // An infinite or NaN angle or offset would leave no vertex anywhere meaningful.
  if (!AllFinite(angles) || !AllFinite(offset)) return {};
  Manifold result = solid;
  if (AnyNonZero(angles)) result = result.Transform(RotationMatrix(angles));
  if (AnyNonZero(offset)) result = result.Translate(offset);
  return result;
}

Manifold VelaPipeline::ApplyColorProps(const Manifold& solid, const json& object) const {
  const std::optional<manifold::vec3> color = UniformColor(solid, object);
  return color ? WithChannels(solid, color->x, color->y, color->z) : solid;
}

std::optional<manifold::vec3> VelaPipeline::UniformColor(const Manifold& solid,
                                                         const json& object) const {
  if (solid.IsEmpty()) return std::nullopt;
  std::string text = ColorText(object);
  if (!text.empty() && text[0] == '#') text.erase(0, 1);
  if (text.size() == 3) text = {text[0], text[0], text[1], text[1], text[2], text[2]};
  if (text.size() == 6) text += "ff";
  if (text.size() == 8) {
    // stoul throws on a piece with no leading hex digit, failing the request;
    // a signed piece ("-1") wraps around, so channels are kept within a byte.
    unsigned long channel[4];
    for (int i = 0; i < 4; ++i) {
      channel[i] = std::min(std::stoul(text.substr(2 * i, 2), nullptr, 16), 255ul);
    }
    if (channel[3] / 255.0 > 0) {
      return manifold::vec3(channel[0] / 255.0, channel[1] / 255.0, channel[2] / 255.0);
    }
  }
  // Without a colour of its own a solid keeps its parts' colours.
  if (solid.NumProp() != 0) return std::nullopt;
  return manifold::vec3(plainColor[0], plainColor[1], plainColor[2]);
}

}  // namespace velamanifold
