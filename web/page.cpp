// What the page's script calls: the plug-in's start-up step over the INI text the player edits, the checker's
// explanation of that text, and one frame of the game with the plug-in in it.

#include <emscripten.h>
#include <emscripten/heap.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "config/ini_explain.h"
#include "config/ini_file.h"
#include "config/settings.h"
#include "game.h"
#include "plugin/steps.h"
#include "trails/aircraft_scan.h"

// The Zephrel.ini a player installs, as the build writes it (shipped_ini.cpp, made from it).
extern const char kShippedIni[];

namespace {

std::string report;
float aircraftOut[4 * game::kMaxAircraft];

// What a setting held, to be put back when a file cannot be read for want of memory: the game goes on with the
// settings the page shows.
struct SettingValue {
  bool flag;
  float number;
  std::int32_t modelId;
};
SettingValue kept[config::kSettingCount];

void KeepSettings() {
  for (std::size_t i = 0; i < config::kSettingCount; ++i) {
    const config::Setting& setting = config::kSettings[i];
    kept[i] = {setting.flag != nullptr && *setting.flag, setting.number != nullptr ? *setting.number : 0.0f,
               setting.modelId != nullptr ? *setting.modelId : 0};
  }
}

void PutBackSettings() {
  for (std::size_t i = 0; i < config::kSettingCount; ++i) {
    const config::Setting& setting = config::kSettings[i];
    if (setting.flag != nullptr) *setting.flag = kept[i].flag;
    if (setting.number != nullptr) *setting.number = kept[i].number;
    if (setting.modelId != nullptr) *setting.modelId = kept[i].modelId;
  }
}

void Field(std::string_view text) { report.append(text).append("\t"); }
void EndRow() { report.back() = '\n'; }

void NoteRow(std::size_t line, std::string_view note) {
  Field("N");
  Field(std::to_string(line));
  Field(note);
  EndRow();
}

// The rows of the settings, and of the line of the first [MAIN] header.
void SettingRows(const config::IniSources& sources) {
  for (std::size_t i = 0; i < config::kSettingCount; ++i) {
    const config::Setting& setting = config::kSettings[i];
    Field("S");
    Field(setting.key);
    Field(std::to_string(static_cast<int>(setting.type)));
    Field(config::SettingValueText(setting));
    Field(config::SettingDefaultText(setting));
    Field(std::to_string(sources.line[i]));
    Field(std::to_string(sources.failedLine[i]));
    EndRow();
  }
  Field("H");
  Field(std::to_string(sources.mainHeader));
  EndRow();
}

constexpr std::size_t kMiB = 1024 * 1024;

std::string OutOfMemoryNote() {
  return "The page's memory (at most " + std::to_string(emscripten_get_heap_max() / kMiB) +
         " MiB) ran out reading this file: the settings stay as they were. Free some memory, or close other tabs, "
         "and edit the text again.";
}

// What the player's script is given when not even the report has room: no settings, so that the page keeps those it
// shows.
constexpr const char* kNoRoom = "N\t0\tThe page's memory ran out: the settings stay as they were.\n";

// The aircraft's mark that the page's script draws: 0 none, 1 a trail aircraft's, 2 a banner aircraft's.
float MarkOf(trails::ScanOutcome outcome) {
  switch (outcome) {
    case trails::ScanOutcome::kTrailPoint:
      return 1.0f;
    case trails::ScanOutcome::kBannerHead:
      return 2.0f;
    case trails::ScanOutcome::kNothing:
      break;
  }
  return 0.0f;
}

// The plug-in's start-up step, with the text the player edits as its Zephrel.ini, read as the checker reads it,
// with the text mode of Windows, where a byte 0x1A ends the file.
void StartUp(std::string_view text) {
  plugin::StartupStep([text] { config::LoadSettingsFrom(config::IniTextOf(text)); });
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void zephrel_start() { game::SetUp(); }

// The size of the largest file the plug-in reads: the page hands no larger one over.
EMSCRIPTEN_KEEPALIVE std::int32_t zephrel_size_limit() { return static_cast<std::int32_t>(config::kIniFileSizeLimit); }

// The game starts again with the player's Zephrel.ini, given as its `size` bytes, and the checker explains them. A
// file over the size limit is not given (`bytes` is null): like the plug-in, the page does not read it. The
// plug-in's start-up step runs; its start-up callback's redirect of the sky routine and its log do not, as the
// page's game has no code to redirect (its frame step flies the sky trails) and no folder to write to.
// Returns the report: one row a note ("N", line, text), at most as many as the checker gives, one a setting ("S",
// key, type, value, default, line, line that does not convert), and the line of the first [MAIN] header ("H"). When
// memory runs out the settings stay as they were, and the report says so.
EMSCRIPTEN_KEEPALIVE const char* zephrel_read_ini(const char* bytes, std::int32_t size) {
  const bool tooLarge = size < 0 || static_cast<std::size_t>(size) > config::kIniFileSizeLimit;
  const std::string_view text =
      tooLarge || bytes == nullptr ? std::string_view() : std::string_view(bytes, static_cast<std::size_t>(size));
  config::IniSources sources{};
  KeepSettings();
  try {
    report.clear();
    StartUp(text);
    if (tooLarge) {
      NoteRow(0, config::TooLargeNote(config::kSettingsFile));
    } else {
      sources = config::ExplainIni(text, NoteRow);
    }
    SettingRows(sources);
    return report.c_str();
  } catch (...) {
  }
  PutBackSettings();
  try {
    report.clear();
    NoteRow(0, OutOfMemoryNote());
    SettingRows({});
    return report.c_str();
  } catch (...) {
    return kNoRoom;
  }
}

// A number as the plug-in writes it, for the text a control puts into the file.
EMSCRIPTEN_KEEPALIVE const char* zephrel_float_text(float value) {
  report = config::FloatText(value);
  return report.c_str();
}

// The Zephrel.ini a player installs: every key at its default.
EMSCRIPTEN_KEEPALIVE const char* zephrel_default_ini() { return kShippedIni; }

// Where the page finds the frame's fields, in the order its script reads them.
EMSCRIPTEN_KEEPALIVE const std::int32_t* zephrel_layout() {
  static const std::int32_t offsets[] = {offsetof(game::Frame, vertices),         offsetof(game::Frame, vertexCount),
                                         offsetof(game::Frame, batches),          offsetof(game::Frame, batchCount),
                                         offsetof(game::Frame, sprites),          offsetof(game::Frame, spriteCount),
                                         offsetof(game::Frame, bannerTriangles),  offsetof(game::Frame, trailPoints),
                                         offsetof(game::Frame, newestTrailPoint), offsetof(game::Frame, stepMs)};
  return offsets;
}

EMSCRIPTEN_KEEPALIVE game::Frame* zephrel_frame_data() { return &game::CurrentFrame(); }

// One frame: the flight `seconds` in, `elapsedMs` after the last; 0 ms is a paused frame.
EMSCRIPTEN_KEEPALIVE void zephrel_frame(std::int32_t aircraft, float seconds, std::int32_t elapsedMs,
                                        std::int32_t hour) {
  if (aircraft < 0 || aircraft > game::kMaxAircraft) aircraft = game::kMaxAircraft;
  if (elapsedMs <= 0) {
    game::Still();
    return;
  }
  game::Fly(aircraft, seconds, static_cast<std::uint32_t>(elapsedMs), static_cast<std::uint8_t>(hour % 24),
            config::ModelIDForTrail, config::ModelIDForBanner);
}

// How many of the first `count` aircraft of the flight fly the trail model; the others fly the banner model.
EMSCRIPTEN_KEEPALIVE std::int32_t zephrel_trail_aircraft(std::int32_t count) {
  std::int32_t trails = 0;
  for (int i = 0; i < count && i < game::kMaxAircraft; ++i) trails += game::RoleOf(i) == game::Role::kTrail ? 1 : 0;
  return trails;
}

// The aircraft of the last frame: x, y, z and what the plug-in's scan makes of each (0 nothing, 1 a trail point,
// 2 a banner head).
EMSCRIPTEN_KEEPALIVE const float* zephrel_aircraft(std::int32_t count) {
  for (int i = 0; i < count && i < game::kMaxAircraft; ++i) {
    const host::HostVehicle& vehicle = game::Vehicle(i);
    const host::Vector3& position = host::PositionOf(vehicle.placement);
    float* out = aircraftOut + 4 * i;
    out[0] = position.x;
    out[1] = position.y;
    out[2] = position.z;
    out[3] = MarkOf(trails::OutcomeOf(vehicle, i));
  }
  return aircraftOut;
}

}  // extern "C"
