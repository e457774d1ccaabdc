// A library that redirects the sky routine while it loads gives the routine back when it is unloaded, so the
// host's next call runs its own code rather than jumping into freed memory.

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "patching/patching.h"
#include "simhost.h"

using namespace patching;

namespace {

constexpr std::uint32_t kSkyRoutine = host::address::HostSkyTrailRoutine;

// The library file that holds a process address, or "" when none does.
std::string LibraryHolding(std::uint32_t address) {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(address), &info) == 0 || info.dli_fname == nullptr) return "";
  return info.dli_fname;
}

class SkyRedirectUnload : public ::testing::Test {
 protected:
  void SetUp() override { simhost::ResetHost(); }
  void TearDown() override { simhost::ResetHost(); }
};

TEST_F(SkyRedirectUnload, TheRoutineIsTheHostsBeforeLoadAndAfterUnload) {
  const std::vector<std::uint8_t> pristine = simhost::SnapshotCode();
  const std::vector<std::uint8_t> routine = simhost::ReadCode(kSkyRoutine, 5);
  simhost::SetClock(1024 * 1000);  // bit 9 clear: the sprites are updated
  simhost::SetClockHour(23);
  simhost::RunSkyRoutine();
  ASSERT_EQ(simhost::SkyRoutineRuns(), 1);

  void* plugin = simhost::LoadPlugin(SKY_REDIRECT_PLUGIN_PATH);
  ASSERT_NE(plugin, nullptr);
  const std::uint32_t target = BranchTarget(simhost::At(kSkyRoutine), true).value_or(0);
  EXPECT_EQ(simhost::ReadCode(kSkyRoutine, 1)[0], 0xE9);
  EXPECT_EQ(LibraryHolding(target), SKY_REDIRECT_PLUGIN_PATH) << "the jump goes into the loaded library";
  simhost::RunSkyRoutine();
  EXPECT_EQ(simhost::SkyRoutineRuns(), 1);
  EXPECT_EQ(simhost::CallsOf("UpdateLightSprite").size(), 3u);  // the library's three circling aircraft ran
  EXPECT_TRUE(simhost::CalleeSavedRegistersKept());

  ASSERT_TRUE(simhost::UnloadPlugin(plugin));
  EXPECT_EQ(simhost::ReadCode(kSkyRoutine, 5), routine);
  EXPECT_TRUE(simhost::SnapshotCode() == pristine);
  simhost::RunSkyRoutine();
  EXPECT_EQ(simhost::SkyRoutineRuns(), 2);
  EXPECT_EQ(simhost::CallsOf("UpdateLightSprite").size(), 3u);
}

}  // namespace
