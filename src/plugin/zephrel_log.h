#pragma once
// Zephrel.log, beside the plug-in's module: what a player or modder reads when the game shows nothing. Each
// start-up rewrites it with what the load did to the game's code and what the start-up found; each
// re-initialisation appends what it read. Never written per frame, during static initialisation or from the
// DLL's entry routine; a file that cannot be written is no log and nothing more.

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

// Adds one line (CR LF is added) to the log being composed.
void LogLine(const char* format, ...) noexcept __attribute__((format(gnu_printf, 1, 2)));

}  // namespace plugin
