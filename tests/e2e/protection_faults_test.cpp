// Protection changes that fail. Whichever request to make host code writable, or the plug-in's own code
// executable, is refused while the plug-in loads and starts, host code holds its own instructions or the
// plug-in's whole ones, the game goes on, and unloading gives the host all of its code back; beside a tool that
// hooked after the plug-in, the game goes on after the plug-in is unloaded first, whichever change fails then.

#include <gtest/gtest.h>

#include <algorithm>
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
      EXPECT_TRUE(plugin().Contains(LeadsTo(hostAddress)));
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

// With another tool hooked after Zephrel at two sites, requests refused while Zephrel loads and starts, or while
// it is unloaded first (one, or every one from there on): the game runs on, the tool's hooks and the game's
// routines with it, and once the tool is gone too every site leads to the game's own routine.
class ProtectionFaultsBesideATool : public ProtectionFaults {
 protected:
  struct Requests {
    int load = 0;
    int unload = 0;
    bool direct = false;    // a site was hooked without a trampoline
    bool notGiven = false;  // a site Zephrel still held could not be given back
  };

  // Loads, starts, lets the tool hook, flies, unloads, flies on and lets the tool go, refusing requests as asked
  // (numbered from the load's first, and from the unload's first); returns how many each counted.
  Requests Run(int failingAtLoad, int failingAtUnload, int unloadCount, const std::vector<std::uint8_t>& pristine) {
    simhost::ResetHost();
    simhost::ResizePool(4);
    folder().Remove("Zephrel.log");
    Requests counted;
    simhost::ArmProtectionFaults(failingAtLoad);
    Load();
    simhost::Startup();
    counted.load = simhost::DisarmProtectionFaults();
    const LaterTool<Site::Frame> frameTool;
    const LaterTool<Site::Draw> drawTool;
    TwoPlanes planes;
    planes.Place();
    Fly(5);

    simhost::ArmProtectionFaults(failingAtUnload, unloadCount);
    EXPECT_TRUE(Unload());
    counted.unload = simhost::DisarmProtectionFaults();
    for (const Site site : simhost::kAllSites) {
      SCOPED_TRACE(simhost::SiteName(site));
      const std::uint32_t address = simhost::SiteAddress(site);
      const auto own = pristine.begin() + (address - simhost::kImageBase);
      if (site != Site::Frame && site != Site::Draw && simhost::ReadCode(address, 5) != std::vector(own, own + 5)) {
        EXPECT_EQ(LeadsTo(address), simhost::At(simhost::RoutineAddress(site))) << "a trampoline left, on to it";
      }
      EXPECT_EQ(testing_support::PageProtection(simhost::At(address)), "r-xp");
    }
    // Zephrel's trampoline at each site where the tool found it is told as left.
    const std::string log = Log().value_or("");
    counted.direct = log.find("with no jump of Zephrel's own") != std::string::npos;
    counted.notGiven = log.find("could not be changed to give it back") != std::string::npos;
    const std::size_t unloaded = log.find("\nUnloaded, leaving:\n");
    for (const char* site : {"0x53E981", "0x726AD0"}) {
      if (log.empty() || LineWith(log, site).find(" hooked: ") == std::string::npos) continue;
      EXPECT_NE(LineWith(log.substr(std::min(unloaded, log.size())), site).find(": Zephrel's jump at 0x"),
                std::string::npos)
          << log;
    }

    Fly(30);
    EXPECT_EQ(frameTool.runs, 35);
    EXPECT_EQ(drawTool.runs, 35);
    EXPECT_EQ(simhost::RoutineRuns(Site::Frame), 35);
    EXPECT_EQ(simhost::RoutineRuns(Site::Draw), 35);
    EXPECT_TRUE(simhost::Recorded().batches.empty()) << "nothing of Zephrel's";
    frameTool.Unload();
    drawTool.Unload();
    for (const Site site : simhost::kAllSites) {
      simhost::ClearRecord();
      EXPECT_EQ(simhost::RunSite(site), simhost::RoutineResult(site));
      EXPECT_EQ(simhost::Recorded().calls.size(), 1u) << "the routine alone at " << simhost::SiteName(site);
    }
    EXPECT_TRUE(simhost::CalleeSavedRegistersKept());
    return counted;
  }
};

TEST_P(ProtectionFaultsBesideATool, WhicheverChangeFailsTheGameRunsOnWhenZephrelIsUnloadedFirst) {
  WriteIni(Ini());
  const std::vector<std::uint8_t> pristine = simhost::SnapshotCode();
  const Requests all = Run(0, 0, 1, pristine);
  ASSERT_GT(all.load, 0);
  ASSERT_GT(all.unload, 0);
  RecordProperty("ProtectionRequests", all.load + all.unload);
  int direct = 0;
  for (int failing = 1; failing <= all.load; ++failing) {
    SCOPED_TRACE("load request " + std::to_string(failing) + " of " + std::to_string(all.load) + " refused");
    direct += Run(failing, 0, 1, pristine).direct ? 1 : 0;
  }
  EXPECT_EQ(direct, 1) << "the first trampolines' code could not be made executable: that site called Zephrel";
  int notGiven = 0;
  for (const int count : {1, 0}) {
    for (int failing = 1; failing <= all.unload; ++failing) {
      SCOPED_TRACE("unload request " + std::to_string(failing) + (count == 0 ? " and every one after" : "") + " of " +
                   std::to_string(all.unload) + " refused");
      notGiven += Run(0, failing, count, pristine).notGiven ? 1 : 0;
    }
  }
  EXPECT_GT(notGiven, 0) << "sites whose page could not be changed kept their trampolines";
}

INSTANTIATE_TEST_SUITE_P(Builds, ProtectionFaultsBesideATool,
                         ::testing::Values(simhost::PluginBuild::LinuxLibrary, simhost::PluginBuild::WindowsDll),
                         BuildName);

INSTANTIATE_TEST_SUITE_P(Builds, ProtectionFaults,
                         ::testing::Values(simhost::PluginBuild::LinuxLibrary, simhost::PluginBuild::WindowsDll),
                         BuildName);

}  // namespace
}  // namespace story
