// The reader as the plug-in builds it: where it looks, and what it makes of files on disk.

#include "config/ini_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/ini_parser.h"
#include "config/plugin_paths.h"
#include "config/settings.h"
#include "support/own_folder.h"

using namespace config;

namespace {

// The directory of this test program (the module that holds the reader here), ending with '/'.
std::string ProgramDirectory() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  path[length > 0 ? length : 0] = '\0';
  std::string text = path;
  return text.substr(0, text.rfind('/') + 1);
}

// A fresh directory of files to read.
class IniFileOnDisk : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& content) { return folder_.Write(name, content); }

  testing_support::OwnFolder folder_;
  const std::string& directory_ = folder_.path();
};

// The settings of the file at `path`, as the plug-in reads them.
void LoadSettingsOf(const std::string& path) { LoadSettingsFrom(IniTextOf(ReadIniText(path, true))); }

TEST_F(IniFileOnDisk, AFileReadsAsItsLinesSay) {
  const std::string path = Write("x.ini", "[MAIN]\r\nHeight=250.5\r\nEnableTrail=false\r\nModelIDForTrail=0x241");
  LoadSettingsOf(path);
  EXPECT_EQ(Height, 250.5f);
  EXPECT_FALSE(EnableTrail);
  EXPECT_EQ(ModelIDForTrail, 577);
}

TEST_F(IniFileOnDisk, MissingOrEmptyFileGivesEveryDefault) {
  for (const std::string& path : {directory_ + "/absent.ini", Write("empty.ini", ""), directory_}) {
    // A directory tells a huge end on some file systems, yet it is unreadable, not too large.
    EXPECT_NE(ReadIniText(path).status, IniTextStatus::kTooLarge) << path;
    EXPECT_TRUE(IniTextOf(ReadIniText(path)).empty()) << path;
    EnableTrail = false;
    Height = 0.0f;
    ModelIDForTrail = 0;
    LoadSettingsOf(path);
    EXPECT_TRUE(EnableTrail);
    EXPECT_EQ(Height, 100.0f);
    EXPECT_EQ(ModelIDForTrail, 577);
  }
}

TEST_F(IniFileOnDisk, AFileOverOneMebibyteIsNotReadAtAll) {
  struct Case {
    const char* name;
    std::uint64_t size;
    IniTextStatus status;
  };
  const Case cases[] = {{"exactly 1 MiB", kIniFileSizeLimit, IniTextStatus::kRead},
                        {"a byte more", kIniFileSizeLimit + 1, IniTextStatus::kTooLarge},
                        {"3 GiB, which reading would take the process's memory", 3ull << 30, IniTextStatus::kTooLarge}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A setting, then zeros (a hole, for the large one) up to the size.
    const std::string path = Write("sized.ini", "[MAIN]\nHeight=5\n");
    std::ofstream(path, std::ios::binary | std::ios::in).seekp(static_cast<std::streamoff>(c.size - 1)).put('\n');
    EXPECT_EQ(ReadIniText(path).status, c.status);
    LoadSettingsOf(path);
    EXPECT_EQ(Height, c.status == IniTextStatus::kRead ? 5.0f : 100.0f);
    std::remove(path.c_str());
  }
}

TEST_F(IniFileOnDisk, NulBytesAndLongLinesAreJustText) {
  const std::string longValue(70000, '7');
  const std::string path = Write("odd.ini", std::string("[MAIN]\nk=a\0b\nlong=", 18) + longValue + "\n");
  const IniText file = ReadIniText(path);
  std::vector<std::string> values;
  ParseIniText(IniTextOf(file), [&values](const IniLine& line) {
    if (!line.header) values.emplace_back(line.value);
  });
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0], std::string("a\0b", 3));
  EXPECT_TRUE(values[1] == longValue);
}

TEST(IniFilePath, LiesNextToTheModuleThatHoldsTheReader) {
  EXPECT_EQ(PluginFilePath(kSettingsFile), ProgramDirectory() + "Zephrel.ini");
}

TEST(IniText, EndsAtTheFirstCtrlZOfAFileThatWasRead) {
  EXPECT_EQ(IniTextOf(std::string_view("[MAIN]\nHeight=5\n\x1A\nHeight=6")), "[MAIN]\nHeight=5\n");
  EXPECT_EQ(IniTextOf(IniText{IniTextStatus::kRead, "a\x1A"}), "a");
  EXPECT_EQ(IniTextOf(IniText{IniTextStatus::kTooLarge, "a"}), "");
  EXPECT_EQ(IniTextOf(IniText{IniTextStatus::kUnreadable, "a"}), "");
}

TEST(IniFileSettings, AnswerFromTheLinesOrTheDefault) {
  LoadSettingsFrom("[MAIN]\nEnableTrail=\nHeight=\nName=abc\nModelIDForTrail=\n[main]\nHeight=5\n");
  EXPECT_TRUE(EnableTrail);  // an empty value is a value, which for a flag gives its default
  EXPECT_EQ(Height, 0.0f);   // present, so not the default
  EXPECT_EQ(HeightForBanner, 100.0f);
  EXPECT_EQ(ModelIDForTrail, 577);  // does not convert
  EXPECT_EQ(ModelIDForBanner, 593);
}

}  // namespace
