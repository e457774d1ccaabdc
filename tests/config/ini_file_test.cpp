// The reader as the plug-in builds it: where it looks, what it makes of files on disk, and its queries.

#include "config/ini_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

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

// A fresh directory whose name holds a colon, so that a path into it is used as it is.
class IniFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zephrel:ini-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
  }
  void TearDown() override {
    for (const std::string& file : written_) std::remove(file.c_str());
    rmdir(directory_.c_str());
  }

  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = directory_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    written_.push_back(path);
    return path;
  }

  std::string directory_;
  std::vector<std::string> written_;
};

TEST_F(IniFileOnDisk, NameWithAColonIsReadFromThatPathExactly) {
  const std::string path = Write("x.ini", "[MAIN]\r\nHeight=250.5\r\nEnableTrail=false\r\nModelIDForTrail=0x241");
  const IniFile ini(path);
  EXPECT_EQ(ini.path(), path);
  EXPECT_EQ(ini.ReadFloat("MAIN", "Height", 1.0f), 250.5f);
  EXPECT_FALSE(ini.ReadBool("MAIN", "EnableTrail", true));
  EXPECT_EQ(ini.ReadInt("MAIN", "ModelIDForTrail", 1), 577);
}

TEST_F(IniFileOnDisk, MissingOrEmptyFileGivesEveryDefault) {
  for (const std::string& path : {directory_ + "/absent.ini", Write("empty.ini", ""), directory_}) {
    // A directory tells a huge end on some file systems, yet it is unreadable, not too large.
    EXPECT_NE(ReadIniText(path).status, IniTextStatus::kTooLarge) << path;
    const IniFile ini(path);
    EXPECT_TRUE(ini.sections().empty()) << path;
    EXPECT_TRUE(ini.ReadBool("MAIN", "EnableTrail", true));
    EXPECT_EQ(ini.ReadFloat("MAIN", "Height", 100.0f), 100.0f);
    EXPECT_EQ(ini.ReadInt("MAIN", "ModelIDForTrail", -577), -577);
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
    EXPECT_EQ(IniFile(path).ReadFloat("MAIN", "Height", 100.0f), c.status == IniTextStatus::kRead ? 5.0f : 100.0f);
    std::remove(path.c_str());
  }
}

TEST_F(IniFileOnDisk, NulBytesAndLongLinesAreJustText) {
  const std::string longValue(70000, '7');
  const std::string path = Write("odd.ini", std::string("[MAIN]\nk=a\0b\nlong=", 18) + longValue + "\n");
  const IniFile ini(path);
  EXPECT_EQ(ini.FindValue("MAIN", "k", "-"), std::string("a\0b", 3));
  EXPECT_TRUE(ini.FindValue("MAIN", "long", "-") == longValue);
}

TEST(IniFilePath, PlainNameLiesNextToTheModuleThatHoldsTheReader) {
  EXPECT_EQ(ResolveIniPath("Zephrel.ini"), ProgramDirectory() + "Zephrel.ini");
  EXPECT_EQ(IniFile("Zephrel.ini").path(), ProgramDirectory() + "Zephrel.ini");
}

TEST(IniFilePath, EmptyNameIsTheModulePathWithIni) {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  ASSERT_GT(length, 0);
  path[length] = '\0';
  std::string expected = path;
  const std::size_t dot = expected.rfind('.');
  expected = (dot == std::string::npos ? expected : expected.substr(0, dot)) + ".ini";
  EXPECT_EQ(ResolveIniPath(""), expected);
}

TEST(IniFileQueries, AnswerFromTheSectionsOrTheDefault) {
  const IniFile ini("mem", "[MAIN]\nEnableTrail=\nHeight=\nName=abc\nModelIDForTrail=\n[main]\nHeight=5\n");
  EXPECT_EQ(ini.FindValue("MAIN", "Name", "x"), "abc");
  EXPECT_EQ(ini.FindValue("MAIN", "EnableTrail", "x"), "");  // an empty value is a value
  EXPECT_EQ(ini.FindValue("MAIN", "name", "x"), "x");
  EXPECT_EQ(ini.FindValue("OTHER", "Name", "x"), "x");
  EXPECT_TRUE(ini.ReadBool("MAIN", "EnableTrail", true));
  EXPECT_FALSE(ini.ReadBool("MAIN", "EnableTrail", false));
  EXPECT_EQ(ini.ReadFloat("MAIN", "Height", 100.0f), 0.0f);  // present, so not the default
  EXPECT_EQ(ini.ReadFloat("MAIN", "Absent", 0.1234567f), 0.1234567f);
  EXPECT_EQ(ini.ReadInt("MAIN", "Absent", INT32_MIN), INT32_MIN);
  EXPECT_THROW(ini.ReadInt("MAIN", "ModelIDForTrail", 577), NotAnInteger);
  EXPECT_THROW(ini.ReadInt("MAIN", "Name", 577), NotAnInteger);
}

}  // namespace
