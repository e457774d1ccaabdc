#include "trails/aircraft_scan.h"

#include <cstdint>
#include <optional>

#include "banners/banner_chain.h"
#include "config/rules.h"
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

    // One lookup decides, whatever the number of rules: the table already says which rule serves the model, a
    // trail rule while it is enabled before a banner rule.
    const std::optional<config::RuleRef> served = config::RuleServing(vehicle.model);
    if (!served) continue;
    // Read where the host keeps it: the trail store and the banner chain copy it through the host's CopyVector.
    const host::Vector3& position = host::PositionOf(vehicle.placement);
    if (served->kind == config::RuleKind::kBanner) {
      const auto rule = static_cast<std::uint8_t>(served->index);
      if (MovesBannerHead(config::BannerRules[rule], vehicle, position.z)) banners::SetBannerHead(position, i, rule);
      continue;  // a banner aircraft leaves no trail
    }
    const std::uint32_t now = host::HostTimeMs();
    vehicle.timeField = now - kTimeFieldLagMs;
    const auto rule = static_cast<std::uint8_t>(served->index);
    if (HasTrailSlot(i) && IsAboveTrailHeight(config::TrailRules[rule], position.z)) {
      AddTrailPointAt(Trails[i], position, now, rule);
    }
  }
}

}  // namespace trails
