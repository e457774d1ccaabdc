#pragma once
// The recent path of up to 50 trail aircraft: per slot 16 points with the clock time each was started,
// about 2000 ms apart, the newest riding along with its aircraft, and the rule they are drawn by. Slot i serves the
// aircraft at vehicle pool index i, or one further up the pool that borrows it (slot_lending.h); slots 47 to 49 also
// carry the sky trails.

#include <cstdint>

#include "host/host.h"

namespace trails {

inline constexpr int kTrailSlots = 50;
inline constexpr int kTrailPoints = 16;
inline constexpr std::uint32_t kTrailPointSpacingMs = 2000;

// The rule of the sky trails, which is no trail rule's: they have a colour of their own.
inline constexpr std::uint8_t kSkyTrailRule = 0xFF;

struct TrailRecord {
  host::Vector3 points[kTrailPoints];  // 0 the newest, 15 the oldest
  std::uint32_t times[kTrailPoints];   // HostTimeMs when each point was started; 0 marks an empty point
  std::uint8_t rule;  // the trail rule whose aircraft last added a point (config/rules.h), or kSkyTrailRule
};

extern TrailRecord Trails[kTrailSlots];

// Empties every point of a record; positions stay as they are.
void EmptyTrail(TrailRecord& record);

// Empties every point of every slot.
void ResetTrails();

// Starts a new newest point at `position`, the others moving one place toward the tail.
void StartTrailPoint(TrailRecord& record, const host::Vector3& position, std::uint32_t now);

// Hands in the latest position of the aircraft of a record at clock time `now`, which `rule` serves. Inline: the
// scan calls it for every trail aircraft in every frame.
inline void AddTrailPointAt(TrailRecord& record, const host::Vector3& position, std::uint32_t now, std::uint8_t rule) {
  record.rule = rule;
  const std::uint32_t started = record.times[0];
  // Unsigned, so that a newest point stamped ahead of a clock that was set back starts a new point at once.
  if (started != 0 && now - started > kTrailPointSpacingMs) {
    StartTrailPoint(record, position, now);
    return;
  }
  host::CopyVector(record.points[0], position);
  if (started == 0) record.times[0] = now;
}

// Hands in the latest position of the aircraft of a slot, which `rule` serves; a slot outside 0..49 is ignored.
inline void AddTrailPoint(host::Vector3 position, std::int32_t slot, std::uint8_t rule) {
  if (slot < 0 || slot >= kTrailSlots) return;
  AddTrailPointAt(Trails[slot], position, host::HostTimeMs(), rule);
}

}  // namespace trails
