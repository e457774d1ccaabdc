#include "trails/slot_lending.h"

#include <cstring>

#include "trails/sky_trails.h"
#include "trails/trail_render.h"

namespace trails {

namespace {

void Release(const Lease& lease) {
  if (lease.slot != kNoSlot) SlotLent[lease.slot] = false;
}

bool IsSkyTrailSlot(int slot) { return slot >= kFirstSkyTrailSlot && slot < kFirstSkyTrailSlot + 3; }

// An aircraft of a rule holds its slot whether or not it lays a trail point or moves its banner in a frame: in use,
// not left alone, and of a model a rule serves.
bool PoolHoldsRuleAircraft(const host::HostVehiclePool& pool, std::int32_t index) {
  if (index >= pool.count || pool.flags[index] < 0) return false;
  const host::HostVehicle& vehicle = pool.entries[index];
  return (vehicle.status & host::kVehicleStatusMask) != host::kVehicleStatusExcluded &&
         config::RuleServing(vehicle.model).has_value();
}

// Nothing to show: no live trail point and no active banner.
bool HoldsNothing(int slot, std::uint32_t now) {
  for (const std::uint32_t time : Trails[slot].times) {
    // Expired points keep their timestamps until the trail is next drawn in view.
    if (time != 0 && static_cast<std::int32_t>(now - time) <= kTrailLifeMs) return false;
  }
  return !banners::IsBannerActive(banners::BannerChains[slot]);
}

// A slot that no aircraft uses: not lent, not the sky trails' while they may run, and not that of an aircraft of a
// rule at its own pool index. The first that holds nothing, else the first whose remains of an aircraft that is
// gone go; -1 when there is none.
[[gnu::cold]] int FreeSlot(const host::HostVehiclePool* pool, std::uint32_t now) {
  const bool skyTrails = SkyTrailsMayRun();
  int fading = -1;
  for (int slot = 0; slot < kTrailSlots; ++slot) {
    if (SlotLent[slot] || (skyTrails && IsSkyTrailSlot(slot))) continue;
    if (pool != nullptr && PoolHoldsRuleAircraft(*pool, slot)) continue;
    if (HoldsNothing(slot, now)) return slot;
    if (fading < 0) fading = slot;
  }
  return fading;
}

// Moves a borrower, its trail and its banner with it, to a free slot, or takes its slot from it when none is left.
// Its former slot is left empty for its own aircraft.
void MoveBorrower(Lease& lease, const host::HostVehiclePool* pool, std::uint32_t now) {
  const int from = lease.slot;
  const int to = FreeSlot(pool, now);
  if (to >= 0) {
    Trails[to] = Trails[from];
    banners::BannerChains[to] = banners::BannerChains[from];
    SlotLent[to] = true;
  }
  SlotLent[from] = false;
  lease.slot = to >= 0 ? static_cast<std::uint8_t>(to) : kNoSlot;
  EmptyTrail(Trails[from]);
  banners::ParkBanner(banners::BannerChains[from]);
}

// The host's pool, when it has its arrays.
const host::HostVehiclePool* UsablePool() {
  const host::HostVehiclePool* pool = host::GetHostVehiclePool();
  return pool != nullptr && pool->entries != nullptr && pool->flags != nullptr ? pool : nullptr;
}

}  // namespace

Lease Leases[kTrailSlots];
int LeaseCount = 0;
bool SlotLent[kTrailSlots];

void EndLeases() {
  for (bool& lent : SlotLent) lent = false;
  LeaseCount = 0;
}

void TakeBackOwnSlots(const host::HostVehiclePool& pool, std::uint32_t now) {
  // Every frame with slots lent: the pool's fields are read once.
  const std::int32_t owned = pool.count < kTrailSlots ? pool.count : kTrailSlots;
  const std::int8_t* const flags = pool.flags;
  const host::HostVehicle* const entries = pool.entries;
  for (int k = 0; k < LeaseCount; ++k) {
    const int slot = Leases[k].slot;  // kNoSlot is not below `owned`
    if (slot >= owned || flags[slot] < 0) continue;
    // The model first: in a busy pool the vehicle there is most often of no rule.
    const host::HostVehicle& vehicle = entries[slot];
    if (!config::RuleServing(vehicle.model)) continue;
    if ((vehicle.status & host::kVehicleStatusMask) != host::kVehicleStatusExcluded)
      MoveBorrower(Leases[k], &pool, now);
  }
}

void TakeBackSkySlots() {
  if (!SlotLent[kFirstSkyTrailSlot] && !SlotLent[kFirstSkyTrailSlot + 1] && !SlotLent[kFirstSkyTrailSlot + 2]) return;
  for (int k = 0; k < LeaseCount; ++k) {
    if (Leases[k].slot != kNoSlot && IsSkyTrailSlot(Leases[k].slot)) {
      MoveBorrower(Leases[k], UsablePool(), host::HostTimeMs());
    }
  }
}

[[gnu::cold]] int SlotForUnmatched(LeaseWalk& walk, std::int32_t index, const host::HostVehicle& vehicle, bool wantsOne,
                                   const host::Vector3& position, config::RuleKind kind) {
  // A lease the walk has passed without meeting its aircraft ends: the aircraft is gone.
  while (walk.met < LeaseCount && Leases[walk.met].index < index) Release(Leases[walk.met++]);
  if (walk.met < LeaseCount && Leases[walk.met].index == index) {
    const Lease held = Leases[walk.met++];
    if (held.model == vehicle.model && held.slot != kNoSlot) {
      Leases[walk.kept++] = held;
      return held.slot;
    }
    // Another model at the lease's index is another aircraft: it does not take over the trail of the one that left.
    // A lease taken back with no other slot to move to holds none.
    Release(held);
  }
  if (!wantsOne || walk.full) return -1;
  const int slot = FreeSlot(walk.pool, walk.now);
  if (slot < 0) {
    walk.full = true;
    return -1;
  }
  if (walk.kept == walk.met) {
    // No gap left by an ended lease: the leases not yet met move up one. (Each holds a slot, or lost its slot to its
    // own aircraft, so with a slot free there is room; the test keeps the array's bounds whatever comes.)
    if (LeaseCount == kTrailSlots) return -1;
    std::memmove(&Leases[walk.met + 1], &Leases[walk.met],
                 sizeof(Lease) * static_cast<std::size_t>(LeaseCount - walk.met));
    ++walk.met;
    ++LeaseCount;
  }
  Leases[walk.kept++] = {index, vehicle.model, static_cast<std::uint8_t>(slot), 0};
  SlotLent[slot] = true;
  EmptyTrail(Trails[slot]);
  banners::BannerChain& chain = banners::BannerChains[slot];
  if (kind == config::RuleKind::kBanner) {
    // Rolled up on the aircraft, the banner unrolls behind it as it flies.
    for (host::Vector3& point : chain.points) point = position;
  } else {
    banners::ParkBanner(chain);
  }
  return slot;
}

}  // namespace trails
