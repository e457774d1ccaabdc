// The configuration format over text in memory: what each kind of line becomes, trimming, and the value
// conversions.

#include "config/ini_parser.h"

#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/x87.h"

using namespace config;

namespace {

// The lines of `text` as the parser hands them over: "[name]" for a header, "section|key=value" for a key line.
std::vector<std::string> Parse(std::string_view text) {
  std::vector<std::string> lines;
  ParseIniText(text, [&lines](const IniLine& line) {
    if (line.header) {
      lines.push_back("[" + std::string(line.section) + "]");
    } else {
      lines.push_back(std::string(line.section) + "|" + std::string(line.key) + "=" + std::string(line.value));
    }
  });
  return lines;
}

struct LineCase {
  const char* name;
  std::string text;
  std::vector<std::string> expected;
};

void PrintTo(const LineCase& c, std::ostream* out) { *out << c.name; }

class OneLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(OneLine, BecomesWhatTheFormatSays) { EXPECT_EQ(Parse(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Lines, OneLine,
    ::testing::Values(
        LineCase{"ByteOrderMarkBeforeHeader", "\xEF\xBB\xBF[MAIN]\n", {"[MAIN]"}},
        LineCase{"SpacesInsideBrackets", "[ MAIN ]\n", {"[MAIN]"}},
        LineCase{"LowerCaseSectionIsAnother", "[main]\nHeight=1\n", {"[main]", "main|Height=1"}},
        LineCase{"UnclosedBracketIsAKey", "[MAIN]\n[MAIN\n", {"[MAIN]", "MAIN|[MAIN="}},
        LineCase{"SpacesAroundEquals", "[MAIN]\nHeight = 250\n", {"[MAIN]", "MAIN|Height=250"}},
        LineCase{"FirstEqualsSplits", "[MAIN]\na=b=c\n", {"[MAIN]", "MAIN|a=b=c"}},
        LineCase{"EmptyKey", "[MAIN]\n=5\n", {"[MAIN]", "MAIN|=5"}},
        LineCase{"EmptyValueIsStored", "[MAIN]\nEnableTrail=\n", {"[MAIN]", "MAIN|EnableTrail="}},
        LineCase{"KeyBeforeAnyHeader", "Height=1\n[MAIN]\n", {"|Height=1", "[MAIN]"}},
        LineCase{"EmptyBracketsNameTheEmptySection", "[]\nx=1\n", {"[]", "|x=1"}},
        LineCase{"SemicolonLineIsAKey", "[MAIN]\n; Height=5\n", {"[MAIN]", "MAIN|; Height=5"}},
        LineCase{"RemarkBelongsToTheValue", "[MAIN]\nHeight=5 # metres\n", {"[MAIN]", "MAIN|Height=5 # metres"}},
        LineCase{"TrailingBlanksAndTabsGo", "[MAIN]\nHeight=5 \t \n", {"[MAIN]", "MAIN|Height=5"}},
        LineCase{"MarkAfterEqualsGoes",
                 "[MAIN]\nHeight=\xEF\xBB\xBF"
                 "5\n",
                 {"[MAIN]", "MAIN|Height=5"}},
        LineCase{"HighBytesAreNotBlank", "[MAIN]\nk=\xA0v\xA0\n", {"[MAIN]", "MAIN|k=\xA0v\xA0"}},
        LineCase{"ReopenedSectionTakesItsKeysAgain",
                 "[MAIN]\nHeight=1\n[O]\n[MAIN]\nHeight=2\n",
                 {"[MAIN]", "MAIN|Height=1", "[O]", "[MAIN]", "MAIN|Height=2"}},
        LineCase{"BlankLinesAreSkipped", "\n \t\r\n\n", {}}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST(IniParser, CrLfReadsLikeLf) {
  const std::string lf = "[MAIN]\nHeight=250\nEnableTrail=0\n";
  const std::string crlf = "[MAIN]\r\nHeight=250\r\nEnableTrail=0\r\n";
  EXPECT_EQ(Parse(crlf), Parse(lf));
  EXPECT_EQ(Parse(lf).at(1), "MAIN|Height=250");
}

TEST(IniParser, LastLineWithoutLineEndIsRead) {
  EXPECT_EQ(Parse("[MAIN]\nHeight=7").back(), "MAIN|Height=7");
  EXPECT_EQ(Parse("[MAIN]"), std::vector<std::string>{"[MAIN]"});
}

TEST(IniParser, AnyNumberOfLeadingMarksGo) {
  const std::string marks = "\xEF\xBB\xBF\xEF\xBB\xBF\xEF\xBB\xBF";
  EXPECT_EQ(Parse(marks + "[MAIN]\nx=1\n"), (std::vector<std::string>{"[MAIN]", "MAIN|x=1"}));
  EXPECT_EQ(TrimText(marks, false, false), "");
  EXPECT_EQ(TrimText(marks + " x ", false, false), " x ");
  EXPECT_EQ(TrimText(" " + marks + "x", true, true), marks + "x");  // a mark after a blank stays
  EXPECT_EQ(TrimText("\xEF\xBB", true, true), "\xEF\xBB");
}

TEST(IniParser, TrimmingHonoursItsFlags) {
  EXPECT_EQ(TrimText(" \t\v\f\r\nx \t\v\f\r\n", true, false), "x \t\v\f\r\n");
  EXPECT_EQ(TrimText(" \t\v\f\r\nx \t\v\f\r\n", false, true), " \t\v\f\r\nx");
  EXPECT_EQ(TrimText("", true, true), "");
}

TEST(IniParser, EveryLineComesWithItsNumber) {
  std::vector<IniLine> lines;
  std::vector<std::string> sectionNames;
  ParseIniText("a=1\n\n[S]\r\nb=2\nb=3\nc", [&](const IniLine& line) {
    lines.push_back(line);
    sectionNames.emplace_back(line.section);
  });
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].number, 1u);
  EXPECT_EQ(sectionNames[0], "");
  EXPECT_TRUE(lines[1].header);
  EXPECT_EQ(lines[1].number, 3u);
  EXPECT_EQ(sectionNames[2], "S");
  EXPECT_EQ(lines[3].value, "3");
  EXPECT_EQ(lines[4].key, "c");
  EXPECT_EQ(lines[4].number, 6u);
}

TEST(ConvertBool, DecidesByLength) {
  struct Case {
    const char* text;
    bool fallback;
    bool expected;
  };
  const Case cases[] = {
      {"", true, true},         {"", false, false},      {"0", true, false},     {"1", false, true},
      {"n", false, true},       {"false", true, false},  {"FaLsE", true, false}, {"fals3", false, true},
      {"falsy", false, true},   {"no", false, true},     {"off", false, true},   {"00", false, true},
      {"0 ; off", false, true}, {"false ", false, true}, {"true", false, true},  {"yes", false, true},
  };
  for (const Case& c : cases) EXPECT_EQ(ConvertBool(c.text, c.fallback), c.expected) << '"' << c.text << '"';
}

TEST(ConvertFloat, ReadsTheLongestNumericPrefix) {
  struct Case {
    const char* text;
    float expected;
    std::size_t used;
  };
  const Case cases[] = {
      {"", 0.0f, 0},          {"abc", 0.0f, 0},
      {"250", 250.0f, 3},     {"250.5", 250.5f, 5},
      {"  \t-2.5", -2.5f, 7}, {"+.5", 0.5f, 3},
      {"5.", 5.0f, 2},        {".", 0.0f, 0},
      {"1e3x", 1000.0f, 3},   {"1e", 1.0f, 1},
      {"1e+", 1.0f, 1},       {"2E-1", 0.2f, 4},
      {"250,5", 250.0f, 3},   {"250m", 250.0f, 3},
      {"--1", 0.0f, 0},       {"+-1", 0.0f, 0},
      {"0x10", 0.0f, 1},      {"inf", 0.0f, 0},
      {"nan", 0.0f, 0},       {"1e-400", 0.0f, 6},
      {"0.1", 0.1f, 3},       {"100.000000", 100.0f, 10},
  };
  for (const Case& c : cases) {
    std::size_t used = 99;
    EXPECT_EQ(ConvertFloat(c.text, &used), c.expected) << '"' << c.text << '"';
    EXPECT_EQ(used, c.used) << '"' << c.text << '"';
  }
}

TEST(ConvertFloat, NarrowsBeyondFloatRangeToInfinity) {
  constexpr float kInfinity = std::numeric_limits<float>::infinity();
  EXPECT_EQ(ConvertFloat("1e39"), kInfinity);
  EXPECT_EQ(ConvertFloat("-1e39"), -kInfinity);
  EXPECT_EQ(ConvertFloat("1e999"), kInfinity);
  EXPECT_EQ(ConvertFloat("0.0000000000000000000001e99999999999999999999"), kInfinity);
  EXPECT_EQ(ConvertFloat("100000000000000000000e-999"), 0.0f);
  EXPECT_TRUE(std::signbit(ConvertFloat("-1e-999")));
  // Rounded to double first, as the C library's conversion does, then narrowed: this text lies just below
  // the midpoint between the largest float and the next power of two, rounds to that midpoint as a double,
  // and the midpoint goes to infinity. Straight to float it would have been the largest float.
  EXPECT_EQ(ConvertFloat("3.4028235677973366e38"), kInfinity);
  EXPECT_EQ(ConvertFloat("3.40282356e38"), std::numeric_limits<float>::max());
}

// The numbers that froze the game's start-up while the conversion corrected a floating-point guess one double at a
// time: at the game's 24-bit precision the guess lay millions of doubles off.
const char* const kOddNumbers[] = {"123.45678901234567890123", "1e30", "1e-30", "0.1234567890123456789012345678901",
                                   "1e23"};

// The plug-in rounds decimals to the nearest double itself; the C library (in the C locale, at the default
// precision) is the reference, at each precision the x87 unit may have. The hard ones: exact midpoints between
// doubles and between floats, digits beyond any double's reach, subnormals, the edges of both ranges.
TEST(ConvertFloat, RoundsAsTheCLibraryDoesAtEveryX87Precision) {
  std::vector<std::string> texts(std::begin(kOddNumbers), std::end(kOddNumbers));
  texts.insert(texts.end(), {
                                "9007199254740993",  // 2^53 + 1, a midpoint: to even
                                "9007199254740995",
                                "9007199254740993.00000000000000000000000000000000000001",
                                "1.00000005960464477539062499",  // around the midpoint between 1 and the next float
                                "1.000000059604644775390625",
                                "1.00000005960464477539062501",
                                "2.4703282292062327e-324",  // around half the least double
                                "2.4703282292062328e-324",
                                "4.9406564584124654e-324",
                                "2.2250738585072011e-308",  // just below the least normal double
                                "1.7976931348623157e308",
                                "1.7976931348623158e308",
                                "1.7976931348623159e308",
                                "1.4e-45",
                                "7.006492321624085e-46",
                                "1e23",
                                "8.589973e9",
                                "0.1",
                                ".5",
                                "5.",
                                "0e999",
                                std::string(900, '9'),
                                "0." + std::string(400, '0') + "1e400",
                                "1" + std::string(500, '0') + "e-560",
                                "0." + std::string(1200, '3') + "e-300",
                            });
  // A spread of lengths and exponents, up to past the 800 digits the conversion keeps.
  std::uint32_t seed = 2024;
  const auto next = [&seed](std::uint32_t below) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % below;
  };
  for (int i = 0; i < 4000; ++i) {
    const std::uint32_t lengths[] = {9, 20, 40, 900};
    std::string text;
    for (std::uint32_t d = 0, n = 1 + next(lengths[i % 4]); d < n; ++d) text += static_cast<char>('0' + next(10));
    if (next(2) != 0) text.insert(next(static_cast<std::uint32_t>(text.size()) + 1), ".");
    if (next(2) != 0) text += "e" + std::to_string(static_cast<int>(next(700)) - 350);
    texts.push_back(text);
  }
  int wrong = 0;
  for (const std::string& text : texts) {
    const float expected = static_cast<float>(std::strtod(text.c_str(), nullptr));
    for (const int bits : {24, 53, 64}) {
      float converted;
      {
        const x87::Precision precision(bits);
        converted = ConvertFloat(text);
      }
      if (converted != expected && ++wrong <= 10) {
        ADD_FAILURE() << text.substr(0, 60) << " at " << bits << " bits: " << converted << ", not " << expected;
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

// Steps, not seconds: the same instructions at 24 bits as at 64, and a bound far below the billions of the old
// walk (a sanitizer's checks count too). Counted one trap per instruction, which takes a while, so only for two of
// the numbers.
TEST(ConvertFloat, TakesTheSameBoundedStepsAtEveryX87Precision) {
  for (const char* text : {kOddNumbers[0], kOddNumbers[2]}) {
    volatile float sink = ConvertFloat(text);  // the C library's first-call work out of the way
    long steps[2];
    for (int i = 0; i < 2; ++i) {
      const x87::Precision precision(i == 0 ? 24 : 64);
      steps[i] = x87::StepsOf([&] { sink = ConvertFloat(text); });
    }
    if (steps[0] < 0) GTEST_SKIP() << "no single-stepping here";
    EXPECT_EQ(steps[0], steps[1]) << text;
    EXPECT_LT(steps[0], 1000000) << text;
  }
}

// What printf's "%.*e" would write, found without it: the C library of the DLL runs on the x87 unit and errs at the
// game's precision. Ties go to the even digit; rounding up may carry into a new digit.
TEST(RoundFloatDigits, MatchesTheCLibraryAtTheDefaultPrecision) {
  struct Case {
    float value;
    int precision;
    std::uint32_t digits;
    int exponent;
  };
  const Case cases[] = {
      {1.5f, 1, 2, 0},
      {2.5f, 1, 2, 0},
      {0.125f, 2, 12, -2},
      {9.96f, 2, 10, 0},
      {250.5f, 9, 250500000, -6},
      {1e-45f, 3, 140, -47},
      {3.4028235e38f, 9, 340282347, 30},
  };
  for (const Case& c : cases) {
    const FloatDigits rounded = RoundFloatDigits(c.value, c.precision);
    EXPECT_EQ(rounded.digits, c.digits) << c.value << " to " << c.precision;
    EXPECT_EQ(rounded.exponent, c.exponent) << c.value << " to " << c.precision;
  }
  // And across the floats, every precision.
  int wrong = 0;
  for (std::uint32_t bits = 1; bits < 0x7F800000; bits += 0x7F800000 / 20011) {
    const float value = std::bit_cast<float>(bits);
    for (int precision = 1; precision <= 9; ++precision) {
      char text[40];
      std::snprintf(text, sizeof text, "%.*e", precision - 1, static_cast<double>(value));
      std::uint32_t digits = 0;
      const char* at = text;
      for (; *at != 'e'; ++at) digits = *at == '.' ? digits : digits * 10 + static_cast<std::uint32_t>(*at - '0');
      const int exponent = std::atoi(at + 1) - (precision - 1);
      const FloatDigits rounded = RoundFloatDigits(value, precision);
      if ((rounded.digits != digits || rounded.exponent != exponent) && ++wrong <= 10) {
        ADD_FAILURE() << text << ": " << rounded.digits << "e" << rounded.exponent;
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST(ConvertInt, ReadsDecimalOrHexadecimal) {
  struct Case {
    const char* text;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"577", 577},
      {"0x241", 577},
      {"0X241", 577},
      {"0x7fffFFFF", 2147483647},
      {"577abc", 577},
      {"-0x10", 0},
      {"+12", 12},
      {" \t42", 42},
      {"-2147483648", INT32_MIN},
      {"2147483647", INT32_MAX},
      {"000000000000000000000001", 1},
      {"0x0x5", 0},
      {"12.9", 12},
      {"0x00000000000000000000000001", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(ConvertInt(c.text), c.expected) << '"' << c.text << '"';
  std::size_t used = 0;
  ConvertInt("0x241zz", &used);
  EXPECT_EQ(used, 5u);
}

// The message of the error of type Error that ConvertInt raises for `text`; empty when it converts.
template <typename Error>
std::string RaisedMessage(const char* text) {
  try {
    ConvertInt(text);
  } catch (const Error& error) {
    return error.what();
  }
  return "";
}

TEST(ConvertInt, RaisesTheTwoErrorsWithTheirMessages) {
  for (const char* text : {"", "abc", "-", "+", "0x", "0xg", " ", "--1", "x1"}) {
    EXPECT_EQ(RaisedMessage<NotAnInteger>(text), "invalid stoi argument") << '"' << text << '"';
  }
  for (const char* text : {"4294967296", "2147483648", "-2147483649", "0x80000000", "0xFFFFFFFF",
                           "99999999999999999999999999999999", "0x123456789abcdef0123"}) {
    EXPECT_EQ(RaisedMessage<IntegerOutOfRange>(text), "stoi argument out of range") << '"' << text << '"';
  }
}

// A host that switched the C locale to one with a decimal comma must not turn 250.5 into 250. The locale is
// compiled into the build tree when it is configured (LOCPATH points there).
TEST(Conversions, ReadTheSameInADecimalCommaLocale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8 locale here";
  const double cLibrary = std::strtod("250.5", nullptr);  // proves the locale really reads a comma
  const float ours = ConvertFloat("250.5");
  const float withComma = ConvertFloat("250,5");
  const std::int32_t hex = ConvertInt("0x241");
  std::setlocale(LC_ALL, previous.c_str());
  EXPECT_EQ(cLibrary, 250.0);
  EXPECT_EQ(ours, 250.5f);
  EXPECT_EQ(withComma, 250.0f);
  EXPECT_EQ(hex, 577);
}

}  // namespace
