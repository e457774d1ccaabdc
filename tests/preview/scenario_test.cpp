// The scripted flight: where the aircraft fly, the default camera that takes it all in, and the clock that
// ends it in the lit half of a blink.

#include "scenario.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#include "config/ini_file.h"
#include "flight.h"
#include "plugin_install.h"
#include "simhost.h"
#include "support/own_folder.h"

namespace {

using preview::AircraftKind;
using preview::ScenarioAircraft;
using preview::ScenarioSettings;

class PreviewScenario : public ::testing::Test {
 protected:
  void SetUp() override { simhost::ResetHost(); }
  void TearDown() override { simhost::ResetHost(); }
};

ScenarioSettings SettingsOf(const char* text) { return preview::ScenarioSettingsFrom(text); }

TEST_F(PreviewScenario, TheAircraftAreWhatThePluginMakesOfThemAndFlyWhereItServesThem) {
  constexpr auto T = AircraftKind::Trail, B = AircraftKind::Banner, P = AircraftKind::Plain;
  struct Flies {
    std::uint16_t model;
    AircraftKind kind;
    float above;  // the height of the rule that serves it (or that it is flown for)
  };
  struct Case {
    const char* ini;
    std::vector<Flies> aircraft;
  };
  const Case cases[] = {
      {"", {{577, T, 100}, {577, T, 100}, {593, B, 100}}},
      {"[MAIN]\nModelIDForTrail=600\nHeight=300\nHeightForBanner=-20", {{600, T, 300}, {600, T, 300}, {593, B, -20}}},
      {"[MAIN]\nEnableTrail=0", {{577, P, 100}, {577, P, 100}, {593, B, 100}}},
      {"[MAIN]\nEnableBanner=0\nModelIDForBanner=70000", {{577, T, 100}, {577, T, 100}, {0, P, 100}}},
      // One model for both: a trail aircraft while trails are on, else a banner aircraft.
      {"[MAIN]\nModelIDForTrail=593\nHeight=300", {{593, T, 300}, {593, T, 300}, {593, T, 300}}},
      {"[MAIN]\nModelIDForTrail=593\nEnableTrail=0\nHeightForBanner=400",
       {{593, B, 400}, {593, B, 400}, {593, B, 400}}},
      // An aircraft for each rule of a section: the trail rules', then the banner rules', in the order of the file.
      {"[Banner 611]\nHeightForBanner=50\n[Trail 600]\nHeight=300\n[Trail 0x259]",
       {{577, T, 100}, {577, T, 100}, {593, B, 100}, {600, T, 300}, {601, T, 100}, {611, B, 50}}},
      // The first trail rule naming a model serves it; a disabled one leaves it to its banner rule.
      {"[Trail 577]\nHeight=300\n[Banner 600]\nHeightForBanner=200\n[Trail 600]\nEnableTrail=0",
       {{577, T, 100}, {577, T, 100}, {593, B, 100}, {577, T, 100}, {600, B, 200}, {600, B, 200}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    const ScenarioSettings settings = SettingsOf(c.ini);
    ASSERT_EQ(preview::ScenarioAircraftCount(settings), static_cast<int>(c.aircraft.size()));
    for (const float elapsed : {0.0f, 17.3f, 40.0f}) {
      const auto aircraft = ScenarioAircraft(settings, elapsed, 40.0f);
      ASSERT_EQ(aircraft.size(), c.aircraft.size());
      for (std::size_t k = 0; k < aircraft.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(preview::ScenarioModel(settings, static_cast<int>(k)), c.aircraft[k].model);
        EXPECT_EQ(aircraft[k].kind, c.aircraft[k].kind);
        const float z = aircraft[k].position.z;
        EXPECT_GT(z, std::max(c.aircraft[k].above, 0.0f));
        EXPECT_LT(z, std::max(c.aircraft[k].above, 0.0f) + 150.0f);
      }
    }
  }
}

TEST_F(PreviewScenario, HeightsNoAircraftCanFlyAreFlownNearTheGround) {
  // No number: at the default height; far below the ground: just above it.
  for (const float height : {std::nanf(""), INFINITY, -1e30f}) {
    ScenarioSettings settings = preview::DefaultScenarioSettings();
    settings.height = settings.heightForBanner = height;
    for (const preview::Aircraft& aircraft : ScenarioAircraft(settings, 20.0f, 40.0f)) {
      EXPECT_GT(aircraft.position.z, 0.0f) << height;
      EXPECT_LT(aircraft.position.z, 200.0f) << height;
    }
  }
}

TEST_F(PreviewScenario, SettingsAreReadFromTheFileAsThePluginReadsIt) {
  const testing_support::OwnFolder folder;
  const std::string path = folder.Write(
      "Zephrel.ini", "[MAIN]\r\nModelIDForBanner=601\r\nBannerDrawDistance=120\r\nReplaceTrailsInTheSky=1\r\n");
  const ScenarioSettings read = preview::ReadScenarioSettings(path);
  EXPECT_EQ(read.modelIdForBanner, 601);
  EXPECT_EQ(read.modelIdForTrail, 577);
  EXPECT_EQ(read.bannerDrawDistance, 120.0f);
  EXPECT_TRUE(read.replaceTrailsInTheSky);
  for (const auto& none : {std::optional<std::string>(), std::optional<std::string>("/nonexistent/Zephrel.ini")}) {
    const ScenarioSettings defaults = preview::ReadScenarioSettings(none);
    EXPECT_EQ(defaults.modelIdForBanner, 593);
    EXPECT_EQ(defaults.height, 100.0f);
    EXPECT_TRUE(defaults.enableTrail);
    EXPECT_FALSE(defaults.replaceTrailsInTheSky);
  }
}

TEST_F(PreviewScenario, TheTrailAircraftCrossPaths) {
  // Their tracks over the ground meet: both pass over the same point, at different moments or heights.
  const auto before = ScenarioAircraft(preview::DefaultScenarioSettings(), 20.0f, 40.0f);
  const auto after = ScenarioAircraft(preview::DefaultScenarioSettings(), 40.0f, 40.0f);
  for (int plane : {0, 1}) {
    const auto& b = before[static_cast<std::size_t>(plane)].position;
    const auto& a = after[static_cast<std::size_t>(plane)].position;
    // The origin lies on the segment between the two positions (cross product zero, opposite sides).
    EXPECT_NEAR(b.x * a.y - b.y * a.x, 0.0f, 1e-2f);
    EXPECT_LE(b.x * a.x + b.y * a.y, 0.0f);
  }
}

TEST_F(PreviewScenario, TheOverviewTakesInEverythingAndTheNearViewKeepsTheBannerWithinItsDrawDistance) {
  const ScenarioSettings defaults = preview::DefaultScenarioSettings();
  preview::Camera lens;
  lens.width = 640;
  lens.height = 600;
  auto inPicture = [&](const preview::Camera& camera, const preview::Vector3& point) {
    const auto projected = preview::Project(camera, point);
    return projected && projected->x >= 0.0f && projected->x <= camera.width && projected->y >= 0.0f &&
           projected->y <= camera.height;
  };
  for (const float seconds : {40.0f, 10.0f, 120.0f}) {
    SCOPED_TRACE(seconds);
    const auto extent = preview::ScenarioExtent(defaults, seconds);
    const auto camera = preview::FitCameraCentred(extent, preview::kDefaultViewDirection, lens);
    ASSERT_TRUE(camera.has_value());
    for (const preview::Vector3& point : extent) EXPECT_TRUE(inPicture(*camera, point));
  }
  // However far the overview is, the near camera keeps the circling aircraft near enough for the plug-in to draw
  // its banner all through the flight: at full strength by default, at all when the draw distance is short (and
  // then the camera is too near to see the whole circle).
  for (const auto& [drawDistance, wholeCircle] :
       {std::pair{300.0f, true}, {2000.0f, true}, {150.0f, true}, {60.0f, false}}) {
    SCOPED_TRACE(drawDistance);
    ScenarioSettings settings = defaults;
    settings.bannerDrawDistance = drawDistance;
    const preview::Camera near = preview::NearCamera(settings, 40.0f, lens);
    for (float elapsed = 0.0f; elapsed <= 40.0f; elapsed += 0.25f) {
      const preview::Vector3 plane = ScenarioAircraft(settings, elapsed, 40.0f)[preview::kBannerRole].position;
      ASSERT_TRUE(!wholeCircle || inPicture(near, plane)) << elapsed;
      ASSERT_LT(preview::Length(preview::Subtract(near.position, plane)), std::min(drawDistance, 250.0f)) << elapsed;
    }
  }
}

TEST_F(PreviewScenario, FramesAndTheLastFramesClock) {
  EXPECT_EQ(preview::FrameCount(40.0f), 1200);
  EXPECT_EQ(preview::FrameCount(0.01f), 1);
  EXPECT_EQ(preview::FrameCount(3600.0f), 108000);
  for (const std::uint32_t clock : {0u, 1000000u, 0xFFFFF000u}) {
    for (const int frames : {1, 1200, 1201}) {
      const std::uint32_t start = preview::StartClockForLitLastFrame(clock, frames);
      const std::uint32_t last = start + static_cast<std::uint32_t>(frames) * preview::kFrameMs;
      EXPECT_NE(last & 0x200u, 0u) << clock << " " << frames;
      EXPECT_LT(start - clock, 1024u);
    }
  }
}

TEST_F(PreviewScenario, PlacedAircraftFollowTheScriptFrameByFrame) {
  ScenarioSettings settings = preview::DefaultScenarioSettings();
  settings.modelIdForBanner = 70000;  // no vehicle can have it
  const std::uint32_t start = simhost::Clock();
  preview::PlaceScenarioAircraft(settings, start, 40.0f);
  ASSERT_EQ(simhost::PoolSize(), 3);
  EXPECT_EQ(simhost::Vehicle(0).model, 577);
  EXPECT_EQ(simhost::Vehicle(1).model, 577);
  EXPECT_EQ(simhost::Vehicle(2).model, 0);
  EXPECT_NE(simhost::Vehicle(2).driver, nullptr);
  for (int frame = 0; frame < 3; ++frame) simhost::Frame(preview::kFrameMs);
  const auto expected = ScenarioAircraft(settings, 3.0f * preview::kFrameMs / 1000.0f, 40.0f);
  for (int index = 0; index < 3; ++index) {
    const preview::Vector3 position = simhost::VehiclePosition(index);
    EXPECT_FLOAT_EQ(position.x, expected[static_cast<std::size_t>(index)].position.x);
    EXPECT_FLOAT_EQ(position.z, expected[static_cast<std::size_t>(index)].position.z);
  }
}

TEST_F(PreviewScenario, ThePluginRunsFromAGameFolderWithItsFilesInEitherBuild) {
  const testing_support::OwnFolder own;
  const std::string ini = own.Write("Zephrel.ini", "[MAIN]\nEnableTrail=0\n");
  for (const simhost::PluginBuild build : {simhost::PluginBuild::WindowsDll, simhost::PluginBuild::LinuxLibrary}) {
    SCOPED_TRACE(simhost::PluginFileName(build));
    std::string error;
    auto installed = preview::InstallPlugin(build, ini, error);
    ASSERT_NE(installed, nullptr) << error;
    ASSERT_NE(installed->plugin, nullptr);
    const std::filesystem::path folder = installed->folder.path();
    EXPECT_TRUE(std::filesystem::is_regular_file(folder / simhost::PluginFileName(build)));
    std::ifstream copied(folder / "Zephrel.ini");
    std::string firstLine;
    std::getline(copied, firstLine);
    EXPECT_EQ(firstLine, "[MAIN]");
    EXPECT_TRUE(std::filesystem::is_regular_file(folder / "MODELS" / "BANNER.TXD"));
    // Its start-up finds the dictionary beside it.
    simhost::Startup();
    EXPECT_EQ(simhost::LiveTextures(), 1);
    simhost::Shutdown();
    EXPECT_TRUE(installed->plugin->Unload());
    installed.reset();
    EXPECT_FALSE(std::filesystem::exists(folder));

    installed = preview::InstallPlugin(build, std::nullopt, error);
    ASSERT_NE(installed, nullptr) << error;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(installed->folder.path()) / "Zephrel.ini"))
        << "no file: the plug-in's defaults";
    installed.reset();
    simhost::ResetHost();
  }

  std::string error;
  for (const std::string& unreadable : {std::string("/nonexistent/Zephrel.ini"), own.path()}) {
    EXPECT_EQ(preview::InstallPlugin(simhost::PluginBuild::LinuxLibrary, unreadable, error), nullptr);
    EXPECT_NE(error.find("cannot read " + unreadable), std::string::npos) << error;
  }
}

TEST_F(PreviewScenario, AMissingPluginFileIsNamedWithWhatToDo) {
  for (const simhost::PluginBuild build : {simhost::PluginBuild::WindowsDll, simhost::PluginBuild::LinuxLibrary}) {
    EXPECT_EQ(preview::CheckPluginFile(build, simhost::BuiltPluginPath(build)), "");
  }
  const std::string dll = preview::CheckPluginFile(simhost::PluginBuild::WindowsDll, "/nonexistent/Zephrel.dll");
  EXPECT_NE(dll.find("/nonexistent/Zephrel.dll is missing"), std::string::npos) << dll;
  EXPECT_NE(dll.find("--build so"), std::string::npos) << dll;
  const testing_support::OwnFolder folder;
  const std::string so = preview::CheckPluginFile(simhost::PluginBuild::LinuxLibrary, folder.path());
  EXPECT_NE(so.find(folder.path() + " is missing"), std::string::npos) << so;
}

// Pixels of a shot that the plug-in's drawing of one primitive type changed, or that its lights changed.
int DrawnPixels(const preview::Shot& shot, std::int32_t primitiveType, bool lights = false) {
  preview::Shot bare = shot;
  bare.batches.clear();
  bare.lights.clear();
  preview::Shot drawn = bare;
  for (const simhost::Batch& batch : shot.batches) {
    if (batch.primitiveType == primitiveType) drawn.batches.push_back(batch);
  }
  if (lights) drawn.lights = shot.lights;
  const preview::Image a = preview::RenderShot(bare, true);
  const preview::Image b = preview::RenderShot(drawn, true);
  int changed = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const preview::Colour& p = a.at(x, y);
      const preview::Colour& q = b.at(x, y);
      changed += std::fabs(p.r - q.r) + std::fabs(p.g - q.g) + std::fabs(p.b - q.b) > 0.05f ? 1 : 0;
    }
  }
  return changed;
}

struct Flown {
  preview::FrameShots shots;
  ScenarioSettings settings;
};

Flown FlyWith(const std::string& iniText, int hour) {
  const testing_support::OwnFolder folder;
  const std::string ini = folder.Write("Zephrel.ini", iniText);
  preview::Options options;
  options.build = simhost::PluginBuild::LinuxLibrary;
  options.ini = ini;
  options.seconds = 12.0f;
  const ScenarioSettings settings = preview::ReadScenarioSettings(ini);
  preview::Camera lens;
  lens.width = 200;
  lens.height = 160;
  std::string error;
  const auto shots = preview::FlyStill(options, settings, hour, lens, lens, nullptr, error);
  EXPECT_TRUE(shots.has_value()) << error;
  return {shots.value_or(preview::FrameShots{}), settings};
}

TEST_F(PreviewScenario, WithSkyTrailsAtNightTheBannerShowsNearItsAircraftAndTheLightsInTheOverview) {
  const Flown flown = FlyWith("[MAIN]\nReplaceTrailsInTheSky=1\n", 2);
  const preview::FrameShots& shots = flown.shots;
  // The overview backs off to take in the sky trails, beyond the banner's draw distance: the plug-in draws no
  // banner for it, and the near view is where it shows.
  const preview::Vector3 plane = ScenarioAircraft(flown.settings, 12.0f, 12.0f)[preview::kBannerRole].position;
  EXPECT_GT(preview::Length(preview::Subtract(shots.overview.camera.position, plane)), 300.0f);
  EXPECT_EQ(DrawnPixels(shots.overview, host::kPrimitiveTriangleList), 0);
  EXPECT_GT(DrawnPixels(shots.near, host::kPrimitiveTriangleList), 300);
  EXPECT_GT(DrawnPixels(shots.overview, host::kPrimitiveLineList), 200) << "the sky trails";
  EXPECT_GE(shots.overview.lights.size(), 3u);
  EXPECT_GT(DrawnPixels(shots.overview, -1, true), 3 * 20) << "their lights";
}

int Rendered(const preview::Shot& shot, std::int32_t primitiveType) {
  int rendered = 0;
  for (const simhost::Batch& batch : shot.batches) rendered += batch.rendered && batch.primitiveType == primitiveType;
  return rendered;
}

TEST_F(PreviewScenario, ThePicturesShowWhatThePluginMakesOfTheModelsFlown) {
  struct Case {
    const char* ini;
    int trails;  // in the overview
    bool bannerNear;
  };
  const Case cases[] = {
      {"[MAIN]\nModelIDForTrail=600\n", 2, true},
      {"[MAIN]\nEnableTrail=0\n", 0, true},
      {"[MAIN]\nModelIDForBanner=577\nHeightForBanner=150\n", 3, false},  // the circling one too
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    const preview::FrameShots shots = FlyWith(c.ini, 12).shots;
    EXPECT_EQ(Rendered(shots.overview, host::kPrimitiveLineList), c.trails);
    EXPECT_EQ(DrawnPixels(shots.overview, host::kPrimitiveLineList) > 200, c.trails > 0);
    EXPECT_EQ(DrawnPixels(shots.near, host::kPrimitiveTriangleList) > 300, c.bannerNear);
    simhost::ResetHost();
  }
}

// The display team and two banners: each rule's aircraft flies, its trail in its colour (the ribbon as triangles
// without a texture) in the overview, and each cloth with its own texture near the circle.
TEST_F(PreviewScenario, EachRuleOfTheFileFliesAndShowsItsColourOrItsCloth) {
  const preview::FrameShots shots =
      FlyWith(
          "[MAIN]\nTrailColour=0,0,255\n[Trail 600]\nTrailColour=255,40,40\nTrailWidth=3\n"
          "[Trail 601]\nTrailColour=40,255,40\n[Banner 611]\nBannerTexture=Banner2\n",
          12)
          .shots;
  std::set<std::uint32_t> colours;
  std::set<std::uint32_t> cloths;
  for (const preview::Shot* shot : {&shots.overview, &shots.near}) {
    for (const simhost::Batch& batch : shot->batches) {
      if (!batch.rendered) continue;
      const std::uint32_t raster = batch.renderStates.at(host::kRenderStateTextureRaster);
      if (raster != 0) {
        cloths.insert(raster);
      } else {
        colours.insert((batch.vertices[0].colour & 0xFFFFFF) | (batch.primitiveType == 3 ? 0x1000000u : 0u));
      }
    }
  }
  EXPECT_EQ(colours, (std::set<std::uint32_t>{0x0000FF, 0x1FF2828, 0x28FF28})) << "the ribbon drawn as triangles";
  EXPECT_EQ(cloths, (std::set<std::uint32_t>{simhost::kFirstRaster, simhost::kFirstRaster + 1}));
  int nearCloths = 0;
  for (const simhost::Batch& batch : shots.near.batches) {
    nearCloths += batch.rendered && batch.renderStates.at(host::kRenderStateTextureRaster) != 0;
  }
  EXPECT_EQ(nearCloths, 2) << "both cloths near the circle";
}

TEST_F(PreviewScenario, TheAnimationFliesAgainWithFixedCamerasAndEndsOnTheStillsFrame) {
  preview::Options options;
  options.build = simhost::PluginBuild::LinuxLibrary;
  options.seconds = 3.0f;
  const ScenarioSettings settings = preview::DefaultScenarioSettings();
  preview::Camera lens;
  lens.width = 120;
  lens.height = 100;
  std::string error;
  const auto still = preview::FlyStill(options, settings, 12, lens, lens, nullptr, error);
  ASSERT_TRUE(still.has_value()) << error;
  std::vector<preview::FrameShots> frames;
  ASSERT_TRUE(preview::FlyAnimation(
      options, settings, 12, still->overview.camera, still->near.camera,
      [&](const preview::FrameShots& shots) {
        frames.push_back(shots);
        return true;
      },
      error))
      << error;
  ASSERT_EQ(frames.size(), 30u);  // 90 frames of flight, every third
  for (std::size_t k = 0; k < frames.size(); ++k) {
    EXPECT_EQ(Rendered(frames[k].near, host::kPrimitiveTriangleList), 1) << "the banner near, frame " << k;
  }
  const preview::Shot& last = frames.back().near;
  ASSERT_EQ(last.batches.size(), still->near.batches.size());
  for (std::size_t k = 0; k < last.batches.size(); ++k) {
    EXPECT_EQ(last.batches[k].vertices.size(), still->near.batches[k].vertices.size());
    EXPECT_EQ(last.batches[k].vertices[0].position.x, still->near.batches[k].vertices[0].position.x);
  }
}

}  // namespace
