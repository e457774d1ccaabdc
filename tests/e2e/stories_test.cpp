// The whole plug-in in the simulated host, the way a player meets it: installed in the game folder, loaded by
// the game, flown, reconfigured, shut down and unloaded. Every story runs against both builds: the Linux
// library and the Windows DLL a player installs.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "config/ini_parser.h"
#include "config/rules.h"
#include "patching/patching.h"
#include "story.h"
#include "support/code_scratch.h"

using namespace patching;

namespace story {
namespace {

using simhost::PluginBuild;
using simhost::Site;

constexpr std::uint32_t kSkyRoutine = host::address::HostSkyTrailRoutine;
constexpr std::int32_t kLines = 1;
constexpr std::int32_t kTriangles = 3;

// ---- Load on a served build ----------------------------------------------------------------------------------

TEST_P(Story, OnAServedBuildTheLoadHooksTheSixCallSitesAndNothingElse) {
  for (const std::int32_t build : {1001, 1002}) {
    SCOPED_TRACE(build);
    simhost::SetBuild(build);
    const auto before = simhost::SnapshotCode();
    Load();
    for (const std::uint32_t changed : ChangedBytes(before, simhost::SnapshotCode())) {
      bool inASite = false;
      for (const Site site : simhost::kAllSites) inASite |= changed - simhost::SiteAddress(site) < 5;
      EXPECT_TRUE(inASite) << std::hex << changed;
    }
    for (const Site site : simhost::kAllSites) {
      SCOPED_TRACE(simhost::SiteName(site));
      EXPECT_EQ(simhost::ReadCode(simhost::SiteAddress(site), 1)[0], 0xE8);
      EXPECT_TRUE(plugin().Contains(LeadsTo(simhost::SiteAddress(site))));
      EXPECT_EQ(simhost::RunSite(site), simhost::RoutineResult(site)) << "the host gets its routine's result";
    }
    EXPECT_TRUE(simhost::CalleeSavedRegistersKept());
    EXPECT_TRUE(Unload());
    EXPECT_TRUE(simhost::SnapshotCode() == before);
  }
}

TEST_P(Story, ATrailPlaneAndABannerPlaneFlyForFortySeconds) {
  WriteIni(Ini());
  InstallBannerTexture();
  Load();
  simhost::Startup();

  // Start-up found the texture dictionary in the game folder and read the banner's texture from it.
  const auto loads = simhost::CallsOf("LoadTextureDictionary");
  ASSERT_EQ(loads.size(), 1u);
  EXPECT_NE(loads[0].text.find("MODELS\\BANNER.TXD"), std::string::npos) << loads[0].text;
  EXPECT_EQ(simhost::LiveTextures(), 1);

  TwoPlanes planes;
  planes.Place();
  std::size_t lastCount = 0;
  for (int second = 10; second <= 40; second += 10) {
    SCOPED_TRACE(second);
    Fly(Seconds(10));
    const auto trails = BatchesOf(kLines);
    ASSERT_EQ(trails.size(), 1u);
    const auto& vertices = trails[0].vertices;
    // One point about every 2 s, the newest riding on the plane, up to the 15 of a trail's 30 s life.
    EXPECT_GE(vertices.size(), std::min<std::size_t>(second / 2, 15));
    EXPECT_LE(vertices.size(), std::min<std::size_t>(second / 2 + 1, 15));
    EXPECT_GE(vertices.size(), lastCount);
    lastCount = vertices.size();
    EXPECT_EQ(Distance(vertices[0].position, simhost::VehiclePosition(0)), 0.0f);
    EXPECT_EQ(trails[0].indices.size(), 2 * vertices.size() - 2);
    // Full strength (109 under a light of 255) for 20 s, then fading towards the tail.
    EXPECT_EQ(AlphaOf(vertices.front()), 109u);
    for (std::size_t k = 1; k < vertices.size(); ++k) EXPECT_LE(AlphaOf(vertices[k]), AlphaOf(vertices[k - 1]));
    if (second >= 30) {
      EXPECT_LT(AlphaOf(vertices.back()), 30u);
    }

    // The banner hangs from points 2 to 7 of its chain, two segments (16 units) behind where the plane was
    // when the chain last stepped; the plane has moved on by one frame (0.66 units) since.
    const auto banners = BatchesOf(kTriangles);
    ASSERT_EQ(banners.size(), 1u);
    const auto& cloth = banners[0].vertices;
    ASSERT_EQ(cloth.size(), 12u);
    EXPECT_EQ(banners[0].indices.size(), 30u);
    const float toPlane = Distance(cloth[0].position, simhost::VehiclePosition(1));
    EXPECT_GT(toPlane, 8.0f);
    EXPECT_LE(toPlane, 16.7f);
    EXPECT_EQ(cloth[1].position.z, cloth[0].position.z - 4.0f);
    EXPECT_EQ(AlphaOf(cloth[0]), 160u);
    EXPECT_NE(banners[0].renderStates.at(1), 0u) << "drawn with the banner's texture";
  }

  // The trail plane lands: its trail stops growing, and it is gone once its last point is 30 s old (its last
  // two points were started at most 4 s before the landing).
  planes.trailPlaneLanded = true;
  Fly(Seconds(25));
  ASSERT_EQ(BatchesOf(kLines).size(), 1u);
  EXPECT_LE(BatchesOf(kLines)[0].vertices.size(), 3u);
  Fly(Seconds(6));
  EXPECT_TRUE(BatchesOf(kLines).empty());
  EXPECT_EQ(BatchesOf(kTriangles).size(), 1u) << "the banner plane flies on";
}

// ---- Re-initialisation after editing the file --------------------------------------------------------------

TEST_P(Story, EditingTheFileTakesEffectAtTheNextReinitialisation) {
  const auto skyRoutine = simhost::ReadCode(kSkyRoutine, 5);
  WriteIni(Ini());
  InstallBannerTexture();
  Load();
  simhost::Startup();
  TwoPlanes planes;
  planes.Place();
  Fly(Seconds(16));
  const auto before = BatchesOf(kLines).at(0).vertices;
  EXPECT_EQ(AlphaOf(before.back()), 109u) << "16 s old: still at full strength with a 10 s fade";

  WriteIni(Ini({{"TrailFadeTime", "20000"}, {"EnableBanner", "0"}, {"ReplaceTrailsInTheSky", "1"}}));
  simhost::Reinit();

  const int skyRunsBefore = simhost::SkyRoutineRuns();
  Fly(Seconds(3));
  // A 20 s fade dims points from 10 s on.
  const auto trails = BatchesOf(kLines);
  const simhost::Batch* plane = nullptr;
  for (const auto& batch : trails) {
    if (Distance(batch.vertices[0].position, simhost::VehiclePosition(0)) == 0.0f) plane = &batch;
  }
  ASSERT_NE(plane, nullptr);
  EXPECT_EQ(AlphaOf(plane->vertices.front()), 109u);
  EXPECT_LT(AlphaOf(plane->vertices.back()), 109u);
  // The three sky trails circle from the next frame on, while the host's own routine keeps its code.
  EXPECT_EQ(trails.size(), 4u);
  EXPECT_EQ(simhost::ReadCode(kSkyRoutine, 5), skyRoutine);
  EXPECT_EQ(simhost::SkyRoutineRuns() - skyRunsBefore, Seconds(3));
  // Banners off: the banner no longer follows its plane but sinks away instead of vanishing.
  const auto banners = BatchesOf(kTriangles);
  ASSERT_EQ(banners.size(), 1u);
  EXPECT_GT(Distance(banners[0].vertices[0].position, simhost::VehiclePosition(1)), 30.0f);
  EXPECT_LT(banners[0].vertices[0].position.z, 150.0f);
}

// ---- Following the file while the game runs ---------------------------------------------------------------

// Whether the trail plane's newest trail point rides on it: the scan serves it in this frame.
bool TrailRidesOnPlane() {
  for (const auto& batch : BatchesOf(kLines)) {
    if (Distance(batch.vertices[0].position, simhost::VehiclePosition(0)) == 0.0f) return true;
  }
  return false;
}

TEST_P(Story, ASavedHeightIsFollowedWithinASecondOfGameTimeAndAFileGoneForAWhileChangesNothing) {
  WriteIni(Ini({{"Height", "100"}}));
  Load();
  simhost::Startup();
  TwoPlanes planes;  // the trail plane flies at 150
  planes.Place();
  Fly(Seconds(3));
  ASSERT_TRUE(TrailRidesOnPlane());

  // The game time from a save to the first frame that follows it. Each save differs in size from the one
  // before: two saves within one tick of the file system's clock differ in nothing else.
  const auto followed = [this](const std::string& text, bool riding) {
    WriteIni(text);
    const std::uint32_t saved = simhost::Clock();
    do {
      Fly(1);
    } while (TrailRidesOnPlane() != riding && simhost::Clock() - saved < 3000);
    return simhost::Clock() - saved;
  };
  EXPECT_LE(followed(Ini({{"Height", "300.5"}}), false), 1000 + kFrameMs);

  // Gone for a while, as when an editor replaces the file: the settings stay (the defaults would let the plane
  // leave its trail again), and the file written back is followed like any save.
  folder().Remove("Zephrel.ini");
  Fly(Seconds(3));
  EXPECT_FALSE(TrailRidesOnPlane());
  EXPECT_LE(followed(Ini({{"Height", "90"}}), true), 1000 + kFrameMs);
  EXPECT_EQ(simhost::RoutineRuns(Site::ReinitA) + simhost::RoutineRuns(Site::ReinitB), 0);
}

// A file caught while another program holds it cannot be read: that is no file of defaults.
TEST_P(Story, ASaveCaughtWhileAnotherProgramHoldsTheFileIsFollowedOnceItLetsGo) {
  WriteIni(Ini({{"Height", "200"}}));
  Load();
  simhost::Startup();
  TwoPlanes planes;
  planes.Place();
  Fly(Seconds(2));
  ASSERT_TRUE(BatchesOf(kLines).empty());
  WriteIni(Ini({{"Height", "90"}}));
  if (!simhost::HoldFileOpen(GetParam(), folder(), "Zephrel.ini")) GTEST_SKIP() << "no way to hold it here";
  Fly(Seconds(5));
  EXPECT_TRUE(BatchesOf(kLines).empty()) << "Height stays 200 (the default 100 would start a trail)";
  simhost::ReleaseHeldFile();
  Fly(Seconds(5));
  EXPECT_TRUE(TrailRidesOnPlane());
}

// An editor that empties the file before it writes it, or writes it in two goes, is caught half way at times: what
// it left half way never reaches the settings, and the whole save is followed once.
TEST_P(Story, ASaveCaughtHalfWrittenNeverReachesTheSettings) {
  WriteIni(Ini({{"Height", "200"}}));
  Load();
  simhost::Startup();
  TwoPlanes planes;  // the trail plane flies at 150, below every Height here but those half written
  planes.Place();
  Fly(Seconds(2));
  // Emptied for two seconds: a save in progress, not a file of defaults (Height=100). Then, for a moment,
  // "Height=1" of "Height=170" (and every key before it).
  const std::string last = Ini({{"Height", "170"}});
  for (const auto& [halfWay, seconds, whole] : {std::tuple{std::string(), 2.0, Ini({{"Height", "160"}})},
                                                std::tuple{last.substr(0, last.find("Height=1") + 8), 0.3, last}}) {
    WriteIni(halfWay);
    for (int i = Seconds(seconds); i > 0; --i) {
      Fly(1);
      ASSERT_TRUE(BatchesOf(kLines).empty()) << "a half-written file read";
    }
    WriteIni(whole);
    Fly(Seconds(1) + 1);
    EXPECT_TRUE(BatchesOf(kLines).empty());
  }
  const std::string log = Log().value_or("");
  EXPECT_EQ(Count(log, "\nZephrel.ini saved"), 2u) << log;
  EXPECT_NE(log.find("Height                   200 -> 160\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Height                   160 -> 170\n"), std::string::npos) << log;
  // Emptied for good: after a few seconds an empty file is a save, of every default (and a trail point is laid
  // every two seconds).
  WriteIni("");
  Fly(Seconds(6));
  EXPECT_TRUE(TrailRidesOnPlane()) << Log().value_or("");
}

// A save is read once, for the settings and for the log's notes alike; a file as it was is not read at all.
TEST_P(Story, EachSaveIsReadOnceForItsSettingsAndItsLog) {
  WriteIni(Ini({{"Height", "250"}}));
  Load();
  const auto readsBy = [](const auto& step) {
    const long before = simhost::FileReads();
    step();
    return simhost::FileReads() - before;
  };
  EXPECT_EQ(readsBy([] { simhost::Startup(); }), 1);
  EXPECT_EQ(readsBy([] { simhost::Reinit(); }), 1);
  EXPECT_EQ(readsBy([this] { Fly(Seconds(5)); }), 0);
  WriteIni(Ini({{"Height", "25"}}) + "height=5\r\n");
  EXPECT_EQ(readsBy([this] { Fly(Seconds(1) + 1); }), 1);
  const std::string log = Log().value_or("");
  EXPECT_NE(log.find("Height                   250 -> 25\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\n  line 15: height is not Height"), std::string::npos) << log;
}

// ---- Shutdown and unload -----------------------------------------------------------------------------------

TEST_P(Story, ShutdownReleasesTheTextureAndUnloadGivesTheHostItsCodeBack) {
  WriteIni(Ini({{"ReplaceTrailsInTheSky", "1"}}));
  InstallBannerTexture();
  const auto pristine = simhost::SnapshotCode();
  Load();
  simhost::Startup();

  // The sky routine now lands in the plug-in and returns to the host's caller.
  EXPECT_EQ(simhost::ReadCode(kSkyRoutine, 1)[0], 0xE9);
  EXPECT_TRUE(plugin().Contains(BranchTarget(simhost::At(kSkyRoutine), true).value_or(0)));
  TwoPlanes planes;
  planes.Place();
  Fly(Seconds(5));
  EXPECT_EQ(simhost::SkyRoutineRuns(), 0);
  EXPECT_TRUE(simhost::CalleeSavedRegistersKept());
  EXPECT_EQ(BatchesOf(kLines).size(), 4u) << "the trail plane's and the three in the sky";
  EXPECT_TRUE(simhost::CallsOf("ShowLightSprite").empty() && simhost::CallsOf("UpdateLightSprite").empty());
  simhost::SetClockHour(23);
  Fly(1);
  std::set<std::uint32_t> lights;  // by sprite id
  for (const auto& call : simhost::Recorded().calls) {
    if (call.entry == "ShowLightSprite" || call.entry == "UpdateLightSprite") lights.insert(call.args.at(0));
  }
  EXPECT_EQ(lights.size(), 3u) << "at night each sky trail carries a light";

  const auto texture = simhost::CallsOf("ReadTexture");
  simhost::ClearRecord();
  simhost::Shutdown();
  const auto& calls = simhost::Recorded().calls;
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0].entry, "DestroyTexture") << "before the host's shutdown routine";
  EXPECT_EQ(calls[1].entry, "routine:shutdown");
  EXPECT_EQ(simhost::CallsOf("DestroyTexture").size(), 1u);
  EXPECT_EQ(simhost::LiveTextures(), 0);
  simhost::Shutdown();
  EXPECT_EQ(simhost::CallsOf("DestroyTexture").size(), 1u) << "released once";

  EXPECT_TRUE(Unload());
  EXPECT_TRUE(simhost::SnapshotCode() == pristine);
  simhost::RunSkyRoutine();
  EXPECT_EQ(simhost::SkyRoutineRuns(), 1) << "the host's own sky routine runs again";
}

// ---- The order of the steps inside each callback -----------------------------------------------------------

// The record's calls named by `step` (an empty name drops a call), with repeats in a row folded into one.
std::vector<std::string> Steps(const std::function<std::string(const simhost::Call&)>& step) {
  std::vector<std::string> steps;
  for (const simhost::Call& call : simhost::Recorded().calls) {
    const std::string name = step(call);
    if (!name.empty() && (steps.empty() || steps.back() != name)) steps.push_back(name);
  }
  return steps;
}

using Names = std::vector<std::string>;

TEST_P(Story, EachCallbackTakesItsStepsInOrder) {
  WriteIni(Ini({{"ReplaceTrailsInTheSky", "1"}}));
  InstallBannerTexture();
  simhost::SetClockHour(2);  // night: the sky trails show their lights
  Load();
  TwoPlanes planes;
  planes.Place();
  simhost::SetVectorCallsRecorded(true);

  // Start-up, after the host's routine: the chains are parked, the texture loaded, and only then, with this
  // start-up's settings read, the sky routine redirected.
  bool redirectedAtTextureLoad = true;
  simhost::SetCallObserver([&](const simhost::Call& call) {
    if (call.entry == "ReadTexture") redirectedAtTextureLoad = simhost::ReadCode(kSkyRoutine, 1)[0] == 0xE9;
  });
  simhost::ClearRecord();
  simhost::Startup();
  simhost::SetCallObserver(nullptr);
  EXPECT_EQ(Steps([](const simhost::Call& call) -> std::string {
              if (call.entry == "SetVector") return "park";
              if (call.entry.find("Texture") != std::string::npos) return "texture";
              return call.entry.rfind("routine:", 0) == 0 ? call.entry : "";
            }),
            (Names{"routine:startup", "park", "texture"}));
  EXPECT_FALSE(redirectedAtTextureLoad);
  EXPECT_EQ(simhost::ReadCode(kSkyRoutine, 1)[0], 0xE9);

  // Per frame, after the host's routine: the banners step (dragging their points), the three sky trails take
  // their points and lights, and the scan hands this frame's positions to the trail and the banner.
  Fly(Seconds(2));
  const auto frameStep = [](const simhost::Call& call) -> std::string {
    if (call.entry == "VectorLength") return "banners";
    if (call.entry == "CopyVector") return "point";
    if (call.entry.find("LightSprite") != std::string::npos) return "light";
    return call.entry.rfind("routine:", 0) == 0 ? call.entry : "";
  };
  simhost::ClearRecord();
  simhost::RunSite(Site::Frame);
  EXPECT_EQ(Steps(frameStep),
            (Names{"routine:frame", "banners", "point", "light", "point", "light", "point", "light", "point"}));

  // Drawing, after the host's routine: every banner (tested for view with radius 32), then every trail (1000).
  simhost::ClearRecord();
  simhost::RunSite(Site::Draw);
  EXPECT_EQ(Steps([](const simhost::Call& call) -> std::string {
              if (call.entry == "IsSphereVisible") return simhost::AsFloat(call.args[2]) == 32.0f ? "banner" : "trail";
              return call.entry.rfind("routine:", 0) == 0 ? call.entry : "";
            }),
            (Names{"routine:draw", "banner", "trail"}));

  // Re-initialisation reads the file and calls nothing of the host; the next frame follows what it read.
  WriteIni(Ini());
  simhost::ClearRecord();
  simhost::Reinit();
  EXPECT_EQ(Steps([](const simhost::Call& call) { return call.entry; }), (Names{"routine:reinit-a"}));
  simhost::ClearRecord();
  simhost::RunSite(Site::Frame);
  EXPECT_EQ(Steps(frameStep), (Names{"routine:frame", "banners", "point"}));

  // Shutdown, before the host's routine: the texture goes back while the host can still take it.
  simhost::ClearRecord();
  simhost::Shutdown();
  EXPECT_EQ(Steps([](const simhost::Call& call) { return call.entry; }), (Names{"DestroyTexture", "routine:shutdown"}));
}

// ---- Builds the plug-in does not serve ---------------------------------------------------------------------

TEST_P(Story, OnOtherBuildsNothingIsPatchedAndNothingRuns) {
  WriteIni(Ini());
  InstallBannerTexture();
  for (const std::int32_t build : {1011, 3200, 0}) {
    SCOPED_TRACE(build);
    simhost::SetBuild(build);
    const auto before = simhost::SnapshotCode();
    Load();
    EXPECT_TRUE(simhost::SnapshotCode() == before);
    simhost::ClearRecord();
    simhost::Startup();
    TwoPlanes planes;
    planes.Place();
    Fly(Seconds(3));
    simhost::Reinit();
    simhost::Shutdown();
    for (const auto& call : simhost::Recorded().calls) EXPECT_EQ(call.entry.rfind("routine:", 0), 0u) << call.entry;
    EXPECT_EQ(simhost::Vehicle(0).timeField, 0u);
    EXPECT_FALSE(Log()) << "no callback ran, so no log was written";
    EXPECT_TRUE(Unload());
    EXPECT_TRUE(simhost::SnapshotCode() == before);
  }
}

// ---- The look of the rules of [MAIN] ------------------------------------------------------------------------

// [MAIN]'s trail rule as a coloured ribbon, its banner rule with a cloth of its own, and the sky trails in a
// colour: each as configured, through the host calls a banner's cloth uses for the ribbon.
TEST_P(Story, MainsRulesDrawARedRibbonAClothOfTheirOwnAndBlueSkyTrails) {
  WriteIni(Ini({{"ReplaceTrailsInTheSky", "1"}}) +
           "TrailColour=255, 40, 40\r\nTrailWidth=3\r\nBannerTexture=Banner2\r\nSkyTrailColour=0,0,255\r\n");
  InstallBannerTexture();
  Load();
  simhost::Startup();
  // "Banner" as ever, then the rule's own from the same dictionary slot.
  const auto reads = simhost::CallsOf("ReadTexture");
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].text, "Banner");
  EXPECT_EQ(reads[1].text, "Banner2");
  EXPECT_EQ(simhost::LiveTextures(), 2);
  EXPECT_EQ(simhost::CurrentTextureDictionary(), 0);

  TwoPlanes planes;
  planes.Place();
  simhost::SetCameraPosition({0.0f, -100.0f, 300.0f});  // above the trail, not along it
  Fly(Seconds(10));
  std::vector<simhost::Batch> ribbons;
  std::vector<simhost::Batch> cloths;
  for (const simhost::Batch& batch : BatchesOf(kTriangles)) (batch.flags == 24u ? ribbons : cloths).push_back(batch);
  EXPECT_EQ(BatchesOf(kLines).size(), 3u) << "the three sky trails stay lines";
  for (const simhost::Batch& line : BatchesOf(kLines)) EXPECT_EQ(line.vertices[0].colour & 0xFFFFFF, 0x0000FFu);

  ASSERT_EQ(ribbons.size(), 1u);
  const auto& vertices = ribbons[0].vertices;
  ASSERT_GE(vertices.size(), 8u);
  EXPECT_EQ(vertices.size() % 2, 0u);
  EXPECT_EQ(ribbons[0].indices.size(), 3 * vertices.size() - 6);
  for (std::size_t i = 0; i < vertices.size(); ++i) {
    EXPECT_EQ(vertices[i].colour & 0xFFFFFF, 0xFF2828u) << i;
    if (i % 2 == 1) {
      EXPECT_NEAR(Distance(vertices[i].position, vertices[i - 1].position), 3.0f, 1e-3) << i;
    }
  }
  EXPECT_EQ(AlphaOf(vertices[0]), 109u);
  EXPECT_EQ(ribbons[0].renderStates.at(1), 0u) << "no texture, as a line";

  // The host hands out rasters in the order it reads textures: the cloth is Banner2's.
  ASSERT_EQ(cloths.size(), 1u);
  EXPECT_EQ(cloths[0].renderStates.at(1), simhost::kFirstRaster + 1);
  simhost::ClearRecord();
  simhost::Shutdown();
  EXPECT_EQ(simhost::CallsOf("DestroyTexture").size(), 2u);
  EXPECT_EQ(simhost::LiveTextures(), 0);
}

// ---- Rules in sections of their own ------------------------------------------------------------------------

// Aircraft of `models` at pool indices 0 on, circling below the camera at height 150, each on a circle of its own
// (radius 60, 100, 140, ...), so that a trail's newest point or a cloth lies near its own aircraft alone.
void Circle(const std::vector<std::uint16_t>& models) {
  const auto at = [](std::size_t i, float t) {
    const float radius = 60.0f + 40.0f * static_cast<float>(i);
    const float angle = 0.1f * t + 1.3f * static_cast<float>(i);
    return host::Vector3{radius * std::cos(angle), radius * std::sin(angle), 150.0f};
  };
  for (std::size_t i = 0; i < models.size(); ++i) simhost::PlaceVehicle(static_cast<int>(i), models[i], at(i, 0.0f));
  simhost::SetCameraPosition({0.0f, 0.0f, 300.0f});
  const std::uint32_t start = simhost::Clock();
  simhost::SetScript([start, at, count = models.size()](std::uint32_t now) {
    for (std::size_t i = 0; i < count; ++i) {
      simhost::SetVehiclePosition(static_cast<int>(i), at(i, static_cast<float>(now - start) / 1000.0f));
    }
  });
}

enum class Drawn { kNothing, kLine, kRibbon, kCloth };

struct Served {
  Drawn drawn = Drawn::kNothing;
  const simhost::Batch* batch = nullptr;
  std::uint32_t Colour() const { return batch->vertices[0].colour & 0xFFFFFF; }
  std::uint32_t Raster() const { return batch->renderStates.at(host::kRenderStateTextureRaster); }
};

// What the last recorded frame drew for the aircraft at pool index `index`: a line whose newest point rides on it,
// a ribbon whose newest pair of vertices straddles it, or a cloth hanging behind it.
Served ServedAt(int index) {
  const host::Vector3 plane = simhost::VehiclePosition(index);
  for (const simhost::Batch& batch : simhost::Recorded().batches) {
    const auto& v = batch.vertices;
    if (v.size() < 2) continue;
    const auto raster = batch.renderStates.find(host::kRenderStateTextureRaster);
    const bool textured = raster != batch.renderStates.end() && raster->second != 0;
    const host::Vector3 middle{(v[0].position.x + v[1].position.x) / 2, (v[0].position.y + v[1].position.y) / 2,
                               (v[0].position.z + v[1].position.z) / 2};
    if (batch.primitiveType == kLines && Distance(v[0].position, plane) == 0.0f) return {Drawn::kLine, &batch};
    if (batch.primitiveType == kTriangles && !textured && Distance(middle, plane) < 1e-3f) {
      return {Drawn::kRibbon, &batch};
    }
    if (batch.primitiveType == kTriangles && textured && Distance(v[0].position, plane) < 20.0f) {
      return {Drawn::kCloth, &batch};
    }
  }
  return {};
}

// What an aircraft is expected to be served with: a trail in `look`'s colour, or a cloth of raster `look`.
struct Expected {
  Drawn drawn;
  std::uint32_t look = 0;
};

void ExpectServed(const std::vector<Expected>& expected) {
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    const Served served = ServedAt(static_cast<int>(i));
    ASSERT_EQ(served.drawn, expected[i].drawn);
    if (served.drawn == Drawn::kNothing) continue;
    EXPECT_EQ(served.drawn == Drawn::kCloth ? served.Raster() : served.Colour(), expected[i].look);
  }
}

TEST_P(Story, ThreeTrailRulesAndTwoBannerRulesDrawEachInItsColourAndCloth) {
  StartWith(RulesIni());
  const auto reads = simhost::CallsOf("ReadTexture");
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].text, "Banner");
  EXPECT_EQ(reads[1].text, "Banner2");
  Circle({kTrailModel, kRibbonModel, kGreenModel, kBannerModel, kClothModel});
  Fly(Seconds(10));
  ExpectServed({{Drawn::kLine, kBlue},
                {Drawn::kRibbon, kRed},
                {Drawn::kLine, kGreen},
                {Drawn::kCloth, simhost::kFirstRaster},
                {Drawn::kCloth, simhost::kFirstRaster + 1}});
  EXPECT_EQ(simhost::Recorded().batches.size(), 5u) << "nothing else is drawn";

  // Every vertex of a trail in its rule's colour; the ribbon's two triangles a segment, 3 units wide.
  for (const int trail : {0, 1, 2}) {
    const Served served = ServedAt(trail);
    const auto& vertices = served.batch->vertices;
    ASSERT_GE(vertices.size(), served.drawn == Drawn::kRibbon ? 10u : 5u) << trail << ": a point every 2 s";
    for (const auto& vertex : vertices) EXPECT_EQ(vertex.colour & 0xFFFFFF, served.Colour()) << trail;
    EXPECT_EQ(AlphaOf(vertices[0]), 109u) << trail;
    const std::size_t segments = (served.drawn == Drawn::kRibbon ? vertices.size() / 2 : vertices.size()) - 1;
    EXPECT_EQ(served.batch->indices.size(), (served.drawn == Drawn::kRibbon ? 6 : 2) * segments) << trail;
    for (const std::uint16_t index : served.batch->indices) EXPECT_LT(index, vertices.size()) << trail;
  }
  const auto& ribbon = ServedAt(1).batch->vertices;
  EXPECT_EQ(ribbon.size() % 2, 0u);
  for (std::size_t i = 1; i < ribbon.size(); i += 2) {
    EXPECT_NEAR(Distance(ribbon[i].position, ribbon[i - 1].position), 3.0f, 1e-3) << i;
  }
  for (const int banner : {3, 4}) {
    EXPECT_EQ(ServedAt(banner).batch->vertices.size(), 12u);
    EXPECT_EQ(ServedAt(banner).batch->indices.size(), 30u);
  }
}

// A rule whose cloth the dictionary lacks tows nothing; the other banner rule tows its own, and so do trails.
TEST_P(Story, ARuleWhoseClothIsMissingFromTheDictionaryTowsNothing) {
  struct Case {
    std::string ini;
    Drawn mainsBanner;
    Drawn sectionsBanner;
  };
  const Case cases[] = {
      {Ini() + "BannerTexture=Torn\r\n[Banner 611]\r\nBannerTexture=Banner\r\n", Drawn::kNothing, Drawn::kCloth},
      {Ini() + "[Banner 611]\r\nBannerTexture=Torn\r\n", Drawn::kCloth, Drawn::kNothing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini.substr(c.ini.find("FollowFileChanges")));
    StartWith(c.ini, {"Torn"});
    EXPECT_EQ(simhost::LiveTextures(), 1) << "\"Banner\" alone";
    Circle({kTrailModel, kBannerModel, kClothModel});
    Fly(Seconds(5));
    ExpectServed({{Drawn::kLine, config::kWhite},
                  {c.mainsBanner, simhost::kFirstRaster},
                  {c.sectionsBanner, simhost::kFirstRaster}});
    simhost::ClearRecord();
    simhost::Shutdown();
    EXPECT_EQ(simhost::CallsOf("DestroyTexture").size(), 1u);
  }
}

// The first trail rule naming a model serves it, [MAIN]'s before the sections, and "0x258" names 600 as well; a model
// that a trail and a banner rule both name is a trail aircraft while its trail rule is enabled, whichever comes first.
TEST_P(Story, AModelNamedByTwoRulesIsServedByTheFirstTrailRuleAndByItsBannerRuleOnlyWhileThatIsDisabled) {
  const std::string red = "TrailColour=255,0,0\r\n";
  const std::pair<std::string, Expected> cases[] = {
      {Ini() + "[Trail 600]\r\n" + red + "[Trail 0x258]\r\nTrailColour=0,255,0\r\n", {Drawn::kLine, 0xFF0000}},
      {Ini({{"ModelIDForTrail", "600"}}) + "[Trail 600]\r\n" + red, {Drawn::kLine, config::kWhite}},
      {Ini() + "[Banner 600]\r\n[Trail 600]\r\n" + red, {Drawn::kLine, 0xFF0000}},
      {Ini({{"ModelIDForBanner", "600"}}) + "[Trail 600]\r\n" + red, {Drawn::kLine, 0xFF0000}},
      {Ini() + "[Banner 600]\r\n[Trail 600]\r\nEnableTrail=0\r\n", {Drawn::kCloth, simhost::kFirstRaster}},
  };
  for (const auto& [ini, expected] : cases) {
    SCOPED_TRACE(ini.substr(ini.find("FollowFileChanges")));
    StartWith(ini);
    Circle({kRibbonModel});
    Fly(Seconds(5));
    ExpectServed({expected});
  }
}

// Eight rules of a kind, [MAIN]'s included: the eighth section of a kind is not read, however the kinds interleave.
TEST_P(Story, RuleSectionsPastEightRulesOfAKindAreNotRead) {
  std::string ini = Ini();
  for (int k = 1; k <= 8; ++k) {
    ini += "[Trail " + std::to_string(600 + k) + "]\r\nTrailColour=255,0,0\r\n[Banner " + std::to_string(610 + k) +
           "]\r\n";
  }
  StartWith(ini);
  Circle({607, 608, 617, 618});
  Fly(Seconds(5));
  ExpectServed(
      {{Drawn::kLine, 0xFF0000}, {Drawn::kNothing}, {Drawn::kCloth, simhost::kFirstRaster}, {Drawn::kNothing}});
}

// A followed save that adds rules to the display team's file: the new trail rule serves its aircraft from the frame
// that follows the save, and so does a new banner rule whose cloth was read at start-up; one whose cloth is a name
// not read then tows nothing until the game starts again.
TEST_P(Story, ASavedRuleServesItsAircraftOnceFollowedAndANewClothTowsFromTheNextStart) {
  StartWith(RulesIni());
  Circle({602, 612, 613});
  Fly(Seconds(3));
  ExpectServed({{Drawn::kNothing}, {Drawn::kNothing}, {Drawn::kNothing}});

  WriteIni(RulesIni() +
           "[Trail 602]\r\nTrailColour=255,0,0\r\n[Banner 612]\r\nBannerTexture=Banner2\r\n"
           "[Banner 613]\r\nBannerTexture=Banner3\r\n");
  const std::uint32_t saved = simhost::Clock();
  const int reads = simhost::EntryCalls("ReadTexture");
  // The scan writes a trail aircraft's time field in every frame that serves it.
  ASSERT_EQ(simhost::Vehicle(0).timeField, 0u);
  do {
    Fly(1);
  } while (simhost::Vehicle(0).timeField == 0 && simhost::Clock() - saved < 3000);
  EXPECT_LE(simhost::Clock() - saved, 1000 + kFrameMs);
  Fly(Seconds(3));
  // Rasters in the order the host handed them out: "Banner", "Banner2".
  ExpectServed({{Drawn::kLine, 0xFF0000}, {Drawn::kCloth, simhost::kFirstRaster + 1}, {Drawn::kNothing}});
  EXPECT_EQ(simhost::EntryCalls("ReadTexture"), reads) << "no texture is read while the game runs";

  simhost::Shutdown();
  ASSERT_TRUE(Unload());
  Load();
  simhost::ClearRecord();
  simhost::Startup();
  const auto started = simhost::CallsOf("ReadTexture");
  ASSERT_EQ(started.size(), 3u);
  EXPECT_EQ(started[2].text, "Banner3");
  Fly(Seconds(3));
  // Then "Banner", "Banner2" and "Banner3" again.
  ExpectServed({{Drawn::kLine, 0xFF0000},
                {Drawn::kCloth, simhost::kFirstRaster + 3},
                {Drawn::kCloth, simhost::kFirstRaster + 4}});
}

// ---- Bad input the plug-in lives through -------------------------------------------------------------------

TEST_P(Story, WithoutAConfigurationFileTheDefaultsApply) {
  InstallBannerTexture();
  Load();
  simhost::Startup();
  TwoPlanes planes;
  planes.Place();
  Fly(Seconds(5));
  EXPECT_EQ(BatchesOf(kLines).size(), 1u);
  EXPECT_EQ(BatchesOf(kTriangles).size(), 1u);
}

// The game's Direct3D device leaves the x87 unit at 24-bit precision, and every story hands the plug-in that
// control word. These numbers once took the start-up over a minute to convert there; now it returns at once with
// the floats the default precision gives, and the log shows them as the checker does.
TEST_P(Story, OddNumbersAreReadAtOnceAndAlikeAtTheGamesPrecisionAndAtTheDefault) {
  const std::pair<std::string_view, std::string_view> odd[] = {
      {"Height", "123.45678901234567890123"},
      {"HeightForBanner", "1e30"},
      {"TrailFadeTime", "1e-30"},
      {"BannerDrawDistance", "0.1234567890123456789012345678901"},
  };
  WriteIni(Ini({odd[0], odd[1], odd[2], odd[3]}));
  for (const std::uint16_t word : {simhost::kGameControlWord, simhost::ProcessControlWord()}) {
    SCOPED_TRACE(word);
    simhost::SetGameControlWord(word);
    Load();
    const auto started = std::chrono::steady_clock::now();
    simhost::Startup();
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 5.0);
    const std::string log = Log().value_or("");
    for (const auto& [key, text] : odd) {
      const std::string shown = config::FloatText(config::ConvertFloat(text));
      EXPECT_TRUE(LineWith(log, "  " + std::string(key) + " ").ends_with(" " + shown)) << key << " " << shown << "\n"
                                                                                       << log;
    }
    EXPECT_TRUE(Unload());
  }
}

TEST_P(Story, ModelIdsThatDoNotConvertKeepTheirDefaults) {
  WriteIni("[MAIN]\nModelIDForTrail=Stuntplane\nModelIDForBanner=99999999999\nBannerDrawDistance=90\n");
  InstallBannerTexture();
  Load();
  simhost::Startup();
  TwoPlanes planes;
  planes.Place();
  Fly(Seconds(5));
  EXPECT_EQ(BatchesOf(kLines).size(), 1u) << "577 leaves its trail";
  EXPECT_TRUE(BatchesOf(kTriangles).empty()) << "the key after the bad ones was read: 100 units is too far";
}

TEST_P(Story, WithoutTheTextureDictionaryNoBannerIsDrawnAndTrailsStillAre) {
  WriteIni(Ini());
  Load();
  simhost::Startup();
  EXPECT_EQ(simhost::LiveTextures(), 0);
  TwoPlanes planes;
  planes.Place();
  Fly(Seconds(5));
  EXPECT_EQ(BatchesOf(kLines).size(), 1u);
  EXPECT_TRUE(BatchesOf(kTriangles).empty());
  EXPECT_NE(LineWith(Log().value_or(""), "Banner texture: ")
                .find("not loaded from " + folder().SeenBy(GetParam()) + "MODELS\\BANNER.TXD: the file is missing"),
            std::string::npos)
      << Log().value_or("no log");
  simhost::ClearRecord();
  simhost::Shutdown();
  EXPECT_TRUE(simhost::CallsOf("DestroyTexture").empty());
}

TEST_P(Story, ACrowdedPoolAndBrokenVehiclesTakeNothingDown) {
  WriteIni(Ini());
  InstallBannerTexture();
  Load();
  simhost::Startup();
  simhost::ResizePool(80);
  for (int i = 0; i < 80; ++i) {
    simhost::PlaceVehicle(i, i % 2 ? kBannerModel : kTrailModel, {float(i), 10.0f * float(i % 7), 150.0f});
  }
  simhost::SetVehicleMatrixPosition(3, {30.0f, 0.0f, 160.0f});
  const float nan = std::numeric_limits<float>::quiet_NaN();
  simhost::SetVehiclePosition(4, {nan, nan, nan});
  simhost::SetVehiclePosition(5, {nan, nan, nan});
  simhost::SetScript([](std::uint32_t now) {
    for (int i = 0; i < 80; ++i) {
      if (i == 4 || i == 5) continue;
      simhost::SetVehiclePosition(i, {float(i) + float(now % 100000) / 100.0f, 10.0f * float(i % 7), 150.0f});
    }
  });
  Fly(Seconds(5));
  // Pool indices 0 to 49 have slots; the NaN trail plane at index 4 draws nothing.
  EXPECT_EQ(BatchesOf(kLines).size(), 24u);
  EXPECT_EQ(BatchesOf(kTriangles).size(), 24u);
}

// Another tool's hook at the per-frame call site: it counts the frames and goes on to the host's routine.
int foreignHookRuns = 0;
__attribute__((force_align_arg_pointer)) std::uint32_t HOST_CDECL ForeignFrameHook() {
  ++foreignHookRuns;
  return reinterpret_cast<std::uint32_t(HOST_CDECL*)()>(simhost::At(simhost::RoutineAddress(Site::Frame)))();
}

TEST_P(Story, AnotherToolsHookAtACallSiteKeepsWorkingAndIsPutBack) {
  const std::uint32_t site = simhost::SiteAddress(Site::Frame);
  const std::uint32_t hook = reinterpret_cast<std::uint32_t>(&ForeignFrameHook);
  simhost::WriteCode(site, testing_support::RelativeBranchBytes(0xE8, simhost::At(site), hook));
  const auto before = simhost::SnapshotCode();
  foreignHookRuns = 0;

  WriteIni(Ini());
  Load();
  simhost::Startup();
  TwoPlanes planes;
  planes.Place();
  Fly(Seconds(3));
  EXPECT_EQ(foreignHookRuns, Seconds(3));
  EXPECT_EQ(simhost::RoutineRuns(Site::Frame), Seconds(3));
  EXPECT_EQ(BatchesOf(kLines).size(), 1u) << "and the plug-in's frame work ran too";
  char target[32];
  std::snprintf(target, sizeof target, "hooked: its call to 0x%06X", hook);
  EXPECT_NE(LineWith(Log().value_or(""), "0x53E981").find(target), std::string::npos) << Log().value_or("no log");

  EXPECT_TRUE(Unload());
  EXPECT_TRUE(simhost::SnapshotCode() == before);
}

// Plug-in loaders unload plug-ins in whatever order they like. A tool that took a call over after Zephrel goes on
// through Zephrel's trampoline, which Zephrel, unloaded first, leaves jumping to the game's routine.
TEST_P(Story, AToolThatHookedAfterZephrelRunsOnWhenZephrelIsUnloadedFirst) {
  const std::uint32_t site = simhost::SiteAddress(Site::Frame);
  const std::uint32_t routine = simhost::At(simhost::RoutineAddress(Site::Frame));
  const auto pristine = simhost::SnapshotCode();
  WriteIni(Ini());
  InstallBannerTexture();
  Load();
  simhost::Startup();
  const LaterTool<Site::Frame> tool;
  const std::uint32_t trampoline = tool.goesOnTo;
  EXPECT_FALSE(plugin().Contains(trampoline)) << "the call it found reaches a trampoline outside Zephrel";
  TwoPlanes planes;
  planes.Place();
  Fly(Seconds(3));
  EXPECT_EQ(tool.runs, Seconds(3));
  EXPECT_EQ(BatchesOf(kLines).size(), 1u) << "Zephrel's frame work runs inside the tool's";

  ASSERT_TRUE(Unload()) << "Zephrel is really gone";
  EXPECT_EQ(BranchTarget(trampoline, false), routine);
  for (const std::uint32_t changed : ChangedBytes(pristine, simhost::SnapshotCode())) {
    EXPECT_LT(changed - site, 5u) << "every other site is the game's own again";
  }
  char left[160];
  std::snprintf(left, sizeof left,
                "another tool's call stands here: Zephrel's jump at 0x%08X stays until the game ends, on to 0x%06X",
                trampoline, simhost::RoutineAddress(Site::Frame));
  const std::string log = Log().value_or("");
  const std::size_t unloaded = log.find("\nUnloaded, leaving:\n");
  ASSERT_NE(unloaded, std::string::npos) << log;
  EXPECT_NE(LineWith(log.substr(unloaded), "0x53E981").find(left), std::string::npos) << log;
  EXPECT_EQ(Count(log.substr(unloaded), "\n  0x"), 1u) << "the one site left";

  const int routineRuns = simhost::RoutineRuns(Site::Frame);
  Fly(Seconds(60));
  EXPECT_EQ(tool.runs, Seconds(63)) << "the tool's hook, many frames on";
  EXPECT_EQ(simhost::RoutineRuns(Site::Frame) - routineRuns, Seconds(60)) << "and the game's routine after it";
  EXPECT_TRUE(simhost::Recorded().batches.empty()) << "and nothing of Zephrel's";
  EXPECT_TRUE(simhost::CalleeSavedRegistersKept());

  tool.Unload();
  EXPECT_EQ(LeadsTo(site), routine) << "the site is the game's, through the trampoline left";
  Fly(Seconds(3));
  EXPECT_EQ(tool.runs, Seconds(63));
  EXPECT_EQ(simhost::RoutineRuns(Site::Frame) - routineRuns, Seconds(63));
  for (const Site other : simhost::kAllSites) EXPECT_EQ(simhost::RunSite(other), simhost::RoutineResult(other));
}

// A site where another tool has put an indirect call (FF 15) is left alone; the plug-in hooks the other five.
TEST_P(Story, ASiteHoldingAnIndirectCallIsLeftAlone) {
  constexpr Site kSite = Site::Draw;
  constexpr std::uint32_t kCell = 0xC91000;  // in the host's data pages: the pointer the call goes through
  const std::uint32_t routine = simhost::At(simhost::RoutineAddress(kSite));
  const std::uint32_t cell = simhost::At(kCell);
  std::memcpy(reinterpret_cast<void*>(cell), &routine, 4);
  std::vector<std::uint8_t> indirect{0xFF, 0x15, 0, 0, 0, 0, 0xC3};
  std::memcpy(indirect.data() + 2, &cell, 4);
  simhost::WriteCode(simhost::SiteAddress(kSite), indirect);
  const auto before = simhost::SnapshotCode();

  WriteIni(Ini());
  Load();
  EXPECT_EQ(simhost::ReadCode(simhost::SiteAddress(kSite), indirect.size()), indirect);
  for (const Site site : simhost::kAllSites) {
    if (site == kSite) continue;
    EXPECT_TRUE(plugin().Contains(LeadsTo(simhost::SiteAddress(site))));
  }
  simhost::Startup();
  TwoPlanes planes;
  planes.Place();
  Fly(Seconds(3));
  EXPECT_EQ(simhost::RoutineRuns(kSite), Seconds(3)) << "the host's own routine runs through the cell";
  EXPECT_TRUE(simhost::Recorded().batches.empty()) << "and the plug-in draws nothing at that site";
  char found[64];
  std::snprintf(found, sizeof found, "left alone: it holds FF 15 %02X %02X %02X, not a relative call (E8)", cell & 0xFF,
                (cell >> 8) & 0xFF, (cell >> 16) & 0xFF);
  const std::string log = Log().value_or("");
  EXPECT_NE(LineWith(log, "0x726AD0").find(found), std::string::npos) << log;
  EXPECT_TRUE(Unload());
  EXPECT_TRUE(simhost::SnapshotCode() == before);
}

// ---- Nothing allocated per frame ---------------------------------------------------------------------------

TEST_P(Story, AThousandFramesWithFiftyAircraftAllocateNothing) {
  WriteIni(Ini({{"ReplaceTrailsInTheSky", "1"}}));
  InstallBannerTexture();
  Load();
  const long beforeStartup = simhost::HeapAllocations();
  simhost::Startup();
  EXPECT_GT(simhost::HeapAllocations() - beforeStartup, 0) << "the count sees the start-up's file read";
  simhost::ResizePool(50);
  for (int i = 0; i < 50; ++i) simhost::PlaceVehicle(i, i % 2 ? kBannerModel : kTrailModel, {0, 0, 150});
  simhost::SetScript([](std::uint32_t now) {
    for (int i = 0; i < 50; ++i) {
      simhost::SetVehiclePosition(i, {float(i * 3), float(now % 60000) / 200.0f, 150.0f + float(i)});
    }
  });
  simhost::Frame(kFrameMs);
  simhost::SetRecording(false);
  // With the file unchanged, FollowFileChanges asks about it twice a second of game time and reads nothing (a
  // read would allocate, and write the log); with it off, nothing is asked at all.
  for (const auto& [follow, queries] : {std::pair{"1", 66}, std::pair{"0", 0}}) {
    SCOPED_TRACE(follow);
    if (*follow == '0') {
      WriteIni(Ini({{"ReplaceTrailsInTheSky", "1"}, {"FollowFileChanges", "0"}}));
      simhost::Reinit();
    }
    folder().Remove("Zephrel.log");
    const long before = simhost::HeapAllocations();
    const long queriesBefore = simhost::FileQueries();
    for (int i = 0; i < 1000; ++i) simhost::Frame(kFrameMs);
    EXPECT_EQ(simhost::HeapAllocations() - before, 0);
    EXPECT_EQ(simhost::FileQueries() - queriesBefore, queries) << "1,000 frames of 33 ms";
    EXPECT_FALSE(Log()) << "no frame writes the log";
  }
  simhost::SetRecording(true);
}

INSTANTIATE_TEST_SUITE_P(Builds, Story, AllBuilds(), BuildName);

}  // namespace
}  // namespace story
