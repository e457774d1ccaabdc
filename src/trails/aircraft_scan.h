#pragma once

#include <cstdint>
#include <optional>

#include "banners/banner_chain.h"
#include "config/rules.h"
#include "config/settings.h"
#include "host/host.h"
#include "trails/trail_store.h"

namespace trails {
// Once per frame, the host's vehicle pool decides who leaves trail points and who tows a banner: the vehicle at
// pool index i feeds trail slot i or places the head of banner chain i.

// Walks the host vehicle pool: each aircraft is served by the rule its model has (config/rules.h). Trail aircraft
// above their rule's Height add a trail point, banner aircraft that meet their rule's conditions move their banner
// head; either slot remembers the rule. Vehicles at pool index 50 or above have no slot and get neither.
void ScanAircraft();

// The scan's rules, for one vehicle in use. Inline, and each a single test: the scan applies them to every vehicle
// in every frame, and combines them in its own code.

// Left alone whatever its model.
inline bool IsExcluded(const host::HostVehicle& vehicle) {
  return (vehicle.status & host::kVehicleStatusMask) == host::kVehicleStatusExcluded;
}

// Pool index `index` (0 or more) has a trail slot.
inline bool HasTrailSlot(std::int32_t index) { return index < kTrailSlots; }

inline bool IsAboveTrailHeight(const config::TrailRule& rule, float z) { return z > rule.height; }

// For an aircraft of banner rule `rule` flying at height `z`.
inline bool MovesBannerHead(const config::BannerRule& rule, const host::HostVehicle& vehicle, float z) {
  return (z > rule.height && rule.onlyAtAltitude) ||
         (rule.whenPilotIsInside && (vehicle.driver != nullptr || rule.alwaysAppear));
}

enum class ScanOutcome { kNothing, kTrailPoint, kBannerHead };

// What ScanAircraft does for the vehicle in use at pool index `index` (0 or more) with the rules as they are: adds a
// trail point, moves a banner head, or neither. A trail aircraft gets its time field written either way, and never
// tows a banner.
inline ScanOutcome OutcomeOf(const host::HostVehicle& vehicle, std::int32_t index) {
  if (IsExcluded(vehicle)) return ScanOutcome::kNothing;
  const std::optional<config::RuleRef> served = config::RuleServing(vehicle.model);
  if (!served) return ScanOutcome::kNothing;
  const float z = host::PositionOf(vehicle.placement).z;
  if (served->kind == config::RuleKind::kTrail) {
    const config::TrailRule& rule = config::TrailRules[served->index];
    return HasTrailSlot(index) && IsAboveTrailHeight(rule, z) ? ScanOutcome::kTrailPoint : ScanOutcome::kNothing;
  }
  const config::BannerRule& rule = config::BannerRules[served->index];
  return MovesBannerHead(rule, vehicle, z) && banners::HasBannerSlot(index) ? ScanOutcome::kBannerHead
                                                                            : ScanOutcome::kNothing;
}

}  // namespace trails
