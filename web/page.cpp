// What the page's script calls: the plug-in's start-up and re-initialisation steps over the INI text the player
// edits, the checker's explanation of that text, and one frame of the game with the plug-in in it.

#include <emscripten.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "banners/banner_texture.h"
#include "config/ini_explain.h"
#include "config/ini_file.h"
#include "config/ini_parser.h"
#include "config/settings.h"
#include "game.h"
#include "trails/trail_store.h"

namespace {

constexpr const char* kIniPath = "/game/Zephrel.ini";

std::string report;
float aircraftOut[4 * game::kMaxAircraft];

void Field(std::string_view text) { report.append(text).append("\t"); }
void EndRow() { report.back() = '\n'; }

// What the plug-in makes of an aircraft, for its mark on the page: a trail aircraft comes first.
int KindOf(const host::HostVehicle& vehicle) {
  const auto model = static_cast<std::int32_t>(vehicle.model);
  if (config::EnableTrail && model == config::ModelIDForTrail) return 1;
  if (config::EnableBanner && model == config::ModelIDForBanner) return 2;
  return 0;
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void zephrel_start() { game::SetUp(); }

// The game starts again with the player's Zephrel.ini, given as its bytes, and the checker explains them. The
// plug-in's start-up steps run but for the log and the sky routine's redirect, which the page's game has no use
// for (its frame step flies the sky trails): banners parked, trails emptied, settings read. The settings are read
// as the checker reads them, with the text mode of Windows, where a byte 0x1A ends the file.
// Returns the report: one row a setting ("S", key, type, value, default, line, line that does not convert), one a
// note ("N", line, text), and the line of the first [MAIN] header ("H").
EMSCRIPTEN_KEEPALIVE const char* zephrel_read_ini(const char* bytes, std::int32_t size) {
  report.clear();
  try {
    const std::string_view text(bytes, static_cast<std::size_t>(size));
    const bool tooLarge = text.size() > config::kIniFileSizeLimit;
    banners::InitBanners();
    trails::ResetTrails();
    config::LoadSettingsFrom(config::IniFile(kIniPath, tooLarge ? std::string_view() : config::IniTextOf(text)));
    config::IniSources sources{};
    if (tooLarge) {
      Field("N");
      Field("0");
      Field("Zephrel.ini is larger than " + std::to_string(config::kIniFileSizeLimit) +
            " bytes (1 MiB), too large for a configuration: the plug-in does not read it and uses every default.");
      EndRow();
    } else {
      sources = config::ExplainIni(text, [](std::size_t line, const std::string& note) {
        Field("N");
        Field(std::to_string(line));
        Field(note);
        EndRow();
      });
    }
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
    std::size_t mainHeader = 0;
    config::IniSections sections;
    config::ParseIniText(config::IniTextOf(text), sections, [&mainHeader](const config::IniLine& line) {
      if (mainHeader == 0 && line.header && line.section == config::kSettingsSection) mainHeader = line.number;
    });
    Field("H");
    Field(std::to_string(mainHeader));
    EndRow();
  } catch (...) {
    report = "N\t0\tThe page ran out of memory reading this file.\n";
  }
  return report.c_str();
}

// A number as the plug-in writes it, for the text a control puts into the file.
EMSCRIPTEN_KEEPALIVE const char* zephrel_float_text(float value) {
  report = config::FloatText(value);
  return report.c_str();
}

// The Zephrel.ini a player installs: every key at its default, as the build writes it.
EMSCRIPTEN_KEEPALIVE const char* zephrel_default_ini() {
  report = "[MAIN]\r\n";
  for (const config::Setting& setting : config::kSettings)
    report.append(setting.key).append("=").append(setting.defaultText).append("\r\n");
  return report.c_str();
}

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

// The aircraft of the last frame: x, y, z and what the plug-in makes of each (0 nothing, 1 trail, 2 banner).
EMSCRIPTEN_KEEPALIVE const float* zephrel_aircraft(std::int32_t count) {
  for (int i = 0; i < count && i < game::kMaxAircraft; ++i) {
    const host::HostVehicle& vehicle = game::Vehicle(i);
    const host::Vector3& position = host::PositionOf(vehicle.placement);
    float* out = aircraftOut + 4 * i;
    out[0] = position.x;
    out[1] = position.y;
    out[2] = position.z;
    out[3] = static_cast<float>(KindOf(vehicle));
  }
  return aircraftOut;
}

}  // extern "C"
