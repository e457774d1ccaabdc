// The scripted flight: where the aircraft fly, the default camera that takes it all in, and the clock that
// ends it in the lit half of a blink.

#include "scenario.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "plugin_install.h"
#include "simhost.h"

namespace {

using preview::AircraftKind;
using preview::ScenarioAircraft;
using preview::ScenarioSettings;

class PreviewScenario : public ::testing::Test {
 protected:
  void SetUp() override { simhost::ResetHost(); }
  void TearDown() override { simhost::ResetHost(); }
};

TEST_F(PreviewScenario, TrailAircraftFlyAboveTheTrailHeightAndTheBannerAboveItsOwn) {
  ScenarioSettings raised;
  raised.height = 400.0f;
  raised.heightForBanner = -20.0f;
  for (const ScenarioSettings& settings : {ScenarioSettings{}, raised}) {
    for (const float elapsed : {0.0f, 17.3f, 40.0f}) {
      const auto aircraft = ScenarioAircraft(settings, elapsed, 40.0f);
      ASSERT_EQ(aircraft.size(), 3u);
      EXPECT_EQ(aircraft[0].kind, AircraftKind::Trail);
      EXPECT_EQ(aircraft[1].kind, AircraftKind::Trail);
      EXPECT_EQ(aircraft[2].kind, AircraftKind::Banner);
      EXPECT_GT(aircraft[0].position.z, settings.height);
      EXPECT_GT(aircraft[1].position.z, settings.height);
      EXPECT_GT(aircraft[2].position.z, settings.heightForBanner);
    }
  }
}

TEST_F(PreviewScenario, TheTrailAircraftCrossPaths) {
  // Their tracks over the ground meet: both pass over the same point, at different moments or heights.
  const auto before = ScenarioAircraft({}, 20.0f, 40.0f);
  const auto after = ScenarioAircraft({}, 40.0f, 40.0f);
  for (int plane : {0, 1}) {
    const auto& b = before[static_cast<std::size_t>(plane)].position;
    const auto& a = after[static_cast<std::size_t>(plane)].position;
    // The origin lies on the segment between the two positions (cross product zero, opposite sides).
    EXPECT_NEAR(b.x * a.y - b.y * a.x, 0.0f, 1e-2f);
    EXPECT_LE(b.x * a.x + b.y * a.y, 0.0f);
  }
}

TEST_F(PreviewScenario, TheDefaultCameraTakesInEverythingAndIsNearEnoughForTheBanner) {
  const ScenarioSettings settings;
  for (const float seconds : {40.0f, 10.0f, 120.0f}) {
    SCOPED_TRACE(seconds);
    const auto extent = preview::ScenarioExtent(settings, seconds);
    preview::Camera lens;
    const auto camera = preview::FitCameraCentred(extent, preview::kDefaultViewDirection, lens);
    ASSERT_TRUE(camera.has_value());
    for (const preview::Vector3& point : extent) {
      const auto projected = preview::Project(*camera, point);
      ASSERT_TRUE(projected.has_value());
      EXPECT_GE(projected->x, 0.0f);
      EXPECT_LE(projected->x, 1024.0f);
      EXPECT_GE(projected->y, 0.0f);
      EXPECT_LE(projected->y, 768.0f);
    }
    // The plug-in draws a banner at full strength only within 250 units of the camera by default.
    const auto banner = ScenarioAircraft(settings, seconds, seconds)[2].position;
    EXPECT_LT(preview::Length(preview::Subtract(camera->position, banner)), 250.0f);
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
  ScenarioSettings settings;
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
  const std::string ini = testing::TempDir() + "preview-scenario.ini";
  { std::ofstream(ini) << "[MAIN]\nEnableTrail=0\n"; }
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
  std::remove(ini.c_str());

  std::string error;
  for (const std::string& unreadable : {std::string("/nonexistent/Zephrel.ini"), testing::TempDir()}) {
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
  const std::string so = preview::CheckPluginFile(simhost::PluginBuild::LinuxLibrary, testing::TempDir());
  EXPECT_NE(so.find(testing::TempDir() + " is missing"), std::string::npos) << so;
}

}  // namespace
