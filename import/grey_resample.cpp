#include "import/grey_resample.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace velamanifold {

namespace {

// One source pixel's share of a new pixel.
struct Tap {
  int source;
  float weight;
};

// Returns, for each of `to` new pixels along a side of `from` old ones, the
// old pixels it covers with their weights (summing to one).
std::vector<std::vector<Tap>> AreaTaps(int from, int to) {
  std::vector<std::vector<Tap>> taps(to);
  const double step = static_cast<double>(from) / to;
  for (int i = 0; i < to; ++i) {
    const double lo = i * step, hi = (i + 1) * step;
    for (int s = static_cast<int>(lo); s < from && s < hi; ++s) {
      const double cover = std::min<double>(hi, s + 1) - std::max<double>(lo, s);
      if (cover > 0) taps[i].push_back({s, static_cast<float>(cover / step)});
    }
  }
  return taps;
}

}  // namespace

GreyImage ResampleArea(const GreyImage& image, int width, int height) {
  if (image.Empty() || width <= 0 || height <= 0 ||
      (width >= image.width && height >= image.height)) {
    return image;
  }
  width = std::min(width, image.width);
  height = std::min(height, image.height);
  // Rows first (each old row to the new width), then columns.
  const auto across = AreaTaps(image.width, width);
  std::vector<float> narrow(static_cast<size_t>(width) * image.height);
  for (int y = 0; y < image.height; ++y) {
    const float* row = &image.grey[static_cast<size_t>(y) * image.width];
    for (int x = 0; x < width; ++x) {
      float sum = 0;
      for (const Tap& t : across[x]) sum += row[t.source] * t.weight;
      narrow[static_cast<size_t>(y) * width + x] = sum;
    }
  }
  const auto down = AreaTaps(image.height, height);
  GreyImage out;
  out.width = width;
  out.height = height;
  out.grey.assign(static_cast<size_t>(width) * height, 0.0f);
  for (int y = 0; y < height; ++y) {
    float* row = &out.grey[static_cast<size_t>(y) * width];
    for (const Tap& t : down[y]) {
      const float* from = &narrow[static_cast<size_t>(t.source) * width];
      for (int x = 0; x < width; ++x) row[x] += from[x] * t.weight;
    }
  }
  return out;
}

std::pair<int, int> ReliefResolution(int w, int h, double spanX, double spanY, double pixelSize,
                                     int64_t maxPixels) {
  double outW = w, outH = h;
  if (std::isfinite(pixelSize) && pixelSize > 0) {
    if (std::isfinite(spanX) && spanX > 0) outW = std::min(outW, std::ceil(spanX / pixelSize));
    if (std::isfinite(spanY) && spanY > 0) outH = std::min(outH, std::ceil(spanY / pixelSize));
  }
  if (maxPixels > 0 && outW * outH > static_cast<double>(maxPixels)) {
    const double shrink = std::sqrt(static_cast<double>(maxPixels) / (outW * outH));
    outW = std::floor(outW * shrink);
    outH = std::floor(outH * shrink);
  }
  return {static_cast<int>(std::max(1.0, outW)), static_cast<int>(std::max(1.0, outH))};
}

std::vector<uint8_t> ToneToBytes(const GreyImage& image, const GreyTone& tone) {
  const double contrast = std::isfinite(tone.contrast) ? tone.contrast : 1.0;
  const double gamma = std::isfinite(tone.gamma) && tone.gamma > 0 ? tone.gamma : 1.0;
  std::vector<uint8_t> bytes(image.grey.size());
  for (size_t i = 0; i < image.grey.size(); ++i) {
    double g = image.grey[i];
    if (contrast != 1.0) g = (g - 0.5) * contrast + 0.5;
    g = std::clamp(g, 0.0, 1.0);
    if (gamma != 1.0) g = std::pow(g, gamma);
    if (tone.invert) g = 1.0 - g;
    bytes[i] = static_cast<uint8_t>(std::lround(g * 255.0));
  }
  return bytes;
}

}  // namespace velamanifold
