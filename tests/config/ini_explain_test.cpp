// The explanations of Zephrel.ini that the checker prints (its sample files show most of them whole) and the
// number text they use, which must be std::to_chars's without its code.

#include "config/ini_explain.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <clocale>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

using namespace config;

namespace {

std::string ToChars(float value) {
  char text[64];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

TEST(FloatText, IsTheTextOfToChars) {
  std::vector<float> values = {0.0f,
                               -0.0f,
                               100.0f,
                               250.5f,
                               0.1f,
                               1e-4f,
                               1e10f,
                               123456792.0f,
                               16777216.0f,
                               std::numeric_limits<float>::max(),
                               std::numeric_limits<float>::min(),
                               std::numeric_limits<float>::denorm_min(),
                               std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity()};
  // Every power of two, where the floats below lie closer than those above, and its neighbours.
  for (std::uint32_t exponent = 0; exponent < 255; ++exponent) {
    for (const std::uint32_t mantissa : {0u, 1u, 0x7FFFFFu})
      values.push_back(std::bit_cast<float>(exponent << 23 | mantissa));
  }
  // And a spread of all others.
  std::uint32_t bits = 12345;
  for (int i = 0; i < 20000; ++i) {
    bits = bits * 1664525u + 1013904223u;
    const float value = std::bit_cast<float>(bits);
    if (value == value) values.push_back(value);
  }
  int wrong = 0;
  for (const float value : values) {
    if (FloatText(value) != ToChars(value) && ++wrong <= 10) {
      ADD_FAILURE() << ToChars(value) << " is given as " << FloatText(value);
    }
  }
  EXPECT_EQ(wrong, 0);
}

std::vector<std::pair<std::size_t, std::string>> Notes(std::string_view bytes, IniSources* sources = nullptr) {
  std::vector<std::pair<std::size_t, std::string>> notes;
  const IniSources read =
      ExplainIni(bytes, [&](std::size_t line, const std::string& text) { notes.emplace_back(line, text); });
  if (sources != nullptr) *sources = read;
  return notes;
}

// The C library formats the numbers here, and it follows the C locale; the notes must not.
TEST(ExplainIni, WritesADecimalPointInADecimalCommaLocale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8 locale here";
  const std::string text = FloatText(250.5f);
  const auto notes = Notes("[MAIN]\nHeight=1.5x\nTrailFadeTime=\n");
  std::setlocale(LC_ALL, previous.c_str());
  EXPECT_EQ(text, "250.5");
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0].second, "Height=1.5x reads as 1.5: the rest, \"x\", is ignored (the decimal point is '.')");
  EXPECT_EQ(notes[1].second,
            "TrailFadeTime= is empty: it reads as 0, not as the default 10000, which only a missing key gets");
}

TEST(ExplainIni, TellsWhatAModelIdReadsAs) {
  const std::pair<const char*, const char*> cases[] = {
      {"-2147483649",
       "is too far below zero for a model number (the least is -2147483648): the plug-in uses the "
       "default, 577"},
      {"2147483648", "is too large for a model number (the largest is 2147483647): the plug-in uses the default, 577"},
      {"-0x10", "reads as 0: the rest, \"x10\", is ignored"},
      {"-5", "matches no vehicle: model numbers run from 0 to 65535"},
      {"65535", ""},
  };
  for (const auto& [value, says] : cases) {
    const auto notes = Notes(std::string("[MAIN]\r\nModelIDForTrail=") + value + "\r\n");
    if (*says == '\0') {
      EXPECT_TRUE(notes.empty()) << value;
    } else {
      ASSERT_EQ(notes.size(), 1u) << value;
      EXPECT_EQ(notes[0], std::make_pair(std::size_t{2}, std::string("ModelIDForTrail=") + value + " " + says));
    }
  }
}

TEST(ExplainIni, SaysWhereEachSettingComesFrom) {
  IniSources sources{};
  const auto notes =
      Notes("[MAIN]\nModelIDForBanner=abc\nHeight=5\nModelIDForBanner=7\n\x1A[main]\nHeight=6\n", &sources);
  EXPECT_EQ(sources.line[6], 3u);         // Height
  EXPECT_EQ(sources.line[10], 0u);        // ModelIDForBanner: its default...
  EXPECT_EQ(sources.failedLine[10], 2u);  // ...because line 2 does not convert
  EXPECT_EQ(sources.failures, 1u);
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_EQ(notes[1], std::make_pair(std::size_t{4}, std::string("ModelIDForBanner is given again: the first one, on "
                                                                 "line 2, wins and this line is ignored")));
  EXPECT_EQ(notes[2].first, 5u);  // the Ctrl-Z: nothing after it is read
}

TEST(ExplainIni, NotesAFileWithoutMainLast) {
  const auto notes = Notes("[Main]\nHeight=5\n");
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_EQ(notes[1].first, 2u);
  EXPECT_EQ(notes[2],
            std::make_pair(std::size_t{0}, std::string("there is no [MAIN] section: every setting has its default")));
}

// A number that a float cannot hold as typed is told what it becomes; one it holds, in whatever spelling, is not.
TEST(ExplainIni, TellsWhatANumberAFloatCannotHoldReadsAs) {
  const std::pair<const char*, const char*> cases[] = {
      {"99999999999999999999999999999", "reads as 1e+29: a float keeps only about seven significant digits"},
      {"16777217", "reads as 16777216: a float keeps only about seven significant digits"},
      {"1e-50", "reads as 0: a float keeps only about seven significant digits"},
      {"1e999", "is too large for a float: it reads as inf"},
      {"300", ""},
      {"300.000", ""},
      {"3e2", ""},
      {"0.1", ""},
      {"-0.0", ""},
      {"000250.50", ""},
  };
  for (const auto& [value, says] : cases) {
    const auto notes = Notes(std::string("[MAIN]\nBannerDrawDistance=") + value + "\n");
    if (*says == '\0') {
      EXPECT_TRUE(notes.empty()) << value << ": " << (notes.empty() ? "" : notes[0].second);
    } else {
      ASSERT_EQ(notes.size(), 1u) << value;
      EXPECT_EQ(notes[0], std::make_pair(std::size_t{2}, std::string("BannerDrawDistance=") + value + " " + says));
    }
  }
}

// A program or random bytes under the name: one note on the whole file instead of one for every line.
TEST(ExplainIni, NotesAFileWithNulBytesOnceAsNotText) {
  IniSources sources{};
  const auto notes = Notes(std::string("MZ\x90\0\x03\n[MAIN]\nHeight=5\ncolour=red\n\0\0\n", 36), &sources);
  EXPECT_EQ(sources.line[6], 3u);  // Height is still read, as the plug-in reads it
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].first, 0u);
  EXPECT_TRUE(notes[0].second.starts_with("the file holds NUL bytes, so it is not a text file")) << notes[0].second;
  EXPECT_TRUE(Notes("[MAIN]\nHeight=5\n").empty());
}

// Whatever bytes a key holds, a note quotes them as text a terminal, a log or a page shows as it is: control
// characters and bytes that are not UTF-8 escaped, valid characters kept, and a long key cut.
TEST(ExplainIni, QuotesControlCharactersAndBytesThatAreNotTextEscaped) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\tb\x7F", "a\\x09b\\x7F"},
      {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80"},  // é and an emoji
      {"caf\xE9", "caf\\xE9"},                                           // Latin-1, not UTF-8
      {"\xC2\x85x", "\\xC2\\x85x"},                                      // a C1 control character
      {"\xC0\xAF\xED\xA0\x80", "\\xC0\\xAF\\xED\\xA0\\x80"},             // overlong, and a surrogate
      {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},                      // past U+10FFFF
      {"x\xE2\x82", "x\\xE2\\x82"},                                      // cut short at the end
      {std::string(100, 'k'), std::string(kShownBytes, 'k') + "... (100 bytes in all)"},
  };
  for (const auto& [key, shown] : cases) {
    const auto notes = Notes("[MAIN]\n" + key + "=1\n");
    ASSERT_EQ(notes.size(), 1u) << shown;
    EXPECT_EQ(notes[0].second, "\"" + shown + "\" is not a key the plug-in reads");
  }
}

// Thousands of surprising lines give a bounded explanation: the first notes, one that counts the rest, and still
// those on the file as a whole and on a Ctrl-Z.
TEST(ExplainIni, GivesAtMostTheLimitOfNotesOnLinesAndCountsTheRest) {
  std::string text = "[Other]\n[MAIN]\n";
  for (std::size_t i = 0; i < kLineNoteLimit + 1000; ++i) text += "x\n";
  IniSources sources{};
  const auto notes = Notes(text + "\x1A[MAIN]\n", &sources);
  EXPECT_EQ(sources.mainHeader, 2u);
  ASSERT_EQ(notes.size(), kLineNoteLimit + 2);
  EXPECT_EQ(notes[kLineNoteLimit - 1].first, kLineNoteLimit + 1);
  EXPECT_EQ(notes[kLineNoteLimit].first, kLineNoteLimit + 1003) << "the Ctrl-Z";
  EXPECT_EQ(
      notes[kLineNoteLimit + 1],
      std::make_pair(std::size_t{0}, "only the first " + std::to_string(kLineNoteLimit) +
                                         " notes on lines are given: 1001 more on lines further down are left out"));
  EXPECT_EQ(Notes("[main]\nHeight=1\n[MAIN]\n", &sources).size(), 2u);
  EXPECT_EQ(sources.mainHeader, 3u);
}

}  // namespace
