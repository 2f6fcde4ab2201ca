#include "export/threemf.h"

#include <charconv>
#include <cmath>

#include "export/threemf_format.h"
#include "export/xml_escape.h"

namespace velamanifold {

namespace {

constexpr char kCoreNamespace[] = "http://schemas.microsoft.com/3dmanufacturing/core/2015/02";
constexpr char kMaterialNamespace[] =
    "http://schemas.microsoft.com/3dmanufacturing/material/2015/02";

double ClampChannel(double v) {
  if (!(v > 0)) return 0;  // NaN too: a channel that is no number shows as none
  return v > 1 ? 1 : v;
}

}  // namespace

void AppendCoordinate(std::string& out, double value) {
  // Same bytes as "%.9g": to_chars with a precision follows printf's rules.
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                              std::chars_format::general, 9);
  out.append(buffer, result.ptr);
}

void AppendInteger(std::string& out, int64_t value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void AppendUnsigned(std::string& out, uint64_t value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

std::string TriangleColor(const manifold::MeshGL64& mesh, size_t stride, size_t tri) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string color = "#000000";
  for (size_t k = 0; k < 3; ++k) {
    double sum = 0;
    for (size_t j = 0; j < 3; ++j) {
      size_t vertex = static_cast<size_t>(mesh.triVerts[3 * tri + j]);
      sum += ClampChannel(mesh.vertProperties[vertex * stride + 3 + k]);
    }
    int byte = static_cast<int>(std::round(sum / 3 * 255));
    color[1 + 2 * k] = kHex[byte >> 4];
    color[2 + 2 * k] = kHex[byte & 15];
  }
  return color;
}

int ColorTable::Index(const std::string& color) {
  auto [it, added] = index_.emplace(color, static_cast<int>(entries_.size()));
  if (added) entries_.push_back(color);
  return it->second;
}

std::vector<int32_t> TriangleColorIndices(const manifold::MeshGL64& mesh, size_t stride,
                                          ColorTable& table) {
  size_t triCount = mesh.triVerts.size() / 3;
  std::vector<int32_t> indices(triCount);
  std::string last;
  int32_t lastIndex = -1;
  for (size_t t = 0; t < triCount; ++t) {
    std::string color = TriangleColor(mesh, stride, t);
    // Neighbouring triangles mostly share a colour; skip the map for them.
    if (lastIndex < 0 || color != last) {
      lastIndex = table.Index(color);
      last = std::move(color);
    }
    indices[t] = lastIndex;
  }
  return indices;
}

void AppendModelStart(std::string& out) {
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?><model unit=\"millimeter\" xmlns=\"";
  out += kCoreNamespace;
  out += "\" xmlns:m=\"";
  out += kMaterialNamespace;
  out += "\">";
}

void AppendColorGroup(std::string& out, int id, const std::vector<std::string>& colors) {
  out += "<m:colorgroup id=\"";
  AppendInteger(out, id);
  out += "\">";
  for (const std::string& color : colors) {
    out += "<m:color color=\"";
    out += color;
    out += "\"/>";
  }
  out += "</m:colorgroup>";
}

void AppendVertices(std::string& out, const manifold::MeshGL64& mesh, size_t stride,
                    size_t count) {
  out += "<vertices>";
  for (size_t v = 0; v < count; ++v) {
    const double* p = mesh.vertProperties.data() + v * stride;
    out += "<vertex x=\"";
    AppendCoordinate(out, p[0]);
    out += "\" y=\"";
    AppendCoordinate(out, p[1]);
    out += "\" z=\"";
    AppendCoordinate(out, p[2]);
    out += "\"/>";
  }
  out += "</vertices>";
}

void AppendTriangles(std::string& out, const manifold::MeshGL64& mesh,
                     const std::vector<int32_t>* colors, int groupId) {
  const size_t triCount = mesh.triVerts.size() / 3;
  out += "<triangles>";
  for (size_t t = 0; t < triCount; ++t) {
    out += "<triangle v1=\"";
    AppendUnsigned(out, mesh.triVerts[3 * t]);
    out += "\" v2=\"";
    AppendUnsigned(out, mesh.triVerts[3 * t + 1]);
    out += "\" v3=\"";
    AppendUnsigned(out, mesh.triVerts[3 * t + 2]);
    out += '"';
    if (colors) {
      out += " pid=\"";
      AppendInteger(out, groupId);
      // A triangle names its property with p1 ("pindex" belongs to objects
      // only, and readers drop or refuse it here); p1 alone covers all
      // three corners.
      out += "\" p1=\"";
      AppendInteger(out, (*colors)[t]);
      out += '"';
    }
    out += "/>";
  }
  out += "</triangles>";
}

size_t EstimatedXmlSize(const manifold::MeshGL64& mesh, size_t stride) {
  size_t perTriangle = stride >= 6 ? 64 : 44;
  return mesh.vertProperties.size() / stride * 56 + mesh.triVerts.size() / 3 * perTriangle;
}

std::string ManifoldTo3MFModelXML(const manifold::Manifold& solid, const std::string& name) {
  const manifold::MeshGL64 mesh = solid.GetMeshGL64();
  const size_t numProp = mesh.numProp;
  const size_t length = mesh.vertProperties.size();
  size_t stride = numProp >= 4 && length % numProp == 0 ? numProp : 3;
  if (length < stride || mesh.triVerts.size() < 3) return "";
  const size_t vertexCount = length / stride;

  ColorTable table;
  std::vector<int32_t> colors;
  if (stride >= 6) colors = TriangleColorIndices(mesh, stride, table);
  // One table entry means every triangle has the same colour.
  const bool uniform = table.Entries().size() == 1;
  const bool perTriangle = table.Entries().size() > 1;
  const int objectId = table.Empty() ? 1 : 2;

  std::string out;
  out.reserve(EstimatedXmlSize(mesh, stride) + name.size() + 512 + table.Entries().size() * 32);
  AppendModelStart(out);
  out += "<resources>";
  if (!table.Empty()) AppendColorGroup(out, 1, table.Entries());
  out += "<object id=\"";
  AppendInteger(out, objectId);
  out += "\" type=\"model\" name=\"";
  out += LocalXmlEscape(name);
  out += '"';
  if (uniform) {
    out += " pid=\"1\" pindex=\"";
    AppendInteger(out, colors[0]);
    out += '"';
  }
  out += "><mesh>";
  AppendVertices(out, mesh, stride, vertexCount);
  AppendTriangles(out, mesh, perTriangle ? &colors : nullptr, 1);
  out += "</mesh></object></resources><build><item objectid=\"";
  AppendInteger(out, objectId);
  out += "\"/></build></model>";
  return out;
}

}  // namespace velamanifold
