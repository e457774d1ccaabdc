#pragma once
// Following Zephrel.ini while the game runs: with FollowFileChanges set, the per-frame callback asks the file
// system once a second of game time whether the file was written since it was read, and if so reads it again,
// as a re-initialisation would, so that a player tuning a setting sees it in the game without reloading.

#include <cstdint>

namespace plugin {

// How often, in milliseconds of the game's clock, the file is asked about.
inline constexpr std::uint32_t kFollowEveryMs = 1000;

// Reads the settings at start-up and at a re-initialisation. The file's stamp is taken first, so that a save
// that lands during the read is seen by the next check.
void ReadSettings() noexcept;

// Runs first in every frame callback: when a check is due and the file's stamp has changed, reads the file again
// and appends to the log what changed. A frame with no check due costs a compare; a check with the file as it
// was costs one query of the file system and allocates nothing.
void FollowIniChanges() noexcept;

}  // namespace plugin
