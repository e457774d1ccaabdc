#include "host/host_version.h"

#include "host/addresses.h"
#include "host/init_order.h"
#include "patching/patching.h"
#include "platform/platform.h"

namespace host {

std::int32_t DetectHostVersion() {
  // Call sites follow a moved image, but the host entries and data the plug-in uses stand where the build put
  // them: an image anywhere else is served like an unknown build, without reading it.
  if (patching::HostImageBase() != patching::kHostPreferredBase) return kUnknownBuild;
  for (const BuildProbe& probe : kBuildProbes) {
    // The image of another build, or another program, may not reach this far.
    if (!platform::IsMapped(patching::TranslateHostAddress(probe.address), 4)) continue;
    if (ReadHostDword(probe.address) == probe.word) return probe.build;
  }
  return kUnknownBuild;
}

std::int32_t GetHostVersion() {
  static const std::int32_t version = DetectHostVersion();
  return version;
}

std::uint32_t ReadHostDword(std::uint32_t hostAddress) {
  return patching::PeekWord32(patching::TranslateHostAddress(hostAddress), true).value_or(0);
}

std::uint32_t ResolveHostBinding(std::uint32_t hostAddress) {
  return patching::TranslateHostAddress(IsServedHostVersion(GetHostVersion()) ? hostAddress : 0);
}

namespace binding {
ZEPHREL_INIT_HOST_BINDINGS const HostBinding HostCamera{address::HostCamera};
ZEPHREL_INIT_HOST_BINDINGS const HostBinding IsSphereVisible{address::IsSphereVisible};
ZEPHREL_INIT_HOST_BINDINGS const HostBinding HostClockHour{address::HostClockHour};
}  // namespace binding

}  // namespace host
