// The simulated host itself: its call sites, its sky routine, and loading the plug-in library.

#include "simhost.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "plugin.h"
#include "support/code_scratch.h"
#include "support/x87.h"

namespace {

class SimulatedHost : public ::testing::Test {
 protected:
  void SetUp() override { simhost::ResetHost(); }
  void TearDown() override { simhost::ResetHost(); }
};

TEST_F(SimulatedHost, EachSiteCallsItsOwnRoutineAndReturnsItsResult) {
  for (const simhost::Site site : simhost::kAllSites) {
    SCOPED_TRACE(simhost::SiteName(site));
    const auto code = simhost::ReadCode(simhost::SiteAddress(site), 6);
    EXPECT_EQ(code[0], 0xE8);
    EXPECT_EQ(code[5], 0xC3);
    EXPECT_EQ(simhost::RunSite(site), simhost::RoutineResult(site));
    EXPECT_EQ(simhost::RoutineRuns(site), 1);
  }
  EXPECT_TRUE(simhost::CalleeSavedRegistersKept());
}

// Host code runs with the game's x87 control word, whatever this process's own is, and a routine that leaves
// another one behind is caught.
TEST_F(SimulatedHost, HostCodeRunsWithTheGamesControlWordAndMustGiveItBack) {
  std::uint16_t seen = 0;
  simhost::SetCallObserver([&](const simhost::Call&) { seen = x87::ControlWord(); });
  simhost::RunSite(simhost::Site::Frame);
  EXPECT_EQ(seen, simhost::kGameControlWord);
  EXPECT_EQ(x87::ControlWord(), simhost::ProcessControlWord());
  simhost::SetGameControlWord(simhost::ProcessControlWord());
  simhost::RunSite(simhost::Site::Draw);
  EXPECT_EQ(seen, simhost::ProcessControlWord());
  EXPECT_TRUE(simhost::ControlWordKept());

  simhost::SetCallObserver([](const simhost::Call&) { x87::LoadControlWord(0x027F); });
  simhost::RunSite(simhost::Site::Frame);
  EXPECT_FALSE(simhost::ControlWordKept());
  EXPECT_EQ(x87::ControlWord(), simhost::ProcessControlWord());
}

TEST_F(SimulatedHost, CodePagesAreReadAndExecuteOnly) {
  EXPECT_EQ(testing_support::PageProtection(simhost::At(host::address::FrameCallSite)), "r-xp");
  EXPECT_EQ(testing_support::PageProtection(simhost::At(host::address::HostTimeMs)), "rw-p");
}

TEST_F(SimulatedHost, TheSkyRoutineRunsItsOwnCode) {
  simhost::RunSkyRoutine();
  simhost::RunSkyRoutine();
  EXPECT_EQ(simhost::SkyRoutineRuns(), 2);
}

TEST_F(SimulatedHost, AFrameAdvancesTheClockAndRunsFrameSkyAndDraw) {
  const std::uint32_t before = simhost::Clock();
  std::uint32_t seen = 0;
  simhost::SetScript([&](std::uint32_t now) { seen = now; });
  simhost::Frame(40);
  EXPECT_EQ(simhost::Clock(), before + 40);
  EXPECT_EQ(seen, before + 40);
  EXPECT_EQ(host::HostTimeStep(), 2.0f);
  EXPECT_EQ(simhost::RoutineRuns(simhost::Site::Frame), 1);
  EXPECT_EQ(simhost::RoutineRuns(simhost::Site::Draw), 1);
  EXPECT_EQ(simhost::SkyRoutineRuns(), 1);
}

TEST_F(SimulatedHost, ResetPutsTheCodeBack) {
  const auto pristine = simhost::SnapshotCode();
  simhost::WriteCode(host::address::FrameCallSite, {0x90, 0x90, 0x90, 0x90, 0x90});
  simhost::UnmapHostRange(0x824000, 0x825000);
  simhost::ResetHost();
  EXPECT_TRUE(simhost::SnapshotCode() == pristine);
}

TEST_F(SimulatedHost, ThePluginLibraryLoadsAndUnloadsCompletely) {
  void* plugin = simhost::LoadPlugin();
  ASSERT_NE(plugin, nullptr);
  EXPECT_TRUE(simhost::UnloadPlugin(plugin));
}

}  // namespace

namespace {

class PluginBuilds : public ::testing::TestWithParam<simhost::PluginBuild> {
 protected:
  void TearDown() override { simhost::ResetHost(); }
};

TEST_P(PluginBuilds, InstallLoadAndUnloadLeaveTheHostAsItWas) {
  const auto pristine = simhost::SnapshotCode();
  simhost::GameFolder folder;
  auto plugin = simhost::Plugin::Load(GetParam(), folder);
  ASSERT_NE(plugin, nullptr);
  EXPECT_TRUE(plugin->Unload());
  EXPECT_TRUE(simhost::SnapshotCode() == pristine);
}

TEST(HeapAllocations, AreCounted) {
  const long before = simhost::HeapAllocations();
  void* volatile memory = std::malloc(16);
  std::free(memory);
  EXPECT_EQ(simhost::HeapAllocations() - before, 1);
}

INSTANTIATE_TEST_SUITE_P(Both, PluginBuilds,
                         ::testing::Values(simhost::PluginBuild::LinuxLibrary, simhost::PluginBuild::WindowsDll),
                         [](const auto& info) {
                           return info.param == simhost::PluginBuild::LinuxLibrary ? "LinuxLibrary" : "WindowsDll";
                         });

}  // namespace
