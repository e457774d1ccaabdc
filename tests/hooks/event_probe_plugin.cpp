// A plug-in for the tests of loading and unloading: like the real one it registers on all five host events
// while it loads (before the shutdown routine, after the others); its callbacks mark the simulated host's
// call record, and so does its load when an event is installed.

#include "hooks/host_events.h"
#include "host/init_order.h"
#include "simhost.h"

namespace {

void Startup() { simhost::Mark("probe:startup"); }
void Reinit() { simhost::Mark("probe:reinit"); }
void Frame() { simhost::Mark("probe:frame"); }
void Shutdown() { simhost::Mark("probe:shutdown"); }
void Draw() { simhost::Mark("probe:draw"); }

template <class Event>
void Register(Event& event, typename Event::CallbackList& list, void (*callback)(), const char* installed) {
  event.AddCallback(list, callback);
  if (event.installed) simhost::Mark(installed);
}

struct EventProbe {
  EventProbe() {
    using namespace plugin;
    Register(hostStartupEvent(), hostStartupEvent().afterCallbacks, Startup, "probe:installed:startup");
    Register(hostReinitEvent(), hostReinitEvent().afterCallbacks, Reinit, "probe:installed:reinit");
    Register(hostFrameEvent(), hostFrameEvent().afterCallbacks, Frame, "probe:installed:frame");
    Register(hostShutdownEvent(), hostShutdownEvent().beforeCallbacks, Shutdown, "probe:installed:shutdown");
    Register(hostDrawEvent(), hostDrawEvent().afterCallbacks, Draw, "probe:installed:draw");
  }
};

ZEPHREL_INIT_PLUGIN_OBJECT EventProbe probe;

}  // namespace
