#pragma once
// The game as the browser preview plays it (game.cpp): a vehicle pool flown on a script, the game's data at its
// own addresses, and its renderer, which keeps what the plug-in drew in one frame for the page to show.

#include <cstdint>

#include "host/host.h"

namespace game {

inline constexpr int kMaxAircraft = 50;
inline constexpr int kMaxVertices = 8192;
inline constexpr int kMaxBatches = 256;
inline constexpr int kMaxSprites = 16;
inline constexpr int kVertexFloats = 6;  // x, y, z, alpha, u, v: the plug-in draws in white
inline constexpr int kSpriteFloats = 8;  // x, y, z, red, green, blue, alpha, size
// Where the scenario flies: above the default heights, so that a player who raises them sees the effect stop.
inline constexpr float kTrailHeights[2] = {145.0f, 155.0f};
inline constexpr float kBannerHeight = 130.0f;

enum class Role : std::int32_t { kTrail, kBanner };

// A run of vertices drawn the same way: lines (trails) or textured triangles (banners).
struct Batch {
  std::int32_t primitive;
  std::int32_t textured;
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
  std::int32_t bannerTriangles;
  std::int32_t trailPoints;  // live points in the plug-in's trail store
  std::uint32_t newestTrailPoint;
  float stepMs;  // the plug-in's per-frame and drawing steps
};

Frame& CurrentFrame();
const host::HostVehicle& Vehicle(int index);
Role RoleOf(int index);

// The game's data before the plug-in's start-up.
void SetUp();

// One frame of `elapsedMs` with `aircraft` aircraft at `seconds` into the flight: the aircraft move, then the
// plug-in's per-frame step and its drawing step run, timed together.
void Fly(std::int32_t aircraft, float seconds, std::uint32_t elapsedMs, std::uint8_t hour, std::int32_t modelIdForTrail,
         std::int32_t modelIdForBanner);

// A paused frame: only the drawing step runs.
void Still();

}  // namespace game
