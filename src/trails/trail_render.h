#pragma once
// Trails drawn as thin white lines through their live points, fading with age and dimmed by the host's
// lighting. Drawing is also where trail points expire: older than 30000 ms, their timestamps are cleared.

#include <cstdint>

inline constexpr std::int32_t kTrailLifeMs = 30000;
inline constexpr float kTrailCullRadius = 1000.0f;
inline constexpr float kTrailFullAlpha = 110.0f;

// The pairs (k, k+1) for k = 0 to 15: n packed vertices are drawn as lines with the first 2n - 2 entries.
extern const std::uint16_t TrailLineIndices[32];

// The lesser of the dimmest of (1 - each host dim factor) and the brightest light colour channel / 256;
// computed at the start of each DrawTrails.
extern float TrailBrightness;

// Draws every trail slot that is in view, newest point first, one immediate-mode batch per trail of at least
// two live points, and expires the old points of every slot it examines. Does nothing at all while the
// brightness is 0.0001 or less.
void DrawTrails();
