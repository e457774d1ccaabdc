// The checker's --game on small executables written here: a DOS header, the PE headers, a section table, and the
// sections' bytes, with a probe word where a build of the game has it.

#include "game_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/own_folder.h"

namespace {

using ::testing::HasSubstr;

struct SectionLayout {
  std::uint32_t address;  // relative to the image base
  std::uint32_t virtualSize;
  std::uint32_t rawSize;  // bytes in the file; the rest of the section is zero in memory
  std::uint32_t wordAt;   // where in the section the word goes (its bytes past rawSize are cut off)
  std::uint32_t word;
};

struct ExeLayout {
  std::vector<SectionLayout> sections;
  std::uint32_t base = 0x400000;
  std::uint16_t magic = 0x10B;            // PE32; 0x20B is PE32+
  std::size_t cutTo = std::string::npos;  // the file ends here
};

void Put(std::string& bytes, std::size_t at, std::uint32_t value, int size) {
  if (bytes.size() < at + size) bytes.resize(at + size);
  for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string Exe(const ExeLayout& layout) {
  constexpr std::size_t kPe = 0x40, kOptional = kPe + 24, kTable = kOptional + 224;
  std::string bytes = "MZ";
  Put(bytes, 0x3C, kPe, 4);
  Put(bytes, kPe, 0x4550, 4);
  Put(bytes, kPe + 4, 0x14C, 2);
  Put(bytes, kPe + 6, static_cast<std::uint32_t>(layout.sections.size()), 2);
  Put(bytes, kPe + 20, 224, 2);
  Put(bytes, kOptional, layout.magic, 2);
  Put(bytes, kOptional + 28, layout.base, 4);
  Put(bytes, kOptional + 32, 0x1000, 4);
  bytes.resize(0x400);  // the headers, section table included
  std::uint32_t raw = 0x400;
  for (std::size_t i = 0; i < layout.sections.size(); ++i) {
    const SectionLayout& section = layout.sections[i];
    const std::size_t row = kTable + 40 * i;
    Put(bytes, row + 8, section.virtualSize, 4);
    Put(bytes, row + 12, section.address, 4);
    Put(bytes, row + 16, section.rawSize, 4);
    Put(bytes, row + 20, raw, 4);
    Put(bytes, raw + section.wordAt, section.word, 4);
    bytes.resize(raw + section.rawSize);
    raw += (section.rawSize + 0x1FF) & ~0x1FFu;
  }
  return bytes.substr(0, layout.cutTo);
}

// A section at `address` relative to the image, holding `word` at its start and little else.
SectionLayout At(std::uint32_t address, std::uint32_t word) {
  return {address & ~0xFFFu, 0x1000, 0x1000, address & 0xFFF, word};
}

struct Case {
  const char* name;
  std::string bytes;  // empty: no file at all
  int status;
  std::string says;  // after the path
};

class GameCheck : public ::testing::TestWithParam<Case> {};

TEST_P(GameCheck, NamesTheBuildAndWhetherZephrelServesIt) {
  const Case& c = GetParam();
  const testing_support::OwnFolder folder;
  const std::string path = folder.File(std::string(c.name) + ".exe");
  if (!c.bytes.empty()) folder.Write(std::string(c.name) + ".exe", c.bytes);
  const tools::GameVerdict verdict = tools::CheckGame(path);
  EXPECT_EQ(verdict.status, c.status) << verdict.text;
  EXPECT_THAT(verdict.text, HasSubstr(path + c.says));
}

const std::string kInert = "the plug-in stays inert (it patches nothing and draws nothing).";
const std::string kUnknown = " is not a build of the game that Zephrel knows: " + kInert;
const std::string kNotServed = ": this build is not served: " + kInert;

INSTANTIATE_TEST_SUITE_P(
    Executables, GameCheck,
    ::testing::Values(
        Case{"build1001", Exe({{At(0x1000, 0x53EC8B55)}}), 0, " is build 1001 of the game, which Zephrel serves."},
        Case{"build1002", Exe({{At(0x1000, 0x16197BE9)}}), 0, " is build 1002 of the game, which Zephrel serves."},
        // The word's upper half lies past the section's bytes in the file: zero, as in memory.
        Case{"build1011", Exe({{At(0x1000, 0x90909090), {0x424000, 0x1000, 0x5BE, 0x5BC, 0x94BF}}}), 3,
             " is build 1011 of the game" + kNotServed},
        Case{"build3210", Exe({{At(0x1000, 0x90909090), At(0x458C61, 0x3539F633)}}), 3,
             " is build 3210 of the game" + kNotServed},
        Case{"unknown", Exe({{At(0x1000, 0x90909090)}}), 3, kUnknown}, Case{"no_sections", Exe({}), 3, kUnknown},
        Case{"moved", Exe({{At(0x1000, 0x53EC8B55)}, 0x10000000}), 3,
             " is not a build of the game that Zephrel knows (it loads at 0x10000000, the game at 0x400000)"},
        Case{"pe32plus", Exe({{At(0x1000, 0x53EC8B55)}, 0x400000, 0x20B}), 2, " is not a 32-bit Windows program"},
        Case{"cut_short", Exe({{At(0x1000, 0x53EC8B55)}, 0x400000, 0x10B, 0x401}), 2, " is cut short"},
        Case{"headers_only", Exe({}).substr(0, 0x60), 2, " is not a Windows program"},
        Case{"text", std::string(100, 'x'), 2, " is not a Windows program"},
        Case{"missing", "", 2, ": give the path of the game's executable"}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
