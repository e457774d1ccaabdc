// What the library binds while the process starts, run once per kind of host (see tests/CMakeLists.txt):
// SIMHOST_BUILD names the build the simulated host shows, SIMHOST_IMAGE_BASE where its image lies.

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "host/addresses.h"
#include "host/host_version.h"
#include "patching/patching.h"
#include "plugin.h"
#include "simhost.h"

using namespace host;
using namespace patching;

namespace {

std::int32_t ShownBuild() {
  const char* build = std::getenv("SIMHOST_BUILD");
  return build ? std::atoi(build) : 1001;
}

// The build detected: none where the image is not at the base the host's fixed addresses belong to.
std::int32_t ExpectedBuild() { return simhost::ImageBase() == simhost::kImageBase ? ShownBuild() : 0; }

std::uint32_t Displacement() { return simhost::ImageBase() - 0x400000; }

TEST(Binding, TheBuildIsDetectedOnceWhileTheLibraryStarts) {
  EXPECT_EQ(GetHostVersion(), ExpectedBuild());
  simhost::SetBuild(ShownBuild() == 1002 ? 1001 : 1002);  // the image changes afterwards...
  EXPECT_EQ(GetHostVersion(), ExpectedBuild());           // ...and is not read again
  simhost::SetBuild(ShownBuild());
}

TEST(Binding, TranslationAddsTheImageDisplacementModulo2To32) {
  const std::uint32_t d = Displacement();
  EXPECT_EQ(HostImageBase(), simhost::ImageBase());
  EXPECT_EQ(TranslateHostAddress(0x400000), 0x400000 + d);
  EXPECT_EQ(TranslateHostAddress(host::address::HostSkyTrailRoutine), host::address::HostSkyTrailRoutine + d);
  EXPECT_EQ(TranslateHostAddress(0), d);
  EXPECT_EQ(TranslateHostAddress(0xFFFFFFFF), 0xFFFFFFFF + d);
}

TEST(Binding, ServedBuildsBindTheirAddressesOthersTheTranslationOfZero) {
  const bool served = ExpectedBuild() == 1001 || ExpectedBuild() == 1002;
  const std::uint32_t d = Displacement();
  EXPECT_EQ(binding::HostCamera.address(), served ? host::address::HostCamera + d : d);
  EXPECT_EQ(binding::IsSphereVisible.address(), served ? host::address::IsSphereVisible + d : d);
  EXPECT_EQ(binding::HostClockHour.address(), served ? host::address::HostClockHour + d : d);
}

TEST(Binding, ReadsProbeWordsOfTheLoadedImage) {
  if (ShownBuild() != 1001) GTEST_SKIP() << "the 1001 word is only there on build 1001";
  EXPECT_EQ(ReadHostDword(0x401000), 0x53EC8B55u);
}

// Unserved, or moved where the host's entries and data are not: the plug-in, in either build, patches nothing
// and nothing of it runs, while the game goes through start-up, a frame, a re-initialisation and shutdown.
TEST(Binding, WithoutAServedBuildAtItsBaseThePluginStaysOutOfTheWay) {
  if (ExpectedBuild() == 1001 || ExpectedBuild() == 1002) GTEST_SKIP() << "a served build";
  for (const auto build : {simhost::PluginBuild::LinuxLibrary, simhost::PluginBuild::WindowsDll}) {
    SCOPED_TRACE(simhost::PluginFileName(build));
    simhost::GameFolder folder;
    folder.Write("Zephrel.ini", "[MAIN]\nReplaceTrailsInTheSky=1\n");
    const std::vector<std::uint8_t> before = simhost::SnapshotCode();
    const int skyRuns = simhost::SkyRoutineRuns();
    auto plugin = simhost::Plugin::Load(build, folder);
    ASSERT_NE(plugin, nullptr);
    EXPECT_TRUE(simhost::SnapshotCode() == before);
    simhost::ClearRecord();
    simhost::Startup();
    simhost::Frame(33);
    simhost::Reinit();
    simhost::Shutdown();
    for (const auto& call : simhost::Recorded().calls) EXPECT_EQ(call.entry.rfind("routine:", 0), 0u) << call.entry;
    EXPECT_EQ(simhost::SkyRoutineRuns(), skyRuns + 1);
    EXPECT_TRUE(plugin->Unload());
    EXPECT_TRUE(simhost::SnapshotCode() == before);
  }
}

}  // namespace
