// The plug-in library: the core, and the one global object that attaches the plug-in to the host's events.
// From then on the plug-in has no control flow of its own: each hooked host call runs one of the callbacks
// below before or after the host's routine.

#include "banners/banner_chain.h"
#include "banners/banner_render.h"
#include "banners/banner_texture.h"
#include "config/settings.h"
#include "frame/host_events.h"
#include "frame/init_order.h"
#include "trails/aircraft_scan.h"
#include "trails/sky_trails.h"
#include "trails/trail_render.h"
#include "trails/trail_store.h"

namespace {

// After the host's start-up routine: its texture dictionaries can be loaded now.
void StartupCallback() {
  InitBanners();
  ResetTrails();
  config::LoadSettings();
  InstallSkyTrailRedirect();
}

// After the host's re-initialisation routine.
void ReinitCallback() { config::LoadSettings(); }

// After the host's per-frame processing, with the vehicle pool current.
void FrameCallback() {
  UpdateBanners();
  if (config::ReplaceTrailsInTheSky) UpdateSkyTrails();
  ScanAircraft();
}

// Before the host's shutdown routine, while its textures can still be destroyed.
void ShutdownCallback() { DestroyBannerTexture(); }

// After the host's drawing routine, inside its drawing pass.
void DrawCallback() {
  DrawBanners();
  DrawTrails();
}

class Corvanti {
 public:
  // Each registration is the first on its event and so hooks the event's call sites on the spot (on the
  // builds the plug-in serves), before the host reaches any of them.
  Corvanti() {
    plugin::hostStartupEvent().AddCallback(plugin::hostStartupEvent().afterCallbacks, StartupCallback, 0);
    plugin::hostReinitEvent().AddCallback(plugin::hostReinitEvent().afterCallbacks, ReinitCallback, 0);
    plugin::hostFrameEvent().AddCallback(plugin::hostFrameEvent().afterCallbacks, FrameCallback, 0);
    plugin::hostShutdownEvent().AddCallback(plugin::hostShutdownEvent().beforeCallbacks, ShutdownCallback, 0);
    plugin::hostDrawEvent().AddCallback(plugin::hostDrawEvent().afterCallbacks, DrawCallback, 0);
  }
};

// After the host bindings (which detect the host build), whatever order the objects are linked in.
ZEPHREL_INIT_PLUGIN_OBJECT Corvanti corvanti;

}  // namespace
