#include "scenario.h"

#include <algorithm>
#include <cmath>

#include "simhost.h"

namespace preview {
namespace {

// The trail aircraft cross above the origin this long before the end, so that both trails reach well past the
// crossing and their older, fading parts are in the picture too.
constexpr float kCrossingBeforeEnd = 10.0f;
constexpr float kTrailSpeed = 8.0f;  // world units per second
constexpr float kTrailLifetime = 30.0f;
// The banner aircraft circles on the camera's side of the crossing: a banner is drawn only near the camera.
constexpr Vector3 kCircleCentre{-40.0f, -70.0f, 0.0f};
constexpr float kCircleRadius = 30.0f;
constexpr float kCircleRate = 0.35f;  // radians per second
constexpr float kBannerLength = 8.0f * 7.0f;
constexpr float kBannerDrop = 12.0f;  // the cloth's depth and the chain's sag

constexpr int kTrailPoolIndexA = 0;
constexpr int kTrailPoolIndexB = 1;
constexpr int kBannerPoolIndex = 2;
constexpr int kPoolSize = 3;

// A model id the host can hold; none (0) for a setting no vehicle can match.
std::uint16_t ModelOf(std::int32_t id) { return id >= 1 && id <= 0xFFFF ? static_cast<std::uint16_t>(id) : 0; }

}  // namespace

int FrameCount(float seconds) {
  const float frames = std::round(seconds * kFramesPerSecond);
  return frames >= 1.0f && frames < 1e7f ? static_cast<int>(frames) : 1;
}

std::uint32_t StartClockForLitLastFrame(std::uint32_t clock, int frames) {
  const std::uint32_t last = clock + static_cast<std::uint32_t>(frames) * kFrameMs;
  return clock + ((0x300u - (last & 0x3FFu)) & 0x3FFu);
}

std::vector<Aircraft> ScenarioAircraft(const ScenarioSettings& settings, float elapsed, float duration) {
  const float sinceCrossing = elapsed - (duration - kCrossingBeforeEnd);
  const float along = kTrailSpeed * sinceCrossing;
  const float angle = kCircleRate * elapsed;
  return {
      {{along, 0.0f, settings.height + 45.0f}, AircraftKind::Trail},
      {{-0.6f * along, 0.8f * along, settings.height + 55.0f}, AircraftKind::Trail},
      {{kCircleCentre.x + kCircleRadius * std::cos(angle), kCircleCentre.y + kCircleRadius * std::sin(angle),
        settings.heightForBanner + 30.0f},
       AircraftKind::Banner},
  };
}

std::vector<Vector3> ScenarioExtent(const ScenarioSettings& settings, float duration) {
  std::vector<Vector3> points;
  for (float elapsed = std::max(0.0f, duration - kTrailLifetime); elapsed <= duration; elapsed += 0.5f) {
    for (const Aircraft& aircraft : ScenarioAircraft(settings, elapsed, duration)) {
      if (aircraft.kind == AircraftKind::Trail) points.push_back(aircraft.position);
    }
  }
  const Aircraft banner = ScenarioAircraft(settings, duration, duration)[kBannerPoolIndex];
  for (const Vector3& offset :
       {Vector3{-1.0f, 0.0f, 0.0f}, Vector3{1.0f, 0.0f, 0.0f}, Vector3{0.0f, -1.0f, 0.0f}, Vector3{0.0f, 1.0f, 0.0f}}) {
    const Vector3 reach = Add(banner.position, Scale(offset, kBannerLength));
    points.push_back(reach);
    points.push_back(Add(reach, {0.0f, 0.0f, -kBannerDrop}));
  }
  return points;
}

void PlaceScenarioAircraft(const ScenarioSettings& settings, std::uint32_t startClock, float duration) {
  simhost::ResizePool(kPoolSize);
  const std::vector<Aircraft> start = ScenarioAircraft(settings, 0.0f, duration);
  const std::uint16_t models[kPoolSize] = {ModelOf(settings.modelIdForTrail), ModelOf(settings.modelIdForTrail),
                                           ModelOf(settings.modelIdForBanner)};
  for (int index : {kTrailPoolIndexA, kTrailPoolIndexB, kBannerPoolIndex}) {
    simhost::PlaceVehicle(index, models[index], start[static_cast<std::size_t>(index)].position);
    simhost::SetVehicleDriver(index, true);  // flown by pilots, for the settings that ask for one
  }
  simhost::SetScript([settings, startClock, duration](std::uint32_t now) {
    const float elapsed = static_cast<float>(now - startClock) / 1000.0f;
    const std::vector<Aircraft> aircraft = ScenarioAircraft(settings, elapsed, duration);
    for (int index = 0; index < kPoolSize; ++index) {
      simhost::SetVehiclePosition(index, aircraft[static_cast<std::size_t>(index)].position);
    }
  });
}

}  // namespace preview
