#pragma once
// Zephrel.log, beside the plug-in's module: what a player or modder reads when the game shows nothing. Each
// start-up rewrites it with what the load did to the game's code and what the start-up found; each
// re-initialisation appends what it read, and so does each frame that reads a saved file again. Never written by
// any other frame, during static initialisation or from the DLL's entry routine; a file that cannot be written
// is no log and nothing more.

#include <array>
#include <cstdint>
#include <string>

#include "config/settings.h"

namespace plugin {

// The log's limit: a line that would pass it is replaced by one saying the log is full, and nothing more is
// written until the next start-up.
inline constexpr unsigned kLogLimit = 64 * 1024;

// Rewrites the log: the version, the game build, each call site hooked or left alone, the sky routine, the
// banner texture, and Zephrel.ini with the settings in effect. Runs last in the start-up callback.
void WriteStartupLog() noexcept;

// Appends Zephrel.ini as this re-initialisation read it, with the settings in effect. Runs last in the
// re-initialisation callback.
void AppendReinitLog() noexcept;

// Every setting's value as text, in the order of the table.
using SettingTexts = std::array<std::string, config::kSettingCount>;

// Appends that the saved Zephrel.ini at `path` was read again at game time `gameTimeMs`: the settings that differ
// from `before`, what a change of a setting read only at start-up means, and the notes on the file's lines.
// `tooLarge`: the file was over the size limit, so every setting took its default.
void AppendFollowLog(const char* path, std::uint32_t gameTimeMs, bool tooLarge, const SettingTexts& before) noexcept;

// Adds one line (CR LF is added) to the log being composed.
void LogLine(const char* format, ...) noexcept __attribute__((format(gnu_printf, 1, 2)));

}  // namespace plugin
