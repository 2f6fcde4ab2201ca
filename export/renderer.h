// Pictures of a solid: an isometric view drawn by a z-buffer rasteriser.
#pragma once

#include <cstdint>
#include <vector>

#include <manifold/manifold.h>

namespace velamanifold {

// An image of `width` x `height` pixels, row after row from the top, three
// bytes (red, green, blue) per pixel.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
};

// Largest picture side, so that a size given on the command line cannot ask
// for gigabytes of samples.
inline constexpr int kMaxPictureSide = 8192;

// Returns a picture of the mesh seen from the front, right and above (the
// isometric direction), scaled to fill the frame with a margin, each face
// shaded by its orientation in the mesh's colours (properties 4 to 6 in 0..1;
// grey without them), on a light background, anti-aliased. A mesh without
// triangles gives the background alone. Sides must be 1 to kMaxPictureSide.
RgbImage RenderIsometric(const manifold::MeshGL& mesh, int width, int height);
RgbImage RenderIsometric(const manifold::MeshGL64& mesh, int width, int height);

}  // namespace velamanifold
