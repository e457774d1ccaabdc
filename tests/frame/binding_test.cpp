// What the library binds while the process starts, run once per kind of host (see tests/CMakeLists.txt):
// SIMHOST_BUILD names the build the simulated host shows, ZEPHREL_HOST_IMAGE_BASE where its image lies.

#include <gtest/gtest.h>

#include <cstdlib>

#include "frame/host_version.h"
#include "host/addresses.h"
#include "simhost.h"

namespace {

std::int32_t ExpectedBuild() {
  const char* build = std::getenv("SIMHOST_BUILD");
  return build ? std::atoi(build) : 1001;
}

std::uint32_t Displacement() { return simhost::ImageBase() - 0x400000; }

TEST(Binding, TheBuildIsDetectedOnceWhileTheLibraryStarts) {
  EXPECT_EQ(GetHostVersion(), ExpectedBuild());
  simhost::SetBuild(ExpectedBuild() == 1002 ? 1001 : 1002);  // the image changes afterwards...
  EXPECT_EQ(GetHostVersion(), ExpectedBuild());              // ...and is not read again
  simhost::SetBuild(ExpectedBuild());
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
  if (ExpectedBuild() != 1001) GTEST_SKIP() << "the 1001 word is only there on build 1001";
  EXPECT_EQ(ReadHostDword(0x401000), 0x53EC8B55u);
}

}  // namespace
