// The simulated host itself: its call sites, its sky routine, and loading the plug-in library; and the folders the
// tests write their files into.

#include "simhost.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "plugin.h"
#include "support/code_scratch.h"
#include "support/own_folder.h"
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

namespace {

namespace fs = std::filesystem;

// Each folder is new, named by the process and the test, and goes with what it holds; a folder of the same name
// left by an earlier process of the same id is passed over, never taken over or removed.
TEST(OwnFolders, AreNewNamedByProcessAndTestAndGoWithTheirFiles) {
  const std::string stem = (fs::temp_directory_path() / ("zephrel-" + std::to_string(getpid()) +
                                                         "-OwnFolders.AreNewNamedByProcessAndTestAndGoWithTheirFiles"))
                               .string();
  fs::create_directory(stem + "-2");
  std::ofstream(stem + "-2/earlier") << "an earlier process's";
  std::string first, second;
  {
    const testing_support::OwnFolder a;
    const testing_support::OwnFolder b;
    first = a.path();
    second = b.path();
    EXPECT_EQ(first, stem);
    EXPECT_EQ(second, stem + "-3");
    const std::string written = a.Write("MODELS/BANNER.TXD", "dictionary");
    EXPECT_EQ(written, a.File("MODELS/BANNER.TXD"));
    std::ifstream in(written);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "dictionary");
  }
  EXPECT_FALSE(fs::exists(first));
  EXPECT_FALSE(fs::exists(second));
  EXPECT_TRUE(fs::exists(stem + "-2/earlier"));
  fs::remove_all(stem + "-2");
}

}  // namespace
