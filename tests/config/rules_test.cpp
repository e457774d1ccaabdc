// The rules: [MAIN]'s keys of them, read as the reader's rules say, and the table from model id to the rule that
// serves it.

#include "config/rules.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "config/ini_file.h"
#include "config/settings.h"

using namespace config;

namespace {

// What the table says of a model: the rule that serves it, "trail k" or "banner k", or "none".
std::string ServedBy(std::int32_t model) {
  const std::optional<RuleRef> served = RuleServing(static_cast<std::uint16_t>(model));
  if (!served) return "none";
  return (served->kind == RuleKind::kTrail ? "trail " : "banner ") + std::to_string(served->index);
}

TrailRule Trail(std::int32_t model, bool enabled = true) {
  TrailRule rule = MainTrailRule();
  rule.model = model;
  rule.enabled = enabled;
  return rule;
}

BannerRule Banner(std::int32_t model, bool enabled = true) {
  BannerRule rule = MainBannerRule();
  rule.model = model;
  rule.enabled = enabled;
  return rule;
}

class Rules : public ::testing::Test {
 protected:
  void SetUp() override { Load("[MAIN]\n"); }
  void TearDown() override { Load("[MAIN]\n"); }

  // The settings and the rules as the plug-in reads `text`.
  static void Load(std::string_view text) { LoadSettingsFrom(text); }
};

TEST_F(Rules, ColoursAreThreeWholeNumbersUpTo255) {
  struct Case {
    std::string_view text;
    std::optional<std::uint32_t> colour;
  };
  const Case cases[] = {
      {"255,40,40", 0xFF2828},   {"0,0,0", 0x000000},       {" 12 , 34\t,56 ", 0x0C2238},
      {"007,0,255", 0x0700FF},   {"256,0,0", std::nullopt}, {"0,0,1000000000000", std::nullopt},
      {"-1,0,0", std::nullopt},  {"1,2", std::nullopt},     {"1,2,3,4", std::nullopt},
      {"1.5,2,3", std::nullopt}, {"1 2,3,4", std::nullopt}, {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseColour(c.text), c.colour);
  }
}

TEST_F(Rules, MainsKeysOfTheRulesFollowTheReadersRules) {
  struct Case {
    const char* text;
    std::uint32_t trailColour;
    float trailWidth;
    const char* bannerTexture;
    std::uint32_t skyTrailColour;
  };
  const Case cases[] = {
      {"[MAIN]\n", 0xFFFFFF, 0.0f, "Banner", 0xFFFFFF},
      {"[MAIN]\nTrailColour=255,40,40\nTrailWidth=3.5\nBannerTexture=Banner2\nSkyTrailColour=0,0,255\n", 0xFF2828, 3.5f,
       "Banner2", 0x0000FF},
      // The first of two keys wins; a bad value keeps the default.
      {"[MAIN]\nTrailColour=1,2,3\nTrailColour=4,5,6\n", 0x010203, 0.0f, "Banner", 0xFFFFFF},
      {"[MAIN]\nTrailColour=300,0,0\nSkyTrailColour=blue\nTrailWidth=wide\n", 0xFFFFFF, 0.0f, "Banner", 0xFFFFFF},
      // Keys are case-sensitive, and only [MAIN] holds them.
      {"[MAIN]\ntrailcolour=1,2,3\nbannertexture=Flag\n[main]\nTrailWidth=4\n", 0xFFFFFF, 0.0f, "Banner", 0xFFFFFF},
      // A name of 31 bytes fits; one of 32, an empty one or one holding a zero byte keeps the default.
      {"[MAIN]\nBannerTexture=abcdefghijklmnopqrstuvwxyz01234\n", 0xFFFFFF, 0.0f, "abcdefghijklmnopqrstuvwxyz01234",
       0xFFFFFF},
      {"[MAIN]\nBannerTexture=abcdefghijklmnopqrstuvwxyz012345\n", 0xFFFFFF, 0.0f, "Banner", 0xFFFFFF},
      {"[MAIN]\nBannerTexture=\n", 0xFFFFFF, 0.0f, "Banner", 0xFFFFFF},
      {"[MAIN]\nBannerTexture=  Flag \r\n", 0xFFFFFF, 0.0f, "Flag", 0xFFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Load(c.text);
    EXPECT_EQ(TrailColour, c.trailColour);
    EXPECT_EQ(TrailWidth, c.trailWidth);
    EXPECT_STREQ(BannerTextureName, c.bannerTexture);
    EXPECT_EQ(SkyTrailColour, c.skyTrailColour);
    // [MAIN]'s rules take them.
    EXPECT_EQ(TrailRules[0].colour, c.trailColour);
    EXPECT_EQ(TrailRules[0].width, c.trailWidth);
    EXPECT_STREQ(BannerRules[0].texture, c.bannerTexture);
  }
  std::string withZero = "[MAIN]\nBannerTexture=Ban";
  withZero += '\0';
  withZero += "ner2\n";
  Load(withZero);
  EXPECT_STREQ(BannerTextureName, "Banner");
}

TEST_F(Rules, TheFirstRuleNamingAModelServesIt) {
  struct Case {
    const char* what;
    std::int32_t trailModels[3];  // after [MAIN]'s 577; -2: no rule
    bool trailEnabled[3];
    std::int32_t bannerModels[2];  // after [MAIN]'s 593
    bool bannerEnabled[2];
    std::int32_t model;
    const char* servedBy;
  };
  const Case cases[] = {
      {"a further trail rule", {600, -2, -2}, {true}, {-2, -2}, {}, 600, "trail 1"},
      {"a later trail rule of the same model", {600, 600, -2}, {true, true}, {-2, -2}, {}, 600, "trail 1"},
      {"a later rule of [MAIN]'s model", {577, -2, -2}, {true}, {-2, -2}, {}, 577, "trail 0"},
      {"a later banner rule of [MAIN]'s model", {-2, -2, -2}, {}, {593, -2}, {true}, 593, "banner 0"},
      {"two banner rules", {-2, -2, -2}, {}, {511, 511}, {true, true}, 511, "banner 1"},
      {"a trail rule over a banner rule", {-2, -2, -2}, {}, {577, -2}, {true}, 577, "trail 0"},
      {"a trail rule before the banner rule", {511, -2, -2}, {true}, {511, -2}, {true}, 511, "trail 1"},
      {"a disabled trail rule: the banner rule", {511, -2, -2}, {false}, {511, -2}, {true}, 511, "banner 1"},
      // The first trail rule is the model's even while it is off: a later enabled one is not used for it.
      {"a disabled first trail rule", {511, 511, -2}, {false, true}, {-2, -2}, {}, 511, "none"},
      {"a disabled first trail rule, and a banner", {511, 511, -2}, {false, true}, {511, -2}, {true}, 511, "banner 1"},
      {"a disabled first banner rule", {-2, -2, -2}, {}, {511, 511}, {false, true}, 511, "none"},
      {"both off", {511, -2, -2}, {false}, {511, -2}, {false}, 511, "none"},
      {"the lowest id", {0, -2, -2}, {true}, {-2, -2}, {}, 0, "trail 1"},
      {"the highest id", {-2, -2, -2}, {}, {65535, -2}, {true}, 65535, "banner 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Load("[MAIN]\n");
    for (int k = 0; k < 3; ++k) {
      if (c.trailModels[k] != -2) {
        ASSERT_TRUE(AddTrailRule(Trail(c.trailModels[k], c.trailEnabled[k])));
      }
    }
    for (int k = 0; k < 2; ++k) {
      if (c.bannerModels[k] != -2) {
        ASSERT_TRUE(AddBannerRule(Banner(c.bannerModels[k], c.bannerEnabled[k])));
      }
    }
    BuildModelRules();
    EXPECT_EQ(ServedBy(c.model), c.servedBy);
  }
}

TEST_F(Rules, IdsOutsideTheModelRangeMatchNothing) {
  for (const std::int32_t model : {-1, 65536, 65536 + 577, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(model);
    Load("[MAIN]\nModelIDForTrail=" + std::to_string(model) + "\nModelIDForBanner=" + std::to_string(model) + "\n");
    ASSERT_TRUE(AddTrailRule(Trail(model)));
    ASSERT_TRUE(AddBannerRule(Banner(model)));
    BuildModelRules();
    for (std::int32_t id = 0; id <= 65535; ++id) {
      if (RuleServing(static_cast<std::uint16_t>(id)))
        ADD_FAILURE() << "model " << id << " is served by " << ServedBy(id);
    }
  }
}

TEST_F(Rules, EightOfEachAtMostMainsIncluded) {
  for (int k = 1; k < kMaxTrailRules; ++k) EXPECT_TRUE(AddTrailRule(Trail(1000 + k))) << k;
  for (int k = 1; k < kMaxBannerRules; ++k) EXPECT_TRUE(AddBannerRule(Banner(2000 + k))) << k;
  EXPECT_FALSE(AddTrailRule(Trail(1999)));
  EXPECT_FALSE(AddBannerRule(Banner(2999)));
  EXPECT_EQ(TrailRuleCount, kMaxTrailRules);
  EXPECT_EQ(BannerRuleCount, kMaxBannerRules);
  BuildModelRules();
  EXPECT_EQ(ServedBy(1007), "trail 7");
  EXPECT_EQ(ServedBy(2007), "banner 7");
  EXPECT_EQ(ServedBy(1999), "none");
  EXPECT_EQ(ServedBy(2999), "none");
}

TEST_F(Rules, EachReadStartsAfreshAndLeavesMainsRuleInTheUnusedPlaces) {
  ASSERT_TRUE(AddTrailRule(Trail(600)));
  BannerRule flag = Banner(511);
  std::memset(flag.texture, 'x', sizeof flag.texture);  // not terminated: the rule keeps a terminated name
  ASSERT_TRUE(AddBannerRule(flag));
  BuildModelRules();
  EXPECT_EQ(std::strlen(BannerRules[1].texture), kTextureNameSize - 1);
  const std::uint32_t before = RulesMade;

  Load("[MAIN]\nTrailColour=1,2,3\nModelIDForTrail=700\n");
  EXPECT_NE(RulesMade, before);
  EXPECT_EQ(TrailRuleCount, 1);
  EXPECT_EQ(BannerRuleCount, 1);
  EXPECT_EQ(ServedBy(600), "none");
  EXPECT_EQ(ServedBy(511), "none");
  EXPECT_EQ(ServedBy(577), "none");
  EXPECT_EQ(ServedBy(700), "trail 0");
  // A trail laid by a rule that is gone fades out in [MAIN]'s look.
  for (const TrailRule& rule : TrailRules) EXPECT_EQ(rule.colour, 0x010203u);
  for (const BannerRule& rule : BannerRules) EXPECT_STREQ(rule.texture, "Banner");
}

TEST_F(Rules, ASectionHeaderMakesARuleOnlyWhenItNamesAModelId) {
  struct Case {
    std::string_view section;
    bool trail;
    std::int32_t model;  // -1: not a rule section
  };
  const Case cases[] = {
      {"Trail 593", true, 593},     {"Banner 511", false, 511},   {"Trail 0", true, 0},
      {"Trail 65535", true, 65535}, {"Trail 0x251", true, 0x251}, {"Banner 0XfFfF", false, 0xFFFF},
      {"Trail 0593", true, 593},    {"Trail 65536", true, -1},    {"Trail 99999999999999999999", true, -1},
      {"trail 593", true, -1},      {"TRAIL 593", true, -1},      {"Trail", true, -1},
      {"Trail ", true, -1},         {"Trail  593", true, -1},     {"Trail 593 ", true, -1},
      {"Trail -1", true, -1},       {"Trail +5", true, -1},       {"Trail 0x", true, -1},
      {"Trail 0x1G", true, -1},     {"Trail 1e3", true, -1},      {"Trail593", true, -1},
      {"Banner 12a", false, -1},    {"MAIN", true, -1},           {"", true, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.section);
    const std::optional<RuleSection> rule = RuleSectionOf(c.section);
    ASSERT_EQ(rule.has_value(), c.model >= 0);
    if (!rule) continue;
    EXPECT_EQ(rule->kind, c.trail ? RuleKind::kTrail : RuleKind::kBanner);
    EXPECT_EQ(rule->model, c.model);
  }
}

// Rule sections read as [MAIN] is: each key of a section over [MAIN]'s value, the first line of a key counting, a
// repeated header reopening its rule, and no key of the other kind or of [MAIN]'s alone.
TEST_F(Rules, RuleSectionsOverrideMainsValuesByTheReadersRules) {
  Load(
      "[MAIN]\nHeight=150\nTrailFadeTime=4000\nTrailColour=1,2,3\nHeightForBanner=60\nBannerTexture=Flag\n"
      "[Trail 600]\nTrailColour=255,40,40\nTrailWidth=3\nTrailColour=0,0,0\nHeightForBanner=999\n"
      "ModelIDForTrail=1\n"
      "[Trail 601]\nEnableTrail=0\nHeight=bad\nTrailColour=256,0,0\n"
      "[Banner 511]\nBannerTexture=Banner2\nAlwaysAppear=1\nHeight=5\n"
      "[Trail 600]\nTrailColour=9,9,9\nTrailFadeTime=100\n"
      "[MAIN]\nTrailWidth=7\n");
  ASSERT_EQ(TrailRuleCount, 3);
  ASSERT_EQ(BannerRuleCount, 2);
  EXPECT_EQ(TrailWidth, 7.0f);  // [MAIN] reopened further down
  const TrailRule& red = TrailRules[1];
  EXPECT_EQ(red.model, 600);
  EXPECT_EQ(red.colour, 0xFF2828u);  // the first line counts, also after the header is repeated
  EXPECT_EQ(red.width, 3.0f);
  EXPECT_EQ(red.height, 150.0f);    // [MAIN]'s
  EXPECT_EQ(red.fadeTime, 100.0f);  // given only after the repeated header
  const TrailRule& off = TrailRules[2];
  EXPECT_FALSE(off.enabled);
  EXPECT_EQ(off.height, 0.0f);       // a number that does not read is 0, as in [MAIN]
  EXPECT_EQ(off.colour, 0x010203u);  // a colour that does not read keeps [MAIN]'s
  EXPECT_EQ(off.width, 7.0f);        // [MAIN]'s as read, from whichever line of [MAIN]
  const BannerRule& flag = BannerRules[1];
  EXPECT_EQ(flag.model, 511);
  EXPECT_STREQ(flag.texture, "Banner2");
  EXPECT_TRUE(flag.alwaysAppear);
  EXPECT_EQ(flag.height, 60.0f);  // Height is a trail key: not read in a banner section
  EXPECT_EQ(ServedBy(600), "trail 1");
  EXPECT_EQ(ServedBy(601), "none");
  EXPECT_EQ(ServedBy(511), "banner 1");
  EXPECT_EQ(ServedBy(1), "none");
}

TEST_F(Rules, SectionsPastEightOfAKindAreNotRead) {
  std::string text = "[MAIN]\n";
  for (int k = 1; k <= 9; ++k) {
    text += "[Trail " + std::to_string(1000 + k) + "]\n[Banner " + std::to_string(2000 + k) + "]\n";
  }
  text += "[Trail 1001]\nTrailWidth=2\n[Trail 1009]\nTrailWidth=2\n";
  Load(text);
  EXPECT_EQ(TrailRuleCount, kMaxTrailRules);
  EXPECT_EQ(BannerRuleCount, kMaxBannerRules);
  EXPECT_EQ(RuleSectionsNotRead, 5);  // 1008, 1009 twice, 2008, 2009
  EXPECT_EQ(ServedBy(1007), "trail 7");
  EXPECT_EQ(ServedBy(1008), "none");
  EXPECT_EQ(ServedBy(2009), "none");
  EXPECT_EQ(TrailRules[1].width, 2.0f);  // a rule that was read reopens, past the limit too
  Load("[MAIN]\n");
  EXPECT_EQ(RuleSectionsNotRead, 0);
}

}  // namespace
