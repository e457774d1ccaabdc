#pragma once

#include <cstdint>
#include <optional>

#include "banners/banner_chain.h"
#include "config/rules.h"
#include "config/settings.h"
#include "host/host.h"
#include "trails/slot_lending.h"
#include "trails/trail_store.h"

namespace trails {
// Once per frame, the host's vehicle pool decides who leaves trail points and who tows a banner: the vehicle at
// pool index i below 50 feeds trail slot i or places the head of banner chain i, one further up the pool the slot it
// borrows (slot_lending.h).

// Walks the host vehicle pool: each aircraft is served by the rule its model has (config::RuleServing). Trail aircraft
// above their rule's Height add a trail point, banner aircraft that meet their rule's conditions move their banner
// head; either slot remembers the rule. An aircraft past the first 50 of the pool is served while a slot is left.
void ScanAircraft();

// The scan's rules, for one vehicle in use. Inline, and each a single test: the scan applies them to every vehicle
// in every frame, and combines them in its own code.

// Left alone whatever its model.
inline bool IsExcluded(const host::HostVehicle& vehicle) {
  return (vehicle.status & host::kVehicleStatusMask) == host::kVehicleStatusExcluded;
}

// The aircraft at pool index `index` (0 or more) has a slot now: its own, or one lent to it.
inline bool HasSlot(std::int32_t index) { return index < kTrailSlots || LentSlotOf(index) >= 0; }

// For an aircraft of trail rule `rule` flying at height `z`.
inline bool IsAboveTrailHeight(int rule, float z) { return z > config::InEffect.trailRules.Height[rule]; }

// For an aircraft of banner rule `rule` flying at height `z`.
inline bool MovesBannerHead(int rule, const host::HostVehicle& vehicle, float z) {
  const config::Rules& rules = config::InEffect.bannerRules;
  return (z > rules.HeightForBanner[rule] && rules.AppearOnlyAtAltitude[rule]) ||
         (rules.AppearWhenPilotIsInside[rule] && (vehicle.driver != nullptr || rules.AlwaysAppear[rule]));
}

enum class ScanOutcome { kNothing, kTrailPoint, kBannerHead };

// What ScanAircraft does for the vehicle in use at pool index `index` (0 or more) with the rules as they are: adds a
// trail point, moves a banner head, or neither; past the first 50 of the pool, as the last scan lent the slots. A
// trail aircraft gets its time field written either way, and never tows a banner.
inline ScanOutcome OutcomeOf(const host::HostVehicle& vehicle, std::int32_t index) {
  if (IsExcluded(vehicle)) return ScanOutcome::kNothing;
  const std::optional<config::RuleRef> served = config::RuleServing(vehicle.model);
  if (!served) return ScanOutcome::kNothing;
  const float z = host::PositionOf(vehicle.placement).z;
  if (served->kind == config::RuleKind::kTrail) {
    return IsAboveTrailHeight(served->index, z) && HasSlot(index) ? ScanOutcome::kTrailPoint : ScanOutcome::kNothing;
  }
  return MovesBannerHead(served->index, vehicle, z) && HasSlot(index) ? ScanOutcome::kBannerHead
                                                                      : ScanOutcome::kNothing;
}

}  // namespace trails
