#pragma once
// The recent path of up to 50 trail aircraft: per slot 16 points with the clock time each was started,
// about 2000 ms apart, the newest riding along with its aircraft. A slot is a vehicle pool index (slots 47 to
// 49 also carry the sky trails).

#include <cstdint>

#include "host/host.h"

namespace trails {

inline constexpr int kTrailSlots = 50;
inline constexpr int kTrailPoints = 16;
inline constexpr std::uint32_t kTrailPointSpacingMs = 2000;

struct TrailRecord {
  host::Vector3 points[kTrailPoints];  // 0 the newest, 15 the oldest
  std::uint32_t times[kTrailPoints];   // HostTimeMs when each point was started; 0 marks an empty point
};

extern TrailRecord Trails[kTrailSlots];

// Empties every point of every slot; positions stay as they are.
void ResetTrails();

// Hands in the latest position of the aircraft of a slot; a slot outside 0..49 is ignored.
void AddTrailPoint(host::Vector3 position, std::int32_t slot);

}  // namespace trails
