#pragma once
// What each call site held when a hook first tried to take it over. That happens while the library loads,
// where nothing may be allocated or written to a file, so the outcome waits here in fixed memory until the
// plug-in's start-up writes it out.

#include <cstddef>
#include <cstdint>

namespace hook {

enum class SiteOutcome : std::uint8_t {
  kHooked,      // our call stands there now
  kNotACall,    // no relative call (E8) there: left alone
  kNotRead,     // its bytes could not be read: left alone
  kNotWritten,  // a relative call, but ours could not be written over it: left alone
};

struct SiteReport {
  std::uint32_t address;  // of the call instruction, in the host build
  SiteOutcome outcome;
  std::uint8_t bytes[5];  // what stood there before, unless it could not be read
};

// More than the six sites of the plug-in, for the tests' own sites; reports past it are dropped.
inline constexpr std::size_t kSiteReportCapacity = 16;

// Keeps the outcome at `address`, replacing an earlier one there. `bytes` (five of them) may be null.
void ReportSite(std::uint32_t address, SiteOutcome outcome, const std::uint8_t* bytes) noexcept;

// The last outcome at `address`; null when no hook has tried it.
const SiteReport* FindSiteReport(std::uint32_t address) noexcept;

}  // namespace hook
