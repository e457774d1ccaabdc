// The plug-in library: the one global object that attaches the plug-in to the host's events. From then on the
// plug-in has no control flow of its own: each hooked host call runs one of the callbacks below before or
// after the host's routine.

#include "banners/banner_texture.h"
#include "config/settings.h"
#include "follow_ini.h"
#include "hooks/host_events.h"
#include "host/init_order.h"
#include "steps.h"
#include "trails/sky_trails.h"
#include "zephrel_log.h"

namespace plugin {
namespace {

// After the host's start-up routine.
void StartupCallback() {
  const IniRead ini = StartupStep(ReadSettings);
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

// Tells the log, as the library goes, what the unloading left in the game's code.
struct UnloadLog {
  ~UnloadLog() { AppendUnloadLog(); }
};

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

// Made before the attachment and so before the events and site hooks it makes, it goes after them: by then every
// site is given back or left.
ZEPHREL_INIT_PLUGIN_OBJECT UnloadLog unloadLog;

// After the host bindings (which detect the host build), whatever order the objects are linked in.
ZEPHREL_INIT_PLUGIN_OBJECT HostAttachment hostAttachment;

}  // namespace
}  // namespace plugin
