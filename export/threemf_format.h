// Pieces shared by the 3MF writers: number and colour formats, the colour
// table, and the writer of a document of several parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <manifold/manifold.h>

namespace velamanifold {

// Appends `value` exactly as printf's "%.9g" writes it ("10", "0.1",
// "0.333333333", "1e-12", "-0").
void AppendCoordinate(std::string& out, double value);

// Appends the integer in decimal.
void AppendInteger(std::string& out, int64_t value);
void AppendUnsigned(std::string& out, uint64_t value);

// Distinct colour texts in the order they first appear.
class ColorTable {
 public:
  // Returns the index of `color`, appending it when it is new.
  int Index(const std::string& color);
  // Returns true when `color` is in the table.
  bool Contains(const std::string& color) const { return index_.count(color) != 0; }
  // Returns the index of a colour known to be in the table.
  int At(const std::string& color) const { return index_.at(color); }
  const std::vector<std::string>& Entries() const { return entries_; }
  bool Empty() const { return entries_.empty(); }

 private:
  std::map<std::string, int> index_;
  std::vector<std::string> entries_;
};

// Returns the colour-table index of every triangle of the mesh, adding new
// colours to `table`. Needs stride >= 6.
std::vector<int32_t> TriangleColorIndices(const manifold::MeshGL64& mesh, size_t stride,
                                          ColorTable& table);

// Appends the XML declaration and the start tag of the model element.
void AppendModelStart(std::string& out);

// Appends an "m:colorgroup" element with one "m:color" per text, unescaped.
void AppendColorGroup(std::string& out, int id, const std::vector<std::string>& colors);

// Appends the "vertices" element: x, y, z of the first `count` vertices,
// walked with `stride`.
void AppendVertices(std::string& out, const manifold::MeshGL64& mesh, size_t stride,
                    size_t count);

// Appends the "triangles" element; with `colors` every triangle also gets
// "pid" = `groupId` and "p1" = its entry of `colors`.
void AppendTriangles(std::string& out, const manifold::MeshGL64& mesh,
                     const std::vector<int32_t>* colors, int groupId);

// Returns a rough size of the document text of a mesh, for reserving.
size_t EstimatedXmlSize(const manifold::MeshGL64& mesh, size_t stride);

// One part of a multi-object document.
struct ThreeMFPartMesh {
  manifold::MeshGL64 mesh;
  std::string name;
  std::string color;  // written as the part's colour when the mesh has no colour channels
};

// Returns one 3MF model document holding every part whose mesh has a
// triangle and a consistent vertex list, as separate named objects; the empty
// text when no part qualifies.
std::string PartsTo3MFModelXML(std::vector<ThreeMFPartMesh> parts);

}  // namespace velamanifold
