#pragma once
// The game as the browser preview plays it (game.cpp): a vehicle pool flown on a script, the game's data at its
// own addresses, and its renderer, which keeps what the plug-in drew in one frame for the page to show.

#include <cstdint>

#include "config/rules.h"
#include "host/host.h"

namespace game {

// The vehicles of the game's pool the page flies, cars among them: more than the plug-in's 50 slots.
inline constexpr int kMaxVehicles = 100;
inline constexpr int kMaxVertices = 8192;
inline constexpr int kMaxBatches = 256;
inline constexpr int kMaxSprites = 16;
inline constexpr int kVertexFloats = 9;  // x, y, z, red, green, blue, alpha, u, v
inline constexpr int kSpriteFloats = 8;  // x, y, z, red, green, blue, alpha, size
// Where the scenario flies: above the default heights, so that a player who raises them sees the effect stop.
inline constexpr float kTrailHeights[2] = {145.0f, 155.0f};
inline constexpr float kBannerHeight = 130.0f;

// What the vehicle at a pool index is in the flight: an aircraft of the trail rules' models or of the banner rules',
// or a car on the ground, which no rule serves.
enum class Role : std::int32_t { kTrail, kBanner, kCar };

// A run of vertices drawn the same way: lines (trails), triangles (ribbons) or textured triangles (banners).
struct Batch {
  std::int32_t primitive;
  std::int32_t texture;  // the raster the cloth was drawn with (TextureName), 0 for none
  std::int32_t first;
  std::int32_t count;
};

// One frame: what the page hands in (camera, view) and what the plug-in drew.
struct Frame {
  float viewProjection[16];  // column-major, as WebGL takes it
  float camera[3];
  float daylight;
  float vertices[kVertexFloats * kMaxVertices];
  std::int32_t vertexCount;
  Batch batches[kMaxBatches];
  std::int32_t batchCount;
  float sprites[kSpriteFloats * kMaxSprites];
  std::int32_t spriteCount;
  std::int32_t bannerTriangles;  // textured ones: a ribbon's are not counted
  std::int32_t trailPoints;      // live points in the plug-in's trail store
  std::uint32_t newestTrailPoint;
  float stepMs;  // the plug-in's per-frame and drawing steps
};

Frame& CurrentFrame();
const host::HostVehicle& Vehicle(int index);
Role RoleOf(int index);

// The name the plug-in read the texture of `raster` by, or null for a raster the game did not hand out.
const char* TextureName(std::int32_t raster);

// The models the flight's aircraft fly: each aircraft of a role takes the next of its role's models, in turn.
struct FlightModels {
  std::int32_t trail[config::kMaxTrailRules];
  std::int32_t trailCount;
  std::int32_t banner[config::kMaxBannerRules];
  std::int32_t bannerCount;
};

// The game's data before the plug-in's start-up.
void SetUp();

// One frame of `elapsedMs` with `count` vehicles at `seconds` into the flight: the vehicles move, then the
// plug-in's per-frame step and its drawing step run, timed together.
void Fly(std::int32_t count, float seconds, std::uint32_t elapsedMs, std::uint8_t hour, const FlightModels& models);

// A paused frame: only the drawing step runs.
void Still();

}  // namespace game
