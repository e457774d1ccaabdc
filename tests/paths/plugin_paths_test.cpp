// The plug-in's directory, found once from its module, and file paths joined to it. In a test program the
// module holding the plug-in's code is the program itself.

#include "config/plugin_paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "simhost.h"

using namespace config;

namespace {

class PluginPaths : public ::testing::Test {
 protected:
  void SetUp() override { simhost::ResetHost(); }
  void TearDown() override { simhost::ResetHost(); }
};

std::filesystem::path Executable() { return std::filesystem::read_symlink("/proc/self/exe"); }

PluginPathAreas SplitAreas(const char* modulePath) {
  PluginPathAreas areas{};
  std::strcpy(areas.directory, modulePath);
  SplitModulePath(areas);
  return areas;
}

TEST_F(PluginPaths, ModulePathIsCutAfterTheRightmostSeparatorOfEitherKind) {
  struct Case {
    const char* module;
    const char* directory;
    const char* fileName;
  };
  const Case cases[] = {
      {"D:\\game\\plugins\\x.dll", "D:\\game\\plugins\\", "x.dll"},
      {"/opt/game/plugins/x.so", "/opt/game/plugins/", "x.so"},
      {"D:\\game/plugins\\x.dll", "D:\\game/plugins\\", "x.dll"},
      {"D:/game\\plugins/x.dll", "D:/game\\plugins/", "x.dll"},
      {"D:\\game\\", "D:\\game\\", ""},
      {"x.dll", "x.dll", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.module);
    const PluginPathAreas areas = SplitAreas(c.module);
    EXPECT_STREQ(areas.directory, c.directory);
    EXPECT_STREQ(areas.fileName, c.fileName);
  }
}

TEST_F(PluginPaths, JoinedPathNeedsNoSeparatorAndIsEmptyWhenItWouldNotFit) {
  PluginPathAreas areas = SplitAreas("D:\\game\\plugins\\x.dll");
  EXPECT_STREQ(JoinPluginPath(areas, "MODELS\\BANNER.TXD"), "D:\\game\\plugins\\MODELS\\BANNER.TXD");

  const std::string fits(260 - std::strlen(areas.directory), 'n');
  EXPECT_EQ(JoinPluginPath(areas, fits.c_str()), areas.directory + fits);
  EXPECT_STREQ(JoinPluginPath(areas, (fits + "n").c_str()), "");
  EXPECT_STREQ(JoinPluginPath(areas, nullptr), "");
  EXPECT_STREQ(areas.directory, "D:\\game\\plugins\\");
  EXPECT_STREQ(areas.fileName, "x.dll");
}

TEST_F(PluginPaths, DirectoryIsTheModulesAndJoinedPathsShareTheThirdArea) {
  const char* directory = PluginDirectory();
  EXPECT_EQ(PluginDirectory(), directory);
  EXPECT_EQ(std::string(directory), Executable().parent_path().string() + "/");

  const char* first = PluginFilePath("Zephrel.ini");
  const char* second = PluginFilePath("MODELS\\BANNER.TXD");
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, directory + 2 * kPluginPathAreaSize);
  EXPECT_EQ(std::string(second), std::string(directory) + "MODELS\\BANNER.TXD");
  EXPECT_TRUE(simhost::Recorded().errorBoxes.empty());
}

TEST_F(PluginPaths, FailedModuleLookupShowsOneBoxAndFallsBackToTheExecutable) {
  PluginPathAreas areas{};
  ResolvePluginDirectory(false, nullptr, areas, ShowFilesystemError);
  const auto& boxes = simhost::Recorded().errorBoxes;
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "FILESYSTEM\nFailed to retrieve plugin dir path");
  EXPECT_EQ(boxes[0].caption, "Zephrel");
  EXPECT_EQ(boxes[0].style, 0x10u);
  EXPECT_EQ(std::string(areas.directory), Executable().parent_path().string() + "/");
  EXPECT_EQ(std::string(areas.fileName), Executable().filename().string());
}

}  // namespace
