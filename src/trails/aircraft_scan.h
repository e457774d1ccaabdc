#pragma once

#include <cstdint>

#include "banners/banner_chain.h"
#include "config/settings.h"
#include "host/host.h"
#include "trails/trail_store.h"

namespace trails {
// Once per frame, the host's vehicle pool decides who leaves trail points and who tows a banner: the vehicle at
// pool index i feeds trail slot i or places the head of banner chain i.

// Walks the host vehicle pool: trail aircraft (the trail model, above Height) add a trail point, banner
// aircraft that meet the banner rule move their banner head. Vehicles at pool index 50 or above have no slot
// and get neither.
void ScanAircraft();

// The scan's rules, for one vehicle in use. Inline, and each a single test: the scan applies them to every vehicle
// in every frame, and combines them in its own code.

// Left alone whatever its model.
inline bool IsExcluded(const host::HostVehicle& vehicle) {
  return (vehicle.status & host::kVehicleStatusMask) == host::kVehicleStatusExcluded;
}

// Widened, so that a setting outside 0..65535 matches no model.
inline bool IsModel(std::uint16_t model, std::int32_t setting) { return static_cast<std::int32_t>(model) == setting; }

// Pool index `index` (0 or more) has a trail slot.
inline bool HasTrailSlot(std::int32_t index) { return index < kTrailSlots; }

inline bool IsAboveTrailHeight(float z) { return z > config::Height; }

// For a banner aircraft flying at height `z`.
inline bool MovesBannerHead(const host::HostVehicle& vehicle, float z) {
  return (z > config::HeightForBanner && config::AppearOnlyAtAltitude) ||
         (config::AppearWhenPilotIsInside && (vehicle.driver != nullptr || config::AlwaysAppear));
}

enum class ScanOutcome { kNothing, kTrailPoint, kBannerHead };

// What ScanAircraft does for the vehicle in use at pool index `index` (0 or more) with the settings as they are:
// adds a trail point, moves a banner head, or neither. A trail aircraft gets its time field written either way,
// and never tows a banner.
inline ScanOutcome OutcomeOf(const host::HostVehicle& vehicle, std::int32_t index) {
  if (IsExcluded(vehicle)) return ScanOutcome::kNothing;
  const float z = host::PositionOf(vehicle.placement).z;
  if (config::EnableTrail && IsModel(vehicle.model, config::ModelIDForTrail)) {
    return HasTrailSlot(index) && IsAboveTrailHeight(z) ? ScanOutcome::kTrailPoint : ScanOutcome::kNothing;
  }
  if (config::EnableBanner && IsModel(vehicle.model, config::ModelIDForBanner) && MovesBannerHead(vehicle, z) &&
      banners::HasBannerSlot(index)) {
    return ScanOutcome::kBannerHead;
  }
  return ScanOutcome::kNothing;
}

}  // namespace trails
