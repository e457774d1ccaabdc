// Where the plug-in finds Zephrel.ini and MODELS\BANNER.TXD: beside its own module file, wherever the player
// put it, through the real paths of each build (Windows paths under C:\Games\Host\ for the DLL), and beside the
// executable when it cannot find out where its module lies.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "story.h"
#if !defined(_WIN32)
#include "win32.h"
#endif

namespace story {
namespace {

using simhost::PluginBuild;

constexpr std::int32_t kLines = 1;
constexpr std::int32_t kTriangles = 3;
constexpr char kTexturePath[] = "MODELS\\BANNER.TXD";  // as the plug-in names it in either build

// The ids swapped: the banner plane (index 1) leaves the trail and the trail plane (index 0) tows the banner,
// which no other file and no default does.
constexpr char kSwappedModelsIni[] = "[MAIN]\r\nModelIDForTrail=593\r\nModelIDForBanner=577\r\n";
// Beside the executable: must not be read while the plug-in knows its own folder.
constexpr char kNoTrailsIni[] = "[MAIN]\r\nEnableTrail=0\r\n";

class PluginFolder : public Story {
 protected:
  // The directory the plug-in sees itself in when it is installed in `subfolder`, with its separator at the end.
  std::string DirectoryOf(const std::string& subfolder) const {
    std::string below = subfolder.empty() ? "" : subfolder + "/";
    if (GetParam() == PluginBuild::WindowsDll) std::replace(below.begin(), below.end(), '/', '\\');
    return folder().SeenBy(GetParam()) + below;
  }

  // A subfolder, in names of at most 50 characters, that puts the plug-in in a directory of `length` characters;
  // empty when the game folder's own path is already too long for that.
  std::string SubfolderFor(std::size_t length) const {
    const std::size_t base = DirectoryOf("").size();
    if (length < base + 2) return {};
    std::string subfolder(length - base - 1, 'd');
    for (std::size_t k = 50; k + 1 < subfolder.size(); k += 51) subfolder[k] = '/';
    return subfolder;
  }

  // After start-up: the plug-in loaded the banner's dictionary from `directory`, read Zephrel.ini there (the one
  // with the ids swapped), and draws accordingly.
  void ExpectStartedFrom(const std::string& directory) {
    const auto loads = simhost::CallsOf("LoadTextureDictionary");
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].text, directory + kTexturePath);
    EXPECT_EQ(simhost::LiveTextures(), 1);
    planes_.Place();
    Fly(Seconds(5));
    EXPECT_EQ(TrailPlane(), 1) << "Zephrel.ini of " << directory << " was read";
    EXPECT_EQ(BatchesOf(kTriangles).size(), 1u);
  }

  // Which plane leaves the last frame's only trail: 0, 1, or -1 for no trail or more than one.
  static int TrailPlane() {
    const auto trails = BatchesOf(kLines);
    if (trails.size() != 1) return -1;
    for (const int plane : {0, 1}) {
      if (Distance(trails[0].vertices.at(0).position, simhost::VehiclePosition(plane)) == 0.0f) return plane;
    }
    return -1;
  }

  // Shuts the game down and unloads the plug-in, and gives the next case a fresh host.
  void StartAfresh() {
    simhost::Shutdown();
    EXPECT_TRUE(Unload());
    simhost::ResetHost();
    simhost::ResizePool(4);
  }

  TwoPlanes planes_;
};

TEST_P(PluginFolder, InAFolderOfItsOwnThePluginReadsItsFilesFromThere) {
  WriteIni(kNoTrailsIni);
  for (const std::string subfolder : {"scripts", "My Games/Air Show 2/scripts"}) {
    SCOPED_TRACE(subfolder);
    folder().Write(subfolder + "/Zephrel.ini", kSwappedModelsIni);
    folder().Write(subfolder + "/MODELS/BANNER.TXD", "stand-in dictionary");
    Load(subfolder);
    simhost::Startup();
    ExpectStartedFrom(DirectoryOf(subfolder));
    EXPECT_TRUE(simhost::Recorded().errorBoxes.empty());
    StartAfresh();
  }
}

// A folder name in Japanese, which the ANSI code page of a Western Windows (1252, as under Wine here) cannot
// spell: the plug-in still reads its Zephrel.ini there, and hands the host a texture path it can open.
TEST_P(PluginFolder, InAFolderTheAnsiCodePageCannotSpellThePluginStillFindsItsFiles) {
  const std::string subfolder = "\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0/scripts";  // ゲーム/scripts
  WriteIni(kNoTrailsIni);
  folder().Write(subfolder + "/Zephrel.ini", kSwappedModelsIni);
  folder().Write(subfolder + "/MODELS/BANNER.TXD", "stand-in dictionary");
  Load(subfolder);
  simhost::Startup();
  const auto loads = simhost::CallsOf("LoadTextureDictionary");
  ASSERT_EQ(loads.size(), 1u);
  EXPECT_EQ(simhost::LiveTextures(), 1) << "the host could not open " << loads[0].text;
  planes_.Place();
  Fly(Seconds(5));
  EXPECT_EQ(TrailPlane(), 1) << "Zephrel.ini of the Japanese folder was read";
  EXPECT_EQ(BatchesOf(kTriangles).size(), 1u);
}

// MODELS\BANNER.TXD after a directory of 243 characters is a path of 260, the most the plug-in's path area
// holds; one character more and there is no path, so the host is asked for no dictionary at all, while
// Zephrel.ini is still found.
TEST_P(PluginFolder, TheTexturePathMustFitTwoHundredAndSixtyCharacters) {
  for (const std::size_t length : {243u, 244u}) {
    SCOPED_TRACE(length);
    const std::string subfolder = SubfolderFor(length);
    if (subfolder.empty()) GTEST_SKIP() << "the game folder " << folder().path() << " is too deep already";
    ASSERT_EQ(DirectoryOf(subfolder).size(), length);
    folder().Write(subfolder + "/Zephrel.ini", kSwappedModelsIni);
    folder().Write(subfolder + "/MODELS/BANNER.TXD", "stand-in dictionary");
    Load(subfolder);
    simhost::Startup();
    if (length + std::string(kTexturePath).size() <= 260) {
      ExpectStartedFrom(DirectoryOf(subfolder));
    } else {
      EXPECT_TRUE(simhost::CallsOf("AddTextureDictionarySlot").empty());
      EXPECT_TRUE(simhost::CallsOf("LoadTextureDictionary").empty());
      EXPECT_EQ(simhost::LiveTextures(), 0);
      planes_.Place();
      Fly(Seconds(5));
      EXPECT_EQ(TrailPlane(), 1) << "Zephrel.ini was read";
      EXPECT_TRUE(BatchesOf(kTriangles).empty());
    }
    EXPECT_TRUE(simhost::Recorded().errorBoxes.empty());
    StartAfresh();
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, PluginFolder, AllBuilds(), BuildName);

#if !defined(_WIN32)
// The simulated host's PE loader can be given another ANSI code page, or cut a module path.
using PeLoaderFolder = PluginFolder;

// The host's texture loader takes a char* path in the ANSI code page (1252 here, or UTF-8): a folder name it
// cannot spell reaches the host, and the configuration reader, in its short form, and a look-alike spelling
// ('m' for the fullwidth one) must not lead into another folder. The Linux build sees the names as they are.
TEST_P(PeLoaderFolder, FolderNamesReachTheHostInASpellingThatOpens) {
  struct Case {
    const char* subfolder;
    std::uint32_t codePage;
    const char* windowsDirectory;
  };
  const Case cases[] = {
      {"My Plugins", 1252, "C:\\Games\\Host\\My Plugins\\"},
      {"Caf\u00e9", 1252, "C:\\Games\\Host\\Caf\xE9\\"},
      {"\u30b2\u30fc\u30e0 mods", 1252, "C:\\Games\\Host\\MODS~1\\"},
      {"\u30b2\u30fc\u30e0 mods", 65001, "C:\\Games\\Host\\\u30b2\u30fc\u30e0 mods\\"},
      {"\uff4d\uff4f\uff44\uff53 x", 1252, "C:\\Games\\Host\\X~1\\"},
  };
  folder().Write("mods x/Zephrel.ini", kNoTrailsIni);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.subfolder);
    simhost::pe::set_ansi_code_page(c.codePage);
    folder().Write(std::string(c.subfolder) + "/Zephrel.ini", kSwappedModelsIni);
    folder().Write(std::string(c.subfolder) + "/MODELS/BANNER.TXD", "stand-in dictionary");
    Load(c.subfolder);
    simhost::Startup();
    EXPECT_TRUE(simhost::Recorded().errorBoxes.empty());
    ExpectStartedFrom(GetParam() == PluginBuild::WindowsDll ? c.windowsDirectory : DirectoryOf(c.subfolder));
    simhost::Shutdown();
    EXPECT_TRUE(Unload());
    simhost::ResetHost();
    simhost::ResizePool(4);
  }
}

// A module path of 259 characters is the longest the plug-in takes. One character more and the path comes back
// cut, naming a parent folder: that counts as not knowing its folder, so the player is told once and the
// files beside the executable serve (the Linux build's executable is the test program, with neither file).
TEST_P(PeLoaderFolder, AModulePathCutAtTwoHundredAndSixtyCharactersIsNotTaken) {
  const std::size_t fileName = std::string(simhost::PluginFileName(GetParam())).size();
  const bool dll = GetParam() == PluginBuild::WindowsDll;
  const std::string beside = dll ? simhost::pe::windows_folder()
                                 : std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/";
  for (const std::size_t length : {259u, 260u}) {
    SCOPED_TRACE(length);
    const std::string subfolder = SubfolderFor(length - fileName);
    if (subfolder.empty()) GTEST_SKIP() << "the game folder " << folder().path() << " is too deep already";
    WriteIni(kSwappedModelsIni);
    InstallBannerTexture();
    folder().Write(subfolder + "/Zephrel.ini", kNoTrailsIni);
    folder().Write(subfolder + "/MODELS/BANNER.TXD", "stand-in dictionary");
    Load(subfolder);
    simhost::Startup();
    const auto loads = simhost::CallsOf("LoadTextureDictionary");
    const auto& boxes = simhost::Recorded().errorBoxes;
    if (length == 259) {
      EXPECT_TRUE(boxes.empty());
      EXPECT_TRUE(loads.empty()) << "no room for MODELS\\BANNER.TXD after the plug-in's own folder";
      planes_.Place();
      Fly(Seconds(5));
      EXPECT_EQ(TrailPlane(), -1) << "the plug-in folder's Zephrel.ini was read";
    } else {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].text, "FILESYSTEM\nFailed to retrieve plugin dir path");
      ASSERT_EQ(loads.size(), 1u);
      EXPECT_EQ(loads[0].text, beside + kTexturePath);
      planes_.Place();
      Fly(Seconds(5));
      EXPECT_EQ(TrailPlane(), dll ? 1 : 0) << "the Zephrel.ini beside the executable, if any, was read";
      simhost::Reinit();
      simhost::Startup();
      EXPECT_TRUE(simhost::Recorded().errorBoxes.empty()) << "the player is told once";
    }
    simhost::Shutdown();
    EXPECT_TRUE(Unload());
    // Beside the Linux build's executable, the test program's folder, nothing of this test's may stay.
    if (!dll) std::filesystem::remove(beside + "Zephrel.log");
    simhost::ResetHost();
    simhost::ResizePool(4);
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, PeLoaderFolder, AllBuilds(), BuildName);

// Windows alone can fail to say which module holds an address, or keep no short names on a volume, so that a
// folder the ANSI code page cannot spell has no spelling the host could open.
using WindowsPluginFolder = PluginFolder;

TEST_P(WindowsPluginFolder, WithoutItsOwnFolderThePluginSaysSoOnceAndLooksBesideTheExecutable) {
  constexpr std::uint32_t kGameWindow = 0x00020030;
  constexpr std::uint32_t kErrorModNotFound = 126;
  for (const bool lookupFails : {true, false}) {
    SCOPED_TRACE(lookupFails ? "lookup fails" : "no short names");
    const std::string subfolder = lookupFails ? "scripts" : "\u30b2\u30fc\u30e0 mods";
    simhost::pe::set_active_window(kGameWindow);
    if (lookupFails)
      simhost::pe::set_module_lookup_failure(kErrorModNotFound);
    else
      simhost::pe::set_short_names(false);
    // The plug-in's own folder has both files too: only the fallback reads those beside the executable.
    WriteIni(kSwappedModelsIni);
    InstallBannerTexture();
    folder().Write(subfolder + "/Zephrel.ini", kNoTrailsIni);
    folder().Write(subfolder + "/MODELS/BANNER.TXD", "stand-in dictionary");
    Load(subfolder);
    EXPECT_TRUE(simhost::pe::message_boxes().empty()) << "nothing is looked up before the game starts";
    simhost::Startup();

    ASSERT_EQ(simhost::pe::message_boxes().size(), 1u);
    const simhost::pe::MessageBoxRecord& box = simhost::pe::message_boxes()[0];
    EXPECT_EQ(box.text, "FILESYSTEM\nFailed to retrieve plugin dir path");
    EXPECT_EQ(box.caption, "Zephrel");
    EXPECT_EQ(box.style, 0x10u);  // MB_OK | MB_ICONERROR
    EXPECT_EQ(box.owner, kGameWindow);
    ExpectStartedFrom("C:\\Games\\Host\\");

    simhost::Reinit();
    Fly(Seconds(1));
    EXPECT_EQ(TrailPlane(), 1) << "and read there again";
    simhost::Shutdown();
    EXPECT_EQ(simhost::pe::message_boxes().size(), 1u) << "the player is told once";
    EXPECT_TRUE(Unload());
    simhost::ResetHost();
    simhost::ResizePool(4);
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, WindowsPluginFolder, ::testing::Values(PluginBuild::WindowsDll), BuildName);
#endif

}  // namespace
}  // namespace story
