#pragma once
// What each call site held when a hook first tried to take it over, and what unloading left there. Both happen
// while the library loads or unloads, where nothing may be allocated, so the outcome waits here in fixed memory
// until the plug-in's start-up (or its unloading, last of all) writes it out.

#include <cstddef>
#include <cstdint>

namespace hook {

enum class SiteOutcome : std::uint8_t {
  kHooked,        // our call stands there now, to a trampoline of ours outside the library
  kHookedDirect,  // our call stands there now, straight into the library: no trampoline could be had
  kNotACall,      // no relative call (E8) there: left alone
  kNotRead,       // its bytes could not be read: left alone
  kNotWritten,    // a relative call, but ours could not be written over it: left alone
};

// What unloading left at a hooked site that it could not simply give back.
enum class SiteLeft : std::uint8_t {
  kNothing,               // given back, left to whoever rewrote it, or not unloaded yet
  kTrampolineForTool,     // another tool's call stands there: the trampoline it reaches stays, on to the routine
  kTrampolineNotPutBack,  // our call could not be taken back: the trampoline stays, on to the routine
  kCallIntoLibrary,       // hooked directly, and another tool's call or ours still leads into the library
};

struct SiteReport {
  std::uint32_t address;  // of the call instruction, in the host build
  SiteOutcome outcome;
  SiteLeft left;
  std::uint8_t bytes[5];     // what stood there before, unless it could not be read
  std::uint32_t trampoline;  // the one the site calls when hooked through one, else 0
};

// More than the six sites of the plug-in, for the tests' own sites; reports past it are dropped.
inline constexpr std::size_t kSiteReportCapacity = 16;

// Keeps the outcome at `address`, replacing an earlier one there. `bytes` (five of them) may be null.
void ReportSite(std::uint32_t address, SiteOutcome outcome, const std::uint8_t* bytes,
                std::uint32_t trampoline = 0) noexcept;

// Adds what unloading left at `address` to its report.
void ReportSiteLeft(std::uint32_t address, SiteLeft left) noexcept;

// The last outcome at `address`; null when no hook has tried it.
const SiteReport* FindSiteReport(std::uint32_t address) noexcept;

}  // namespace hook
