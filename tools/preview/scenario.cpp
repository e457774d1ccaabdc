#include "scenario.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "banner_circle.h"
#include "config/rules.h"
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

constexpr float kFurtherCrossingAngle = 0.55f;  // radians from east of the first further trail aircraft's track
constexpr float kFurtherCrossingStep = 0.45f;   // and between the tracks of the others

// Trail rule `k` (0: [MAIN]'s, then the sections'), banner rule likewise.
ScenarioRule TrailRule(const ScenarioSettings& settings, int k) {
  return k == 0 ? ScenarioRule{settings.modelIdForTrail, settings.enableTrail, settings.height}
                : settings.trailRules[k - 1];
}
ScenarioRule BannerRule(const ScenarioSettings& settings, int k) {
  return k == 0 ? ScenarioRule{settings.modelIdForBanner, settings.enableBanner, settings.heightForBanner}
                : settings.bannerRules[k - 1];
}

// What the plug-in's table says of `model`, if a rule names it.
const ScenarioSettings::Served* ServedOf(const ScenarioSettings& settings, std::uint16_t model) {
  for (int k = 0; k < settings.servedCount; ++k) {
    // Compared widened, as the plug-in compares them.
    if (settings.served[k].model == static_cast<std::int32_t>(model)) return &settings.served[k];
  }
  return nullptr;
}

// Notes what the plug-in's table, made by the last read of the settings, says of `model`.
void NoteServed(ScenarioSettings& settings, std::int32_t model) {
  if (model < 0 || model > 0xFFFF) return;
  for (int k = 0; k < settings.servedCount; ++k) {
    if (settings.served[k].model == model) return;
  }
  const std::optional<config::RuleRef> rule = config::RuleServing(static_cast<std::uint16_t>(model));
  ScenarioSettings::Served& served = settings.served[settings.servedCount++];
  served = {model, AircraftKind::Plain, 0.0f};
  if (!rule) return;
  if (rule->kind == config::RuleKind::kTrail) {
    served = {model, AircraftKind::Trail, config::TrailRules[rule->index].height};
  } else {
    served = {model, AircraftKind::Banner, config::BannerRules[rule->index].height};
  }
}

// The rule aircraft `index` is flown for.
ScenarioRule RoleRule(const ScenarioSettings& settings, int index) {
  if (index < kBannerRole) return TrailRule(settings, 0);
  if (index == kBannerRole) return BannerRule(settings, 0);
  const int further = index - kBannerRole;  // 1 on
  return further <= settings.trailRuleCount ? TrailRule(settings, further)
                                            : BannerRule(settings, further - settings.trailRuleCount);
}

// The height aircraft `index` flies above: the one at which the rule that serves it serves it, that of the rule it
// is flown for when none does, or the ground when every height will do.
float Threshold(const ScenarioSettings& settings, int index, AircraftKind kind) {
  const ScenarioSettings::Served* served =
      kind != AircraftKind::Plain ? ServedOf(settings, ScenarioModel(settings, index)) : nullptr;
  const float setting = served != nullptr ? served->height : RoleRule(settings, index).height;
  return std::isfinite(setting) ? std::max(setting, 0.0f) : kFallbackHeight;
}

// Where aircraft `index` flies, above its threshold, `sinceCrossing` seconds after the trail aircraft cross.
Vector3 Track(const ScenarioSettings& settings, int index, float elapsed, float sinceCrossing) {
  const float along = kTrailSpeed * sinceCrossing;
  if (index == 0) return {along, 0.0f, 45.0f};
  if (index == 1) return {-0.6f * along, 0.8f * along, 55.0f};
  if (FliesForABanner(settings, index)) {
    // Spread evenly round the circle, [MAIN]'s where it always flies.
    const int further = index == kBannerRole ? 0 : index - kBannerRole - settings.trailRuleCount;
    const float turn = 6.2831853f * static_cast<float>(further) / static_cast<float>(1 + settings.bannerRuleCount);
    const CirclePoint circling = BannerCirclePoint(elapsed + turn / kCircleRate);
    return {circling.x, circling.y, 30.0f};
  }
  const int further = index - kBannerRole - 1;
  const float angle = kFurtherCrossingAngle + kFurtherCrossingStep * static_cast<float>(further);
  return {std::cos(angle) * along, std::sin(angle) * along, 65.0f + 10.0f * static_cast<float>(further)};
}

}  // namespace

ScenarioSettings ScenarioSettingsFrom(std::string_view text) {
  config::LoadSettingsFrom(text);
  ScenarioSettings settings{.modelIdForTrail = config::ModelIDForTrail,
                            .modelIdForBanner = config::ModelIDForBanner,
                            .enableTrail = config::EnableTrail,
                            .enableBanner = config::EnableBanner,
                            .height = config::Height,
                            .heightForBanner = config::HeightForBanner,
                            .bannerDrawDistance = config::BannerDrawDistance,
                            .replaceTrailsInTheSky = config::ReplaceTrailsInTheSky};
  for (int k = 1; k < config::TrailRuleCount; ++k) {
    const config::TrailRule& rule = config::TrailRules[k];
    settings.trailRules[settings.trailRuleCount++] = {rule.model, rule.enabled, rule.height};
  }
  for (int k = 1; k < config::BannerRuleCount; ++k) {
    const config::BannerRule& rule = config::BannerRules[k];
    settings.bannerRules[settings.bannerRuleCount++] = {rule.model, rule.enabled, rule.height};
  }
  for (int k = 0; k < config::TrailRuleCount; ++k) NoteServed(settings, config::TrailRules[k].model);
  for (int k = 0; k < config::BannerRuleCount; ++k) NoteServed(settings, config::BannerRules[k].model);
  return settings;
}

ScenarioSettings DefaultScenarioSettings() { return ScenarioSettingsFrom(""); }

ScenarioSettings ReadScenarioSettings(const std::optional<std::string>& path) {
  if (!path) return DefaultScenarioSettings();
  const config::IniText file = config::ReadIniText(*path);
  ScenarioSettings settings = ScenarioSettingsFrom(config::IniTextOf(file));
  settings.iniStatus = file.status;
  return settings;
}

int ScenarioAircraftCount(const ScenarioSettings& settings) {
  return kBannerRole + 1 + settings.trailRuleCount + settings.bannerRuleCount;
}

bool FliesForABanner(const ScenarioSettings& settings, int index) {
  return index == kBannerRole || index > kBannerRole + settings.trailRuleCount;
}

std::uint16_t ScenarioModel(const ScenarioSettings& settings, int index) {
  const std::int32_t id = RoleRule(settings, index).model;
  return id >= 1 && id <= 0xFFFF ? static_cast<std::uint16_t>(id) : 0;
}

AircraftKind KindOf(std::uint16_t model, const ScenarioSettings& settings) {
  const ScenarioSettings::Served* served = ServedOf(settings, model);
  return served != nullptr ? served->kind : AircraftKind::Plain;
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
  std::vector<Aircraft> aircraft;
  for (int index = 0; index < ScenarioAircraftCount(settings); ++index) {
    const AircraftKind kind = KindOf(ScenarioModel(settings, index), settings);
    Vector3 position = Track(settings, index, elapsed, sinceCrossing);
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
  const std::vector<Aircraft> last = ScenarioAircraft(settings, duration, duration);
  for (int index = 0; index < ScenarioAircraftCount(settings); ++index) {
    if (!FliesForABanner(settings, index)) continue;
    for (const Vector3& offset : {Vector3{-1.0f, 0.0f, 0.0f}, Vector3{1.0f, 0.0f, 0.0f}, Vector3{0.0f, -1.0f, 0.0f},
                                  Vector3{0.0f, 1.0f, 0.0f}}) {
      const Vector3 reach = Add(last[static_cast<std::size_t>(index)].position, Scale(offset, kBannerLength));
      points.push_back(reach);
      points.push_back(Add(reach, {0.0f, 0.0f, -kBannerDrop}));
    }
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
  const int count = ScenarioAircraftCount(settings);
  simhost::ResizePool(count);
  const std::vector<Aircraft> start = ScenarioAircraft(settings, 0.0f, duration);
  for (int index = 0; index < count; ++index) {
    simhost::PlaceVehicle(index, ScenarioModel(settings, index), start[static_cast<std::size_t>(index)].position);
    simhost::SetVehicleDriver(index, true);  // flown by pilots, for the settings that ask for one
  }
  simhost::SetScript([settings, startClock, duration, count](std::uint32_t now) {
    const float elapsed = static_cast<float>(now - startClock) / 1000.0f;
    const std::vector<Aircraft> aircraft = ScenarioAircraft(settings, elapsed, duration);
    for (int index = 0; index < count; ++index) {
      simhost::SetVehiclePosition(index, aircraft[static_cast<std::size_t>(index)].position);
    }
  });
}

}  // namespace preview
