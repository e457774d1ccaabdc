#include "frame/host_version.h"

#include "frame/init_order.h"
#include "frame/patching.h"
#include "host/addresses.h"
#include "platform/platform.h"

namespace {
constexpr std::uint32_t kHostPreferredBase = 0x400000;
}

std::int32_t DetectHostVersion() {
  // Call sites follow a moved image, but the host entries and data the plug-in uses stand where the build put
  // them: an image anywhere else is served like an unknown build, without reading it.
  if (HostImageBase() != kHostPreferredBase) return host::kUnknownBuild;
  for (const host::BuildProbe& probe : host::kBuildProbes) {
    // The image of another build, or another program, may not reach this far.
    if (!platform::IsMapped(TranslateHostAddress(probe.address), 4)) continue;
    if (ReadHostDword(probe.address) == probe.word) return probe.build;
  }
  return host::kUnknownBuild;
}

std::int32_t GetHostVersion() {
  static const std::int32_t version = DetectHostVersion();
  return version;
}

bool IsServedHostVersion(std::int32_t version) {
  return version == host::kBuild1001 || version == host::kBuild1002;
}

std::uint32_t HostImageBase() {
  static const std::uint32_t base = platform::ExecutableImageBase();
  return base;
}

std::uint32_t TranslateHostAddress(std::uint32_t hostAddress) {
  return HostImageBase() + (hostAddress - kHostPreferredBase);
}

std::uint32_t ReadHostDword(std::uint32_t hostAddress) {
  return PeekWord32(TranslateHostAddress(hostAddress), true).value_or(0);
}

std::uint32_t ResolveHostBinding(std::uint32_t hostAddress) {
  return TranslateHostAddress(IsServedHostVersion(GetHostVersion()) ? hostAddress : 0);
}

namespace binding {
ZEPHREL_INIT_HOST_BINDINGS const HostBinding HostCamera{host::address::HostCamera};
ZEPHREL_INIT_HOST_BINDINGS const HostBinding IsSphereVisible{host::address::IsSphereVisible};
ZEPHREL_INIT_HOST_BINDINGS const HostBinding HostClockHour{host::address::HostClockHour};
}  // namespace binding
