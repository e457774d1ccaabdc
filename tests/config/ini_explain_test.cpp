// The explanations of Zephrel.ini that the checker prints (its sample files show most of them whole) and the
// number text they use, which must be std::to_chars's without its code.

#include "config/ini_explain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <clocale>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "config/ini_file.h"

using namespace config;

namespace {

std::string ToChars(float value) {
  char text[64];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

TEST(FloatText, IsTheTextOfToChars) {
  std::vector<float> values = {0.0f,
                               -0.0f,
                               100.0f,
                               250.5f,
                               0.1f,
                               1e-4f,
                               1e10f,
                               123456792.0f,
                               16777216.0f,
                               std::numeric_limits<float>::max(),
                               std::numeric_limits<float>::min(),
                               std::numeric_limits<float>::denorm_min(),
                               std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity()};
  // Every power of two, where the floats below lie closer than those above, and its neighbours.
  for (std::uint32_t exponent = 0; exponent < 255; ++exponent) {
    for (const std::uint32_t mantissa : {0u, 1u, 0x7FFFFFu})
      values.push_back(std::bit_cast<float>(exponent << 23 | mantissa));
  }
  // And a spread of all others.
  std::uint32_t bits = 12345;
  for (int i = 0; i < 20000; ++i) {
    bits = bits * 1664525u + 1013904223u;
    const float value = std::bit_cast<float>(bits);
    if (value == value) values.push_back(value);
  }
  int wrong = 0;
  for (const float value : values) {
    if (FloatText(value) != ToChars(value) && ++wrong <= 10) {
      ADD_FAILURE() << ToChars(value) << " is given as " << FloatText(value);
    }
  }
  EXPECT_EQ(wrong, 0);
}

// What the reader made of the last bytes Notes explained. Not on the stack: the value is large.
Configuration explained;

// The notes on `bytes`, from what the reader made of them (`explained`).
std::vector<std::pair<std::size_t, std::string>> Notes(std::string_view bytes) {
  LoadSettingsFrom(IniTextOf(bytes), explained);
  std::vector<std::pair<std::size_t, std::string>> notes;
  ExplainIni(bytes, explained, [&](std::size_t line, const std::string& text) { notes.emplace_back(line, text); });
  return notes;
}

// Where the value of [MAIN]'s key `key` came from in the last bytes explained.
ValueLines LinesOfKey(const char* key) { return LinesOf(explained.mainKeys[KeyRow(key)]); }

// The C library formats the numbers here, and it follows the C locale; the notes must not.
TEST(ExplainIni, WritesADecimalPointInADecimalCommaLocale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8 locale here";
  const std::string text = FloatText(250.5f);
  const auto notes = Notes("[MAIN]\nHeight=1.5x\nTrailFadeTime=\n");
  std::setlocale(LC_ALL, previous.c_str());
  EXPECT_EQ(text, "250.5");
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0].second, "Height=1.5x reads as 1.5: the rest, \"x\", is ignored (the decimal point is '.')");
  EXPECT_EQ(notes[1].second,
            "TrailFadeTime= is empty: it reads as 0, not as the default 10000, which only a missing key gets");
}

TEST(ExplainIni, TellsWhatAModelIdReadsAs) {
  const std::pair<const char*, const char*> cases[] = {
      {"-2147483649",
       "is too far below zero for a model number (the least is -2147483648): the plug-in uses the "
       "default, 577"},
      {"2147483648", "is too large for a model number (the largest is 2147483647): the plug-in uses the default, 577"},
      {"-0x10", "reads as 0: the rest, \"x10\", is ignored"},
      {"-5", "matches no vehicle: model numbers run from 0 to 65535"},
      {"65535", ""},
  };
  for (const auto& [value, says] : cases) {
    const auto notes = Notes(std::string("[MAIN]\r\nModelIDForTrail=") + value + "\r\n");
    if (*says == '\0') {
      EXPECT_TRUE(notes.empty()) << value;
    } else {
      ASSERT_EQ(notes.size(), 1u) << value;
      EXPECT_EQ(notes[0], std::make_pair(std::size_t{2}, std::string("ModelIDForTrail=") + value + " " + says));
    }
  }
}

TEST(ExplainIni, SaysWhereEachSettingComesFrom) {
  const auto notes = Notes("[MAIN]\nModelIDForBanner=abc\nHeight=5\nModelIDForBanner=7\n\x1A[main]\nHeight=6\n");
  EXPECT_EQ(LinesOfKey("Height").line, 3u);
  EXPECT_EQ(LinesOfKey("ModelIDForBanner").line, 0u);        // its default...
  EXPECT_EQ(LinesOfKey("ModelIDForBanner").failedLine, 2u);  // ...because line 2 does not convert
  EXPECT_EQ(explained.failures, 1u);
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_EQ(notes[1], std::make_pair(std::size_t{4}, std::string("ModelIDForBanner is given again: the first one, on "
                                                                 "line 2, wins and this line is ignored")));
  EXPECT_EQ(notes[2].first, 5u);  // the Ctrl-Z: nothing after it is read
}

TEST(ExplainIni, NotesAFileWithoutMainLast) {
  const auto notes = Notes("[Main]\nHeight=5\n");
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_EQ(notes[1].first, 2u);
  EXPECT_EQ(notes[2],
            std::make_pair(std::size_t{0}, std::string("there is no [MAIN] section: every setting has its default")));
}

// A number that a float cannot hold as typed is told what it becomes; one it holds, in whatever spelling, is not.
TEST(ExplainIni, TellsWhatANumberAFloatCannotHoldReadsAs) {
  const std::pair<const char*, const char*> cases[] = {
      {"99999999999999999999999999999", "reads as 1e+29: a float keeps only about seven significant digits"},
      {"16777217", "reads as 16777216: a float keeps only about seven significant digits"},
      {"1e-50", "reads as 0: a float keeps only about seven significant digits"},
      {"1e999", "is too large for a float: it reads as inf"},
      {"300", ""},
      {"300.000", ""},
      {"3e2", ""},
      {"0.1", ""},
      {"-0.0", ""},
      {"000250.50", ""},
  };
  for (const auto& [value, says] : cases) {
    const auto notes = Notes(std::string("[MAIN]\nBannerDrawDistance=") + value + "\n");
    if (*says == '\0') {
      EXPECT_TRUE(notes.empty()) << value << ": " << (notes.empty() ? "" : notes[0].second);
    } else {
      ASSERT_EQ(notes.size(), 1u) << value;
      EXPECT_EQ(notes[0], std::make_pair(std::size_t{2}, std::string("BannerDrawDistance=") + value + " " + says));
    }
  }
}

// A program or random bytes under the name: one note on the whole file instead of one for every line.
TEST(ExplainIni, NotesAFileWithNulBytesOnceAsNotText) {
  const auto notes = Notes(std::string("MZ\x90\0\x03\n[MAIN]\nHeight=5\ncolour=red\n\0\0\n", 36));
  EXPECT_EQ(LinesOfKey("Height").line, 3u);  // still read, as the plug-in reads it
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].first, 0u);
  EXPECT_TRUE(notes[0].second.starts_with("the file holds NUL bytes, so it is not a text file")) << notes[0].second;
  EXPECT_TRUE(Notes("[MAIN]\nHeight=5\n").empty());
}

// Whatever bytes a key holds, a note quotes them as text a terminal, a log or a page shows as it is: control
// characters and bytes that are not UTF-8 escaped, valid characters kept, and a long key cut.
TEST(ExplainIni, QuotesControlCharactersAndBytesThatAreNotTextEscaped) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\tb\x7F", "a\\x09b\\x7F"},
      {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80"},  // é and an emoji
      {"caf\xE9", "caf\\xE9"},                                           // Latin-1, not UTF-8
      {"\xC2\x85x", "\\xC2\\x85x"},                                      // a C1 control character
      {"\xC0\xAF\xED\xA0\x80", "\\xC0\\xAF\\xED\\xA0\\x80"},             // overlong, and a surrogate
      {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},                      // past U+10FFFF
      {"x\xE2\x82", "x\\xE2\\x82"},                                      // cut short at the end
      {std::string(100, 'k'), std::string(kShownBytes, 'k') + "... (100 bytes in all)"},
  };
  for (const auto& [key, shown] : cases) {
    const auto notes = Notes("[MAIN]\n" + key + "=1\n");
    ASSERT_EQ(notes.size(), 1u) << shown;
    EXPECT_EQ(notes[0].second, "\"" + shown + "\" is not a key the plug-in reads");
  }
}

// Thousands of surprising lines give a bounded explanation: the first notes, one that counts the rest, and still
// those on the file as a whole and on a Ctrl-Z.
TEST(ExplainIni, GivesAtMostTheLimitOfNotesOnLinesAndCountsTheRest) {
  std::string text = "[Other]\n[MAIN]\n";
  for (std::size_t i = 0; i < kLineNoteLimit + 1000; ++i) text += "x\n";
  const auto notes = Notes(text + "\x1A[MAIN]\n");
  EXPECT_EQ(explained.mainHeader, 2u);
  ASSERT_EQ(notes.size(), kLineNoteLimit + 2);
  EXPECT_EQ(notes[kLineNoteLimit - 1].first, kLineNoteLimit + 1);
  EXPECT_EQ(notes[kLineNoteLimit].first, kLineNoteLimit + 1003) << "the Ctrl-Z";
  EXPECT_EQ(
      notes[kLineNoteLimit + 1],
      std::make_pair(std::size_t{0}, "only the first " + std::to_string(kLineNoteLimit) +
                                         " notes on lines are given: 1001 more on lines further down are left out"));
  EXPECT_EQ(Notes("[main]\nHeight=1\n[MAIN]\n").size(), 2u);
  EXPECT_EQ(explained.mainHeader, 3u);
}

// ---- The trail and banner rules ---------------------------------------------------------------------------------

using Noted = std::vector<std::pair<std::size_t, std::string>>;

const std::string kColourForm = " (a colour is three whole numbers from 0 to 255, red, green and blue: 255,40,40)";
const std::string kTrailKeys = "EnableTrail, Height, TrailFadeTime, TrailColour and TrailWidth";

// Every surprising line of the rules' forms gets its note, and a line that reads as it looks none.
TEST(ExplainIni, ExplainsTheRulesLineByLine) {
  const struct {
    const char* name;
    std::string text;
    Noted notes;
  } cases[] = {
      {"the rules' keys of [MAIN] and a rule section, as they should be",
       "[MAIN]\nTrailColour=255,40,40\nTrailWidth=3\nBannerTexture=Cloth\nSkyTrailColour= 0 , 0 ,255\n"
       "[Trail 0x250]\nTrailColour=0,255,0\nHeight=150\n[Banner 511]\nBannerTexture=" +
           std::string(31, 'c') + "\nEnableBanner=0\n",
       {}},
      {"[MAIN]'s values that do not read",
       "[MAIN]\nTrailColour=red\nSkyTrailColour=256,0,0\nBannerTexture=\nTrailWidth=-2\nTrailWidth=4\n"
       "trailcolour=1,2,3\nTrailWidth=\n",
       {{2, "TrailColour=red is not a colour: the plug-in uses the default, 255,255,255" + kColourForm},
        {3, "SkyTrailColour=256,0,0 is not a colour: the plug-in uses the default, 255,255,255" + kColourForm},
        {4, "BannerTexture= is empty: the plug-in uses the default, Banner"},
        {5, "TrailWidth=-2 draws no ribbon: only a width above 0 does, so the trail is the thin line"},
        {6, "TrailWidth is given again: the first one, on line 5, wins and this line is ignored"},
        {7, "trailcolour is not TrailColour: keys are case-sensitive, so this line is not read"},
        {8, "TrailWidth is given again: the first one, on line 5, wins and this line is ignored"}}},
      {"a texture name longer than the dictionaries hold",
       "[MAIN]\nBannerTexture=" + std::string(32, 'c') + "\n",
       {{2, "BannerTexture=" + std::string(32, 'c') +
                " is longer than a texture's name can be (31 bytes): the plug-in uses the default, Banner"}}},
      {"sections that look like rules but are not",
       "[trail 593]\nHeight=5\n[Trail 70000]\n[Trail abc]\n[Banner]\n[BANNER 0x1ff]\n[Other]\n",
       {{1, "[trail 593] is not [Trail 593]: section names are case-sensitive, so nothing in it is read"},
        {2, "Height=5 is in section [trail 593], not in [MAIN]: it is not read"},
        {3,
         "[Trail 70000] is not a rule: a rule's header is [Trail N], N a model id from 0 to 65535, in decimal or "
         "in hex after 0x (as in [Trail 593] or [Trail 0x251]), so nothing in it is read"},
        {4,
         "[Trail abc] is not a rule: a rule's header is [Trail N], N a model id from 0 to 65535, in decimal or "
         "in hex after 0x (as in [Trail 593] or [Trail 0x251]), so nothing in it is read"},
        {5,
         "[Banner] is not a rule: a rule's header is [Banner N], N a model id from 0 to 65535, in decimal or in "
         "hex after 0x (as in [Banner 593] or [Banner 0x251]), so nothing in it is read"},
        {6, "[BANNER 0x1ff] is not [Banner 0x1ff]: section names are case-sensitive, so nothing in it is read"},
        {7,
         "section [Other] is not read: the plug-in reads only [MAIN] and the rule sections, [Trail N] and "
         "[Banner N]"},
        {0, "there is no [MAIN] section: every setting has its default"}}},
      {"keys a rule section does not read, keys given twice and values that do not read",
       "[MAIN]\n[Trail 600]\nModelIDForTrail=5\nEnableBanner=1\nTrailColour=1,2\nHeight=\nTrailWidth=1e40\n"
       "enabletrail=0\nEnableTrail=no\n; Height=1\n[Banner 601]\nTrailColour=1,2,3\nBannerTexture=\n"
       "[Trail 600]\nHeight=7\nTrailColour=9,9,9\n",
       {{3, "\"ModelIDForTrail\" is not a key a trail rule reads: a [Trail N] section reads only " + kTrailKeys +
                ", and its model is the N of its header"},
        {4, "\"EnableBanner\" is not a key a trail rule reads: a [Trail N] section reads only " + kTrailKeys},
        {5, "TrailColour=1,2 is not a colour: the rule keeps [MAIN]'s TrailColour" + kColourForm},
        {6, "Height= is empty: it reads as 0, not as [MAIN]'s Height, which only a missing key gets"},
        {7, "TrailWidth=1e40 is too large for a float: it reads as inf"},
        {7, "TrailWidth=1e40 draws no ribbon: only a width above 0 does, so the trail is the thin line"},
        {8, "enabletrail is not EnableTrail: keys are case-sensitive, so this line is not read"},
        {9, "EnableTrail=no reads as true: only a single 0 or the word false (in any letter case) reads as false"},
        {10, "the format has no comments: this line is the key \"; Height\", which the plug-in does not use"},
        {12,
         "\"TrailColour\" is not a key a banner rule reads: a [Banner N] section reads only EnableBanner, "
         "AppearOnlyAtAltitude, AppearWhenPilotIsInside, AlwaysAppear, HeightForBanner, BannerDrawDistance and "
         "BannerTexture"},
        {13, "BannerTexture= is empty: the rule keeps [MAIN]'s BannerTexture"},
        {15, "Height is given again: the first one, on line 6, wins and this line is ignored"},
        {16, "TrailColour is given again: the first one, on line 5, wins and this line is ignored"}}},
  };
  for (const auto& [name, text, expected] : cases) {
    EXPECT_EQ(Notes(text), expected) << name;
  }
}

// Which rule serves a model that two rules name, as the plug-in decides it: the first of a kind ([MAIN]'s first),
// and a trail rule over a banner rule while it is enabled.
TEST(ExplainIni, SaysWhichRuleServesAModelThatTwoRulesName) {
  const std::string kMainTrail = "[MAIN]'s ModelIDForTrail";
  const struct {
    const char* name;
    std::string text;
    Noted notes;
  } cases[] = {
      {"two trail rules after [MAIN]'s, one in hex, and a reopened banner rule",
       "[Trail 577]\n[Trail 0x241]\n[Banner 600]\n[Banner 600]\n[Banner 0x258]\n[MAIN]\nEnableBanner=0\n",
       {{1, "[Trail 577] names model 577, as " + kMainTrail +
                " does: the first rule to name a model serves it, so this one is not used for it"},
        {2, "[Trail 0x241] names model 577, as " + kMainTrail +
                " does: the first rule to name a model serves it, so this one is not used for it"},
        {5,
         "[Banner 0x258] names model 600, as [Banner 600] on line 3 does: the first rule to name a model serves "
         "it, so this one is not used for it"}}},
      {"[MAIN]'s two rules on one model, the note on the later key",
       "[MAIN]\nModelIDForBanner=577\nModelIDForTrail=0x241\n",
       {{3, "model 577 has a trail rule, " + kMainTrail +
                ", and a banner rule, [MAIN]'s ModelIDForBanner: its aircraft leave a trail while the trail rule is "
                "enabled, as it is, and tow no banner"}}},
      {"a disabled trail rule gives way to [MAIN]'s banner rule",
       "[Trail 593]\nEnableTrail=0\n",
       {{1,
         "model 593 has a trail rule, [Trail 593] on line 1, and a banner rule, [MAIN]'s ModelIDForBanner: the "
         "trail rule is disabled, so its aircraft tow a banner"},
        {0, "there is no [MAIN] section: every setting has its default"}}},
      {"both disabled, the banner rule's by [MAIN] further down",
       "[Trail 600]\nEnableTrail=0\n[Banner 600]\n[MAIN]\nEnableBanner=0\n",
       {{3,
         "model 600 has a trail rule, [Trail 600] on line 1, and a banner rule, [Banner 600] on line 3: both rules "
         "are disabled, so its aircraft leave no trail and tow no banner"}}},
      {"a model out of range matches nothing, so no rule claims it",
       "[MAIN]\nModelIDForTrail=70000\n"
       "ModelIDForBanner=70000\n",
       {{2, "ModelIDForTrail=70000 matches no vehicle: model numbers run from 0 to 65535"},
        {3, "ModelIDForBanner=70000 matches no vehicle: model numbers run from 0 to 65535"}}},
  };
  for (const auto& [name, text, expected] : cases) {
    EXPECT_EQ(Notes(text), expected) << name;
  }
}

// Eight rules of a kind, [MAIN]'s included: the sections past them are not read, each header says so, and the
// rules read are those LoadSettingsFrom makes.
TEST(ExplainIni, SaysWhichRuleSectionsArePastTheLimit) {
  std::string text = "[MAIN]\n";
  for (int model = 1; model <= 9; ++model)
    text += "[Trail " + std::to_string(model) + "]\n[Banner " + std::to_string(100 + model) + "]\nBannerTexture=x\n";
  text += "[Trail 1]\n[Trail 9]\nTrailColour=bad\n";
  const auto notes = Notes(text);
  ASSERT_EQ(notes.size(), 5u);
  for (const auto& [line, model] : {std::pair{std::size_t{23}, "Trail 8"}, std::pair{std::size_t{26}, "Trail 9"},
                                    std::pair{std::size_t{30}, "Trail 9"}}) {
    EXPECT_NE(std::find(notes.begin(), notes.end(),
                        std::pair{line, "[" + std::string(model) +
                                            "] is not read: there are 8 trail rules already, the most there can be "
                                            "([MAIN]'s and 7 sections), so nothing in it is read"}),
              notes.end())
        << line;
  }
  EXPECT_EQ(notes[1].first, 24u);  // [Banner 108]
  EXPECT_EQ(notes[3].first, 27u);  // [Banner 109]
  EXPECT_EQ(explained.failures, 0u) << "no line of a section not read counts, nor gets a note";
  EXPECT_EQ(explained.ruleSectionsNotRead, 5);
  for (int k = 0; k < kMaxTrailRules; ++k) {
    EXPECT_EQ(RuleLine(explained, {RuleKind::kTrail, k}), k == 0 ? 0u : static_cast<std::uint32_t>(3 * k - 1)) << k;
    EXPECT_EQ(explained.trailRules.ModelIDForTrail[k], k == 0 ? 577 : k);
    EXPECT_EQ(RuleLine(explained, {RuleKind::kBanner, k}), k == 0 ? 0u : static_cast<std::uint32_t>(3 * k)) << k;
  }
}

// What the checker and the log show of the rules: the values as the player would write them again.
TEST(ExplainIni, TellsTheRulesInEffectInAPlayersWords) {
  LoadSettingsFrom(
      "[MAIN]\nTrailColour=1,2,3\nBannerTexture=Cloth\n[Trail 0x251]\nTrailWidth=2.5\nEnableTrail=0\n"
      "[Banner 7]\nAlwaysAppear=1\nBannerDrawDistance=1e3\n",
      explained);
  EXPECT_EQ(ValueText(explained, KeyRow("TrailColour")), "1,2,3");
  EXPECT_EQ(ValueText(explained, KeyRow("BannerTexture")), "Cloth");
  EXPECT_EQ(RuleText(explained, {RuleKind::kTrail, 0}),
            "model 577, enabled, height 100, fade time 10000 ms, colour 1,2,3, a line");
  EXPECT_EQ(RuleText(explained, {RuleKind::kTrail, 1}),
            "model 593, disabled, height 100, fade time 10000 ms, colour 1,2,3, a ribbon 2.5 wide");
  EXPECT_EQ(RuleText(explained, {RuleKind::kBanner, 1}),
            "model 7, enabled, AppearOnlyAtAltitude=1 AppearWhenPilotIsInside=0 AlwaysAppear=1, height 100, draw "
            "distance 1000, texture Cloth");
}

}  // namespace
