#include "config/ini_parser.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <stdexcept>
#include <system_error>

namespace config {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The C locale's six; fixed here so that a locale the host sets cannot widen them.
bool IsWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipWhitespace(std::string_view text, std::size_t at) {
  while (at < text.size() && IsWhitespace(text[at])) ++at;
  return at;
}

std::size_t SkipDigits(std::string_view text, std::size_t at) {
  while (at < text.size() && IsDigit(text[at])) ++at;
  return at;
}

// The digit's value in base 16 (so also in base 10 when below 10), or 16 for any other character.
unsigned DigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  return 16;
}

bool HasHexPrefix(std::string_view text) {
  return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

bool EqualsIgnoringAsciiCase(std::string_view text, std::string_view lowerCase) {
  return std::equal(text.begin(), text.end(), lowerCase.begin(), lowerCase.end(),
                    [](char a, char b) { return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b; });
}

// For a number (digits, point, exponent) that does not fit a double: whether it is too large rather than too
// small. The decimal exponent of its leading non-zero digit decides; it is hundreds away from zero here.
bool IsTooLarge(std::string_view number) {
  long long scale = 0;  // the number is 0.ddd times ten to this, before the exponent part
  bool point = false;
  bool leadingZeros = true;
  std::size_t at = 0;
  for (; at < number.size() && number[at] != 'e' && number[at] != 'E'; ++at) {
    if (number[at] == '.') {
      point = true;
    } else if (leadingZeros && number[at] == '0') {
      if (point) --scale;
    } else {
      leadingZeros = false;
      if (!point) ++scale;
    }
  }
  long long exponent = 0;
  bool negative = false;
  if (at < number.size()) {
    ++at;
    if (at < number.size() && (number[at] == '+' || number[at] == '-')) negative = number[at++] == '-';
    for (; at < number.size(); ++at) exponent = std::min(exponent * 10 + (number[at] - '0'), 1'000'000'000LL);
  }
  return scale + (negative ? -exponent : exponent) > 0;
}

}  // namespace

std::string_view TrimText(std::string_view text, bool left, bool right) {
  while (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  if (left) {
    while (!text.empty() && IsWhitespace(text.front())) text.remove_prefix(1);
  }
  if (right) {
    while (!text.empty() && IsWhitespace(text.back())) text.remove_suffix(1);
  }
  return text;
}

void ParseIniText(std::string_view text, IniSections& sections, const IniLineObserver& observe) {
  IniSections::iterator current = sections.end();
  std::size_t number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = TrimText(text.substr(start, end - start), true, true);
    start = end + 1;
    ++number;
    if (line.empty()) continue;

    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      const std::string_view name = TrimText(line.substr(1, line.size() - 2), true, true);
      current = sections.try_emplace(std::string(name)).first;
      if (observe) observe(IniLine{number, true, current->first, {}, {}, false});
      continue;
    }

    // Before the first header key lines go to the section with the empty name.
    if (current == sections.end()) current = sections.try_emplace(std::string()).first;
    std::string_view key = line;
    std::string_view value;
    if (const std::size_t equals = line.find('='); equals != std::string_view::npos) {
      key = TrimText(line.substr(0, equals), false, true);
      value = TrimText(line.substr(equals + 1), true, false);
    }
    const bool added = current->second.try_emplace(std::string(key), value).second;
    if (observe) observe(IniLine{number, false, current->first, key, value, !added});
  }
}

const std::string* FindIniValue(const IniSections& sections, std::string_view section, std::string_view key) {
  const auto found = sections.find(std::string(section));
  if (found == sections.end()) return nullptr;
  const auto value = found->second.find(std::string(key));
  return value == found->second.end() ? nullptr : &value->second;
}

bool ConvertBool(std::string_view text, bool defaultValue) {
  if (text.empty()) return defaultValue;
  if (text.size() == 1) return text[0] != '0';
  if (text.size() == 5) return !EqualsIgnoringAsciiCase(text, "false");
  return true;
}

float ConvertFloat(std::string_view text, std::size_t* used) {
  if (used != nullptr) *used = 0;
  std::size_t at = SkipWhitespace(text, 0);
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';

  // Checked here rather than left to from_chars, which would also take a second sign, "inf" and "nan".
  const std::size_t begin = at;
  at = SkipDigits(text, at);
  std::size_t digits = at - begin;
  if (at < text.size() && text[at] == '.') {
    const std::size_t fraction = at + 1;
    at = SkipDigits(text, fraction);
    digits += at - fraction;
  }
  if (digits == 0) return 0.0f;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    std::size_t exponent = at + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    const std::size_t exponentEnd = SkipDigits(text, exponent);
    if (exponentEnd > exponent) at = exponentEnd;
  }

  // from_chars reads the same in every locale and rounds correctly, as the C library's conversion does.
  const std::string_view number = text.substr(begin, at - begin);
  double value = 0.0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    value = IsTooLarge(number) ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (result.ec != std::errc{}) {
    return 0.0f;
  }
  if (used != nullptr) *used = at;
  // Beyond the range of a float the narrowing gives an infinity, as IEEE rounding does.
  return static_cast<float>(negative ? -value : value);
}

std::int32_t ConvertInt(std::string_view text, std::size_t* used) {
  const unsigned base = HasHexPrefix(text) ? 16 : 10;
  std::size_t at = SkipWhitespace(text, 0);
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  if (base == 16 && HasHexPrefix(text.substr(at))) at += 2;

  // Saturates far above 32 bits, so that any number of digits can be read without wrapping.
  constexpr std::uint64_t kSaturated = std::uint64_t{1} << 40;
  std::uint64_t magnitude = 0;
  const std::size_t begin = at;
  for (; at < text.size() && DigitValue(text[at]) < base; ++at) {
    magnitude = std::min(magnitude * base + DigitValue(text[at]), kSaturated);
  }
  if (at == begin) throw std::invalid_argument("invalid stoi argument");
  if (magnitude > (negative ? std::uint64_t{2147483648} : std::uint64_t{2147483647})) {
    throw std::out_of_range("stoi argument out of range");
  }
  if (used != nullptr) *used = at;
  const auto signedMagnitude = static_cast<std::int64_t>(magnitude);
  return static_cast<std::int32_t>(negative ? -signedMagnitude : signedMagnitude);
}

std::string ResolveIniPathFrom(std::string_view fileName, std::string_view modulePath, char separator) {
  if (fileName.find(':') != std::string_view::npos) return std::string(fileName);
  if (!fileName.empty()) {
    const std::size_t last = modulePath.rfind(separator);
    const std::string_view directory =
        last == std::string_view::npos ? std::string_view{} : modulePath.substr(0, last + 1);
    return std::string(directory) + std::string(fileName);
  }
  return std::string(modulePath.substr(0, modulePath.rfind('.'))) + ".ini";
}

}  // namespace config
