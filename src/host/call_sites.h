#pragma once
// The six call instructions of the host that the plug-in takes over, in one list: the events hook them, the
// log reports on them in this order, and the simulated host puts the host's own calls there.

#include <cstdint>
#include <iterator>

#include "host/addresses.h"

namespace host {

enum class CallSite { Startup, ReinitA, ReinitB, Frame, Shutdown, Draw };

struct CallSiteInfo {
  CallSite site;
  std::uint32_t address;  // of the call instruction, in the host build
  const char* name;       // as the log names it
};

inline constexpr CallSiteInfo kCallSites[] = {
    {CallSite::Startup, address::StartupCallSite, "start-up"},
    {CallSite::ReinitA, address::ReinitCallSiteA, "re-initialisation A"},
    {CallSite::ReinitB, address::ReinitCallSiteB, "re-initialisation B"},
    {CallSite::Frame, address::FrameCallSite, "each frame"},
    {CallSite::Shutdown, address::ShutdownCallSite, "shutdown"},
    {CallSite::Draw, address::DrawCallSite, "drawing"},
};

constexpr const CallSiteInfo& InfoOf(CallSite site) { return kCallSites[static_cast<int>(site)]; }
constexpr std::uint32_t AddressOf(CallSite site) { return InfoOf(site).address; }

// The list is in the order of the enumeration, which InfoOf relies on.
static_assert([] {
  for (int i = 0; i < static_cast<int>(std::size(kCallSites)); ++i) {
    if (static_cast<int>(kCallSites[i].site) != i) return false;
  }
  return true;
}());

}  // namespace host
