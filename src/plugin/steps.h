#pragma once
// The plug-in's work at the two host calls it runs each frame, in their order. Nothing here hooks anything: the
// plug-in's callbacks run these after the host's routines, and the browser preview, which plays the host without
// hooks, runs them itself. Inline, so that the DLL's callbacks are what they were.

#include "banners/banner_chain.h"
#include "banners/banner_render.h"
#include "config/settings.h"
#include "trails/aircraft_scan.h"
#include "trails/sky_trails.h"
#include "trails/trail_render.h"

namespace plugin {

// After the host's per-frame processing, with the vehicle pool current. The banners step before the scan puts
// their heads on this frame's aircraft.
inline void FrameStep() {
  banners::UpdateBanners();
  if (config::ReplaceTrailsInTheSky) trails::UpdateSkyTrails();
  trails::ScanAircraft();
}

// After the host's drawing routine, inside its drawing pass: the banners, then the trails over them.
inline void DrawStep() {
  banners::DrawBanners();
  trails::DrawTrails();
}

}  // namespace plugin
