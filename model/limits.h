// Ceilings that keep one request's work and memory bounded. Real models stay
// far below every one of them; crossing one ends the request with a message.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace velamanifold {

// Most circular segments any round shape may ask for.
inline constexpr int kMaxSegments = 1024;
// Most copies (array copies, 2D copies, included objects, multi-object parts)
// one request may make in total.
inline constexpr int64_t kMaxCopies = 100000;
// Most triangles one request may make: copies times the triangles of what
// they copy (points for 2D outlines), every listed reference with the
// triangles of what it lists, thread teeth, lathes, lofts and twisted
// extrusions (outline points times steps), refined slabs, reliefs, STL
// meshes and the meshes of multi-object parts. Charged before the geometry
// is made, so that no request runs out of memory first: a Boolean of this
// many triangles takes about 1.6 GB.
inline constexpr int64_t kMaxTriangles = 4000000;
// Most outline points ("text" and "svg" objects) one request may read. The
// library's triangulator recurses once per point of a collinear run, so this
// also bounds the stack it needs.
inline constexpr int64_t kMaxOutlinePoints = 250000;
// Longest string a "text" object may set, in bytes of UTF-8.
inline constexpr int64_t kMaxTextBytes = 10000;
// Most pixels a relief picture (PNG or JPEG attachment) may claim in its
// header; a larger one is refused before it is decoded. A 48-megapixel
// phone photo fits.
inline constexpr int64_t kMaxImagePixels = 50000000;
// Deepest chain of objects referring to objects (and of included models).
inline constexpr int kMaxObjectDepth = 200;
// Most work of one rounding of a solid that is not convex: its triangles
// times the triangles of the rounding sphere. The library's Minkowski sum
// hulls every convex piece of the solid with the sphere and unites the
// results; 250,000 takes about 6 s (a 272-triangle box with a hole, at 64
// segments, is 1.1 million and took 26 s). Convex solids cost a single hull.
inline constexpr int64_t kMaxMinkowskiWork = 250000;
// Most corner sums of one rounding of a convex solid: the corners of the
// solid times those of the rounding sphere, whose hull is the rounded solid.
// 7.5 million (a sphere rounded at 64 segments) took 1.5 s.
inline constexpr int64_t kMaxRoundingPoints = 8000000;
// Most helix rings one metric screw may have.
inline constexpr int64_t kMaxScrewRings = 250000;

// A request crossed one of the ceilings. Unlike other build failures it is
// never swallowed by a walk over objects or parts: it ends the request.
class LimitError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Returns `segments` when it is within kMaxSegments; throws LimitError
// naming `what` otherwise.
int CheckSegments(int64_t segments, const std::string& what);

// Returns `count` when it is within `limit`; throws LimitError naming
// `what` and the limit otherwise.
int64_t CheckCount(int64_t count, int64_t limit, const std::string& what);

}  // namespace velamanifold
