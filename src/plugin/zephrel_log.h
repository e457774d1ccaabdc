#pragma once
// Zephrel.log, beside the plug-in's module: what a player or modder reads when the game shows nothing. Each
// start-up rewrites it with what the load did to the game's code and what the start-up found; each
// re-initialisation appends what it read, and each frame that reads a saved file again appends what changed; an
// unload that leaves something in the game's code appends what, as the library goes. Never written by any other
// frame or during static initialisation; a file that cannot be written is no log and nothing more.

#include <array>
#include <cstdint>
#include <string>

#include "config/ini_explain.h"
#include "config/rules.h"
#include "config/settings.h"
#include "follow_ini.h"

namespace plugin {

// The log's limit. What a support request needs is the start-up and what happened last: when the sections after
// the start-up reach the limit, the oldest of them are left out (a line says how many), and the latest are written.
inline constexpr unsigned kLogLimit = 64 * 1024;

// A longer line is cut, so that no one line (a note quoting a long line of Zephrel.ini) takes the log's room.
inline constexpr unsigned kLogLineLimit = 600;

// Rewrites the log: the version, the game build, each call site hooked or left alone, the sky routine, the
// banner texture, and Zephrel.ini as `ini` read it with the settings and rules in effect (a banner rule whose
// texture was not read tows nothing: its line says so). Runs last in the start-up callback.
void WriteStartupLog(const IniRead& ini) noexcept;

// Appends Zephrel.ini as this re-initialisation read it, with the settings and rules in effect. Runs last in the
// re-initialisation callback.
void AppendReinitLog(const IniRead& ini) noexcept;

// What a followed save is compared with: every setting's value as text, in the order of the table, then [MAIN]'s
// keys of the rules in the order of config::kMainRuleKeys, then each rule as the log tells it, the trail rules, then
// the banner rules ("none" past those there are).
inline constexpr std::size_t kSettingTexts = config::kSettingCount + config::kMainRuleKeyCount;
using ConfigTexts = std::array<std::string, kSettingTexts + config::kMaxTrailRules + config::kMaxBannerRules>;
ConfigTexts CurrentConfigTexts();

// Appends that the saved Zephrel.ini was read again (`ini`) at game time `gameTimeMs`: the settings and rule
// sections that differ from `before`, what a change of a setting read only at start-up means (a texture first
// named now is read only at the next game start), and the notes on the file's lines that are new or gone since the
// log last told them. A file over the size limit gives every setting its default.
void AppendFollowLog(const IniRead& ini, std::uint32_t gameTimeMs, const ConfigTexts& before) noexcept;

// Appends what unloading left at call sites it could not give back (other tools' calls still reach it), if it left
// anything and this load's start-up wrote a log. Runs as the library goes, once every site hook is gone.
void AppendUnloadLog() noexcept;

// Adds one line (CR LF is added) to the log being composed.
void LogLine(const char* format, ...) noexcept __attribute__((format(gnu_printf, 1, 2)));

}  // namespace plugin
