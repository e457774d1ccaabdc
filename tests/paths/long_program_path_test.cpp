// Run from a directory so deep that the program's own path, which is here also the path of the module that
// holds the plug-in's code, is longer than 259 characters: neither can be had whole, so names stand alone and
// open from the current directory.

#include <gtest/gtest.h>

#include <filesystem>

#include "config/plugin_paths.h"
#include "simhost.h"

using namespace config;

namespace {

TEST(LongProgramPath, OneBoxAndNamesStandAlone) {
  simhost::ResetHost();
  ASSERT_GT(std::filesystem::read_symlink("/proc/self/exe").string().size(), 259u);
  EXPECT_STREQ(PluginDirectory(), "");
  EXPECT_STREQ(PluginFilePath("MODELS\\BANNER.TXD"), "MODELS\\BANNER.TXD");
  EXPECT_STREQ(PluginFilePath("Zephrel.ini"), "Zephrel.ini");
  EXPECT_EQ(simhost::Recorded().errorBoxes.size(), 1u);
}

// A console program, the checker, finds its folder the same way and is told of the failure its own way: no box.
TEST(LongProgramPath, AProgramGetsTheSameDirectoryAndItsOwnFailure) {
  simhost::ResetHost();
  static int failures = 0;
  PluginPathAreas areas{};
  FindModuleDirectory(areas, [] { ++failures; });
  EXPECT_EQ(failures, 1);
  EXPECT_STREQ(areas.directory, "");
  EXPECT_STREQ(JoinPluginPath(areas, "Zephrel.ini"), "Zephrel.ini");
  EXPECT_TRUE(simhost::Recorded().errorBoxes.empty());
}

}  // namespace
