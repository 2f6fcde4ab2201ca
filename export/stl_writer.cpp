#include "export/stl_writer.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace velamanifold {

namespace {

static_assert(std::endian::native == std::endian::little, "STL numbers are little-endian");

// Readers tell ASCII from binary STL by a leading "solid", so the header
// starts with the program's name instead.
constexpr char kHeader[] = "tarvo-cli binary STL, millimetres";
constexpr size_t kHeaderSize = 80;
constexpr size_t kRecordSize = 50;  // normal, three corners, attribute word

}  // namespace

std::string MeshToBinaryStl(const manifold::MeshGL& mesh) {
  const size_t triCount = mesh.triVerts.size() / 3;
  const size_t stride = mesh.numProp;
  std::string bytes(kHeaderSize + 4 + triCount * kRecordSize, '\0');
  char* out = bytes.data();
  std::memcpy(out, kHeader, sizeof kHeader - 1);
  out += kHeaderSize;
  const uint32_t count = static_cast<uint32_t>(triCount);
  std::memcpy(out, &count, 4);
  out += 4;
  for (size_t t = 0; t < triCount; ++t) {
    float corner[3][3];
    for (size_t j = 0; j < 3; ++j) {
      const float* p = mesh.vertProperties.data() + mesh.triVerts[3 * t + j] * stride;
      corner[j][0] = p[0];
      corner[j][1] = p[1];
      corner[j][2] = p[2];
    }
    const double u[3] = {double(corner[1][0]) - corner[0][0], double(corner[1][1]) - corner[0][1],
                         double(corner[1][2]) - corner[0][2]};
    const double v[3] = {double(corner[2][0]) - corner[0][0], double(corner[2][1]) - corner[0][1],
                         double(corner[2][2]) - corner[0][2]};
    double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    float normal[3] = {0, 0, 0};
    if (length > 0) {
      for (int k = 0; k < 3; ++k) normal[k] = static_cast<float>(n[k] / length);
    }
    std::memcpy(out, normal, 12);
    std::memcpy(out + 12, corner, 36);
    out += kRecordSize;  // the attribute word stays zero
  }
  return bytes;
}

}  // namespace velamanifold
