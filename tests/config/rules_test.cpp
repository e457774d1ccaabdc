// The rules: [MAIN]'s keys of them, read as the reader's rules say, the table from model id to the rule that serves
// it, and where the reader says each value came from.

#include "config/rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// Rule sections of `kind` for these models, each switched on or off; a model named again is spelt otherwise (in hex,
// then with a leading zero), since a header spelt the same reopens its rule.
std::string Sections(const char* kind, std::initializer_list<std::pair<std::int32_t, bool>> rules) {
  std::string text;
  std::vector<std::int32_t> named;
  for (const auto& [model, enabled] : rules) {
    const auto times = std::count(named.begin(), named.end(), model);
    named.push_back(model);
    char number[16];
    std::snprintf(number, sizeof number, times == 0 ? "%d" : times == 1 ? "0x%X" : "0%d", model);
    text += std::string("[") + kind + " " + number + "]\nEnable" + kind + "=" + (enabled ? "1" : "0") + "\n";
  }
  return text;
}

class Rules : public ::testing::Test {
 protected:
  void SetUp() override { Load("[MAIN]\n"); }
  void TearDown() override { Load("[MAIN]\n"); }

  // The settings and the rules as the plug-in reads `text`.
  static void Load(std::string_view text) { LoadSettingsFrom(text); }

  static const Configuration& read() { return InEffect; }
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
    EXPECT_EQ(read().TrailColour, c.trailColour);
    EXPECT_EQ(read().TrailWidth, c.trailWidth);
    EXPECT_STREQ(read().BannerTexture, c.bannerTexture);
    EXPECT_EQ(read().SkyTrailColour, c.skyTrailColour);
    // [MAIN]'s rules take them.
    EXPECT_EQ(read().trailRules.TrailColour[0], c.trailColour);
    EXPECT_EQ(read().trailRules.TrailWidth[0], c.trailWidth);
    EXPECT_STREQ(read().bannerRules.BannerTexture[0], c.bannerTexture);
  }
  std::string withZero = "[MAIN]\nBannerTexture=Ban";
  withZero += '\0';
  withZero += "ner2\n";
  Load(withZero);
  EXPECT_STREQ(read().BannerTexture, "Banner");
  EXPECT_EQ(read().failures, 1u) << "a name the dictionaries cannot hold does not convert";
}

TEST_F(Rules, TheFirstRuleNamingAModelServesIt) {
  struct Case {
    const char* what;
    std::string sections;  // after [MAIN]'s rules, of models 577 and 593
    std::int32_t model;
    const char* servedBy;
  };
  const Case cases[] = {
      {"a further trail rule", Sections("Trail", {{600, true}}), 600, "trail 1"},
      {"a later trail rule of the same model", Sections("Trail", {{600, true}, {600, true}}), 600, "trail 1"},
      {"a later rule of [MAIN]'s model", Sections("Trail", {{577, true}}), 577, "trail 0"},
      {"a later banner rule of [MAIN]'s model", Sections("Banner", {{593, true}}), 593, "banner 0"},
      {"two banner rules", Sections("Banner", {{511, true}, {511, true}}), 511, "banner 1"},
      {"a trail rule over a banner rule", Sections("Banner", {{577, true}}), 577, "trail 0"},
      {"a trail rule before the banner rule", Sections("Trail", {{511, true}}) + Sections("Banner", {{511, true}}), 511,
       "trail 1"},
      {"a disabled trail rule: the banner rule", Sections("Trail", {{511, false}}) + Sections("Banner", {{511, true}}),
       511, "banner 1"},
      // The first trail rule is the model's even while it is off: a later enabled one is not used for it.
      {"a disabled first trail rule", Sections("Trail", {{511, false}, {511, true}}), 511, "none"},
      {"a disabled first trail rule, and a banner",
       Sections("Trail", {{511, false}, {511, true}}) + Sections("Banner", {{511, true}}), 511, "banner 1"},
      {"a disabled first banner rule", Sections("Banner", {{511, false}, {511, true}}), 511, "none"},
      {"both off", Sections("Trail", {{511, false}}) + Sections("Banner", {{511, false}}), 511, "none"},
      {"the lowest id", Sections("Trail", {{0, true}}), 0, "trail 1"},
      {"the highest id", Sections("Banner", {{65535, true}}), 65535, "banner 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Load("[MAIN]\n" + c.sections);
    EXPECT_EQ(ServedBy(c.model), c.servedBy);
  }
}

TEST_F(Rules, IdsOutsideTheModelRangeMatchNothing) {
  for (const std::int32_t model : {-1, 65536, 65536 + 577, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(model);
    Load("[MAIN]\nModelIDForTrail=" + std::to_string(model) + "\nModelIDForBanner=" + std::to_string(model) +
         "\n[Trail 600]\n[Banner 601]\n");
    ASSERT_EQ(read().trailRules.ModelIDForTrail[0], model);
    for (std::int32_t id = 0; id <= 65535; ++id) {
      const char* expected = id == 600 ? "trail 1" : id == 601 ? "banner 1" : "none";
      if (ServedBy(id) != expected) ADD_FAILURE() << "model " << id << " is served by " << ServedBy(id);
    }
  }
}

TEST_F(Rules, EightOfEachAtMostMainsIncluded) {
  std::string text = "[MAIN]\n";
  for (int k = 1; k <= kMaxTrailRules; ++k) text += "[Trail " + std::to_string(1000 + k) + "]\n";
  for (int k = 1; k <= kMaxBannerRules; ++k) text += "[Banner " + std::to_string(2000 + k) + "]\n";
  Load(text);
  EXPECT_EQ(read().trailRuleCount, kMaxTrailRules);
  EXPECT_EQ(read().bannerRuleCount, kMaxBannerRules);
  EXPECT_EQ(read().ruleSectionsNotRead, 2);
  EXPECT_EQ(ServedBy(1007), "trail 7");
  EXPECT_EQ(ServedBy(2007), "banner 7");
  EXPECT_EQ(ServedBy(1008), "none");
  EXPECT_EQ(ServedBy(2008), "none");
}

TEST_F(Rules, EachReadStartsAfreshAndLeavesMainsRuleInTheUnusedPlaces) {
  Load("[Trail 600]\nTrailColour=9,9,9\n[Banner 511]\nBannerTexture=Flag\n");
  ASSERT_EQ(ServedBy(600), "trail 1");
  ASSERT_EQ(ServedBy(511), "banner 1");
  const std::uint32_t before = RulesMade;

  Load("[MAIN]\nTrailColour=1,2,3\nModelIDForTrail=700\n");
  EXPECT_NE(RulesMade, before);
  EXPECT_EQ(read().trailRuleCount, 1);
  EXPECT_EQ(read().bannerRuleCount, 1);
  EXPECT_EQ(ServedBy(600), "none");
  EXPECT_EQ(ServedBy(511), "none");
  EXPECT_EQ(ServedBy(577), "none");
  EXPECT_EQ(ServedBy(700), "trail 0");
  // A trail laid by a rule that is gone fades out in [MAIN]'s look.
  for (const std::uint32_t colour : read().trailRules.TrailColour) EXPECT_EQ(colour, 0x010203u);
  for (const ValueTexture& texture : read().bannerRules.BannerTexture) EXPECT_STREQ(texture, "Banner");
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
  ASSERT_EQ(read().trailRuleCount, 3);
  ASSERT_EQ(read().bannerRuleCount, 2);
  EXPECT_EQ(read().TrailWidth, 7.0f);  // [MAIN] reopened further down
  const Values red = RuleValues(read().trailRules, 1);
  EXPECT_EQ(red.ModelIDForTrail, 600);
  EXPECT_EQ(red.TrailColour, 0xFF2828u);  // the first line counts, also after the header is repeated
  EXPECT_EQ(red.TrailWidth, 3.0f);
  EXPECT_EQ(red.Height, 150.0f);         // [MAIN]'s
  EXPECT_EQ(red.TrailFadeTime, 100.0f);  // given only after the repeated header
  const Values off = RuleValues(read().trailRules, 2);
  EXPECT_FALSE(off.EnableTrail);
  EXPECT_EQ(off.Height, 0.0f);            // a number that does not read is 0, as in [MAIN]
  EXPECT_EQ(off.TrailColour, 0x010203u);  // a colour that does not read keeps [MAIN]'s
  EXPECT_EQ(off.TrailWidth, 7.0f);        // [MAIN]'s as read, from whichever line of [MAIN]
  const Values flag = RuleValues(read().bannerRules, 1);
  EXPECT_EQ(flag.ModelIDForBanner, 511);
  EXPECT_STREQ(flag.BannerTexture, "Banner2");
  EXPECT_TRUE(flag.AlwaysAppear);
  EXPECT_EQ(flag.HeightForBanner, 60.0f);  // Height is a trail key: not read in a banner section
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
  EXPECT_EQ(read().trailRuleCount, kMaxTrailRules);
  EXPECT_EQ(read().bannerRuleCount, kMaxBannerRules);
  EXPECT_EQ(read().ruleSectionsNotRead, 5);  // 1008, 1009 twice, 2008, 2009
  EXPECT_EQ(ServedBy(1007), "trail 7");
  EXPECT_EQ(ServedBy(1008), "none");
  EXPECT_EQ(ServedBy(2009), "none");
  EXPECT_EQ(read().trailRules.TrailWidth[1], 2.0f);  // a rule that was read reopens, past the limit too
  Load("[MAIN]\n");
  EXPECT_EQ(read().ruleSectionsNotRead, 0);
}

// ---- Where the values came from ----------------------------------------------------------------------------------

// Each key's default is the value its text in the table reads as, whole.
TEST(KeyTable, EachDefaultReadsWholeAsItsValue) {
  const Values defaults = DefaultValues();
  for (std::size_t row = 0; row < kKeyCount; ++row) {
    const Key& key = kKeys[row];
    SCOPED_TRACE(key.name);
    Configuration& read = InEffect;
    LoadSettingsFrom(std::string("[MAIN]\n") + key.name + "=" + key.defaultText + "\n", read);
    EXPECT_EQ(ValueText(read, row), ValueText(defaults, row));
    EXPECT_EQ(read.mainKeys[row].problem, ValueProblem::kNone);
    if (key.type == KeyType::kNumber || key.type == KeyType::kModelId) {
      EXPECT_EQ(read.mainKeys[row].used, std::string_view(key.defaultText).size());
    }
  }
  EXPECT_EQ(defaults.ModelIDForTrail, 577);
  EXPECT_EQ(defaults.TrailColour, kWhite);
  EXPECT_STREQ(defaults.BannerTexture, "Banner");
  EXPECT_EQ(kSettingCount, 13u);
}

// Every line that gives no value says why, with what a note needs to tell it.
TEST(WhereValuesComeFrom, EachUnusedLineSaysWhy) {
  const std::string text =
      "Height=1\n"  // 1: a key of [MAIN] before any header
      "x=1\n"       // 2: any other: its section says it
      "[MAIN]\n"
      "Height=2\n"    // 4: used
      "height=3\n"    // 5
      "Height=4\n"    // 6
      "; Height=5\n"  // 7
      "Colour=red\n"  // 8
      "[Trail 600]\n"
      "HeightForBanner=1\n"  // 10: a banner key
      "trailwidth=1\n"       // 11
      "TrailWidth=2\n"       // 12: used
      "[main]\n"             // 13
      "TrailColour=1,2,3\n"  // 14
      "[trail 600]\n"        // 15
      "[Banner 70000]\n"     // 16
      "[Other]\n"            // 17
      "[Trail 600]\n"        // 18: reopened
      "TrailWidth=3\n";      // 19
  struct Expected {
    std::uint32_t line;
    Unused why;
    const char* name;
    const char* row;  // the key it is but for the letter case; or null
    std::uint32_t other;
  };
  const Expected expected[] = {
      {1, Unused::kOutsideMain, "Height", "Height", 0},
      {5, Unused::kKeyInOtherCase, "height", "Height", 0},
      {6, Unused::kGivenAgain, "Height", nullptr, 4},
      {7, Unused::kComment, "; Height", nullptr, 0},
      {8, Unused::kUnknownKey, "Colour", nullptr, 0},
      {10, Unused::kUnknownKey, "HeightForBanner", nullptr, 0},
      {11, Unused::kKeyInOtherCase, "trailwidth", "TrailWidth", 0},
      {13, Unused::kMainInOtherCase, "main", nullptr, 0},
      {14, Unused::kOutsideMain, "TrailColour", "TrailColour", 0},
      {15, Unused::kRuleInOtherCase, "trail 600", nullptr, 0},
      {16, Unused::kNotARule, "Banner 70000", nullptr, 0},
      {17, Unused::kSectionNotRead, "Other", nullptr, 0},
      {19, Unused::kGivenAgain, "TrailWidth", nullptr, 12},
  };
  const Configuration& read = InEffect;
  LoadSettingsFrom(text, InEffect);
  ASSERT_EQ(read.unusedCount, std::size(expected));
  for (std::size_t k = 0; k < std::size(expected); ++k) {
    const UnusedLine& unused = read.unused[k];
    const Expected& e = expected[k];
    SCOPED_TRACE(e.line);
    EXPECT_EQ(unused.line, e.line);
    EXPECT_EQ(unused.why, e.why);
    EXPECT_EQ(unused.name.In(text), e.name);
    EXPECT_EQ(unused.row, e.row != nullptr ? KeyRow(e.row) : kKeyCount);
    EXPECT_EQ(unused.other, e.other);
  }
  EXPECT_EQ(read.unused[8].section.In(text), "main");
  EXPECT_EQ(read.unused[0].section.In(text), "") << "before any header";
  EXPECT_TRUE(read.unused[4].inRule == false && read.unused[5].inRule && read.unused[5].rule == RuleKind::kTrail);
  EXPECT_EQ(read.unused[9].rule, RuleKind::kTrail);
  EXPECT_EQ(read.unused[10].rule, RuleKind::kBanner);
}

// The line each value came from, its text, how much of it was read, and whether it converted.
TEST(WhereValuesComeFrom, EachValueKnowsItsLine) {
  const std::string text =
      "[MAIN]\nHeight= 250.5m\nModelIDForTrail=abc\nModelIDForBanner=0x80000000\nTrailColour=1,2\n"
      "BannerTexture=" +
      std::string(32, 'x') + "\nHeight=7\n[Banner 600]\nBannerTexture=\n";
  struct Expected {
    const char* key;
    std::uint32_t line;
    const char* value;
    std::uint32_t used;
    ValueProblem problem;
  };
  const Expected expected[] = {
      {"Height", 2, "250.5m", 5, ValueProblem::kNone},
      {"ModelIDForTrail", 3, "abc", 0, ValueProblem::kNotAnInteger},
      {"ModelIDForBanner", 4, "0x80000000", 0, ValueProblem::kIntegerTooFar},
      {"TrailColour", 5, "1,2", 0, ValueProblem::kNotAColour},
      {"BannerTexture", 6, nullptr, 0, ValueProblem::kNotATextureName},
      {"TrailFadeTime", 0, "", 0, ValueProblem::kNone},
  };
  const Configuration& read = InEffect;
  LoadSettingsFrom(text, InEffect);
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.key);
    const Source& source = read.mainKeys[KeyRow(e.key)];
    EXPECT_EQ(source.line, e.line);
    if (e.value != nullptr) {
      EXPECT_EQ(source.value.In(text), e.value);
    }
    EXPECT_EQ(source.used, e.used);
    EXPECT_EQ(source.problem, e.problem);
  }
  // A value that does not convert keeps its default, and counts; in a rule, [MAIN]'s value.
  EXPECT_EQ(read.ModelIDForTrail, 577);
  EXPECT_EQ(read.ModelIDForBanner, 593);
  EXPECT_EQ(read.failures, 5u);
  const Source& empty = read.bannerOrigins[1].keys[KeyRow("BannerTexture")];
  EXPECT_EQ(empty.line, 9u);
  EXPECT_EQ(empty.problem, ValueProblem::kNotATextureName);
  EXPECT_STREQ(read.bannerRules.BannerTexture[1], "Banner");
}

// A rule's sections: each header and the line before the next header, whatever section that opens; the last to the
// end. More sections than are kept are counted, so that no one writes only some of them.
TEST(WhereValuesComeFrom, ARuleKnowsEachOfItsSectionsAndTheRuleThatServesItsModel) {
  const Configuration& read = InEffect;
  LoadSettingsFrom("[Trail 600]\nHeight=1\n\n[Other]\n[Trail 0x258]\n[Trail 600]\nx\n[MAIN]\n[Trail 600]\n", InEffect);
  ASSERT_EQ(read.trailRuleCount, 3);
  const RuleOrigin& first = read.trailOrigins[1];
  EXPECT_EQ(first.header, 1u);
  EXPECT_EQ(first.spanCount, 3u);
  const std::pair<std::uint32_t, std::uint32_t> spans[] = {{1, 3}, {6, 7}, {9, 0}};
  for (std::size_t k = 0; k < std::size(spans); ++k) {
    EXPECT_EQ(first.spans[k].header, spans[k].first) << k;
    EXPECT_EQ(first.spans[k].last, spans[k].second) << k;
  }
  EXPECT_EQ(read.trailOrigins[2].header, 5u);
  EXPECT_EQ(read.trailOrigins[2].spans[0].last, 5u);
  EXPECT_EQ(first.servedBy, 1);
  EXPECT_EQ(read.trailOrigins[2].servedBy, 1) << "0x258 is 600";
  EXPECT_EQ(RuleLine(read, {RuleKind::kTrail, 2}), 5u);
  EXPECT_EQ(RuleLine(read, {RuleKind::kTrail, 0}), 0u) << "[MAIN] gives no ModelIDForTrail";

  std::string many;
  for (std::size_t k = 0; k < kKeptSpans + 3; ++k) many += "[Banner 7]\n";
  LoadSettingsFrom(many, InEffect);
  EXPECT_EQ(read.bannerOrigins[1].spanCount, kKeptSpans + 3);
  EXPECT_EQ(read.bannerOrigins[1].spans[kKeptSpans - 1].header, kKeptSpans);
}

// Past the unused lines that are kept, the rest are counted, the first ones staying whole.
TEST(WhereValuesComeFrom, UnusedLinesPastThoseKeptAreCounted) {
  std::string text = "[MAIN]\n";
  for (std::size_t k = 0; k < kKeptUnusedLines + 10; ++k) text += "Unknown" + std::to_string(k) + "=1\n";
  const Configuration& read = InEffect;
  LoadSettingsFrom(text, InEffect);
  EXPECT_EQ(read.unusedCount, kKeptUnusedLines + 10);
  for (std::size_t k = 0; k + 1 < kKeptUnusedLines; ++k) {
    EXPECT_EQ(read.unused[k].name.In(text), "Unknown" + std::to_string(k)) << k;
  }
}

// Saving and restoring what was read is a copy: every value, rule and table entry comes back.
TEST(WhereValuesComeFrom, ACopyOfTheValueIsTheSettingsInEffect) {
  LoadSettingsFrom("[MAIN]\nTrailColour=1,2,3\n[Trail 600]\nTrailWidth=2\n[Banner 601]\n");
  static Configuration kept;
  kept = InEffect;
  LoadSettingsFrom("");
  EXPECT_EQ(RuleServing(600), std::nullopt);
  InEffect = kept;
  ASSERT_TRUE(RuleServing(600).has_value());
  EXPECT_EQ(RuleServing(600)->index, 1);
  EXPECT_EQ(RuleServing(601)->kind, RuleKind::kBanner);
  EXPECT_EQ(InEffect.trailRules.TrailColour[1], 0x010203u);
  LoadSettingsFrom("");
}

}  // namespace
