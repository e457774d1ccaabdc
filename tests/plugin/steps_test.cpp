// The start-up step, which the plug-in's start-up callback and the browser preview both run: the game starts
// afresh, and only then are the settings read.

#include "plugin/steps.h"

#include <gtest/gtest.h>

#include "banners/banner_chain.h"
#include "banners/banner_texture.h"
#include "simhost.h"
#include "trails/trail_store.h"

namespace {

bool TrailsEmpty() {
  for (const trails::TrailRecord& record : trails::Trails) {
    for (const std::uint32_t time : record.times) {
      if (time != 0) return false;
    }
  }
  return true;
}

bool BannersParked() {
  for (const banners::BannerChain& chain : banners::BannerChains) {
    if (banners::IsBannerActive(chain) || chain.points[0].z != banners::kBannerParkingHeight) return false;
  }
  return true;
}

TEST(StartupStep, StartsAfreshThenReadsTheSettingsAndHandsOnWhatTheReaderGives) {
  simhost::ResetHost();
  trails::AddTrailPoint({1.0f, 2.0f, 150.0f}, 4, 0);
  banners::SetBannerHead({1.0f, 2.0f, 150.0f}, 7, 0);
  simhost::ClearRecord();

  bool afreshWhenRead = false;
  const int read = plugin::StartupStep([&] {
    afreshWhenRead = TrailsEmpty() && BannersParked() && !simhost::CallsOf("ReadTexture").empty();
    return 42;
  });

  EXPECT_EQ(read, 42);
  EXPECT_TRUE(afreshWhenRead);
  EXPECT_TRUE(TrailsEmpty());
  EXPECT_TRUE(BannersParked());
  banners::DestroyBannerTexture();
  simhost::ResetHost();
}

}  // namespace
