#include "steps.h"

#include "banners/banner_chain.h"
#include "banners/banner_render.h"
#include "config/settings.h"
#include "trails/aircraft_scan.h"
#include "trails/sky_trails.h"
#include "trails/trail_render.h"

namespace plugin {

// The banners step before the scan puts their heads on this frame's aircraft.
void FrameStep() {
  banners::UpdateBanners();
  if (config::ReplaceTrailsInTheSky) trails::UpdateSkyTrails();
  trails::ScanAircraft();
}

// The banners, then the trails over them.
void DrawStep() {
  banners::DrawBanners();
  trails::DrawTrails();
}

}  // namespace plugin
