#include "export/renderer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velamanifold {

namespace {

struct Vec3 {
  double x, y, z;
};

double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vec3 Normalized(Vec3 v) {
  const double length = std::sqrt(Dot(v, v));
  return {v.x / length, v.y / length, v.z / length};
}

// The view: from the front (-y), the right (+x) and above (+z) in equal
// parts, with +z pointing up on the picture.
const Vec3 kToViewer = Normalized({1, -1, 1});
const Vec3 kScreenRight = Normalized({1, 1, 0});
const Vec3 kScreenUp = Normalized({-1, 1, 2});
// A key light from the right, front and above, and a weaker one from the
// viewer, so that every face turned differently gets a different shade and
// no visible face is black.
const Vec3 kKeyLight = Normalized({0.5, -0.3, 0.8});
constexpr double kAmbient = 0.30;
constexpr double kKeyWeight = 0.55;
constexpr double kViewWeight = 0.20;

constexpr uint8_t kBackground[3] = {242, 244, 247};
constexpr double kGrey[3] = {0.7, 0.7, 0.7};
constexpr double kMargin = 0.06;  // of each side, left free around the part

// Returns the sub-samples per pixel side: nine samples per pixel for
// ordinary sizes, fewer for very large pictures, so that the sample buffers
// stay within a few hundred megabytes.
int SamplesPerSide(int width, int height) {
  const int64_t pixels = int64_t(width) * height;
  if (pixels <= 4'500'000) return 3;
  if (pixels <= 10'000'000) return 2;
  return 1;
}

uint32_t Pack(double r, double g, double b) {
  auto channel = [](double v) {
    return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
  };
  return channel(r) << 16 | channel(g) << 8 | channel(b);
}

// Sample buffers at sub-sample resolution: nearest depth seen (larger is
// closer to the viewer) and the packed colour there.
class SampleBuffer {
 public:
  SampleBuffer(int width, int height)
      : width_(width),
        height_(height),
        depth_(size_t(width) * height, -std::numeric_limits<float>::infinity()),
        color_(size_t(width) * height,
               uint32_t(kBackground[0]) << 16 | uint32_t(kBackground[1]) << 8 | kBackground[2]) {}

  // Fills the triangle of screen corners (x, y, depth) with `color` where it
  // is nearer than what was drawn before. Sample centres on an edge count
  // as inside, so triangles sharing an edge leave no gap.
  void Fill(const float* a, const float* b, const float* c, uint32_t color) {
    double area = Edge(a, b, c[0], c[1]);
    // Also refuses corners that are no finite numbers, which no cast to a
    // pixel index may see.
    if (!std::isfinite(area) || area == 0) return;
    if (area < 0) {
      std::swap(b, c);
      area = -area;
    }
    // The sample rectangle around the triangle, clipped to the buffer before
    // anything is turned into an index.
    const double left = std::min({a[0], b[0], c[0]}), right = std::max({a[0], b[0], c[0]});
    const double top = std::min({a[1], b[1], c[1]}), bottom = std::max({a[1], b[1], c[1]});
    if (right < 0 || bottom < 0 || left > width_ || top > height_) return;
    const int x0 = static_cast<int>(std::max(0.0, std::floor(left)));
    const int x1 = static_cast<int>(std::min(width_ - 1.0, std::ceil(right)));
    const int y0 = static_cast<int>(std::max(0.0, std::floor(top)));
    const int y1 = static_cast<int>(std::min(height_ - 1.0, std::ceil(bottom)));
    const double inverse = 1.0 / area;
    for (int y = y0; y <= y1; ++y) {
      const double py = y + 0.5;
      // Edge values at the first sample of the row, and their step per sample.
      double wa = Edge(b, c, x0 + 0.5, py), wb = Edge(c, a, x0 + 0.5, py),
             wc = Edge(a, b, x0 + 0.5, py);
      const double da = c[1] - b[1], db = a[1] - c[1], dc = b[1] - a[1];
      size_t at = size_t(y) * width_ + x0;
      for (int x = x0; x <= x1; ++x, ++at, wa += da, wb += db, wc += dc) {
        if (wa < 0 || wb < 0 || wc < 0) continue;
        const float depth = static_cast<float>((wa * a[2] + wb * b[2] + wc * c[2]) * inverse);
        if (depth <= depth_[at]) continue;
        depth_[at] = depth;
        color_[at] = color;
      }
    }
  }

  // Returns false when the screen triangle's bounds hold no sample centre,
  // so that it cannot change a sample; true when it may (or is not finite).
  bool MayCover(const float* a, const float* b, const float* c) const {
    const double left = std::min({a[0], b[0], c[0]}), right = std::max({a[0], b[0], c[0]});
    const double top = std::min({a[1], b[1], c[1]}), bottom = std::max({a[1], b[1], c[1]});
    return !(std::floor(right - 0.5) < std::ceil(left - 0.5) ||
             std::floor(bottom - 0.5) < std::ceil(top - 0.5));
  }

  // Returns the picture, each pixel the mean of its `factor` x `factor` samples.
  RgbImage Reduce(int factor) const {
    RgbImage image;
    image.width = width_ / factor;
    image.height = height_ / factor;
    image.pixels.resize(size_t(image.width) * image.height * 3);
    const uint32_t count = uint32_t(factor * factor);
    uint8_t* out = image.pixels.data();
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x, out += 3) {
        uint32_t r = 0, g = 0, b = 0;
        for (int sy = 0; sy < factor; ++sy) {
          const uint32_t* row = color_.data() + size_t(y * factor + sy) * width_ + x * factor;
          for (int sx = 0; sx < factor; ++sx) {
            r += row[sx] >> 16;
            g += row[sx] >> 8 & 255;
            b += row[sx] & 255;
          }
        }
        out[0] = uint8_t((r + count / 2) / count);
        out[1] = uint8_t((g + count / 2) / count);
        out[2] = uint8_t((b + count / 2) / count);
      }
    }
    return image;
  }

 private:
  // Twice the signed area of (p, q, (x, y)); positive when the point lies
  // to the right of p -> q on a picture whose y grows downwards.
  static double Edge(const float* p, const float* q, double x, double y) {
    return (x - p[0]) * (double(q[1]) - p[1]) - (y - p[1]) * (double(q[0]) - p[0]);
  }

  int width_;
  int height_;
  std::vector<float> depth_;
  std::vector<uint32_t> color_;
};

template <typename Mesh>
RgbImage Render(const Mesh& mesh, int width, int height) {
  using Real = typename decltype(mesh.vertProperties)::value_type;
  const int factor = SamplesPerSide(width, height);
  SampleBuffer samples(width * factor, height * factor);
  const size_t stride = mesh.numProp;
  const size_t vertCount = stride >= 3 ? mesh.vertProperties.size() / stride : 0;
  const size_t triCount = mesh.triVerts.size() / 3;

  // Picture-plane coordinates of every vertex, and the bounds that the view fits.
  std::vector<float> screen(vertCount * 3);
  double lo[2] = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
  double hi[2] = {-lo[0], -lo[1]};
  for (size_t v = 0; v < vertCount; ++v) {
    const Real* p = mesh.vertProperties.data() + v * stride;
    const Vec3 point{p[0], p[1], p[2]};
    const double across = Dot(point, kScreenRight), up = Dot(point, kScreenUp);
    screen[3 * v] = static_cast<float>(across);
    screen[3 * v + 1] = static_cast<float>(up);
    screen[3 * v + 2] = static_cast<float>(Dot(point, kToViewer));
    lo[0] = std::min(lo[0], across), hi[0] = std::max(hi[0], across);
    lo[1] = std::min(lo[1], up), hi[1] = std::max(hi[1], up);
  }
  if (triCount > 0 && vertCount > 0) {
    const double frameW = width * factor * (1 - 2 * kMargin);
    const double frameH = height * factor * (1 - 2 * kMargin);
    const double spanW = hi[0] - lo[0], spanH = hi[1] - lo[1];
    double scale = std::min(spanW > 0 ? frameW / spanW : HUGE_VAL, spanH > 0 ? frameH / spanH : HUGE_VAL);
    if (!std::isfinite(scale)) scale = 1;
    const double midA = (lo[0] + hi[0]) / 2, midB = (lo[1] + hi[1]) / 2;
    const double centreX = width * factor / 2.0, centreY = height * factor / 2.0;
    for (size_t v = 0; v < vertCount; ++v) {
      screen[3 * v] = static_cast<float>(centreX + (screen[3 * v] - midA) * scale);
      screen[3 * v + 1] = static_cast<float>(centreY - (screen[3 * v + 1] - midB) * scale);
    }
  }

  for (size_t t = 0; t < triCount; ++t) {
    const size_t i[3] = {mesh.triVerts[3 * t], mesh.triVerts[3 * t + 1], mesh.triVerts[3 * t + 2]};
    if (i[0] >= vertCount || i[1] >= vertCount || i[2] >= vertCount) continue;
    const Real* p[3] = {mesh.vertProperties.data() + i[0] * stride,
                        mesh.vertProperties.data() + i[1] * stride,
                        mesh.vertProperties.data() + i[2] * stride};
    const Vec3 u{double(p[1][0]) - p[0][0], double(p[1][1]) - p[0][1], double(p[1][2]) - p[0][2]};
    const Vec3 w{double(p[2][0]) - p[0][0], double(p[2][1]) - p[0][1], double(p[2][2]) - p[0][2]};
    const Vec3 n{u.y * w.z - u.z * w.y, u.z * w.x - u.x * w.z, u.x * w.y - u.y * w.x};
    // A closed solid hides the faces turned away from the viewer; most
    // triangles of a fine mesh fall between sample centres. Both are
    // skipped before anything is computed for their shade.
    if (!(Dot(n, kToViewer) > 0)) continue;
    if (!samples.MayCover(&screen[3 * i[0]], &screen[3 * i[1]], &screen[3 * i[2]])) continue;
    const double length = std::sqrt(Dot(n, n));
    const Vec3 normal{n.x / length, n.y / length, n.z / length};
    const double light = kAmbient + kKeyWeight * std::max(0.0, Dot(normal, kKeyLight)) +
                         kViewWeight * Dot(normal, kToViewer);
    double rgb[3] = {kGrey[0], kGrey[1], kGrey[2]};
    if (stride >= 6) {
      for (int k = 0; k < 3; ++k) rgb[k] = (p[0][3 + k] + p[1][3 + k] + p[2][3 + k]) / 3.0;
    }
    samples.Fill(&screen[3 * i[0]], &screen[3 * i[1]], &screen[3 * i[2]],
                 Pack(rgb[0] * light, rgb[1] * light, rgb[2] * light));
  }
  return samples.Reduce(factor);
}

}  // namespace

RgbImage RenderIsometric(const manifold::MeshGL& mesh, int width, int height) {
  return Render(mesh, width, height);
}

RgbImage RenderIsometric(const manifold::MeshGL64& mesh, int width, int height) {
  return Render(mesh, width, height);
}

}  // namespace velamanifold
