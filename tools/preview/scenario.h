#pragma once
// The scripted flight the preview shows: two trail aircraft crossing above the trail height and one banner
// aircraft circling above the banner height, flown in the simulated host at 30 frames per second.

#include <cstdint>
#include <vector>

#include "render.h"

namespace preview {

// The settings the scenario is built around: which models qualify and how high they must fly.
struct ScenarioSettings {
  std::int32_t modelIdForTrail = 577;
  std::int32_t modelIdForBanner = 593;
  float height = 100.0f;
  float heightForBanner = 100.0f;
};

inline constexpr std::uint32_t kFrameMs = 33;
inline constexpr float kFramesPerSecond = 30.0f;

// Frames in `seconds` of flight, at least one.
int FrameCount(float seconds);

// The clock to start at so that the last of `frames` frames falls in the half of the light sprites' 1024 ms
// blink in which they are shown.
std::uint32_t StartClockForLitLastFrame(std::uint32_t clock, int frames);

// The scenario's aircraft `elapsed` seconds into a flight of `duration` seconds.
std::vector<Aircraft> ScenarioAircraft(const ScenarioSettings& settings, float elapsed, float duration);

// Points that bound what the scenario can have drawn by its end: the aircraft's paths over the trails'
// lifetime and the room a towed banner takes behind its aircraft.
std::vector<Vector3> ScenarioExtent(const ScenarioSettings& settings, float duration);

// The direction from the scene toward the default camera: from the south-west, somewhat above.
inline constexpr Vector3 kDefaultViewDirection{-0.45f, -1.0f, 0.5f};

// Puts the scenario's aircraft into the simulated host's vehicle pool and scripts their flight; the flight
// starts at the host clock `startClock`.
void PlaceScenarioAircraft(const ScenarioSettings& settings, std::uint32_t startClock, float duration);

}  // namespace preview
