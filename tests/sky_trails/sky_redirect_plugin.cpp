// Loads like the plug-in does, with ReplaceTrailsInTheSky on and nothing but the sky-trail redirect.

#include "config/settings.h"
#include "host/init_order.h"
#include "trails/sky_trails.h"

using namespace config;
using namespace trails;

namespace {

struct RedirectAtLoad {
  RedirectAtLoad() {
    InEffect.ReplaceTrailsInTheSky = true;
    InstallSkyTrailRedirect();
  }
};

ZEPHREL_INIT_PLUGIN_OBJECT RedirectAtLoad redirectAtLoad;

}  // namespace
