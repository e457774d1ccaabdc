#pragma once
// The trails in the sky: three unseen aircraft circling above the world origin, feeding trail slots 47 to 49,
// each with a light sprite that blinks at night. With ReplaceTrailsInTheSky they stand in for the host's own
// sky routine, which is redirected here by a jump over its first five bytes.

#include "host/callconv.h"

namespace trails {

// The trail slots of the three circling aircraft: this one and the two after it.
inline constexpr int kFirstSkyTrailSlot = 47;

// Whether UpdateSkyTrails may run: while ReplaceTrailsInTheSky is set, or while the host's sky routine jumps to it.
bool SkyTrailsMayRun() noexcept;

// One step of the three circling aircraft at the current clock. Reached by the host's calls of its sky routine once the
// redirect is in place, so it keeps the host's calling convention: no arguments, nothing returned.
void HOST_CDECL UpdateSkyTrails() noexcept;

// With ReplaceTrailsInTheSky set, writes a jump to UpdateSkyTrails over the start of the host's sky routine;
// otherwise writes nothing. An earlier jump stays in place either way.
void InstallSkyTrailRedirect() noexcept;

enum class SkyRedirect {
  kNotAsked,      // ReplaceTrailsInTheSky is not set, and no earlier jump of ours is in place
  kEarlierStays,  // not set now, but the jump of an earlier start-up stays
  kRedirected,    // the jump was written
  kNotRead,       // the routine's first bytes could not be read: nothing written
  kNotWritten,    // the jump could not be written
};

// What the last InstallSkyTrailRedirect did (kNotAsked before the first).
SkyRedirect LastSkyRedirect() noexcept;

// Puts the sky routine's own first five bytes back, if they were kept and the routine still holds our jump;
// whatever else has since been written there is left alone. Runs at the library's exit-time destruction, so
// that the host never jumps into a library that is gone.
void RemoveSkyTrailRedirect() noexcept;

}  // namespace trails
