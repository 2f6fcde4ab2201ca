#include "import/stl_reader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace velamanifold {

namespace {

using manifold::Manifold;

constexpr size_t kHeaderBytes = 84;
constexpr size_t kRecordBytes = 50;

int32_t Quantize(float c) {
  // Exact: a float times 100000 needs at most 41 significant bits.
  const double scaled = static_cast<double>(c) * 100000.0;
  if (!(scaled > -2147483648.0 && scaled < 2147483648.0)) {
    if (std::isnan(scaled)) return 0;
    return scaled > 0 ? std::numeric_limits<int32_t>::max() : std::numeric_limits<int32_t>::min();
  }
  // Rounds halves away from zero without a library call (this runs for every
  // coordinate of the file); the fraction is exact in this range.
  int64_t whole = static_cast<int64_t>(scaled);
  const double fraction = scaled - static_cast<double>(whole);
  if (fraction >= 0.5) {
    ++whole;
  } else if (fraction <= -0.5) {
    --whole;
  }
  return static_cast<int32_t>(std::clamp<int64_t>(whole, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

float ReadF32(const uint8_t* p) { return std::bit_cast<float>(ReadU32(p)); }

const char* StatusName(Manifold::Error status) {
  switch (status) {
    case Manifold::Error::NonFiniteVertex:
      return "NonFiniteVertex";
    case Manifold::Error::NotManifold:
      return "NotManifold";
    case Manifold::Error::VertexOutOfBounds:
      return "VertexOutOfBounds";
    case Manifold::Error::PropertiesWrongLength:
      return "PropertiesWrongLength";
    case Manifold::Error::MissingPositionProperties:
      return "MissingPositionProperties";
    case Manifold::Error::MergeVectorsDifferentLengths:
      return "MergeVectorsDifferentLengths";
    case Manifold::Error::MergeIndexOutOfBounds:
      return "MergeIndexOutOfBounds";
    case Manifold::Error::TransformWrongLength:
      return "TransformWrongLength";
    case Manifold::Error::RunIndexWrongLength:
      return "RunIndexWrongLength";
    case Manifold::Error::FaceIDWrongLength:
      return "FaceIDWrongLength";
    case Manifold::Error::InvalidConstruction:
      return "InvalidConstruction";
    case Manifold::Error::ResultTooLarge:
      return "ResultTooLarge";
    case Manifold::Error::InvalidTangents:
      return "InvalidTangents";
    case Manifold::Error::Cancelled:
      return "Cancelled";
    default:
      return "Unknown";
  }
}

// Vertex key to vertex index, by open addressing: one flat array of slots,
// probed linearly and kept at most half full. Merging the corners of a big
// file is bound by memory latency, and a flat table costs one cache miss per
// look-up where a node-based map costs two or three.
class VertexTable {
 public:
  explicit VertexTable(size_t expected) {
    size_t capacity = 64;
    while (capacity < 2 * expected) capacity *= 2;
    slots_.assign(capacity, Slot{});
  }

  // Returns the index stored for `key` and false, or stores `next` and
  // returns it and true.
  std::pair<uint32_t, bool> Insert(const VertexKey& key, uint32_t next) {
    for (size_t at = Home(key);; at = (at + 1) & (slots_.size() - 1)) {
      Slot& slot = slots_[at];
      if (slot.index == kFree) {
        slot = Slot{key, next};
        if (++size_ * 2 > slots_.size()) Grow();
        return {next, true};
      }
      if (slot.key == key) return {slot.index, false};
    }
  }

  size_t Size() const { return size_; }

 private:
  static constexpr uint32_t kFree = UINT32_MAX;
  struct Slot {
    VertexKey key;
    uint32_t index = kFree;
  };

  // The key's hash, spread over the high bits so that keys on a regular grid
  // do not crowd into neighbouring slots.
  size_t Home(const VertexKey& key) const {
    const uint64_t mixed = static_cast<uint64_t>(VertexKeyHash{}(key)) * 0x9E3779B97F4A7C15ULL;
    return static_cast<size_t>(mixed >> (64 - std::countr_zero(slots_.size())));
  }

  void Grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.index == kFree) continue;
      size_t at = Home(slot.key);
      while (slots_[at].index != kFree) at = (at + 1) & (slots_.size() - 1);
      slots_[at] = slot;
    }
  }

  std::vector<Slot> slots_;
  size_t size_ = 0;
};

// Builds the indexed mesh: each corner either finds the vertex of an earlier
// corner with the same key or appends a new vertex holding its own coordinates.
class MeshCollector {
 public:
  // `corners` is the number of corners expected (a bound, for reserving).
  explicit MeshCollector(size_t corners) : table_(corners / 6) {
    mesh_.tolerance = 1e-5f;
    // A closed mesh has about one vertex per six corners.
    mesh_.vertProperties.reserve(corners / 2);
    mesh_.triVerts.reserve(corners);
  }

  void AddCorner(float x, float y, float z) {
    auto [index, inserted] =
        table_.Insert(MakeVertexKey(x, y, z), static_cast<uint32_t>(table_.Size()));
    if (inserted) {
      mesh_.vertProperties.push_back(x);
      mesh_.vertProperties.push_back(y);
      mesh_.vertProperties.push_back(z);
    }
    mesh_.triVerts.push_back(index);
  }

  size_t NumVert() const { return table_.Size(); }
  size_t NumTri() const { return mesh_.triVerts.size() / 3; }

  // Returns the solid of the collected mesh and the library's status for it.
  // Corners that do not complete a triangle are left out, and so are
  // triangles whose corners merged into fewer than three vertices: they bound
  // no area. An odd number of triangles is never closed (every edge needs two
  // of them); such meshes are refused here as not manifold, because the
  // library leaves a half-edge unset for them and can crash reading it.
  std::pair<Manifold, Manifold::Error> Construct() {
    table_ = VertexTable(0);  // free the keys before the library copies the mesh
    std::vector<uint32_t>& tris = mesh_.triVerts;
    size_t kept = 0;
    for (size_t t = 0; t + 3 <= tris.size(); t += 3) {
      const uint32_t a = tris[t], b = tris[t + 1], c = tris[t + 2];
      if (a == b || b == c || a == c) continue;
      tris[kept++] = a;
      tris[kept++] = b;
      tris[kept++] = c;
    }
    tris.resize(kept);
    if (kept / 3 % 2 != 0) return {Manifold(), Manifold::Error::NotManifold};
    Manifold solid(mesh_);
    return {solid, solid.Status()};
  }

 private:
  VertexTable table_;
  manifold::MeshGL mesh_;
};

// `release`, when given, is the buffer `bytes` to free once the triangles are read.
Manifold ReadBinary(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* release) {
  const size_t size = bytes.size();
  uint32_t count = ReadU32(bytes.data() + 80);
  uint64_t expected = kHeaderBytes + uint64_t{kRecordBytes} * count;
  if (bytes.size() < expected) {
    std::printf("[Tarvo STL] REJECTED: binary size mismatch (%zu < %zu expected for %u tris)\n",
                bytes.size(), static_cast<size_t>(expected), count);
    return Manifold();
  }
  MeshCollector collector(size_t{3} * count);
  const uint8_t* record = bytes.data() + kHeaderBytes;
  for (uint32_t t = 0; t < count; ++t, record += kRecordBytes) {
    for (int corner = 0; corner < 3; ++corner) {
      const uint8_t* p = record + 12 + 12 * corner;
      collector.AddCorner(ReadF32(p), ReadF32(p + 4), ReadF32(p + 8));
    }
  }
  if (release) std::vector<uint8_t>().swap(*release);
  // The log counts the triangles the file holds, degenerate ones included.
  const size_t numVert = collector.NumVert();
  const unsigned numTri = static_cast<unsigned>(collector.NumTri());
  auto [solid, status] = collector.Construct();
  if (status == Manifold::Error::NoError) {
    std::printf("[Tarvo STL] OK: %u tris -> %zu verts (dedup) -> manifold\n", count, numVert);
  } else {
    std::printf(
        "[Tarvo STL] FAILED: Manifold status=%d (%s), numVert=%zu, numTri=%u, size=%zu bytes, "
        "triCount=%u\n",
        static_cast<int>(status), StatusName(status), numVert, numTri, size, count);
  }
  return solid;
}

bool IsBlankInLine(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Calls `corner`(x, y, z) for every vertex line of the text, in order, while
// it returns true: a line that, stripped of blanks, starts with "vertex" and
// has three numbers from its eighth character on (one separator follows
// "vertex"). Every other line is ignored, so triangles are formed by
// consecutive triples of vertex lines whatever surrounds them.
template <typename Corner>
void ForEachVertexLine(const std::vector<uint8_t>& bytes, Corner corner) {
  const char* text = reinterpret_cast<const char*>(bytes.data());
  const size_t size = bytes.size();
  std::string line;
  size_t start = 0;
  while (start < size) {
    const void* feed = std::memchr(text + start, '\n', size - start);
    const size_t end = feed ? static_cast<size_t>(static_cast<const char*>(feed) - text) : size;
    size_t first = start, last = end;
    start = end + 1;
    while (first < last && IsBlankInLine(text[first])) ++first;
    while (last > first && IsBlankInLine(text[last - 1])) --last;
    if (last - first < 8 || std::memcmp(text + first, "vertex", 6) != 0) continue;
    line.assign(text + first + 7, last - first - 7);
    double x, y, z;
    if (std::sscanf(line.c_str(), "%lf %lf %lf", &x, &y, &z) != 3) continue;
    if (!corner(x, y, z)) return;
  }
}

// Returns true when the text holds at least one triangle of vertex lines.
bool HoldsAsciiTriangle(const std::vector<uint8_t>& bytes) {
  int corners = 0;
  ForEachVertexLine(bytes, [&corners](double, double, double) { return ++corners < 3; });
  return corners == 3;
}

Manifold ReadAscii(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* release) {
  const size_t size = bytes.size();
  // An ASCII corner takes at least 30 bytes ("vertex" and three numbers).
  MeshCollector collector(bytes.size() / 30);
  ForEachVertexLine(bytes, [&collector](double x, double y, double z) {
    collector.AddCorner(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
    return true;
  });
  if (release) std::vector<uint8_t>().swap(*release);
  const size_t numVert = collector.NumVert();
  const unsigned numTri = static_cast<unsigned>(collector.NumTri());
  auto [solid, status] = collector.Construct();
  if (status == Manifold::Error::NoError) {
    std::printf("[Tarvo STL] OK (ASCII): %u tris, %zu verts (dedup) -> manifold\n", numTri,
                numVert);
  } else {
    std::printf(
        "[Tarvo STL] FAILED (ASCII): Manifold status=%d (%s), numVert=%zu, numTri=%u, size=%zu "
        "bytes\n",
        static_cast<int>(status), StatusName(status), numVert, numTri, size);
  }
  return solid;
}

}  // namespace

size_t VertexKeyHash::operator()(const VertexKey& key) const {
  uint64_t h = static_cast<uint64_t>(static_cast<int64_t>(key.x)) * 73856093u ^
               static_cast<uint64_t>(static_cast<int64_t>(key.y)) * 19349663u ^
               static_cast<uint64_t>(static_cast<int64_t>(key.z)) * 83492791u;
  return static_cast<size_t>(h);
}

VertexKey MakeVertexKey(float x, float y, float z) {
  return VertexKey{Quantize(x), Quantize(y), Quantize(z)};
}

namespace {

Manifold ReadStl(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* release) {
  if (bytes.size() < kHeaderBytes) {
    std::printf("[Tarvo STL] REJECTED: buffer too small (%zu bytes)\n", bytes.size());
    return Manifold();
  }
  // Many programs begin the header of a binary file with "solid" too. Such a
  // file is binary when its size is exactly what its triangle count asks for
  // and its text holds no triangle of vertex lines.
  if (std::memcmp(bytes.data(), "solid", 5) == 0) {
    const uint64_t binarySize = kHeaderBytes + uint64_t{kRecordBytes} * ReadU32(bytes.data() + 80);
    if (bytes.size() != binarySize || HoldsAsciiTriangle(bytes)) return ReadAscii(bytes, release);
  }
  return ReadBinary(bytes, release);
}

}  // namespace

Manifold StlBufferToManifold(const std::vector<uint8_t>& bytes, int /*unused*/) {
  return ReadStl(bytes, nullptr);
}

Manifold StlBufferToManifold(std::vector<uint8_t>&& bytes, int /*unused*/) {
  return ReadStl(bytes, &bytes);
}

}  // namespace velamanifold
