// The jump over the host's sky routine: written only with ReplaceTrailsInTheSky, reached by the host's own
// calls, and taken off again only when the routine still holds it.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "config/settings.h"
#include "simhost.h"
#include "support/code_scratch.h"
#include "trails/sky_trails.h"
#include "trails/trail_store.h"

using namespace config;
using namespace trails;

namespace {

using testing_support::PageProtection;
using testing_support::RelativeBranchBytes;

constexpr std::uint32_t kSkyRoutine = host::address::HostSkyTrailRoutine;

std::uint32_t SkyEntry() { return reinterpret_cast<std::uint32_t>(&UpdateSkyTrails); }

std::vector<std::uint8_t> RoutineStart() { return simhost::ReadCode(kSkyRoutine, 5); }

std::vector<std::uint8_t> OurJump() { return RelativeBranchBytes(0xE9, simhost::At(kSkyRoutine), SkyEntry()); }

class SkyRedirect : public ::testing::Test {
 protected:
  void SetUp() override {
    Reset();
    original_ = RoutineStart();
  }
  void TearDown() override {
    RemoveSkyTrailRedirect();
    Reset();
  }

  static void Reset() {
    simhost::ResetHost();
    ResetTrails();
    InEffect.ReplaceTrailsInTheSky = false;
  }

  std::vector<std::uint8_t> original_;
};

TEST_F(SkyRedirect, WithTheSettingOffNothingIsWritten) {
  InstallSkyTrailRedirect();
  EXPECT_EQ(RoutineStart(), original_);
  simhost::RunSkyRoutine();
  EXPECT_EQ(simhost::SkyRoutineRuns(), 1);
  EXPECT_EQ(Trails[47].times[0], 0u);
}

TEST_F(SkyRedirect, TheHostsCallOfItsRoutineRunsTheSkyTrailsAndReturns) {
  InEffect.ReplaceTrailsInTheSky = true;
  InstallSkyTrailRedirect();
  EXPECT_EQ(RoutineStart(), OurJump());
  EXPECT_EQ(PageProtection(simhost::At(kSkyRoutine)), "r-xp");

  simhost::SetClock(1024 * 1000);  // bit 9 clear: the sprites are updated
  simhost::SetClockHour(23);
  simhost::RunSkyRoutine();  // returns to the host's caller, or the test goes down here
  EXPECT_EQ(simhost::SkyRoutineRuns(), 0);
  EXPECT_TRUE(simhost::CalleeSavedRegistersKept());
  EXPECT_EQ(Trails[47].times[0], 1024u * 1000);
  EXPECT_EQ(Trails[49].points[0].z, 600.0f);
  EXPECT_EQ(simhost::CallsOf("UpdateLightSprite").size(), 3u);
}

TEST_F(SkyRedirect, ALaterStartUpWritesTheJumpAgainOrLeavesIt) {
  InEffect.ReplaceTrailsInTheSky = true;
  InstallSkyTrailRedirect();
  simhost::WriteCode(kSkyRoutine + 1, {0, 0, 0, 0});
  InstallSkyTrailRedirect();
  EXPECT_EQ(RoutineStart(), OurJump());

  InEffect.ReplaceTrailsInTheSky = false;
  InstallSkyTrailRedirect();
  EXPECT_EQ(RoutineStart(), OurJump());
  simhost::RunSkyRoutine();
  EXPECT_EQ(simhost::SkyRoutineRuns(), 0);
}

TEST_F(SkyRedirect, RemovalPutsTheRoutinesOwnBytesBack) {
  InEffect.ReplaceTrailsInTheSky = true;
  InstallSkyTrailRedirect();
  InstallSkyTrailRedirect();  // the second write must not take our jump for the routine's own bytes
  RemoveSkyTrailRedirect();
  EXPECT_EQ(RoutineStart(), original_);
  EXPECT_EQ(PageProtection(simhost::At(kSkyRoutine)), "r-xp");
  simhost::RunSkyRoutine();
  EXPECT_EQ(simhost::SkyRoutineRuns(), 1);

  // Once back, a later redirect and removal go round again.
  InstallSkyTrailRedirect();
  EXPECT_EQ(RoutineStart(), OurJump());
  RemoveSkyTrailRedirect();
  EXPECT_EQ(RoutineStart(), original_);
}

TEST_F(SkyRedirect, RemovalLeavesAloneWhatIsNotOurJump) {
  const std::vector<std::uint8_t> someoneElses = RelativeBranchBytes(0xE9, simhost::At(kSkyRoutine), 0x12345000);
  struct Case {
    const char* name;
    bool installed;
    bool overwritten;
    std::vector<std::uint8_t> expected;
  };
  const Case cases[] = {
      {"never installed", false, false, original_},
      {"installed, then overwritten by someone else", true, true, someoneElses},
      {"never installed, overwritten by someone else", false, true, someoneElses},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    InEffect.ReplaceTrailsInTheSky = true;
    if (c.installed) InstallSkyTrailRedirect();
    if (c.overwritten) simhost::WriteCode(kSkyRoutine, someoneElses);
    RemoveSkyTrailRedirect();
    EXPECT_EQ(RoutineStart(), c.expected);
  }
}

}  // namespace
