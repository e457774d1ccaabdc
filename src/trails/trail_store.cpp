#include "trails/trail_store.h"

namespace trails {

TrailRecord Trails[kTrailSlots];

void ResetTrails() {
  for (TrailRecord& record : Trails) {
    for (std::uint32_t& time : record.times) time = 0;
  }
}

void AddTrailPoint(host::Vector3 position, std::int32_t slot) {
  if (slot < 0 || slot >= kTrailSlots) return;
  TrailRecord& record = Trails[slot];
  const std::uint32_t now = host::HostTimeMs();
  // Unsigned, so that a newest point stamped ahead of a clock that was set back starts a new point at once.
  if (record.times[0] != 0 && now - record.times[0] > kTrailPointSpacingMs) {
    for (int k = kTrailPoints - 1; k >= 1; --k) {
      host::CopyVector(record.points[k], record.points[k - 1]);
      record.times[k] = record.times[k - 1];
    }
    host::CopyVector(record.points[0], position);
    record.times[0] = now;
    return;
  }
  host::CopyVector(record.points[0], position);
  if (record.times[0] == 0) record.times[0] = now;
}

}  // namespace trails
