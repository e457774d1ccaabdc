#include "trails/aircraft_scan.h"

#include <cstdint>

#include "banners/banner_chain.h"
#include "config/settings.h"
#include "host/host.h"
#include "trails/trail_store.h"

namespace trails {

namespace {

// The host wants the time field of a trail aircraft this far in the past, every frame.
constexpr std::uint32_t kTimeFieldLagMs = 20000;

}  // namespace

void ScanAircraft() {
  const host::HostVehiclePool* pool = host::GetHostVehiclePool();
  // A pool without its arrays has no entries to read, whatever its count says.
  if (pool == nullptr || pool->entries == nullptr || pool->flags == nullptr) return;
  const std::uint32_t entries = reinterpret_cast<std::uint32_t>(pool->entries);
  const std::int8_t* flags = pool->flags;
  const std::int32_t count = pool->count;

  for (std::int32_t i = 0; i < count; ++i) {
    if (flags[i] < 0) continue;  // free
    const std::uint32_t address = entries + static_cast<std::uint32_t>(i) * sizeof(host::HostVehicle);
    host::HostVehicle& vehicle = *reinterpret_cast<host::HostVehicle*>(address);
    if (IsExcluded(vehicle)) continue;

    if (config::EnableTrail && IsModel(vehicle.model, config::ModelIDForTrail)) {
      const std::uint32_t now = host::HostTimeMs();
      vehicle.timeField = now - kTimeFieldLagMs;
      const host::Vector3 position = host::PositionOf(vehicle.placement);  // handed on by value
      if (HasTrailSlot(i) && IsAboveTrailHeight(position.z)) AddTrailPointAt(Trails[i], position, now);
      continue;  // a trail aircraft never tows a banner
    }
    if (config::EnableBanner && IsModel(vehicle.model, config::ModelIDForBanner)) {
      const host::Vector3 position = host::PositionOf(vehicle.placement);
      if (MovesBannerHead(vehicle, position.z)) banners::SetBannerHead(position, i);
    }
  }
}

}  // namespace trails
