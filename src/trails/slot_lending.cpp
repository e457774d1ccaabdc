#include "trails/slot_lending.h"

#include "trails/sky_trails.h"
#include "trails/trail_render.h"

namespace trails {

namespace {

// The leases in force and those a walk makes for the next frame: a walk reads one list and writes the other.
LeaseList lists[2];
int inForce = 0;
bool lent[kTrailSlots];

LeaseList& InForce() { return lists[inForce]; }

void SetLeaseCount(int count) {
  InForce().count = count;
  LeaseCount = count;
}

void Release(const Lease& lease) {
  if (lease.slot != kNoSlot) lent[lease.slot] = false;
}

// Nothing to show: no live trail point and no active banner.
bool HoldsNothing(int slot, std::uint32_t now) {
  const TrailRecord& record = Trails[slot];
  for (const std::uint32_t time : record.times) {
    // Expired points keep their timestamps until the trail is next drawn in view.
    if (time != 0 && static_cast<std::int32_t>(now - time) <= kTrailLifeMs) return false;
  }
  return !banners::IsBannerActive(banners::BannerChains[slot]);
}

// A slot that no aircraft uses: not lent, not the sky trails' while they may run, and not that of an aircraft of a
// rule at its own pool index. The first that holds nothing, else the first whose remains of an aircraft that is
// gone go; -1 when there is none.
int FreeSlot(const host::HostVehiclePool* pool, std::uint32_t now) {
  const bool skyTrails = SkyTrailsMayRun();
  int fading = -1;
  for (int slot = 0; slot < kTrailSlots; ++slot) {
    if (lent[slot] || (skyTrails && slot >= kFirstSkyTrailSlot && slot < kFirstSkyTrailSlot + 3)) continue;
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
    lent[to] = true;
  }
  lent[from] = false;
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

int LeaseCount = 0;

const LeaseList& Leases() { return InForce(); }

int LentSlotOf(std::int32_t index) {
  const LeaseList& list = InForce();
  for (int k = 0; k < list.count; ++k) {
    if (list.leases[k].index == index) return list.leases[k].slot != kNoSlot ? list.leases[k].slot : -1;
  }
  return -1;
}

bool IsLent(int slot) { return slot >= 0 && slot < kTrailSlots && lent[slot]; }

void EndLeases() {
  for (bool& slot : lent) slot = false;
  SetLeaseCount(0);
}

bool PoolHoldsRuleAircraft(const host::HostVehiclePool& pool, std::int32_t index) {
  if (index >= pool.count || pool.flags[index] < 0) return false;
  const host::HostVehicle& vehicle = pool.entries[index];
  return (vehicle.status & host::kVehicleStatusMask) != host::kVehicleStatusExcluded &&
         config::RuleServing(vehicle.model).has_value();
}

void TakeBackOwnSlots(const host::HostVehiclePool& pool, std::uint32_t now) {
  LeaseList& list = InForce();
  for (int k = 0; k < list.count; ++k) {
    Lease& lease = list.leases[k];
    if (lease.slot != kNoSlot && PoolHoldsRuleAircraft(pool, lease.slot)) MoveBorrower(lease, &pool, now);
  }
}

void TakeBackSkySlots() {
  if (!lent[kFirstSkyTrailSlot] && !lent[kFirstSkyTrailSlot + 1] && !lent[kFirstSkyTrailSlot + 2]) return;
  LeaseList& list = InForce();
  for (int k = 0; k < list.count; ++k) {
    Lease& lease = list.leases[k];
    if (lease.slot >= kFirstSkyTrailSlot && lease.slot < kFirstSkyTrailSlot + 3) {
      MoveBorrower(lease, UsablePool(), host::HostTimeMs());
    }
  }
}

LeaseWalk StartLeaseWalk(const host::HostVehiclePool& pool, std::uint32_t now) { return {&pool, now, 0, 0, false}; }

int SlotFor(LeaseWalk& walk, std::int32_t index, const host::HostVehicle& vehicle, bool wantsOne,
            const host::Vector3& position, config::RuleKind kind) {
  const LeaseList& before = InForce();
  LeaseList& after = lists[1 - inForce];
  // A lease the walk has passed without meeting its aircraft ends: the aircraft is gone.
  while (walk.met < before.count && before.leases[walk.met].index < index) Release(before.leases[walk.met++]);
  int slot = -1;
  if (walk.met < before.count && before.leases[walk.met].index == index) {
    const Lease& held = before.leases[walk.met++];
    // Another model at the index is another aircraft: it does not take over the trail of the one that left.
    if (held.model == vehicle.model && held.slot != kNoSlot) {
      slot = held.slot;
    } else {
      Release(held);
    }
  }
  if (slot < 0 && wantsOne && !walk.full) {
    slot = FreeSlot(walk.pool, walk.now);
    if (slot < 0) {
      walk.full = true;
      return -1;
    }
    lent[slot] = true;
    EmptyTrail(Trails[slot]);
    banners::BannerChain& chain = banners::BannerChains[slot];
    if (kind == config::RuleKind::kBanner) {
      // Rolled up on the aircraft, the banner unrolls behind it as it flies.
      for (host::Vector3& point : chain.points) point = position;
    } else {
      banners::ParkBanner(chain);
    }
  }
  if (slot < 0) return -1;
  after.leases[walk.kept++] = {index, vehicle.model, static_cast<std::uint8_t>(slot)};
  return slot;
}

void FinishLeaseWalk(LeaseWalk& walk) {
  const LeaseList& before = InForce();
  while (walk.met < before.count) Release(before.leases[walk.met++]);
  inForce = 1 - inForce;
  SetLeaseCount(walk.kept);
}

}  // namespace trails
