#include "trails/aircraft_scan.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "banners/banner_chain.h"
#include "config/rules.h"
#include "host/host.h"
#include "trails/slot_lending.h"
#include "trails/trail_store.h"

namespace trails {

namespace {

// The host wants the time field of a trail aircraft this far in the past, every frame.
constexpr std::uint32_t kTimeFieldLagMs = 20000;

// The aircraft past the first 50 of the pool, each in the slot it holds or borrows now. Not inlined: the walk of the
// first 50, the whole pool in most frames, keeps its code free of this one's.
[[gnu::noinline]] void ScanBorrowers(const host::HostVehiclePool& pool) {
  // Read once: the host's calls in the walk could change any memory, as far as the compiler knows.
  const std::int8_t* const flags = pool.flags;
  const std::int32_t count = pool.count;
  host::HostVehicle* vehicle = pool.entries + kTrailSlots;
  const std::uint32_t now = host::HostTimeMs();
  LeaseWalk walk = StartLeaseWalk(pool, now);
  for (std::int32_t i = kTrailSlots; i < count; ++i, ++vehicle) {
    if (flags[i] < 0) continue;  // free
    // The model first: most vehicles past the first 50 of a busy pool are of no rule.
    const std::optional<config::RuleRef> served = config::RuleServing(vehicle->model);
    if (!served || IsExcluded(*vehicle)) continue;
    const host::Vector3& position = host::PositionOf(vehicle->placement);
    const int rule = served->index;
    const bool banner = served->kind == config::RuleKind::kBanner;
    if (!banner) vehicle->timeField = now - kTimeFieldLagMs;
    const bool draws = banner ? MovesBannerHead(rule, *vehicle, position.z) : IsAboveTrailHeight(rule, position.z);
    const int slot = SlotFor(walk, i, *vehicle, draws, position, served->kind);
    if (!draws || slot < 0) continue;
    if (banner) {
      banners::SetBannerHead(position, slot, static_cast<std::uint8_t>(rule));
    } else {
      AddTrailPointAt(Trails[slot], position, now, static_cast<std::uint8_t>(rule));
    }
  }
  FinishLeaseWalk(walk);
}

}  // namespace

void ScanAircraft() {
  const host::HostVehiclePool* pool = host::GetHostVehiclePool();
  // A pool without its arrays has no entries to read, whatever its count says.
  if (pool == nullptr || pool->entries == nullptr || pool->flags == nullptr) {
    EndLeases();
    return;
  }
  // The aircraft at pool index i has slot i: its borrower moves off before the walk comes to it.
  if (LeaseCount != 0) TakeBackOwnSlots(*pool, host::HostTimeMs());
  // Slot i for the aircraft at pool index i.
  const std::int8_t* const flags = pool->flags;
  const std::int32_t owners = std::min(pool->count, kTrailSlots);
  host::HostVehicle* vehicle = pool->entries;
  for (std::int32_t i = 0; i < owners; ++i, ++vehicle) {
    if (flags[i] < 0) continue;  // free
    if (IsExcluded(*vehicle)) continue;

    // One lookup decides, whatever the number of rules: the table already says which rule serves the model, a
    // trail rule while it is enabled before a banner rule.
    const std::optional<config::RuleRef> served = config::RuleServing(vehicle->model);
    if (!served) continue;
    // Read where the host keeps it: the trail store and the banner chain copy it through the host's CopyVector.
    const host::Vector3& position = host::PositionOf(vehicle->placement);
    const int rule = served->index;
    if (served->kind == config::RuleKind::kTrail) {
      const std::uint32_t now = host::HostTimeMs();
      vehicle->timeField = now - kTimeFieldLagMs;
      if (IsAboveTrailHeight(rule, position.z)) {
        AddTrailPointAt(Trails[i], position, now, static_cast<std::uint8_t>(rule));
      }
      continue;  // a trail aircraft never tows a banner
    }
    if (MovesBannerHead(rule, *vehicle, position.z)) {
      banners::SetBannerHead(position, i, static_cast<std::uint8_t>(rule));
    }
  }
  if (pool->count > kTrailSlots || LeaseCount != 0) ScanBorrowers(*pool);
}

}  // namespace trails
