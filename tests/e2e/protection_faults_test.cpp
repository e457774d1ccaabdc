// Protection changes that fail. Whichever request to make host code writable is refused while the plug-in
// loads and starts, host code holds its own instructions or the plug-in's whole ones, the game goes on, and
// unloading gives the host all of its code back.

#include <gtest/gtest.h>

#include <cstdio>

#include "patching/patching.h"
#include "protection_faults.h"
#include "story.h"
#include "support/code_scratch.h"

using namespace patching;

namespace story {
namespace {

using simhost::Site;

class ProtectionFaults : public Story {
 protected:
  // The host's own five bytes at `hostAddress`, or the plug-in's whole branch there; the page read+execute.
  // Returns whether the branch is the plug-in's.
  bool ExpectHostsOrOurs(std::uint32_t hostAddress, const std::vector<std::uint8_t>& pristine, std::uint8_t opcode) {
    const auto own = pristine.begin() + (hostAddress - simhost::kImageBase);
    const std::vector<std::uint8_t> now = simhost::ReadCode(hostAddress, 5);
    const bool ours = now != std::vector<std::uint8_t>(own, own + 5);
    if (ours) {
      EXPECT_EQ(now[0], opcode);
      EXPECT_TRUE(plugin().Contains(BranchTarget(simhost::At(hostAddress), false).value_or(0)));
    }
    EXPECT_EQ(testing_support::PageProtection(simhost::At(hostAddress)), "r-xp");
    return ours;
  }
};

TEST_P(ProtectionFaults, WhicheverChangeFailsDuringLoadAndStartUpNoHostCodeIsLeftHalfWritten) {
  WriteIni(Ini({{"ReplaceTrailsInTheSky", "1"}}));
  InstallBannerTexture();
  const std::vector<std::uint8_t> pristine = simhost::SnapshotCode();

  simhost::ArmProtectionFaults(0);
  Load();
  simhost::Startup();
  const int requests = simhost::DisarmProtectionFaults();
  ASSERT_GT(requests, 0);
  RecordProperty("ProtectionRequests", requests);
  ASSERT_TRUE(Unload());

  for (int failing = 1; failing <= requests; ++failing) {
    SCOPED_TRACE("request " + std::to_string(failing) + " of " + std::to_string(requests) + " refused");
    simhost::ResetHost();
    simhost::ResizePool(4);
    simhost::ArmProtectionFaults(failing);
    folder().Remove("Zephrel.log");
    Load();
    simhost::Startup();
    EXPECT_GE(simhost::DisarmProtectionFaults(), failing);
    // The log, written by the start-up callback, tells each site and the sky routine as they are.
    const std::string log = Log().value_or("");
    EXPECT_EQ(log.empty(), !ExpectHostsOrOurs(simhost::SiteAddress(Site::Startup), pristine, 0xE8));
    for (const Site site : simhost::kAllSites) {
      char address[16];
      std::snprintf(address, sizeof address, "0x%06X", simhost::SiteAddress(site));
      const bool hooked = ExpectHostsOrOurs(simhost::SiteAddress(site), pristine, 0xE8);
      if (!log.empty()) {
        EXPECT_EQ(LineWith(log, address).find(" hooked: ") != std::string::npos, hooked) << log;
      }
    }
    const bool redirected = ExpectHostsOrOurs(host::address::HostSkyTrailRoutine, pristine, 0xE9);
    if (!log.empty()) {
      EXPECT_EQ(log.find("0x7174F0: redirected") != std::string::npos, redirected) << log;
    }

    TwoPlanes planes;
    planes.Place();
    Fly(10);
    simhost::Reinit();
    simhost::Frame(kFrameMs);
    simhost::Shutdown();
    for (const auto& [site, runs] :
         {std::pair{Site::Startup, 1}, {Site::Frame, 11}, {Site::Draw, 11}, {Site::ReinitA, 1}, {Site::Shutdown, 1}}) {
      EXPECT_EQ(simhost::RoutineRuns(site), runs) << simhost::SiteName(site);
    }
    EXPECT_TRUE(simhost::CalleeSavedRegistersKept());

    ASSERT_TRUE(Unload());
    EXPECT_TRUE(simhost::SnapshotCode() == pristine);
    for (const Site site : simhost::kAllSites) EXPECT_EQ(simhost::RunSite(site), simhost::RoutineResult(site));
    const int skyRuns = simhost::SkyRoutineRuns();
    simhost::RunSkyRoutine();
    EXPECT_EQ(simhost::SkyRoutineRuns(), skyRuns + 1) << "the host's own sky routine";
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, ProtectionFaults,
                         ::testing::Values(simhost::PluginBuild::LinuxLibrary, simhost::PluginBuild::WindowsDll),
                         BuildName);

}  // namespace
}  // namespace story
