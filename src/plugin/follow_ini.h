#pragma once
// Following Zephrel.ini while the game runs: with FollowFileChanges set, the per-frame callback asks the file
// system twice a second of game time whether the file was written since it was read, and reads it again, as a
// re-initialisation would, once two checks in a row have found it the same, so that a player tuning a setting sees
// it in the game without reloading, and an editor caught half way through a save is waited for.

#include <cstdint>

#include "config/ini_file.h"

namespace plugin {

// How often, in milliseconds of the game's clock, the file is asked about. A save is read at the second check
// that finds it, so within two of these.
inline constexpr std::uint32_t kFollowEveryMs = 500;

// How many checks in a row must find a saved file the same before it is read; an empty one, which is how some
// editors begin a save, must stay empty for longer.
inline constexpr int kStillChecks = 2;
inline constexpr int kStillChecksWhenEmpty = 6;

// One read of Zephrel.ini: where it lies and its bytes as they are on disk. The settings and the log's notes both
// come from them, so that the log tells of the very file the settings were read from.
struct IniRead {
  const char* path = "";  // empty when the plug-in's folder leaves no room for the name
  config::IniText file{config::IniTextStatus::kUnreadable, {}};
};

// Reads the settings at start-up and at a re-initialisation, and gives what it read to the log. The file's stamp
// is taken first, so that a save that lands during the read is seen by the next checks.
IniRead ReadSettings() noexcept;

// Runs first in every frame callback: when a check is due and the file has changed and held still, reads it again
// and appends to the log what changed. A frame with no check due costs a compare; a check with the file as it
// was costs one query of the file system and allocates nothing.
void FollowIniChanges() noexcept;

}  // namespace plugin
