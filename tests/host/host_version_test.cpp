// Recognising the host build from its probe words.

#include "host/host_version.h"

#include <gtest/gtest.h>

#include "host/addresses.h"
#include "simhost.h"
#include "support/code_scratch.h"

using namespace host;

namespace {

class HostBuildDetection : public ::testing::Test {
 protected:
  void TearDown() override { simhost::ResetHost(); }
};

TEST_F(HostBuildDetection, RecognisesEveryProbedBuild) {
  for (const std::int32_t build : {1001, 1002, 1011, 1101, 1111, 3200, 3210}) {
    SCOPED_TRACE(build);
    simhost::SetBuild(build);
    EXPECT_EQ(DetectHostVersion(), build);
  }
}

TEST_F(HostBuildDetection, AnImageWithNoProbeWordIsUnknown) {
  simhost::SetBuild(4242);
  EXPECT_EQ(DetectHostVersion(), 0);
}

TEST_F(HostBuildDetection, TheFirstMatchingProbeWins) {
  simhost::SetBuild(1001);
  testing_support::CodeOverwrite alsoAnother(0x8245BC, {0xBF, 0x94, 0x00, 0x00});  // the 1011 word too
  EXPECT_EQ(DetectHostVersion(), 1001);
}

TEST_F(HostBuildDetection, StopsAtAMatchAndSurvivesUnmappedProbes) {
  // The pages of the later probes are not there at all: reading them would fault.
  simhost::UnmapHostRange(0x824000, 0x826000);
  simhost::UnmapHostRange(0x858000, 0x859000);
  simhost::SetBuild(1001);
  EXPECT_EQ(DetectHostVersion(), 1001);
  simhost::SetBuild(1002);
  EXPECT_EQ(DetectHostVersion(), 1002);
  simhost::SetBuild(0);
  EXPECT_EQ(DetectHostVersion(), 0);
  EXPECT_EQ(testing_support::PageProtection(simhost::At(0x8245BC)), "");
}

TEST_F(HostBuildDetection, ProbesPutTheProtectionBack) {
  simhost::SetBuild(3210);
  EXPECT_EQ(DetectHostVersion(), 3210);
  for (const host::BuildProbe& probe : host::kBuildProbes) {
    EXPECT_EQ(testing_support::PageProtection(simhost::At(probe.address)), "r-xp") << std::hex << probe.address;
  }
}

TEST(HostVersion, OnlyBuilds1001And1002AreServed) {
  for (const std::int32_t build : {0, 1011, 1101, 1111, 3200, 3210, 1000, 1003})
    EXPECT_FALSE(IsServedHostVersion(build));
  EXPECT_TRUE(IsServedHostVersion(1001));
  EXPECT_TRUE(IsServedHostVersion(1002));
}

}  // namespace
