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

// What the plug-in makes of an aircraft: one that leaves a trail, one that tows a banner, or neither.
enum class AircraftKind { Trail, Banner, Plain };

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

// What one camera saw of one frame: the batches the plug-in drew for it, the light sprites shown and where the
// aircraft were.
struct Shot {
  Camera camera;
  std::vector<simhost::Batch> batches;
  std::vector<Light> lights;
  std::vector<Aircraft> aircraft;
};

// The light sprites a record shows (ShowLightSprite calls): position, size and colour from their arguments; one
// per sprite id.
std::vector<Light> ShownLights(const simhost::Record& record);

// The colour stand-in texture `cloth` (0: "Banner", then the rules' own in the order they are read) has at (u, v):
// stripes across u in the cloth's colour and white, a band along each long edge in v.
Colour StandInTexel(float u, float v, int cloth = 0);

// The sky and the ground as a camera sees them, with the depth of the ground: the same for every frame of a
// camera that stays put, so it is painted once.
struct Backdrop {
  Image image;
  std::vector<float> depth;  // view depth of the ground per pixel, infinite where the sky is
};

Backdrop PaintBackdrop(const Camera& camera, bool night);

// The scene over `backdrop`, which must be of this camera and hour; painted anew when there is none.
Image Render(const Camera& camera, const Scene& scene, const Backdrop* backdrop = nullptr);

Image RenderShot(const Shot& shot, bool night, const Backdrop* backdrop = nullptr);

// An aircraft's mark centred at pixel (x, y): a trail aircraft an orange cross, a banner aircraft a magenta
// diamond, one the plug-in leaves alone a grey ring; all outlined, to stand out on any background.
void PaintMarker(Image& image, float x, float y, AircraftKind kind);

}  // namespace preview
