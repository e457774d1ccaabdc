#pragma once
// The scripted flight the preview shows: two aircraft of model ModelIDForTrail crossing and one of model
// ModelIDForBanner circling, and one more for every rule of a section of its own (crossing for a trail rule, on the
// same circle for a banner rule), each above the height at which the plug-in serves it, flown in the simulated host
// at 30 frames per second.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/ini_file.h"
#include "config/settings.h"
#include "render.h"

namespace preview {

// What the scenario needs of a rule: the model it names, whether it is on, and the height above which it serves.
struct ScenarioRule {
  std::int32_t model;
  bool enabled;
  float height;
};

// What the scenario needs of the player's settings: the models flown, which of them the plug-in serves and how
// high they must fly for it.
struct ScenarioSettings {
  std::int32_t modelIdForTrail;
  std::int32_t modelIdForBanner;
  bool enableTrail;
  bool enableBanner;
  float height;
  float heightForBanner;
  float bannerDrawDistance;
  bool replaceTrailsInTheSky;
  // The rules of sections of their own, after [MAIN]'s, in the order the plug-in takes them.
  ScenarioRule trailRules[config::kMaxTrailRules - 1] = {};
  int trailRuleCount = 0;
  ScenarioRule bannerRules[config::kMaxBannerRules - 1] = {};
  int bannerRuleCount = 0;
  // What the plug-in's table of models makes of each model a rule names, and the height of the rule that serves it:
  // no other model is served.
  struct Served {
    std::int32_t model;
    AircraftKind kind;
    float height;
  };
  Served served[config::kMaxTrailRules + config::kMaxBannerRules] = {};
  int servedCount = 0;
  // Whether the file was read; one that was not leaves every setting above at its default.
  config::IniTextStatus iniStatus = config::IniTextStatus::kRead;
};

// Loads the plug-in's settings from the text of a Zephrel.ini with its own loader (which sets its variables, as
// the plug-in's does) and takes what the scenario needs from them.
ScenarioSettings ScenarioSettingsFrom(std::string_view text);

// Every setting at its default.
ScenarioSettings DefaultScenarioSettings();

// Reads the file at `path` as the plug-in reads its Zephrel.ini: one it cannot read, or one over the size
// limit, leaves every setting at its default, and so does no file.
ScenarioSettings ReadScenarioSettings(const std::optional<std::string>& path);

inline constexpr std::uint32_t kFrameMs = 33;
inline constexpr float kFramesPerSecond = 30.0f;
inline constexpr int kBannerRole = 2;  // the aircraft flying ModelIDForBanner; the first two fly ModelIDForTrail

// How many aircraft fly: three for [MAIN]'s rules, then one for each trail rule of a section, then one for each
// banner rule of a section.
int ScenarioAircraftCount(const ScenarioSettings& settings);

// Whether aircraft `index` flies for a banner rule (on the circle), else for a trail rule (crossing).
bool FliesForABanner(const ScenarioSettings& settings, int index);

// Frames in `seconds` of flight, at least one.
int FrameCount(float seconds);

// The host's seconds that `frames` frames take.
float FlownSeconds(int frames);

// The clock to start at so that the last of `frames` frames falls in the half of the light sprites' 1024 ms
// blink in which they are shown.
std::uint32_t StartClockForLitLastFrame(std::uint32_t clock, int frames);

// The vehicle model the scenario gives aircraft `index`; none (0) for a setting no vehicle can have.
std::uint16_t ScenarioModel(const ScenarioSettings& settings, int index);

// What the plug-in makes of a vehicle of `model`, as its table of models says.
AircraftKind KindOf(std::uint16_t model, const ScenarioSettings& settings);

// The scenario's aircraft `elapsed` seconds into a flight of `duration` seconds.
std::vector<Aircraft> ScenarioAircraft(const ScenarioSettings& settings, float elapsed, float duration);

// Points that bound what the scenario can have drawn by its end: the aircraft's paths over the trails'
// lifetime and the room a towed banner takes behind its aircraft. With `wholeFlight`, the paths from the start.
std::vector<Vector3> ScenarioExtent(const ScenarioSettings& settings, float duration, bool wholeFlight = false);

// The direction from the scene toward the default camera: from the south-west, somewhat above.
inline constexpr Vector3 kDefaultViewDirection{-0.45f, -1.0f, 0.5f};

// A camera that stays put near the circling aircraft, looking at the middle of its circle from the side where
// the banner hangs at the end of the flight; near enough for the plug-in to draw the banner all the way round
// at its draw distance (as near as it can be when that is small).
Camera NearCamera(const ScenarioSettings& settings, float duration, const Camera& lens);

// Puts the scenario's aircraft into the simulated host's vehicle pool and scripts their flight; the flight
// starts at the host clock `startClock`. With a `pool` of that many entries (at least the aircraft's), the aircraft
// are spread over it and cars, which no rule serves, stand in the other entries, as in a busy scene; without, the
// aircraft are the whole pool.
void PlaceScenarioAircraft(const ScenarioSettings& settings, std::uint32_t startClock, float duration,
                           std::optional<int> pool = std::nullopt);

}  // namespace preview
