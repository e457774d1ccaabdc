#pragma once
// The plug-in's own work at the host calls it follows, each step in its order. Nothing here hooks anything: the
// plug-in's callbacks run these after the host's routines, and the browser preview, which plays the host without
// hooks, runs them itself. Inline, as the callbacks' bodies.

#include <type_traits>

#include "banners/banner_chain.h"
#include "banners/banner_render.h"
#include "banners/banner_texture.h"
#include "config/settings.h"
#include "trails/aircraft_scan.h"
#include "trails/sky_trails.h"
#include "trails/slot_lending.h"
#include "trails/trail_render.h"
#include "trails/trail_store.h"

namespace plugin {

// After the host's start-up routine, when its texture dictionaries can be loaded: every banner chain parked and
// the texture loaded, every trail emptied and no slot lent, then the settings read by `readSettings`, whose result is
// returned, and the cloths the banner rules name besides "Banner", now that the settings have named them. The plug-in
// reads Zephrel.ini beside its module; the browser preview reads the text the player edits.
template <typename ReadSettings>
inline auto StartupStep(ReadSettings readSettings) {
  banners::InitBanners();
  trails::ResetTrails();
  trails::EndLeases();
  if constexpr (std::is_void_v<decltype(readSettings())>) {
    readSettings();
    banners::LoadBannerRuleTextures();
  } else {
    auto read = readSettings();
    banners::LoadBannerRuleTextures();
    return read;
  }
}

// After the host's per-frame processing, with the vehicle pool current. The banners step before the scan puts
// their heads on this frame's aircraft.
inline void FrameStep() {
  banners::UpdateBanners();
  if (config::InEffect.ReplaceTrailsInTheSky) trails::UpdateSkyTrails();
  trails::ScanAircraft();
}

// After the host's drawing routine, inside its drawing pass: the banners, then the trails over them.
inline void DrawStep() {
  banners::DrawBanners();
  trails::DrawTrails();
}

}  // namespace plugin
