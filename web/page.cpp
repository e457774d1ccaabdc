// What the page's script calls: the plug-in's start-up step over the INI text the player edits, the checker's
// explanation of that text, told by name (page_report.h), and one frame of the game with the plug-in in it.

#include <emscripten.h>
#include <emscripten/heap.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "banners/banner_texture.h"
#include "config/ini_explain.h"
#include "config/ini_file.h"
#include "config/settings.h"
#include "game.h"
#include "page_dictionary.h"
#include "page_report.h"
#include "plugin/steps.h"
#include "trails/aircraft_scan.h"
#include "txd/texture_dictionary.h"

// The Zephrel.ini a player installs, as the build writes it (shipped_ini.cpp, made from it).
extern const char kShippedIni[];

namespace {

std::string report;
constexpr int kAircraftFloats = 8;
float aircraftOut[kAircraftFloats * game::kMaxVehicles];

// The settings as they were, to be put back when a file cannot be read for want of memory: the game goes on with the
// settings the page shows. Not on the stack: the value is large.
config::Configuration kept;

void KeepSettings() { kept = config::InEffect; }

// The settings and the rules as they were, and their cloths read again: the failed start-up may have replaced the
// cloths for rules that are no more.
void PutBackSettings() {
  config::InEffect = kept;
  banners::LoadBannerRuleTextures();
}

constexpr std::size_t kMiB = 1024 * 1024;

std::string OutOfMemoryNote() {
  return "The page's memory (at most " + std::to_string(emscripten_get_heap_max() / kMiB) +
         " MiB) ran out reading this file: the settings stay as they were. Free some memory, or close other tabs, "
         "and edit the text again.";
}

// What the player's script is given when not even the report has room: no keys, so that the page keeps those it shows.
constexpr const char* kNoRoom =
    "{\"notes\":[{\"line\":0,\"text\":\"The page's memory ran out: the settings stay as they were.\"}]}";

// The BANNER.TXD the player opened, and the bytes it was read from, which its pictures are decoded from.
std::vector<std::uint8_t> dictionaryBytes;
txd::Dictionary dictionary;
txd::Picture picture;  // the last one decoded, for the script to copy
page::DictionarySave dictionarySave;

// The JSON of `make`, or of the problem that kept it from being made: the page's memory running out.
template <typename Make>
const char* Answer(Make make, const char* failed) {
  try {
    report = make();
    return report.c_str();
  } catch (...) {
    report.clear();
  }
  return failed;
}

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

// What the script needs of the table of keys and of the rules, by name: the file's name and section, its size limit,
// the keys with their types, defaults, limits and labels, and the kinds of rule with the keys they read.
EMSCRIPTEN_KEEPALIVE const char* zephrel_contract() {
  static const std::string contract = page::ContractJson();
  return contract.c_str();
}

// The game starts again with the player's Zephrel.ini, given as its `size` bytes, and the checker explains them. A
// file over the size limit is not given (`bytes` is null): like the plug-in, the page does not read it. The
// plug-in's start-up step runs; its start-up callback's redirect of the sky routine and its log do not, as the
// page's game has no code to redirect (its frame step flies the sky trails) and no folder to write to.
// Returns the report (page_report.h). When memory runs out the settings stay as they were, and the report says so.
EMSCRIPTEN_KEEPALIVE const char* zephrel_read_ini(const char* bytes, std::int32_t size) {
  const bool tooLarge = size < 0 || static_cast<std::size_t>(size) > config::kIniFileSizeLimit;
  const std::string_view text =
      tooLarge || bytes == nullptr ? std::string_view() : std::string_view(bytes, static_cast<std::size_t>(size));
  KeepSettings();
  try {
    report.clear();
    StartUp(text);
    std::vector<page::Note> notes;
    if (tooLarge) {
      notes.push_back({0, config::TooLargeNote(config::kSettingsFile)});
    } else {
      config::ExplainIni(text, config::InEffect, [&notes](std::size_t line, const std::string& note) {
        notes.push_back({line, note});
      });
    }
    report = page::ReportJson(config::InEffect, notes, true);
    return report.c_str();
  } catch (...) {
  }
  PutBackSettings();
  try {
    report.clear();
    report = page::ReportJson(config::InEffect, {{0, OutOfMemoryNote()}}, false);
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

// One frame: the flight of `vehicles` vehicles `seconds` in, `elapsedMs` after the last; 0 ms is a paused frame.
EMSCRIPTEN_KEEPALIVE void zephrel_frame(std::int32_t vehicles, float seconds, std::int32_t elapsedMs,
                                        std::int32_t hour) {
  if (vehicles < 0 || vehicles > game::kMaxVehicles) vehicles = game::kMaxVehicles;
  if (elapsedMs <= 0) {
    game::Still();
    return;
  }
  // A mix of the models the rules name, so that each rule's trail or banner shows.
  game::FlightModels models{};
  const config::Configuration& read = config::InEffect;
  for (int k = 0; k < read.trailRuleCount; ++k) models.trail[models.trailCount++] = read.trailRules.ModelIDForTrail[k];
  for (int k = 0; k < read.bannerRuleCount; ++k) {
    models.banner[models.bannerCount++] = read.bannerRules.ModelIDForBanner[k];
  }
  game::Fly(vehicles, seconds, static_cast<std::uint32_t>(elapsedMs), static_cast<std::uint8_t>(hour % 24), models);
}

// The name of the texture whose raster a batch of the frame names, or "" for none.
EMSCRIPTEN_KEEPALIVE const char* zephrel_texture_name(std::int32_t raster) {
  const char* name = game::TextureName(raster);
  return name != nullptr ? name : "";
}

// The player's BANNER.TXD, given as its `size` bytes, read as the checker reads it: its textures and its problems
// (page_dictionary.h). It replaces the one opened before, also when it cannot be read.
EMSCRIPTEN_KEEPALIVE const char* zephrel_open_txd(const std::uint8_t* bytes, std::int32_t size) {
  dictionary = {};
  dictionaryBytes.clear();
  return Answer(
      [&] {
        if (bytes != nullptr && size > 0) dictionaryBytes.assign(bytes, bytes + size);
        dictionary = txd::ReadDictionary(dictionaryBytes);
        return page::DictionaryJson(dictionary);
      },
      R"({"textures":[],"problems":["The page's memory ran out reading this dictionary."],"stopped":true})");
}

// Each banner rule in effect against the dictionary opened (page_dictionary.h).
EMSCRIPTEN_KEEPALIVE const char* zephrel_txd_lookups() {
  return Answer([] { return page::LookupsJson(config::InEffect, dictionary); }, "[]");
}

// The picture of the dictionary's texture `index`, R, G, B, A a pixel, with its sides at zephrel_picture_sides; null
// when it cannot be shown.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* zephrel_txd_picture(std::int32_t index) {
  picture = {};
  if (index < 0 || static_cast<std::size_t>(index) >= dictionary.textures.size()) return nullptr;
  try {
    if (txd::DecodePicture(dictionaryBytes, dictionary.textures[static_cast<std::size_t>(index)], picture)) {
      return picture.rgba.data();
    }
  } catch (...) {
  }
  picture = {};
  return nullptr;
}
EMSCRIPTEN_KEEPALIVE const std::uint32_t* zephrel_picture_sides() {
  static std::uint32_t sides[2];
  sides[0] = picture.width;
  sides[1] = picture.height;
  return sides;
}

// A Save of BANNER.TXD: each banner rule's picture added by its texture's name, then written (page_dictionary.h);
// the file is then at zephrel_saved_txd, zephrel_saved_txd_size bytes.
EMSCRIPTEN_KEEPALIVE std::int32_t zephrel_save_add(const char* name, std::int32_t width, std::int32_t height,
                                                   const std::uint8_t* rgba) {
  if (name == nullptr || width <= 0 || height <= 0 || rgba == nullptr) return 0;
  try {
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    dictionarySave.Add(name, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), {rgba, size});
    return 1;
  } catch (...) {
    return 0;
  }
}
EMSCRIPTEN_KEEPALIVE const char* zephrel_save_txd() {
  return Answer([] { return dictionarySave.Write(); },
                R"({"problem":"the page's memory ran out writing the dictionary","size":0,"textures":[]})");
}
EMSCRIPTEN_KEEPALIVE const std::uint8_t* zephrel_saved_txd() { return dictionarySave.Bytes().data(); }
EMSCRIPTEN_KEEPALIVE std::int32_t zephrel_saved_txd_size() {
  return static_cast<std::int32_t>(dictionarySave.Bytes().size());
}

// The plug-in's slots, each a trail and a banner for one aircraft at a time.
EMSCRIPTEN_KEEPALIVE std::int32_t zephrel_slots() { return trails::kTrailSlots; }

// The vehicles the game's pool can fly.
EMSCRIPTEN_KEEPALIVE std::int32_t zephrel_most_vehicles() { return game::kMaxVehicles; }

// How many of the first `count` vehicles of the flight are of `role` (0 aircraft of the trail rules' models, 1 of the
// banner rules', 2 cars).
EMSCRIPTEN_KEEPALIVE std::int32_t zephrel_flown(std::int32_t count, std::int32_t role) {
  std::int32_t flown = 0;
  for (int i = 0; i < count && i < game::kMaxVehicles; ++i) {
    flown += game::RoleOf(i) == static_cast<game::Role>(role) ? 1 : 0;
  }
  return flown;
}

// The vehicles of the last frame, eight numbers each: x, y, z, what the plug-in's scan makes of it (0 nothing, 1 a
// trail point, 2 a banner head), the kind of the rule that serves its model (0 none, 1 trail, 2 banner), that rule's
// index among the rules of its kind, the model, and 1 for a car.
EMSCRIPTEN_KEEPALIVE const float* zephrel_aircraft(std::int32_t count) {
  for (int i = 0; i < count && i < game::kMaxVehicles; ++i) {
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
    out[7] = game::RoleOf(i) == game::Role::kCar ? 1.0f : 0.0f;
  }
  return aircraftOut;
}

}  // extern "C"
