// Run from a directory that leaves no room for MODELS\BANNER.TXD in the plug-in's path area.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "banners/banner_chain.h"
#include "banners/banner_texture.h"
#include "config/plugin_paths.h"
#include "config/settings.h"
#include "simhost.h"

using namespace config;
using namespace banners;

namespace {

TEST(DeepPluginDirectory, StartUpParksTheChainsButAsksTheHostForNoTexture) {
  simhost::ResetHost();
  const std::string directory = PluginDirectory();
  ASSERT_EQ(directory.back(), '/');
  ASSERT_GT(directory.size() + std::string("MODELS\\BANNER.TXD").size(), 260u);

  host::HostTexture earlier{};
  BannerTexture = &earlier;
  BannerChains[3].points[0] = {0.0f, 0.0f, 100.0f};
  InitBanners();

  EXPECT_EQ(BannerTexture, nullptr);
  // Only the texture of an earlier start-up goes back; nothing is loaded.
  ASSERT_EQ(simhost::Recorded().calls.size(), 1u);
  EXPECT_EQ(simhost::CallsOf("DestroyTexture").at(0).args[0], reinterpret_cast<std::uint32_t>(&earlier));
  EXPECT_TRUE(simhost::Recorded().errorBoxes.empty());
  EXPECT_FALSE(IsBannerActive(BannerChains[3]));
  EXPECT_STREQ(PluginFilePath("MODELS\\BANNER.TXD"), "");
}

TEST(DeepPluginDirectory, TheRulesTexturesAreMissingWithoutTheHostBeingAsked) {
  simhost::ResetHost();
  LoadSettingsFrom("[Banner 600]\nBannerTexture=Flag\n");
  ASSERT_EQ(InEffect.bannerRuleCount, 2);
  InitBanners();
  simhost::ClearRecord();
  LoadBannerRuleTextures();
  EXPECT_TRUE(simhost::Recorded().calls.empty());
  EXPECT_EQ(RuleTextureOf(InEffect.bannerRules.BannerTexture[0]), RuleTexture::kMissing);
  EXPECT_EQ(RuleTextureOf(InEffect.bannerRules.BannerTexture[1]), RuleTexture::kMissing);
  LoadSettingsFrom("");
}

}  // namespace
