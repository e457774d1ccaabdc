#pragma once
// The configuration format, over text already in memory: trimming, reading it line by line, and converting
// values. Nothing here knows the operating system or the host, so the fuzz target builds it natively.
//
// The format: lines end at LF (a CR before it is trimmed away); "[name]" opens a section, and a section may be
// opened again; any other non-empty line is "key=value" or a key alone with the empty value. Key lines before the
// first header go to the section with the empty name. There are no comments, quotes, escapes or continuations: a
// ';' line is a key like any other.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string_view>

namespace config {

// Removes any number of leading UTF-8 byte order marks whatever the flags are, then with `left` leading and
// with `right` trailing whitespace (space, TAB, LF, VT, FF, CR; never a byte of 0x80 or more).
std::string_view TrimText(std::string_view text, bool left, bool right);

// What the parser made of one non-empty line. Names compare byte by byte, so they are case-sensitive.
struct IniLine {
  std::size_t number;        // 1-based
  bool header;               // a section header; otherwise a key line
  std::string_view section;  // the section the header opens, or the one the key line goes to
  std::string_view key;      // key lines only
  std::string_view value;    // key lines only
};

// Reads the first non-empty line of `text` from `at` into `line` and moves `at` past it; false when there is
// none. `line` carries the section and the line number from one call to the next, so a reading starts with `at`
// 0 and a value-initialised line.
bool NextIniLine(std::string_view text, std::size_t& at, IniLine& line);

// Hands `visit` every non-empty line of `text`, in order; allocates nothing. Which of two lines with the same key
// counts is the reader's business: for the settings, the first.
template <typename Visit>
void ParseIniText(std::string_view text, Visit&& visit) {
  IniLine line{};
  for (std::size_t at = 0; NextIniLine(text, at, line);) visit(static_cast<const IniLine&>(line));
}

// Whether the two texts are equal when ASCII letters are taken without their case (no other byte is).
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// Value conversions, each the same whatever C locale the process has set.

// Empty: `defaultValue`. One character: false for "0". Five: false for "false" in any letter case.
// Everything else is true.
bool ConvertBool(std::string_view text, bool defaultValue);

// Leading whitespace skipped, then the longest prefix of the form [sign] digits [. digits] [e [sign] digits]
// (digits on at least one side of the point) read as a double, correctly rounded with integer arithmetic alone
// (the same in any x87 state, in a bounded number of steps), and narrowed to float;
// 0.0 when there is no such prefix. A number too large for a float becomes an infinity of its sign.
// `used`, when given, receives the length of text taken, whitespace included (0 when there was no number).
float ConvertFloat(std::string_view text, std::size_t* used = nullptr);

// Whether two numbers that ConvertFloat takes whole are the same decimal value as written, sign included:
// "250.50" and "2.505e2" are, "0.1" and "0.100000001" are not. Past 800 significant digits only whether the rest
// is all zeros counts.
bool SameDecimal(std::string_view a, std::string_view b);

// A positive finite float's exact value rounded to `precision` significant digits (1 to 9), ties to even:
// exactly `precision` digits times 10^exponent, as the C library's "%.*e" writes it. With integers only, like
// ConvertFloat, since a C library may print with the x87 unit at whatever precision the game has set.
struct FloatDigits {
  std::uint32_t digits;
  int exponent;
};
FloatDigits RoundFloatDigits(float magnitude, int precision);

// What ConvertInt throws. The messages are std::stoi's, which the reader's conversion follows: players and the
// tests know them. Not the C++ library's std::invalid_argument and std::out_of_range, whose message strings would
// bring the library's whole string code into the DLL.
struct NotAnInteger : std::exception {
  const char* what() const noexcept override { return "invalid stoi argument"; }
};
struct IntegerOutOfRange : std::exception {
  const char* what() const noexcept override { return "stoi argument out of range"; }
};

// Base 16 when the text begins with 0x or 0X, else base 10. Leading whitespace skipped, optional sign, in base
// 16 the 0x prefix, then the longest run of digits of the base: the number, or why there is none. `used` is the
// length of text taken, whitespace included (0 when there is no number). Throws nothing, so that a reader of a whole
// file allocates nothing for a value that does not convert.
enum class IntegerProblem { kNone, kNoDigits, kOutOfRange };
struct IntegerReading {
  std::int32_t value;
  IntegerProblem problem;
  std::size_t used;
};
IntegerReading ReadInteger(std::string_view text);

// The same as std::stoi has it: throws NotAnInteger when no digit was read, IntegerOutOfRange outside 32 bits.
// `used` as for ConvertFloat.
std::int32_t ConvertInt(std::string_view text, std::size_t* used = nullptr);

}  // namespace config
