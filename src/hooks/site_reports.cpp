#include "hooks/site_reports.h"

#include <cstring>

namespace hook {

namespace {

// Zero-initialised before any constructor runs, so the first hook of the load can already report.
SiteReport reports[kSiteReportCapacity];
std::size_t reportCount = 0;

[[gnu::noinline]] SiteReport* Find(std::uint32_t address) {
  for (std::size_t i = 0; i < reportCount; ++i) {
    if (reports[i].address == address) return &reports[i];
  }
  return nullptr;
}

}  // namespace

void ReportSite(std::uint32_t address, SiteOutcome outcome, const std::uint8_t* bytes,
                std::uint32_t trampoline) noexcept {
  SiteReport* report = Find(address);
  if (report == nullptr) {
    if (reportCount == kSiteReportCapacity) return;
    report = &reports[reportCount++];
  }
  *report = SiteReport{address, outcome, SiteLeft::kNothing, {}, trampoline};
  if (bytes != nullptr) std::memcpy(report->bytes, bytes, sizeof report->bytes);
}

void ReportSiteLeft(std::uint32_t address, SiteLeft left) noexcept {
  if (SiteReport* report = Find(address)) report->left = left;
}

const SiteReport* FindSiteReport(std::uint32_t address) noexcept { return Find(address); }

}  // namespace hook
