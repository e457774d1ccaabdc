// What the page's script calls: the plug-in's start-up step over the INI text the player edits, the checker's
// explanation of that text, and one frame of the game with the plug-in in it.

#include <emscripten.h>
#include <emscripten/heap.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "banners/banner_texture.h"
#include "config/ini_explain.h"
#include "config/ini_file.h"
#include "config/ini_parser.h"
#include "config/rules.h"
#include "config/settings.h"
#include "game.h"
#include "plugin/steps.h"
#include "trails/aircraft_scan.h"

// The Zephrel.ini a player installs, as the build writes it (shipped_ini.cpp, made from it).
extern const char kShippedIni[];

namespace {

std::string report;
constexpr int kAircraftFloats = 7;
float aircraftOut[kAircraftFloats * game::kMaxAircraft];

// What a setting held, to be put back when a file cannot be read for want of memory: the game goes on with the
// settings the page shows.
struct SettingValue {
  bool flag;
  float number;
  std::int32_t modelId;
};
SettingValue kept[config::kSettingCount];

// The rules as they were, sections' rules included, which making them from the settings alone would lose.
struct KeptRules {
  config::TrailRule trail[config::kMaxTrailRules];
  config::BannerRule banner[config::kMaxBannerRules];
  int trailCount;
  int bannerCount;
  int notRead;
  std::uint32_t trailColour;
  float trailWidth;
  char bannerTexture[config::kTextureNameSize];
  std::uint32_t skyTrailColour;
};
KeptRules keptRules;

void KeepSettings() {
  for (std::size_t i = 0; i < config::kSettingCount; ++i) {
    const config::Setting& setting = config::kSettings[i];
    kept[i] = {setting.flag != nullptr && *setting.flag, setting.number != nullptr ? *setting.number : 0.0f,
               setting.modelId != nullptr ? *setting.modelId : 0};
  }
  std::memcpy(keptRules.trail, config::TrailRules, sizeof keptRules.trail);
  std::memcpy(keptRules.banner, config::BannerRules, sizeof keptRules.banner);
  keptRules.trailCount = config::TrailRuleCount;
  keptRules.bannerCount = config::BannerRuleCount;
  keptRules.notRead = config::RuleSectionsNotRead;
  keptRules.trailColour = config::TrailColour;
  keptRules.trailWidth = config::TrailWidth;
  std::memcpy(keptRules.bannerTexture, config::BannerTextureName, sizeof keptRules.bannerTexture);
  keptRules.skyTrailColour = config::SkyTrailColour;
}

// The settings and the rules as they were, the model table made from those rules, and their cloths read again: the
// failed start-up may have replaced the cloths for rules that are no more.
void PutBackSettings() {
  for (std::size_t i = 0; i < config::kSettingCount; ++i) {
    const config::Setting& setting = config::kSettings[i];
    if (setting.flag != nullptr) *setting.flag = kept[i].flag;
    if (setting.number != nullptr) *setting.number = kept[i].number;
    if (setting.modelId != nullptr) *setting.modelId = kept[i].modelId;
  }
  std::memcpy(config::TrailRules, keptRules.trail, sizeof keptRules.trail);
  std::memcpy(config::BannerRules, keptRules.banner, sizeof keptRules.banner);
  config::TrailRuleCount = keptRules.trailCount;
  config::BannerRuleCount = keptRules.bannerCount;
  config::RuleSectionsNotRead = keptRules.notRead;
  config::TrailColour = keptRules.trailColour;
  config::TrailWidth = keptRules.trailWidth;
  std::memcpy(config::BannerTextureName, keptRules.bannerTexture, sizeof keptRules.bannerTexture);
  config::SkyTrailColour = keptRules.skyTrailColour;
  config::BuildModelRules();
  banners::LoadBannerRuleTextures();
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

// Where the rules' lines are, for the script to write a control's value over the line that gives it, under the
// header that opens its rule, or to take its sections out: a rule section is matched to its rule as the reader does.
struct RuleLines {
  std::string_view section;
  std::size_t keyLine[config::kBannerRuleKeyCount];  // in the order of kTrailRuleKeys (kBannerRuleKeys); 0 none
  std::string spans;                                 // "header-last," each time its header opens it; last 0: the end
};
struct TextLines {
  std::size_t mainKeyLine[config::kMainRuleKeyCount];
  RuleLines trail[config::kMaxTrailRules];
  RuleLines banner[config::kMaxBannerRules];
  int trailCount = 1;  // [MAIN]'s rule first, as in the rules
  int bannerCount = 1;
};

void FindRuleLines(std::string_view text, TextLines& found) {
  config::ParseIniText(text, [&found](const config::IniLine& line) {
    if (line.header || line.section != config::kSettingsSection) return;
    for (std::size_t k = 0; k < config::kMainRuleKeyCount; ++k) {
      if (line.key == config::kMainRuleKeys[k] && found.mainKeyLine[k] == 0) found.mainKeyLine[k] = line.number;
    }
  });
  RuleLines* current = nullptr;
  auto kind = config::RuleKind::kTrail;
  std::size_t opened = 0;
  auto close = [&](std::size_t last) {
    if (current != nullptr) current->spans.append(std::to_string(opened) + "-" + std::to_string(last) + ",");
  };
  config::VisitRuleLines(text, [&](const config::RuleLine& at) {
    if (at.line.header) {
      close(at.line.number - 1);
      // Past the last rule a section is not read, and has no lines to write.
      current = nullptr;
      if (at.rule < 0) return;
      kind = at.section.kind;
      const bool trail = kind == config::RuleKind::kTrail;
      current = &(trail ? found.trail : found.banner)[at.rule];
      if (at.opens) {
        current->section = at.line.section;
        (trail ? found.trailCount : found.bannerCount) = at.rule + 1;
      }
      opened = at.line.number;
      return;
    }
    const int key = config::RuleKeyIndex(kind, at.line.key);
    if (key >= 0 && current->keyLine[key] == 0) current->keyLine[key] = at.line.number;
  });
  close(0);
}

const char* FlagText(bool flag) { return flag ? "true" : "false"; }

void LineFields(const RuleLines& lines, int keys) {
  std::string keyLines;
  for (int k = 0; k < keys; ++k) keyLines.append(std::to_string(lines.keyLine[k])).append(",");
  Field(keyLines);
  Field(lines.spans);
}

// The rows of the rules in effect, and of [MAIN]'s keys for them: "M", key, value, line; "T", index, model,
// EnableTrail, Height, TrailFadeTime, TrailColour, TrailWidth, the lines of those keys, the spans of its sections;
// "B", index, model, EnableBanner, AppearOnlyAtAltitude, AppearWhenPilotIsInside, AlwaysAppear, HeightForBanner,
// BannerDrawDistance, key lines, spans, BannerTexture (last: a name may hold a tab); "R", sections not read. [MAIN]'s
// rules have no lines of their own: their keys are settings.
void RuleRows(std::string_view text) {
  TextLines lines{};
  FindRuleLines(text, lines);
  const std::string mainValues[config::kMainRuleKeyCount] = {
      config::ColourText(config::TrailColour), config::FloatText(config::TrailWidth), config::BannerTextureName,
      config::ColourText(config::SkyTrailColour)};
  for (std::size_t k = 0; k < config::kMainRuleKeyCount; ++k) {
    Field("M");
    Field(config::kMainRuleKeys[k]);
    Field(mainValues[k]);
    Field(std::to_string(lines.mainKeyLine[k]));
    EndRow();
  }
  for (int k = 0; k < config::TrailRuleCount; ++k) {
    const config::TrailRule& rule = config::TrailRules[k];
    Field("T");
    Field(std::to_string(k));
    Field(std::to_string(rule.model));
    Field(FlagText(rule.enabled));
    Field(config::FloatText(rule.height));
    Field(config::FloatText(rule.fadeTime));
    Field(config::ColourText(rule.colour));
    Field(config::FloatText(rule.width));
    LineFields(k < lines.trailCount ? lines.trail[k] : RuleLines{}, config::kTrailRuleKeyCount);
    EndRow();
  }
  for (int k = 0; k < config::BannerRuleCount; ++k) {
    const config::BannerRule& rule = config::BannerRules[k];
    Field("B");
    Field(std::to_string(k));
    Field(std::to_string(rule.model));
    Field(FlagText(rule.enabled));
    Field(FlagText(rule.onlyAtAltitude));
    Field(FlagText(rule.whenPilotIsInside));
    Field(FlagText(rule.alwaysAppear));
    Field(config::FloatText(rule.height));
    Field(config::FloatText(rule.drawDistance));
    LineFields(k < lines.bannerCount ? lines.banner[k] : RuleLines{}, config::kBannerRuleKeyCount);
    Field(std::string_view(rule.texture, strnlen(rule.texture, config::kTextureNameSize)));
    EndRow();
  }
  Field("R");
  Field(std::to_string(config::RuleSectionsNotRead));
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
    RuleRows(config::IniTextOf(text));
    return report.c_str();
  } catch (...) {
  }
  PutBackSettings();
  try {
    report.clear();
    NoteRow(0, OutOfMemoryNote());
    SettingRows({});
    RuleRows({});
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
  // A mix of the models the rules name, so that each rule's trail or banner shows.
  game::FlightModels models{};
  for (int k = 0; k < config::TrailRuleCount; ++k) models.trail[models.trailCount++] = config::TrailRules[k].model;
  for (int k = 0; k < config::BannerRuleCount; ++k) models.banner[models.bannerCount++] = config::BannerRules[k].model;
  game::Fly(aircraft, seconds, static_cast<std::uint32_t>(elapsedMs), static_cast<std::uint8_t>(hour % 24), models);
}

// The name of the texture whose raster a batch of the frame names, or "" for none.
EMSCRIPTEN_KEEPALIVE const char* zephrel_texture_name(std::int32_t raster) {
  const char* name = game::TextureName(raster);
  return name != nullptr ? name : "";
}

// How many of the first `count` aircraft of the flight fly the trail rules' models; the others fly the banner rules'.
EMSCRIPTEN_KEEPALIVE std::int32_t zephrel_trail_aircraft(std::int32_t count) {
  std::int32_t trails = 0;
  for (int i = 0; i < count && i < game::kMaxAircraft; ++i) trails += game::RoleOf(i) == game::Role::kTrail ? 1 : 0;
  return trails;
}

// The aircraft of the last frame, seven numbers each: x, y, z, what the plug-in's scan makes of it (0 nothing, 1 a
// trail point, 2 a banner head), the kind of the rule that serves its model (0 none, 1 trail, 2 banner), that rule's
// index among the rules of its kind, and the model.
EMSCRIPTEN_KEEPALIVE const float* zephrel_aircraft(std::int32_t count) {
  for (int i = 0; i < count && i < game::kMaxAircraft; ++i) {
    const host::HostVehicle& vehicle = game::Vehicle(i);
    const host::Vector3& position = host::PositionOf(vehicle.placement);
    const std::optional<config::RuleRef> served = config::RuleServing(vehicle.model);
    float* out = aircraftOut + kAircraftFloats * i;
    out[0] = position.x;
    out[1] = position.y;
    out[2] = position.z;
    out[3] = MarkOf(trails::OutcomeOf(vehicle, i));
    out[4] = !served ? 0.0f : served->kind == config::RuleKind::kTrail ? 1.0f : 2.0f;
    out[5] = !served ? -1.0f : static_cast<float>(served->index);
    out[6] = static_cast<float>(vehicle.model);
  }
  return aircraftOut;
}

}  // extern "C"
