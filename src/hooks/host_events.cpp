#include "hooks/host_events.h"

namespace plugin {

// Each event is made on first use, so that it exists before the site hooks it installs and goes after them.
HostStartupEvent& hostStartupEvent() {
  static HostStartupEvent event;
  return event;
}

HostReinitEvent& hostReinitEvent() {
  static HostReinitEvent event;
  return event;
}

HostFrameEvent& hostFrameEvent() {
  static HostFrameEvent event;
  return event;
}

HostShutdownEvent& hostShutdownEvent() {
  static HostShutdownEvent event;
  return event;
}

HostDrawEvent& hostDrawEvent() {
  static HostDrawEvent event;
  return event;
}

}  // namespace plugin
