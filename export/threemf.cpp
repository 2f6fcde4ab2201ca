#include "export/threemf.h"

#include <cstring>
#include <unordered_map>

#include "export/mesh_weld.h"
#include "export/number_text.h"
#include "export/threemf_format.h"
#include "export/xml_escape.h"

namespace velamanifold {

namespace {

constexpr char kCoreNamespace[] = "http://schemas.microsoft.com/3dmanufacturing/core/2015/02";
constexpr char kMaterialNamespace[] =
    "http://schemas.microsoft.com/3dmanufacturing/material/2015/02";

double ClampChannel(double v) {
  // NaN too: a channel that is no number shows as none. Written as two
  // selections so that the compiler makes them branch-free.
  const double low = v > 0 ? v : 0.0;
  return low < 1 ? low : 1.0;
}

// Returns x (0 to 255) rounded to the nearest integer, halves up: what
// std::round gives for it, without the library call.
uint32_t RoundChannel(double x) {
  const uint32_t whole = static_cast<uint32_t>(x);
  return whole + (x - whole >= 0.5 ? 1 : 0);
}

// Returns the colour of triangle `tri` of the mesh packed as 0xRRGGBB: every
// channel (properties 4 to 6 of its three vertices, walked with `stride`)
// clamped to 0..1 (NaN counts as 0), averaged, scaled to 0..255 and rounded
// halves away from zero. Needs stride >= 6 and indices within the vertex list.
uint32_t TriangleRgb(const manifold::MeshGL64& mesh, size_t stride, size_t tri) {
  const double* corner[3];
  for (size_t j = 0; j < 3; ++j) {
    const size_t vertex = static_cast<size_t>(mesh.triVerts[3 * tri + j]);
    corner[j] = mesh.vertProperties.data() + vertex * stride + 3;
  }
  uint32_t rgb = 0;
  for (size_t k = 0; k < 3; ++k) {
    double sum = 0;
    for (size_t j = 0; j < 3; ++j) sum += ClampChannel(corner[j][k]);
    rgb = rgb << 8 | RoundChannel(sum / 3 * 255);
  }
  return rgb;
}

// Returns "#RRGGBB" for a packed colour.
std::string ColorText(uint32_t rgb) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text = "#000000";
  for (int i = 0; i < 6; ++i) text[1 + i] = kHex[(rgb >> (20 - 4 * i)) & 15];
  return text;
}

// Gathers text in a fixed buffer and appends it to a string a block at a
// time, so that the element writers put each piece through a pointer rather
// than growing the string once per piece.
class BlockWriter {
 public:
  explicit BlockWriter(std::string& out) : out_(out) {}
  // Returns where to write next, with at least `room` (up to a few hundred)
  // bytes free.
  char* Room(size_t room) {
    if (kSize - used_ < room) Flush();
    return buffer_ + used_;
  }
  // Marks the text up to `end` as written.
  void Done(const char* end) { used_ = static_cast<size_t>(end - buffer_); }
  // Appends what was written to the string; call before using the string.
  void Flush() {
    out_.append(buffer_, used_);
    used_ = 0;
  }

 private:
  static constexpr size_t kSize = 16384;
  std::string& out_;
  size_t used_ = 0;
  char buffer_[kSize];
};

// Copies a literal without its terminator and returns the end.
template <size_t N>
char* Put(char* out, const char (&text)[N]) {
  std::memcpy(out, text, N - 1);
  return out + N - 1;
}

}  // namespace

void AppendCoordinate(std::string& out, double value) {
  char buffer[kG9Room];
  out.append(buffer, WriteG9(buffer, value));
}

void AppendInteger(std::string& out, int64_t value) {
  char buffer[kIntegerRoom];
  out.append(buffer, WriteInteger(buffer, value));
}

void AppendUnsigned(std::string& out, uint64_t value) {
  char buffer[kIntegerRoom];
  out.append(buffer, WriteUnsigned(buffer, value));
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
  // Table indices of the colours met so far, by packed value, so that text
  // is made only for a colour's first triangle. Neighbouring triangles
  // mostly share a colour; the last one is checked before the map.
  std::unordered_map<uint32_t, int32_t> known;
  uint32_t lastRgb = 0;
  int32_t lastIndex = -1;
  for (size_t t = 0; t < triCount; ++t) {
    const uint32_t rgb = TriangleRgb(mesh, stride, t);
    if (lastIndex < 0 || rgb != lastRgb) {
      auto [it, added] = known.try_emplace(rgb, 0);
      if (added) it->second = table.Index(ColorText(rgb));
      lastIndex = it->second;
      lastRgb = rgb;
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
  constexpr size_t kRoom = 3 * kG9Room + 32;
  out += "<vertices>";
  BlockWriter writer(out);
  const double* p = mesh.vertProperties.data();
  for (size_t v = 0; v < count; ++v, p += stride) {
    char* at = Put(writer.Room(kRoom), "<vertex x=\"");
    at = Put(WriteG9(at, p[0]), "\" y=\"");
    at = Put(WriteG9(at, p[1]), "\" z=\"");
    writer.Done(Put(WriteG9(at, p[2]), "\"/>"));
  }
  writer.Flush();
  out += "</vertices>";
}

void AppendTriangles(std::string& out, const manifold::MeshGL64& mesh,
                     const std::vector<int32_t>* colors, int groupId) {
  constexpr size_t kRoom = 5 * kIntegerRoom + 64;
  // The same for every coloured triangle, so made once.
  char groupText[kIntegerRoom + 16];
  char* groupEnd = Put(WriteInteger(Put(groupText, " pid=\""), groupId), "\" p1=\"");
  const size_t groupLength = static_cast<size_t>(groupEnd - groupText);

  const size_t triCount = mesh.triVerts.size() / 3;
  const uint64_t* corners = mesh.triVerts.data();
  out += "<triangles>";
  BlockWriter writer(out);
  for (size_t t = 0; t < triCount; ++t, corners += 3) {
    char* at = Put(writer.Room(kRoom), "<triangle v1=\"");
    at = Put(WriteUnsigned(at, corners[0]), "\" v2=\"");
    at = Put(WriteUnsigned(at, corners[1]), "\" v3=\"");
    at = Put(WriteUnsigned(at, corners[2]), "\"");
    if (colors) {
      // A triangle names its property with p1 ("pindex" belongs to objects
      // only, and readers drop or refuse it here); p1 alone covers all
      // three corners.
      std::memcpy(at, groupText, groupLength);
      at = Put(WriteInteger(at + groupLength, (*colors)[t]), "\"");
    }
    writer.Done(Put(at, "/>"));
  }
  writer.Flush();
  out += "</triangles>";
}

size_t EstimatedXmlSize(const manifold::MeshGL64& mesh, size_t stride) {
  size_t perTriangle = stride >= 6 ? 64 : 44;
  return mesh.vertProperties.size() / stride * 56 + mesh.triVerts.size() / 3 * perTriangle;
}

std::string ManifoldTo3MFModelXML(const manifold::Manifold& solid, const std::string& name) {
  return MeshTo3MFModelXML(solid.GetMeshGL64(), name);
}

std::string MeshTo3MFModelXML(manifold::MeshGL64 mesh, const std::string& name) {
  const size_t numProp = mesh.numProp;
  const size_t length = mesh.vertProperties.size();
  size_t stride = numProp >= 4 && length % numProp == 0 ? numProp : 3;
  if (length < stride || mesh.triVerts.size() < 3) return "";

  ColorTable table;
  std::vector<int32_t> colors;
  if (stride >= 6) colors = TriangleColorIndices(mesh, stride, table);
  // Colours are per triangle from here on; readers need each position once.
  WeldMergedVertices(mesh, stride);
  const size_t vertexCount = mesh.vertProperties.size() / stride;
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
