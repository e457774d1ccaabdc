// The plug-in library: the one global object that attaches the plug-in to the host's events. From then on the
// plug-in has no control flow of its own: each hooked host call runs one of the callbacks below before or
// after the host's routine.

#include "banners/banner_chain.h"
#include "banners/banner_texture.h"
#include "config/settings.h"
#include "follow_ini.h"
#include "hooks/host_events.h"
#include "host/init_order.h"
#include "steps.h"
#include "trails/sky_trails.h"
#include "trails/trail_store.h"
#include "zephrel_log.h"

namespace plugin {
namespace {

// After the host's start-up routine: its texture dictionaries can be loaded now.
void StartupCallback() {
  banners::InitBanners();
  trails::ResetTrails();
  const IniRead ini = ReadSettings();
  // The cloths the banner rules name besides "Banner", now that the settings have named them.
  banners::LoadBannerRuleTextures();
  trails::InstallSkyTrailRedirect();
  WriteStartupLog(ini);
}

// After the host's re-initialisation routine.
void ReinitCallback() { AppendReinitLog(ReadSettings()); }

// After the host's per-frame processing. A saved Zephrel.ini is read first, so that the whole frame uses one set
// of settings.
void FrameCallback() {
  FollowIniChanges();
  FrameStep();
}

// Before the host's shutdown routine, while its textures can still be destroyed.
void ShutdownCallback() { banners::DestroyBannerTexture(); }

// After the host's drawing routine, inside its drawing pass.
void DrawCallback() { DrawStep(); }

// The plug-in's attachment to the host: constructing it adds the five callbacks to their events. Each
// registration is the first on its event and so hooks the event's call sites on the spot (on the builds the
// plug-in serves), before the host reaches any of them.
class HostAttachment {
 public:
  HostAttachment() {
    hostStartupEvent().AddCallback(hostStartupEvent().afterCallbacks, StartupCallback, 0);
    hostReinitEvent().AddCallback(hostReinitEvent().afterCallbacks, ReinitCallback, 0);
    hostFrameEvent().AddCallback(hostFrameEvent().afterCallbacks, FrameCallback, 0);
    hostShutdownEvent().AddCallback(hostShutdownEvent().beforeCallbacks, ShutdownCallback, 0);
    hostDrawEvent().AddCallback(hostDrawEvent().afterCallbacks, DrawCallback, 0);
  }
};

// After the host bindings (which detect the host build), whatever order the objects are linked in.
ZEPHREL_INIT_PLUGIN_OBJECT HostAttachment hostAttachment;

}  // namespace
}  // namespace plugin
