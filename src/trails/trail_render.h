#pragma once
// Trails drawn through their live points in the look of their slot's rule (colour, fade time, width), fading with
// age and dimmed by the host's lighting: as thin lines, or as flat ribbons turned toward the camera where the rule
// has a width. Drawing is also where trail points expire: older than kTrailLifeMs, their timestamps are cleared.

#include <cstdint>

namespace trails {

// A trail point's life, in milliseconds of the game's clock.
inline constexpr std::int32_t kTrailLifeMs = 30000;
inline constexpr float kTrailCullRadius = 1000.0f;
inline constexpr float kTrailFullAlpha = 110.0f;

// The pairs (k, k+1) for k = 0 to 14: n packed vertices (16 at most) are drawn as lines with the first 2n - 2
// entries.
inline constexpr int kTrailLineIndices = 30;
extern const std::uint16_t TrailLineIndices[kTrailLineIndices];

// Draws every trail slot that is in view, newest point first, one immediate-mode batch per trail of at least
// two live points (a line list, or a ribbon's triangles through ImmediateIndices), and expires the old points of
// every slot it examines. The brightness is the lesser of the
// dimmest of (1 - each host dim factor) and the brightest light colour channel / 256; while it is 0.0001 or
// less nothing at all is done.
void DrawTrails();

}  // namespace trails
