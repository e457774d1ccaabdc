#pragma once
// Paints what the simulated host recorded of the plug-in's drawing: a plain sky and a gridded ground, the
// immediate-mode batches (line lists and triangle lists, blended with their vertex alpha; a stand-in stripe
// pattern where a texture raster was set), the light sprites shown as glowing dots, and the aircraft marked.

#include <span>
#include <vector>

#include "camera.h"
#include "image.h"
#include "simhost.h"

namespace preview {

// The host renderer's primitive types that the plug-in submits.
inline constexpr std::int32_t kLineList = 1;
inline constexpr std::int32_t kTriangleList = 3;
// The render state that takes a texture raster (0: none).
inline constexpr std::int32_t kTextureRasterState = 1;

enum class AircraftKind { Trail, Banner };

struct Aircraft {
  Vector3 position;
  AircraftKind kind;
};

struct Light {
  Vector3 position;
  float size;  // world units
  Colour colour;
};

struct Scene {
  std::span<const simhost::Batch> batches;
  std::span<const Aircraft> aircraft;
  std::span<const Light> lights;
  bool night = false;
};

// The light sprites a record shows (ShowLightSprite calls): position, size and colour from their arguments.
std::vector<Light> ShownLights(const simhost::Record& record);

// The colour the stand-in texture has at (u, v): stripes across u, a band along each long edge in v.
Colour StandInTexel(float u, float v);

Image Render(const Camera& camera, const Scene& scene);

}  // namespace preview
