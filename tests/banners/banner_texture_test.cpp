// Loading the banner texture at start-up and releasing it at shutdown, from the host calls they make.

#include "banners/banner_texture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "banners/banner_chain.h"
#include "config/plugin_paths.h"
#include "config/settings.h"
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
    LoadSettingsFrom("");
  }
  void TearDown() override {
    DestroyBannerTexture();
    LoadSettingsFrom("");
    simhost::ResetHost();
  }

  // Further banner rules after [MAIN]'s, naming these textures, as the reader reads them from their sections.
  static void NameTextures(std::initializer_list<const char*> names) {
    std::string text = "[MAIN]\n";
    int model = 600;
    for (const char* name : names) text += "[Banner " + std::to_string(model++) + "]\nBannerTexture=" + name + "\n";
    LoadSettingsFrom(text);
    ASSERT_EQ(InEffect.bannerRuleCount, static_cast<int>(1 + names.size()));
  }
};

// What a banner rule's texture became.
RuleTexture StateOf(int rule) { return RuleTextureOf(InEffect.bannerRules.BannerTexture[rule]); }

// The texture the chains of a banner rule are drawn with.
const host::HostTexture* TextureOf(int rule) {
  UpdateBannerLooks();
  return BannerLooks[rule].texture;
}

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

// ---- The textures of the banner rules ---------------------------------------------------------------------

TEST_F(BannerTextureLoad, EachFurtherNameIsReadOnceFromTheBannerSlot) {
  // With every rule on "Banner" the step asks the host nothing.
  NameTextures({"Banner", "Banner"});
  InitBanners();
  simhost::ClearRecord();
  LoadBannerRuleTextures();
  EXPECT_TRUE(simhost::Recorded().calls.empty());

  NameTextures({"Flag", "Banner", "Flag", "Torn", "Stripes"});
  simhost::ResetHost();
  BannerTexture = nullptr;  // the host has forgotten it
  host::SetCurrentTextureDictionary(host::AddTextureDictionarySlot("the game's"));
  simhost::SetMissingTextures({"Torn"});
  InitBanners();
  simhost::ClearRecord();

  LoadBannerRuleTextures();

  std::vector<std::string> expected;
  for (int read = 0; read < 3; ++read) {
    expected.insert(expected.end(), {"PushCurrentTextureDictionary", "FindTextureDictionarySlot",
                                     "SetCurrentTextureDictionary", "ReadTexture", "PopCurrentTextureDictionary"});
  }
  EXPECT_EQ(EntriesCalled(), expected);
  const auto reads = CallsOf("ReadTexture");
  ASSERT_EQ(reads.size(), 3u);
  EXPECT_EQ(reads[0].text, "Flag");
  EXPECT_EQ(reads[1].text, "Torn");
  EXPECT_EQ(reads[2].text, "Stripes");
  for (const simhost::Call& read : reads) EXPECT_EQ(read.args[1], 0u);  // no mask
  for (const simhost::Call& find : CallsOf("FindTextureDictionarySlot")) EXPECT_EQ(find.text, "Banner");
  for (const simhost::Call& set : CallsOf("SetCurrentTextureDictionary")) EXPECT_EQ(set.args[0], 2u);
  EXPECT_EQ(simhost::CurrentTextureDictionary(), 1);
  EXPECT_EQ(simhost::LiveTextures(), 3);  // Banner, Flag, Stripes

  const RuleTexture states[] = {RuleTexture::kRead, RuleTexture::kRead,    RuleTexture::kRead,
                                RuleTexture::kRead, RuleTexture::kMissing, RuleTexture::kRead};
  for (int rule = 0; rule < 6; ++rule) EXPECT_EQ(StateOf(rule), states[rule]) << rule;
  EXPECT_EQ(TextureOf(0), BannerTexture);
  EXPECT_EQ(TextureOf(2), BannerTexture);
  EXPECT_EQ(TextureOf(1), TextureOf(3));
  EXPECT_NE(TextureOf(1), nullptr);
  EXPECT_EQ(TextureOf(4), nullptr);
  EXPECT_NE(TextureOf(5), nullptr);
}

TEST_F(BannerTextureLoad, ShutdownReleasesEveryTextureReadBannerFirst) {
  NameTextures({"Flag", "Torn"});
  simhost::SetMissingTextures({"Torn"});
  InitBanners();
  LoadBannerRuleTextures();
  host::HostTexture* banner = BannerTexture;
  const host::HostTexture* flag = TextureOf(1);
  simhost::ClearRecord();

  DestroyBannerTexture();
  DestroyBannerTexture();

  const auto destroyed = CallsOf("DestroyTexture");
  ASSERT_EQ(simhost::Recorded().calls.size(), 2u);
  EXPECT_EQ(destroyed.at(0).args[0], reinterpret_cast<std::uint32_t>(banner));
  EXPECT_EQ(destroyed.at(1).args[0], reinterpret_cast<std::uint32_t>(flag));
  EXPECT_EQ(simhost::LiveTextures(), 0);
  EXPECT_EQ(TextureOf(1), nullptr);
}

TEST_F(BannerTextureLoad, AStartUpRunAgainReplacesTheRulesTexturesAndANameGivenSinceWaitsForIt) {
  NameTextures({"Flag"});
  InitBanners();
  LoadBannerRuleTextures();
  ASSERT_EQ(simhost::LiveTextures(), 2);

  // Named at a re-initialisation: not read until the next start-up.
  NameTextures({"Flag", "Stripes"});
  EXPECT_EQ(StateOf(2), RuleTexture::kNotReadYet);
  EXPECT_EQ(TextureOf(2), nullptr);
  EXPECT_EQ(simhost::LiveTextures(), 2);

  InitBanners();
  LoadBannerRuleTextures();
  EXPECT_EQ(simhost::LiveTextures(), 3) << "the earlier handles went back to the host";
  EXPECT_EQ(StateOf(2), RuleTexture::kRead);
  EXPECT_NE(TextureOf(2), nullptr);
}

}  // namespace
