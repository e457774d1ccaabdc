// The settings as the plug-in loads them from the Zephrel.ini next to the module that holds the reader: in this
// program, the program itself. The tests write that file, so this program runs as one test (never two of them at
// once), from a copy of it in a folder of its own (tests/run_in_own_folder.cmake).

#include "config/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "config/ini_explain.h"
#include "config/ini_file.h"
#include "config/ini_parser.h"
#include "config/plugin_paths.h"

using namespace config;

namespace {

struct Values {
  bool replaceTrailsInTheSky, enableBanner, enableTrail, appearOnlyAtAltitude, appearWhenPilotIsInside, alwaysAppear;
  float height, trailFadeTime, heightForBanner;
  std::int32_t modelIdForTrail, modelIdForBanner;
  float bannerDrawDistance;
  bool followFileChanges;
  bool operator==(const Values&) const = default;
};

Values Current() {
  return {ReplaceTrailsInTheSky,   EnableBanner,    EnableTrail,      AppearOnlyAtAltitude,
          AppearWhenPilotIsInside, AlwaysAppear,    Height,           TrailFadeTime,
          HeightForBanner,         ModelIDForTrail, ModelIDForBanner, BannerDrawDistance,
          FollowFileChanges};
}

void Set(const Values& v) {
  ReplaceTrailsInTheSky = v.replaceTrailsInTheSky;
  EnableBanner = v.enableBanner;
  EnableTrail = v.enableTrail;
  AppearOnlyAtAltitude = v.appearOnlyAtAltitude;
  AppearWhenPilotIsInside = v.appearWhenPilotIsInside;
  AlwaysAppear = v.alwaysAppear;
  Height = v.height;
  TrailFadeTime = v.trailFadeTime;
  HeightForBanner = v.heightForBanner;
  ModelIDForTrail = v.modelIdForTrail;
  ModelIDForBanner = v.modelIdForBanner;
  BannerDrawDistance = v.bannerDrawDistance;
  FollowFileChanges = v.followFileChanges;
}

constexpr Values kZero{};
constexpr Values kDefaults{false, true, true, true, false, false, 100.0f, 10000.0f, 100.0f, 577, 593, 300.0f, true};

// Taken while the program initialises, before any test has loaded anything.
const Values kAtStart = Current();

class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = PluginFilePath(kSettingsFile);
    std::remove(path_.c_str());
    Set(kZero);
  }
  void TearDown() override {
    std::remove(path_.c_str());
    Set(kZero);
  }
  void WriteIni(const std::string& content) { std::ofstream(path_, std::ios::binary) << content; }
  // As the plug-in's start-up reads it.
  void LoadFile() { LoadSettingsFrom(IniTextOf(ReadIniText(path_, true))); }

  std::string path_;
};

TEST_F(Settings, AreZeroUntilTheFirstLoad) { EXPECT_EQ(kAtStart, kZero); }

TEST_F(Settings, NoFileGivesTheDefaults) {
  LoadFile();
  EXPECT_EQ(Current(), kDefaults);
}

TEST_F(Settings, OnlyTheKeyGivenChanges) {
  WriteIni("[MAIN]\nReplaceTrailsInTheSky=1\n");
  LoadFile();
  Values expected = kDefaults;
  expected.replaceTrailsInTheSky = true;
  EXPECT_EQ(Current(), expected);
}

TEST_F(Settings, EveryKeyIsReadUnderItsOwnName) {
  WriteIni(
      "[MAIN]\nReplaceTrailsInTheSky=1\nEnableBanner=0\nEnableTrail=FALSE\nAppearOnlyAtAltitude=false\n"
      "AppearWhenPilotIsInside=1\nAlwaysAppear=true\nHeight=1.5\nTrailFadeTime=2.5\nHeightForBanner=3.5\n"
      "ModelIDForTrail=0x10\nModelIDForBanner=-17\nBannerDrawDistance=4.5\nFollowFileChanges=0\n");
  LoadFile();
  EXPECT_EQ(Current(), (Values{true, false, false, false, true, true, 1.5f, 2.5f, 3.5f, 16, -17, 4.5f, false}));
}

TEST_F(Settings, LowerCaseSectionOrKeysAreNotFound) {
  WriteIni("[main]\nHeight=5\nReplaceTrailsInTheSky=1\n[MAIN]\nheight=5\nenabletrail=0\nMAIN=1\n");
  LoadFile();
  EXPECT_EQ(Current(), kDefaults);
}

TEST_F(Settings, ModelIdThatDoesNotConvertKeepsItsDefaultAndLaterKeysAreRead) {
  WriteIni("[MAIN]\nModelIDForTrail=\nModelIDForBanner=600\nBannerDrawDistance=500\n");
  LoadFile();
  Values expected = kDefaults;
  expected.modelIdForBanner = 600;
  expected.bannerDrawDistance = 500.0f;
  EXPECT_EQ(Current(), expected);

  // Also over values a previous load had set: the default, not the previous value.
  WriteIni("[MAIN]\nModelIDForTrail=12\nModelIDForBanner=0x80000000\nBannerDrawDistance=abc\n");
  LoadFile();
  expected.modelIdForTrail = 12;
  expected.modelIdForBanner = 593;
  expected.bannerDrawDistance = 0.0f;
  EXPECT_EQ(Current(), expected);
}

TEST_F(Settings, ReloadSeesTheChangedFile) {
  WriteIni("[MAIN]\nHeight=10\n");
  LoadFile();
  EXPECT_EQ(Height, 10.0f);
  WriteIni("[MAIN]\r\nHeight=20\r\n");
  LoadFile();
  EXPECT_EQ(Height, 20.0f);
  std::remove(path_.c_str());
  LoadFile();
  EXPECT_EQ(Current(), kDefaults);
}

TEST_F(Settings, NumbersReadTheSameInADecimalCommaLocale) {
  WriteIni("[MAIN]\nHeight=250.5\nTrailFadeTime=1e3\n");
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8 locale here";
  LoadFile();
  std::setlocale(LC_ALL, previous.c_str());
  EXPECT_EQ(Height, 250.5f);
  EXPECT_EQ(TrailFadeTime, 1000.0f);
}

TEST_F(Settings, TheShippedFileHoldsEveryKeyAtItsDefaultInReadingOrder) {
  const IniText text = ReadIniText(ZEPHREL_SHIPPED_INI, true);
  ASSERT_EQ(text.status, IniTextStatus::kRead);
  std::string table = "[MAIN]\r\n";
  for (const Setting& setting : kSettings) table += std::string(setting.key) + "=" + setting.defaultText + "\r\n";
  EXPECT_EQ(text.text, table);
  std::vector<std::string> keys;
  std::size_t headers = 0;
  ParseIniText(text.text, [&](const IniLine& line) {
    if (line.header) ++headers;
    if (!line.header && line.section == "MAIN") keys.emplace_back(line.key);
  });
  EXPECT_EQ(keys, (std::vector<std::string>{"ReplaceTrailsInTheSky", "EnableBanner", "EnableTrail",
                                            "AppearOnlyAtAltitude", "AppearWhenPilotIsInside", "AlwaysAppear", "Height",
                                            "TrailFadeTime", "HeightForBanner", "ModelIDForTrail", "ModelIDForBanner",
                                            "BannerDrawDistance", "FollowFileChanges"}));
  EXPECT_EQ(headers, 1u);
  LoadSettingsFrom(text.text);
  EXPECT_EQ(Current(), kDefaults);
}

// Which line of a file gives a setting its value: the first with its key in section MAIN, wherever MAIN stands.
TEST_F(Settings, TheFirstLineOfMainWithAKeyGivesItsValue) {
  struct Case {
    const char* name;
    const char* text;
    float height;
    std::int32_t modelIdForTrail;
  };
  const Case cases[] = {
      {"first wins", "[MAIN]\nHeight=1\nHeight=2\n", 1.0f, 577},
      {"also in a reopened section", "[MAIN]\nHeight=1\n[OTHER]\nHeight=3\n[MAIN]\nHeight=2\n", 1.0f, 577},
      {"a reopened section adds keys", "[MAIN]\nHeight=1\n[OTHER]\n[MAIN]\nModelIDForTrail=12\n", 1.0f, 12},
      {"before any header is not in MAIN", "Height=1\n[MAIN]\nModelIDForTrail=12\n", 100.0f, 12},
      {"the empty section is not MAIN", "[]\nHeight=1\n", 100.0f, 577},
      {"another section is not MAIN", "[OTHER]\nHeight=1\n", 100.0f, 577},
      {"a first id that does not convert still wins", "[MAIN]\nModelIDForTrail=x\nModelIDForTrail=12\n", 100.0f, 577},
      {"an empty first number wins", "[MAIN]\nHeight=\nHeight=7\n", 0.0f, 577},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Set(kZero);
    LoadSettingsFrom(c.text);
    Values expected = kDefaults;
    expected.height = c.height;
    expected.modelIdForTrail = c.modelIdForTrail;
    EXPECT_EQ(Current(), expected);
  }
}

// The README's table of keys, "| `Key` | `default` | ... |", lists the table's keys in its order with its defaults,
// then [MAIN]'s keys of the rules with theirs.
TEST_F(Settings, TheReadmeTableAgreesWithTheSettings) {
  std::ifstream readme(ZEPHREL_README);
  ASSERT_TRUE(readme);
  std::vector<std::string> rows;
  for (std::string line; std::getline(readme, line);) {
    if (line.rfind("| `", 0) != 0) continue;
    const std::size_t keyEnd = line.find('`', 3);
    const std::size_t valueStart = line.find("| `", keyEnd);
    const std::size_t valueEnd = line.find('`', valueStart + 3);
    ASSERT_NE(valueEnd, std::string::npos) << line;
    rows.push_back(line.substr(3, keyEnd - 3) + "=" + line.substr(valueStart + 3, valueEnd - valueStart - 3));
  }
  std::vector<std::string> table;
  for (const Setting& setting : kSettings) table.push_back(std::string(setting.key) + "=" + setting.defaultText);
  LoadSettingsFrom("");
  for (std::size_t k = 0; k < kMainRuleKeyCount; ++k) {
    table.push_back(std::string(kMainRuleKeys[k]) + "=" + MainRuleKeyValueText(k));
  }
  EXPECT_EQ(rows, table);
}

}  // namespace
