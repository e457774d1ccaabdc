// Loading the banner texture at start-up and releasing it at shutdown, from the host calls they make.

#include "banners/banner_texture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "banners/banner_chain.h"
#include "config/plugin_paths.h"
#include "simhost.h"

using namespace config;
using namespace banners;

namespace {

using simhost::CallsOf;

class BannerTextureLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    simhost::ResetHost();
    BannerTexture = nullptr;
  }
  void TearDown() override {
    BannerTexture = nullptr;
    simhost::ResetHost();
  }
};

std::vector<std::string> EntriesCalled() {
  std::vector<std::string> entries;
  for (const simhost::Call& call : simhost::Recorded().calls) entries.push_back(call.entry);
  return entries;
}

TEST_F(BannerTextureLoad, StartUpParksTheChainsAndReadsTheTextureInItsOwnSlot) {
  host::SetCurrentTextureDictionary(host::AddTextureDictionarySlot("the game's"));
  BannerChains[7].points[0] = {1.0f, 2.0f, 300.0f};
  simhost::ClearRecord();

  InitBanners();

  EXPECT_EQ(EntriesCalled(),
            (std::vector<std::string>{"PushCurrentTextureDictionary", "AddTextureDictionarySlot",
                                      "LoadTextureDictionary", "FindTextureDictionarySlot",
                                      "SetCurrentTextureDictionary", "ReadTexture", "PopCurrentTextureDictionary"}));
  const std::vector<simhost::Call>& calls = simhost::Recorded().calls;
  EXPECT_EQ(calls[1].text, "Banner");
  EXPECT_EQ(calls[2].args[0], 2u);
  EXPECT_EQ(calls[2].text, std::string(PluginDirectory()) + "MODELS\\BANNER.TXD");
  EXPECT_EQ(calls[3].text, "Banner");
  EXPECT_EQ(calls[4].args[0], 2u);
  EXPECT_EQ(calls[5].text, "Banner");
  EXPECT_EQ(calls[5].args[1], 0u);  // no mask
  ASSERT_NE(BannerTexture, nullptr);
  EXPECT_EQ(simhost::CurrentTextureDictionary(), 1);
  EXPECT_FALSE(IsBannerActive(BannerChains[7]));
}

TEST_F(BannerTextureLoad, ASecondStartUpDestroysTheTextureItReplacesThenLoadsAsTheFirst) {
  InitBanners();
  host::HostTexture* first = BannerTexture;
  simhost::ClearRecord();

  InitBanners();

  EXPECT_EQ(EntriesCalled(),
            (std::vector<std::string>{"DestroyTexture", "PushCurrentTextureDictionary", "AddTextureDictionarySlot",
                                      "LoadTextureDictionary", "FindTextureDictionarySlot",
                                      "SetCurrentTextureDictionary", "ReadTexture", "PopCurrentTextureDictionary"}));
  EXPECT_EQ(CallsOf("DestroyTexture").at(0).args[0], reinterpret_cast<std::uint32_t>(first));
  EXPECT_EQ(CallsOf("LoadTextureDictionary").at(0).args[0], 2u);
  EXPECT_EQ(CallsOf("SetCurrentTextureDictionary").at(0).args[0], 1u);  // the first slot named "Banner"
  EXPECT_NE(BannerTexture, nullptr);
  InitBanners();
  DestroyBannerTexture();
  EXPECT_EQ(simhost::LiveTextures(), 0);
}

TEST_F(BannerTextureLoad, ShutdownDestroysTheHandleOnce) {
  InitBanners();
  host::HostTexture* texture = BannerTexture;
  simhost::ClearRecord();

  DestroyBannerTexture();
  DestroyBannerTexture();

  ASSERT_EQ(simhost::Recorded().calls.size(), 1u);
  EXPECT_EQ(CallsOf("DestroyTexture").at(0).args[0], reinterpret_cast<std::uint32_t>(texture));
  EXPECT_EQ(BannerTexture, nullptr);
  EXPECT_EQ(simhost::LiveTextures(), 0);
}

TEST_F(BannerTextureLoad, ShutdownWithoutATextureCallsNothing) {
  DestroyBannerTexture();
  EXPECT_TRUE(simhost::Recorded().calls.empty());

  simhost::SetDictionariesHoldTextures(false);
  InitBanners();
  EXPECT_EQ(BannerTexture, nullptr);
  EXPECT_EQ(simhost::CurrentTextureDictionary(), 0);
  simhost::ClearRecord();
  DestroyBannerTexture();
  EXPECT_TRUE(simhost::Recorded().calls.empty());
}

}  // namespace
