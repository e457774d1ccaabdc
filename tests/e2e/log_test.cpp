// Zephrel.log, as a player finds it beside the plug-in after the game started: what the load did to the
// game's code, what the start-up found, and what each re-initialisation read.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "story.h"

namespace story {
namespace {

using simhost::Site;

constexpr std::int32_t kLines = 1;
constexpr std::int32_t kTriangles = 3;

std::string Hex(std::uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06X", address);
  return text;
}

using ZephrelLog = Story;

TEST_P(ZephrelLog, TheStartUpWritesTheBuildEachSiteAndTheSettingsAndEachReinitialisationAddsItsOwn) {
  InstallBannerTexture();
  for (const std::int32_t build : {1001, 1002}) {
    SCOPED_TRACE(build);
    simhost::SetBuild(build);
    WriteIni(Ini({{"Height", "250.5"}, {"EnableBanner", "no"}, {"ModelIDForTrail", "0x241"}}));
    folder().Remove("Zephrel.log");
    Load();
    EXPECT_FALSE(Log()) << "nothing is written while the plug-in loads";
    simhost::Startup();
    const std::string log = Log().value_or("");
    EXPECT_EQ(log.rfind("Zephrel ", 0), 0u) << log;
    EXPECT_NE(LineWith(log, "Zephrel ").find(folder().SeenBy(GetParam())), std::string::npos) << log;
    EXPECT_NE(log.find("Game build: " + std::to_string(build) + " (served)"), std::string::npos) << log;
    for (const Site site : simhost::kAllSites) {
      EXPECT_NE(LineWith(log, Hex(simhost::SiteAddress(site)))
                    .find("hooked: its call to " + Hex(simhost::RoutineAddress(site))),
                std::string::npos)
          << simhost::SiteName(site) << "\n"
          << log;
    }
    EXPECT_NE(log.find("Sky routine 0x7174F0: left to the game"), std::string::npos) << log;
    EXPECT_NE(log.find("Banner texture: loaded from " + folder().SeenBy(GetParam()) + "MODELS\\BANNER.TXD"),
              std::string::npos);
    EXPECT_NE(log.find("Zephrel.ini: read from " + folder().SeenBy(GetParam()) + "Zephrel.ini"), std::string::npos);
    for (const char* setting : {"Height                   250.5", "EnableBanner             true",
                                "ModelIDForTrail          577", "TrailFadeTime            10000"}) {
      EXPECT_NE(log.find(std::string("\n  ") + setting + "\n"), std::string::npos) << setting << "\n" << log;
    }

    // Each re-initialisation appends what it read, after what the start-up wrote.
    WriteIni(Ini({{"TrailFadeTime", "0.1"}}));
    simhost::Reinit();
    simhost::Reinit();
    const std::string appended = Log().value_or("");
    EXPECT_EQ(appended.substr(0, log.size()), log);
    EXPECT_NE(appended.find("Re-initialisation 2"), std::string::npos) << appended;
    EXPECT_EQ(Count(appended, "\n  TrailFadeTime            0.1\n"), 2u) << appended;

    // The next start-up begins the file anew.
    simhost::Startup();
    EXPECT_EQ(Count(Log().value_or(""), "Settings in effect"), 1u);
    EXPECT_TRUE(Unload());
    simhost::ResetHost();
  }
}

TEST_P(ZephrelLog, TheRedirectedSkyRoutineIsInTheLog) {
  WriteIni(Ini({{"ReplaceTrailsInTheSky", "1"}}));
  Load();
  simhost::Startup();
  EXPECT_NE(Log().value_or("").find("Sky routine 0x7174F0: redirected"), std::string::npos) << *Log();
  WriteIni(Ini());
  simhost::Startup();
  EXPECT_NE(Log().value_or("").find("Sky routine 0x7174F0: still redirected by an earlier start-up"), std::string::npos)
      << *Log();
}

// What the section for a save followed at game time `ms` begins with.
std::string FollowedAt(std::uint32_t ms) {
  char text[80];
  std::snprintf(text, sizeof text, "\nZephrel.ini saved, read again at game time %u.%03u s\n", ms / 1000, ms % 1000);
  return text;
}

TEST_P(ZephrelLog, EachFollowedSaveAddsWhatChangedAndWhatTheSkyTrailsStillNeedButNeverWhileDrawing) {
  constexpr std::uint32_t kSkyRoutine = host::address::HostSkyTrailRoutine;
  WriteIni(Ini());
  Load();
  simhost::Startup();
  const std::string atStart = Log().value_or("");
  WriteIni(Ini({{"ReplaceTrailsInTheSky", "1"}, {"Height", "250.5"}}) + "height=5\r\n");
  // However overdue the check, the drawing pass reads nothing; the frame's check finds the save, and the next
  // check, finding it the same, reads it.
  simhost::SetClock(simhost::Clock() + 5000);
  simhost::RunSite(Site::Draw);
  simhost::RunSite(Site::Frame);
  EXPECT_EQ(Log().value_or(""), atStart);
  simhost::SetClock(simhost::Clock() + 500);
  simhost::RunSite(Site::Frame);
  std::string log = Log().value_or("");
  ASSERT_EQ(log.substr(0, atStart.size()), atStart);
  EXPECT_EQ(log.substr(atStart.size()),
            FollowedAt(simhost::Clock()) +
                "Settings changed:\n"
                "  ReplaceTrailsInTheSky    false -> true: the three circling trails start now, but the game's own "
                "trails in the sky give way only at the next game start\n"
                "  Height                   100 -> 250.5\n"
                "Lines that do not do what they seem, new since the last section:\n"
                "  line 15: height is not Height: keys are case-sensitive, so this line is not read\n");
  EXPECT_NE(simhost::ReadCode(kSkyRoutine, 1)[0], 0xE9);
  // A clock set back, as by a loaded game, holds no check back.
  simhost::SetClock(simhost::Clock() - 60000);
  WriteIni(Ini({{"ReplaceTrailsInTheSky", "1"}}));
  simhost::RunSite(Site::Frame);
  simhost::SetClock(simhost::Clock() + 500);
  simhost::RunSite(Site::Frame);
  EXPECT_NE(Log().value_or("").find(FollowedAt(simhost::Clock()) +
                                    "Settings changed:\n  Height                   250.5 -> 100\n"
                                    "Gone since the last section (the lines as they were numbered then):\n"
                                    "  line 15: height is not Height: keys are case-sensitive, so this line is not "
                                    "read\n"),
            std::string::npos)
      << Log().value_or("");

  // Switched off after a start-up that redirected the sky routine: the redirect stays. A save that changes
  // nothing says so.
  simhost::Startup();
  ASSERT_EQ(simhost::ReadCode(kSkyRoutine, 1)[0], 0xE9);
  for (const auto& [text, change] :
       {std::pair{Ini(),
                  "Settings changed:\n  ReplaceTrailsInTheSky    true -> false: the game's sky routine stays "
                  "redirected to the three circling trails until Zephrel is unloaded\n"},
        std::pair{Ini() + "\r\n", "Settings changed: none\n"}}) {
    const std::size_t before = Log().value_or("").size();
    WriteIni(text);
    Fly(Seconds(1) + 1);
    log = Log().value_or("");
    EXPECT_EQ(log.substr(before, log.find("\n", before + 1) - before + 1).rfind("\nZephrel.ini saved", 0), 0u) << log;
    EXPECT_EQ(log.substr(log.find("\n", before + 1) + 1), change) << log;
  }
  EXPECT_EQ(simhost::ReadCode(kSkyRoutine, 1)[0], 0xE9);
}

// The size of the log file: its lines end with CR LF.
std::size_t FileSize(const std::string& log) {
  return log.size() + static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n'));
}

// How many sections after the start-up the log tells of: those it holds, and those it says it left out.
std::size_t Sections(const std::string& log) {
  std::size_t leftOut = 0;
  const std::string line = LineWith(log, " earlier sections are left out here");
  if (!line.empty()) leftOut = std::stoul(line.substr(4));
  return Count(log, "\nZephrel.ini saved, read again") + Count(log, "\nRe-initialisation ") + leftOut;
}

TEST_P(ZephrelLog, ReinitialisationsAndFollowedSavesFillTheLogUpTo64KiBThenTheOldestOfThemGiveWay) {
  WriteIni(Ini());
  Load();
  simhost::Startup();
  const std::string atStart = Log().value_or("");
  for (int i = 0; i < 260; ++i) {
    if (i % 2 == 0) {
      simhost::Reinit();
    } else {
      WriteIni(Ini({{"Height", i % 4 == 1 ? "120" : "80.5"}}));
      Fly(Seconds(1) + 1);
    }
  }
  const std::string log = Log().value_or("");
  EXPECT_LE(FileSize(log), 64u * 1024);
  EXPECT_GT(FileSize(log), 40u * 1024) << "a quarter of the log is made free at a time";
  EXPECT_EQ(log.substr(0, atStart.size()), atStart);
  EXPECT_EQ(log.substr(atStart.size()).rfind("\n... ", 0), 0u) << "the line on what was left out follows the start-up";
  EXPECT_EQ(Sections(log), 260u);
  EXPECT_NE(log.find("\nRe-initialisation 130\n"), std::string::npos);
  EXPECT_EQ(log.substr(log.rfind("\nSettings changed:")),
            "\nSettings changed:\n  Height                   120 -> 80.5\n");
  simhost::Startup();
  EXPECT_LT(Log().value_or("").size(), 4096u);
}

// An editor's autosave, every second of ten minutes of game time: each save is read once, for its settings and
// its section of the log, and the log keeps the start-up and the latest change within its 64 KiB.
TEST_P(ZephrelLog, TenMinutesOfAutosavesLeaveTheStartUpAndTheLatestChangeInTheLog) {
  WriteIni(Ini({{"Height", "250.5"}}) + "height=5\r\n");
  Load();
  simhost::Startup();
  const std::string atStart = Log().value_or("");
  simhost::SetRecording(false);
  const long reads = simhost::FileReads();
  std::uint32_t lastSave = simhost::Clock();
  int saves = 0;
  while (saves < 600) {
    simhost::Frame(kFrameMs);
    if (simhost::Clock() - lastSave < 1000) continue;
    lastSave = simhost::Clock();
    // Each save differs in size from the one before: the file system's clock may not tell them apart.
    ++saves;
    const std::string height = std::to_string(100 + saves) + (saves % 2 != 0 ? ".5" : "");
    WriteIni(Ini({{"Height", height}}) + "height=5\r\n");
  }
  Fly(Seconds(1) + 1);
  simhost::SetRecording(true);
  const long followed = simhost::FileReads() - reads;
  const std::string log = Log().value_or("");
  EXPECT_LE(FileSize(log), 64u * 1024);
  EXPECT_EQ(log.substr(0, atStart.size()), atStart);
  EXPECT_NE(atStart.find("\n  line 15: height is not Height"), std::string::npos) << "the start-up tells the notes";
  EXPECT_EQ(Count(log, "height is not Height"), 1u) << "and no followed save repeats them";
  EXPECT_EQ(log.substr(log.rfind("\nSettings changed:")),
            "\nSettings changed:\n  Height                   699.5 -> 700\n");
  EXPECT_EQ(Sections(log), 600u) << "each save is followed";
  EXPECT_EQ(followed, 600) << "and read once";
}

TEST_P(ZephrelLog, ALineThatDoesNotDoWhatItSeemsIsExplainedAsTheCheckerExplainsIt) {
  WriteIni("[MAIN]\r\nEnableTrail=no\r\nheight=300\r\nHeight=1" + std::string(300, '\x1B') + "\r\n");
  Load();
  simhost::Startup();
  const std::string log = Log().value_or("");
  EXPECT_NE(log.find("\n  line 2: EnableTrail=no reads as true"), std::string::npos) << log;
  EXPECT_NE(log.find("\n  line 3: height is not Height"), std::string::npos) << log;
  // The player's control characters are shown escaped, and a long line is cut.
  const std::string escaped = LineWith(log, "  line 4: Height=1\\x1B\\x1B");
  EXPECT_EQ(escaped.size(), 600u) << log;
  EXPECT_TRUE(escaped.ends_with("...")) << escaped;
  EXPECT_EQ(log.find('\x1B'), std::string::npos);
}

// The rules in effect, each as configured, with the banner rules that tow nothing for want of their texture: one
// the dictionary does not hold, and one first named after the game started, which is read only at the next.
TEST_P(ZephrelLog, TheRulesInEffectAreListedWithTheBannerRulesThatTowNothing) {
  std::string rules = "TrailColour=255,40,40\r\n[Trail 600]\r\nTrailWidth=3\r\n[Banner 601]\r\nBannerTexture=Torn\r\n";
  for (int model = 700; model < 707; ++model) rules += "[Trail " + std::to_string(model) + "]\r\n";
  WriteIni(Ini() + rules + "[Banner 602]\r\nBannerTexture=Cloth\r\nEnableBanner=0\r\n");
  InstallBannerTexture();
  simhost::SetMissingTextures({"Torn"});
  Load();
  simhost::Startup();
  const std::string log = Log().value_or("");
  const std::string kTowsNothing =
      ": not read from MODELS\\BANNER.TXD (the file is missing or holds no texture of this name), so this rule tows "
      "nothing; ZephrelCheck.exe lists the textures the file holds";
  for (const std::string& line : {
           std::string(
               "\n  TrailColour              255,40,40\n  TrailWidth               0\n"
               "  BannerTexture            Banner\n  SkyTrailColour           255,255,255\n"
               "Rules in effect (the first of each kind is [MAIN]'s):\n"
               "  Trail rule 1: model 577, enabled, height 100, fade time 10000 ms, colour 255,40,40, a line\n"
               "  Trail rule 2: model 600, enabled, height 100, fade time 10000 ms, colour 255,40,40, a ribbon 3 "
               "wide\n"),
           std::string("\n  Trail rule 8: model 705, "),
           std::string("\n  Banner rule 1: model 593, enabled, AppearOnlyAtAltitude=1 AppearWhenPilotIsInside=0 "
                       "AlwaysAppear=0, height 100, draw distance 300, texture Banner\n"
                       "  Banner rule 2: model 601, enabled, AppearOnlyAtAltitude=1 AppearWhenPilotIsInside=0 "
                       "AlwaysAppear=0, height 100, draw distance 300, texture Torn" +
                       kTowsNothing +
                       "\n  Banner rule 3: model 602, disabled, AppearOnlyAtAltitude=1 AppearWhenPilotIsInside=0 "
                       "AlwaysAppear=0, height 100, draw distance 300, texture Cloth\n"
                       "  Rule sections not read, past 8 trail or 8 banner rules: 1\n"),
           std::string("\n  line 26: [Trail 706] is not read: there are 8 trail rules already"),
       }) {
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  }

  // A save that names new cloths: they are read only at the next game start, and the log says so.
  const std::size_t before = log.size();
  WriteIni(Ini() + "BannerTexture=Fresh\r\n" + rules + "[Banner 602]\r\nBannerTexture=New\r\nEnableBanner=0\r\n");
  Fly(Seconds(1) + 1);
  const std::string followed = Log().value_or("").substr(before);
  const std::string kNotYet =
      ": first named after the game started, so read only at the next game start; until then this rule tows nothing";
  EXPECT_NE(followed.find("Settings changed:\n  BannerTexture            Banner -> Fresh: a texture first named after "
                          "the game started is read only at the next game start; until then [MAIN]'s banner rule tows "
                          "nothing\n"
                          "Rule sections changed:\n  Banner rule 3: model 602, disabled, AppearOnlyAtAltitude=1 "
                          "AppearWhenPilotIsInside=0 AlwaysAppear=0, height 100, draw distance 300, texture Cloth -> "
                          "model 602, disabled, AppearOnlyAtAltitude=1 AppearWhenPilotIsInside=0 AlwaysAppear=0, "
                          "height 100, draw distance 300, texture New" +
                          kNotYet + "\nRule sections not read, past 8 trail or 8 banner rules: 1\n"),
            std::string::npos)
      << followed;
  simhost::Reinit();
  EXPECT_NE(Log().value_or("").find("\n  Banner rule 1: model 593, enabled, AppearOnlyAtAltitude=1 "
                                    "AppearWhenPilotIsInside=0 AlwaysAppear=0, height 100, draw distance 300, texture "
                                    "Fresh" +
                                    kNotYet + "\n"),
            std::string::npos)
      << Log().value_or("");
  // The next game start reads them.
  simhost::Startup();
  EXPECT_EQ(Log().value_or("").find("first named after the game started"), std::string::npos) << *Log();
}

TEST_P(ZephrelLog, ALogThatCannotBeWrittenStopsNothing) {
  folder().Write("Zephrel.log/in-the-way", "a folder where the log would go");
  WriteIni(Ini());
  InstallBannerTexture();
  Load();
  simhost::Startup();
  simhost::Reinit();
  TwoPlanes planes;
  planes.Place();
  Fly(Seconds(3));
  EXPECT_EQ(BatchesOf(kLines).size(), 1u);
  EXPECT_EQ(BatchesOf(kTriangles).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Builds, ZephrelLog, AllBuilds(), BuildName);

}  // namespace
}  // namespace story
