// Array objects: rectangular grids, radial (optionally helical) arrays and
// hexagonal grids of the objects listed in "baseObjects".
#include <cmath>
#include <cstdint>
#include <numbers>

#include "model/json_access.h"
#include "pipeline/pipeline.h"

namespace velamanifold {

namespace {

using manifold::Manifold;
using manifold::vec3;

// Rigid copies of the base objects, united when the array is done.
class Copies {
 public:
  void Add(Manifold copy) { copies_.push_back(std::move(copy)); }

  // Returns the union of every copy added; empty when there is none.
  Manifold Union() const {
    if (copies_.empty()) return Manifold();
    if (copies_.size() == 1) return copies_.front();
    return Manifold::BatchBoolean(copies_, manifold::OpType::Add);
  }

 private:
  std::vector<Manifold> copies_;
};

// Returns (cos, sin) of an angle in degrees, exact at multiples of 90 so that
// a copy turned a full circle lands exactly on the first one.
std::pair<double, double> CosSinDegrees(double degrees) {
  double turned = std::fmod(degrees, 360.0);
  if (turned < 0) turned += 360.0;
  if (turned == 0) return {1, 0};
  if (turned == 90) return {0, 1};
  if (turned == 180) return {-1, 0};
  if (turned == 270) return {0, -1};
  const double radians = degrees * std::numbers::pi / 180;
  return {std::cos(radians), std::sin(radians)};
}

struct GridLayout {
  int rows;
  int columns;
  double dx;
  double dy;
};

GridLayout ReadGrid(const json& grid, int defaultCount) {
  return {Ji(Jobj(grid, "rows"), defaultCount), Ji(Jobj(grid, "columns"), defaultCount),
          Jd(Jobj(grid, "x"), Jd(Jobj(grid, "width"), 10)),
          Jd(Jobj(grid, "y"), Jd(Jobj(grid, "length"), 10))};
}

}  // namespace

Manifold VelaPipeline::BuildArrayObject(const std::string& type, const json& document,
                                        const json& object, const VisitingSet* visiting) {
  if (!Jobj(object, "baseObjects").is_array()) return Manifold();
  const json& grid = Jobj(object, "grid");
  const bool hexagonal = type == "hexagonalGrid";
  const bool radial = type == "radialArray" || type == "array";
  Copies copies;

  if (radial) {
    int count = Ji(Jobj(grid, "count"), Ji(Jobj(grid, "instanceCount"), 6));
    if (count < 1) count = 6;
    const double angle = Jd(Jobj(grid, "angle"), Jd(Jobj(grid, "degree"), 360));
    const double height = Jd(Jobj(grid, "height"), 0);
    const double radius = Jd(Jobj(grid, "radius"), 0);
    // The last copy stands at exactly `angle` (and `height`), so a full
    // circle puts it on top of the first.
    const double step = count >= 2 ? angle / (count - 1) : 0;
    const double rise = count >= 2 ? height / (count - 1) : 0;
    for (const std::string& id : IdList(object, "baseObjects")) {
      const Manifold m = BuildInner(document, id, visiting);
      if (m.IsEmpty()) continue;
      ChargeCopies(count, static_cast<int64_t>(m.NumTri()));
      for (int i = 0; i < count; ++i) {
        const double a = i * step;
        const auto [c, s] = CosSinDegrees(a);
        copies.Add(m.Rotate(0, 0, a).Translate(vec3(radius * c, radius * s, i * rise)));
      }
    }
    return copies.Union();
  }

  // Rectangular and hexagonal grids; hexagonal rows alternate by half a column.
  const GridLayout layout = ReadGrid(grid, hexagonal ? 4 : 3);
  for (const std::string& id : IdList(object, "baseObjects")) {
    const Manifold m = BuildInner(document, id, visiting);
    if (m.IsEmpty() || layout.rows < 1 || layout.columns < 1) continue;
    ChargeCopies(static_cast<int64_t>(layout.rows) * layout.columns,
                 static_cast<int64_t>(m.NumTri()));
    for (int r = 0; r < layout.rows; ++r) {
      const double shift = hexagonal && r % 2 == 1 ? layout.dx / 2 : 0;
      for (int c = 0; c < layout.columns; ++c) {
        copies.Add(m.Translate(vec3(c * layout.dx + shift, r * layout.dy, 0)));
      }
    }
  }
  return copies.Union();
}

}  // namespace velamanifold
