#pragma once
// Slots for the aircraft past the first 50 of the vehicle pool. A slot is a trail record and a banner chain of the
// same number, and the aircraft at pool index i below 50 has slot i, always. An aircraft further up the pool borrows
// a slot that no aircraft of its own uses (nor, while they may run, the sky trails: 47 to 49) when it first lays a
// trail point or moves its banner, and keeps it while it stays an aircraft of a rule, of the same model, at its pool
// index. Lending takes the lowest-numbered slot that holds nothing to show, else the lowest-numbered one where the
// trail or banner of an aircraft that is gone still fades (which then goes). When the aircraft of a lent slot's own
// pool index comes, or the sky trails, the borrower moves to another slot, its trail and banner with it; with none
// left it loses them and waits. Aircraft that find no slot wait; slots go to them in pool order as they free up.
// Fixed arrays; nothing is allocated.

#include <cstdint>
#include <cstring>

#include "banners/banner_chain.h"
#include "config/settings.h"
#include "host/host.h"
#include "trails/trail_store.h"

namespace trails {

static_assert(kTrailSlots == banners::kBannerSlots, "a slot is a trail record and a banner chain");

// A slot lent to the aircraft at pool index `index` (kTrailSlots or above), which had `model` when it borrowed it.
struct Lease {
  std::int32_t index;
  std::uint16_t model;
  std::uint8_t slot;  // kNoSlot once taken back with no other slot to move to
  std::uint8_t unused;
};
static_assert(sizeof(Lease) == 8);
inline constexpr std::uint8_t kNoSlot = 0xFF;

// The leases in force, in pool order, and how many there are.
extern Lease Leases[kTrailSlots];
extern int LeaseCount;

// Whether each slot is lent.
extern bool SlotLent[kTrailSlots];

// The slot lent to the aircraft at pool index `index`, or -1. For the browser preview's marks and the tests; the scan
// meets the leases in order instead.
inline int LentSlotOf(std::int32_t index) {
  for (int k = 0; k < LeaseCount; ++k) {
    if (Leases[k].index == index) return Leases[k].slot != kNoSlot ? Leases[k].slot : -1;
  }
  return -1;
}

// Ends every lease; the slots keep what they hold. At the game's start.
void EndLeases();

// Before the scan meets the aircraft: moves each borrower off a slot whose own pool index now holds an aircraft of a
// rule, to a free slot with its trail and banner, or, with none left, it loses them and waits. The slot is left empty.
void TakeBackOwnSlots(const host::HostVehiclePool& pool, std::uint32_t now);

// Before the sky trails add their points: moves each borrower off their slots.
void TakeBackSkySlots();

// The scan's walk of the aircraft past the first 50, in pool order. It meets the leases in force in the same order and
// keeps them where they are, those that end leaving gaps that the next kept or new lease fills.
struct LeaseWalk {
  int met;   // the leases in force that the walk has passed
  int kept;  // the leases it keeps, or makes, so far: Leases[0, kept)
  const host::HostVehiclePool* pool;
  std::uint32_t now;
  bool full;  // no slot was left to lend in this walk
};
inline LeaseWalk StartLeaseWalk(const host::HostVehiclePool& pool, std::uint32_t now) {
  return {0, 0, &pool, now, false};
}

// SlotFor, when the next lease in force is not simply `vehicle`'s: the leases of aircraft the walk passed end, and a
// slot may be lent.
[[gnu::cold]] int SlotForUnmatched(LeaseWalk& walk, std::int32_t index, const host::HostVehicle& vehicle, bool wantsOne,
                                   const host::Vector3& position, config::RuleKind kind);

// The slot for `vehicle`, an aircraft of a rule of `kind` at pool index `index`: the one it holds, else, when it
// `wantsOne` (it lays a trail point or moves its banner in this frame), one lent to it now at `position`; -1 while
// it waits. Asked once for each aircraft of a rule the walk meets, in pool order. Inline: an aircraft that keeps
// its slot, as nearly all do in a frame, costs a few compares.
inline int SlotFor(LeaseWalk& walk, std::int32_t index, const host::HostVehicle& vehicle, bool wantsOne,
                   const host::Vector3& position, config::RuleKind kind) {
  if (walk.met < LeaseCount) {
    const Lease& held = Leases[walk.met];
    if (held.index == index && held.model == vehicle.model && held.slot != kNoSlot) {
      // Kept where it is, but after a lease that ended.
      if (walk.kept != walk.met) std::memcpy(&Leases[walk.kept], &held, sizeof held);
      ++walk.met;
      ++walk.kept;
      return held.slot;
    }
  }
  return SlotForUnmatched(walk, index, vehicle, wantsOne, position, kind);
}

// Ends the leases whose aircraft the walk did not meet (their slots keep what they hold) and puts the walk's in force.
inline void FinishLeaseWalk(const LeaseWalk& walk) {
  for (int k = walk.met; k < LeaseCount; ++k) {
    if (Leases[k].slot != kNoSlot) SlotLent[Leases[k].slot] = false;
  }
  LeaseCount = walk.kept;
}

}  // namespace trails
