#include "scenario.h"

#include <algorithm>
#include <cmath>

#include "banner_circle.h"
#include "config/settings.h"
#include "simhost.h"

namespace preview {
namespace {

// The trail aircraft cross above the origin this long before the end, so that both trails reach well past the
// crossing and their older, fading parts are in the picture too.
constexpr float kCrossingBeforeEnd = 10.0f;
constexpr float kTrailSpeed = 8.0f;  // world units per second
constexpr float kTrailLifetime = 30.0f;
constexpr float kBannerLength = 8.0f * 7.0f;
constexpr float kBannerDrop = 12.0f;  // the cloth's depth and the chain's sag

constexpr float kNearReach = 95.0f;        // the near camera's furthest distance from the circling aircraft
constexpr float kFallbackHeight = 100.0f;  // flown above where a height setting is not a finite number

// The height aircraft `index` flies above: the one at which the plug-in serves it as what it is, or the ground
// when every height will do.
float Threshold(const ScenarioSettings& settings, int index, AircraftKind kind) {
  const bool banner = kind == AircraftKind::Banner || (kind == AircraftKind::Plain && index == kBannerRole);
  const float setting = banner ? settings.heightForBanner : settings.height;
  return std::isfinite(setting) ? std::max(setting, 0.0f) : kFallbackHeight;
}

}  // namespace

ScenarioSettings ScenarioSettingsFrom(std::string_view text) {
  config::LoadSettingsFrom(text);
  return {.modelIdForTrail = config::ModelIDForTrail,
          .modelIdForBanner = config::ModelIDForBanner,
          .enableTrail = config::EnableTrail,
          .enableBanner = config::EnableBanner,
          .height = config::Height,
          .heightForBanner = config::HeightForBanner,
          .bannerDrawDistance = config::BannerDrawDistance,
          .replaceTrailsInTheSky = config::ReplaceTrailsInTheSky};
}

ScenarioSettings DefaultScenarioSettings() { return ScenarioSettingsFrom(""); }

ScenarioSettings ReadScenarioSettings(const std::optional<std::string>& path) {
  if (!path) return DefaultScenarioSettings();
  const config::IniText file = config::ReadIniText(*path);
  ScenarioSettings settings = ScenarioSettingsFrom(config::IniTextOf(file));
  settings.iniStatus = file.status;
  return settings;
}

std::uint16_t ScenarioModel(const ScenarioSettings& settings, int index) {
  const std::int32_t id = index == kBannerRole ? settings.modelIdForBanner : settings.modelIdForTrail;
  return id >= 1 && id <= 0xFFFF ? static_cast<std::uint16_t>(id) : 0;
}

AircraftKind KindOf(std::uint16_t model, const ScenarioSettings& settings) {
  // Compared widened, as the plug-in compares them.
  const auto id = static_cast<std::int32_t>(model);
  if (settings.enableTrail && id == settings.modelIdForTrail) return AircraftKind::Trail;
  if (settings.enableBanner && id == settings.modelIdForBanner) return AircraftKind::Banner;
  return AircraftKind::Plain;
}

int FrameCount(float seconds) {
  const float frames = std::round(seconds * kFramesPerSecond);
  return frames >= 1.0f && frames < 1e7f ? static_cast<int>(frames) : 1;
}

float FlownSeconds(int frames) { return static_cast<float>(static_cast<std::uint32_t>(frames) * kFrameMs) / 1000.0f; }

std::uint32_t StartClockForLitLastFrame(std::uint32_t clock, int frames) {
  const std::uint32_t last = clock + static_cast<std::uint32_t>(frames) * kFrameMs;
  return clock + ((0x300u - (last & 0x3FFu)) & 0x3FFu);
}

std::vector<Aircraft> ScenarioAircraft(const ScenarioSettings& settings, float elapsed, float duration) {
  const float sinceCrossing = elapsed - (duration - kCrossingBeforeEnd);
  const float along = kTrailSpeed * sinceCrossing;
  const CirclePoint circling = BannerCirclePoint(elapsed);
  const Vector3 tracks[kScenarioAircraft] = {
      {along, 0.0f, 45.0f},
      {-0.6f * along, 0.8f * along, 55.0f},
      {circling.x, circling.y, 30.0f},
  };
  std::vector<Aircraft> aircraft;
  for (int index = 0; index < kScenarioAircraft; ++index) {
    const AircraftKind kind = KindOf(ScenarioModel(settings, index), settings);
    Vector3 position = tracks[index];
    position.z += Threshold(settings, index, kind);
    aircraft.push_back({position, kind});
  }
  return aircraft;
}

std::vector<Vector3> ScenarioExtent(const ScenarioSettings& settings, float duration, bool wholeFlight) {
  std::vector<Vector3> points;
  const float from = wholeFlight ? 0.0f : std::max(0.0f, duration - kTrailLifetime);
  for (float elapsed = from; elapsed <= duration; elapsed += 0.5f) {
    for (const Aircraft& aircraft : ScenarioAircraft(settings, elapsed, duration)) points.push_back(aircraft.position);
  }
  const Aircraft banner = ScenarioAircraft(settings, duration, duration)[kBannerRole];
  for (const Vector3& offset :
       {Vector3{-1.0f, 0.0f, 0.0f}, Vector3{1.0f, 0.0f, 0.0f}, Vector3{0.0f, -1.0f, 0.0f}, Vector3{0.0f, 1.0f, 0.0f}}) {
    const Vector3 reach = Add(banner.position, Scale(offset, kBannerLength));
    points.push_back(reach);
    points.push_back(Add(reach, {0.0f, 0.0f, -kBannerDrop}));
  }
  return points;
}

Camera NearCamera(const ScenarioSettings& settings, float duration, const Camera& lens) {
  const float height = ScenarioAircraft(settings, duration, duration)[kBannerRole].position.z;
  // The chain is dragged after the aircraft, so its middle hangs about this far behind it on the circle.
  const float banner = kCircleRate * duration - 0.9f;
  // The aircraft comes at most the circle's radius further than the middle of the circle.
  const float drawDistance = settings.bannerDrawDistance;
  const float reach = drawDistance > 0.0f ? std::min(kNearReach, 0.8f * drawDistance) : kNearReach;
  const float fromCentre = std::max(reach - kCircleRadius, 1.0f);
  const Vector3 from = Normalised({std::cos(banner), std::sin(banner), 0.45f});  // and somewhat above
  Camera camera = lens;
  camera.lookAt = {kCircleCentreX, kCircleCentreY, height - 6.0f};
  camera.position = Add(camera.lookAt, Scale(from, fromCentre));
  return camera;
}

void PlaceScenarioAircraft(const ScenarioSettings& settings, std::uint32_t startClock, float duration) {
  simhost::ResizePool(kScenarioAircraft);
  const std::vector<Aircraft> start = ScenarioAircraft(settings, 0.0f, duration);
  for (int index = 0; index < kScenarioAircraft; ++index) {
    simhost::PlaceVehicle(index, ScenarioModel(settings, index), start[static_cast<std::size_t>(index)].position);
    simhost::SetVehicleDriver(index, true);  // flown by pilots, for the settings that ask for one
  }
  simhost::SetScript([settings, startClock, duration](std::uint32_t now) {
    const float elapsed = static_cast<float>(now - startClock) / 1000.0f;
    const std::vector<Aircraft> aircraft = ScenarioAircraft(settings, elapsed, duration);
    for (int index = 0; index < kScenarioAircraft; ++index) {
      simhost::SetVehiclePosition(index, aircraft[static_cast<std::size_t>(index)].position);
    }
  });
}

}  // namespace preview
