#include "trails/trail_store.h"

namespace trails {

TrailRecord Trails[kTrailSlots];

void EmptyTrail(TrailRecord& record) {
  for (std::uint32_t& time : record.times) time = 0;
}

void ResetTrails() {
  for (TrailRecord& record : Trails) EmptyTrail(record);
}

void StartTrailPoint(TrailRecord& record, const host::Vector3& position, std::uint32_t now) {
  for (int k = kTrailPoints - 1; k >= 1; --k) {
    host::CopyVector(record.points[k], record.points[k - 1]);
    record.times[k] = record.times[k - 1];
  }
  host::CopyVector(record.points[0], position);
  record.times[0] = now;
}

}  // namespace trails
