// libFuzzer target of the configuration parser, the settings loader and the value conversions, built natively
// (x86-64) with AddressSanitizer and UndefinedBehaviorSanitizer. Beyond "does not crash" it checks what must always
// hold: parsed names and values are trimmed, the sections the lines define written out and parsed again give them
// back, the settings are those of the first line of section MAIN with their keys, and the number conversions agree
// with the C library's in the C locale wherever the format means the same.

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "config/ini_parser.h"
#include "config/settings.h"

using namespace config;

namespace {

bool IsWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

bool TrimmedLeft(std::string_view text) { return text.empty() || !IsWhitespace(text.front()); }
bool TrimmedRight(std::string_view text) { return text.empty() || !IsWhitespace(text.back()); }

constexpr std::string_view kMark = "\xEF\xBB\xBF";

// What the lines of a file define: section name to (key to value), the first line with a key in a section giving
// its value.
using Sections = std::map<std::string, std::map<std::string, std::string>>;

Sections SectionsOf(std::string_view text) {
  Sections sections;
  ParseIniText(text, [&sections](const IniLine& line) {
    auto& section = sections[std::string(line.section)];
    if (!line.header) section.try_emplace(std::string(line.key), line.value);
  });
  return sections;
}

// Sections written back as text the parser reads as the same sections. A blank before a byte order mark
// keeps the line's trimming from taking the mark, and the key's or name's own trimming takes it instead: so
// a key may begin with a blank (a mark inside a line can leave one in front of it) and a name or value may
// begin with a mark. A key can begin with a mark only when its line had no '=' (the whole line is the key),
// so such a key is written that way.
std::string Serialise(const Sections& sections) {
  std::string text;
  for (const auto& [name, keys] : sections) {
    text += "[ " + name + "]\n";
    for (const auto& [key, value] : keys) {
      if (key.starts_with(kMark))
        text += " " + key + "\n";
      else
        text += " " + std::string(kMark) + key + "= " + value + "\n";
    }
  }
  return text;
}

// Where strtod reads the same number as ConvertFloat: a decimal number, not a hexadecimal one, "inf" or "nan".
void CheckFloat(std::string_view text) {
  std::size_t used = 0;
  const float value = ConvertFloat(text, &used);
  Require(used <= text.size());
  Require(!std::isnan(value));
  std::size_t at = 0;
  while (at < text.size() && IsWhitespace(text[at])) ++at;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  const bool decimal = at < text.size() && (IsDigit(text[at]) || text[at] == '.');
  const bool hexadecimal = at + 1 < text.size() && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X');
  if (!decimal || hexadecimal) return;
  const std::string copy(text);  // strtod wants a terminated text; it stops at a zero byte as we stop there
  char* end = nullptr;
  const float expected = static_cast<float>(std::strtod(copy.c_str(), &end));
  const auto expectedUsed = static_cast<std::size_t>(end - copy.c_str());
  Require(expectedUsed == used || (expectedUsed == 0 && value == 0.0f));
  Require(value == expected && std::signbit(value) == std::signbit(expected));
}

void CheckInt(std::string_view text) {
  const bool hex = text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  const long long expected = std::strtoll(copy.c_str(), &end, hex ? 16 : 10);
  const bool outOfRange = errno == ERANGE || expected < INT32_MIN || expected > INT32_MAX;
  const bool noDigits = end == copy.c_str() || (hex && (text.size() == 2 || !IsHexDigit(text[2])));
  std::size_t used = 0;
  try {
    const std::int32_t value = ConvertInt(text, &used);
    Require(!noDigits && !outOfRange && value == expected);
    Require(used == static_cast<std::size_t>(end - copy.c_str()));
  } catch (const NotAnInteger&) {
    Require(noDigits);
  } catch (const IntegerOutOfRange&) {
    Require(!noDigits && outOfRange);
  }
}

// Each setting as the first line of section MAIN with its key gives it, or its default.
void CheckSettings(const Sections& sections) {
  const auto main = sections.find(kSettingsSection);
  for (const Setting& setting : kSettings) {
    const std::string* value = nullptr;
    if (main != sections.end()) {
      const auto found = main->second.find(setting.key);
      if (found != main->second.end()) value = &found->second;
    }
    switch (setting.type) {
      case SettingType::kFlag:
        Require(*setting.flag == ConvertBool(value != nullptr ? *value : "", setting.defaultValue != 0.0f));
        break;
      case SettingType::kNumber: {
        Require(*setting.number == (value != nullptr ? ConvertFloat(*value) : setting.defaultValue));
        break;
      }
      case SettingType::kModelId: {
        auto expected = static_cast<std::int32_t>(setting.defaultValue);
        try {
          if (value != nullptr) expected = ConvertInt(*value);
        } catch (const NotAnInteger&) {
        } catch (const IntegerOutOfRange&) {
        }
        Require(*setting.modelId == expected);
        break;
      }
    }
  }
}

void CheckValue(std::string_view text) {
  const bool asTrue = ConvertBool(text, true);
  Require(asTrue == ConvertBool(text, false) || text.empty());
  CheckFloat(text);
  CheckInt(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  std::size_t lastLine = 0;
  ParseIniText(text, [&](const IniLine& line) {
    Require(line.number > lastLine);
    lastLine = line.number;
    Require(TrimmedLeft(line.section) && TrimmedRight(line.section) && TrimmedRight(line.key));
    Require(TrimmedLeft(line.value) && TrimmedRight(line.value));
    Require(line.key.find('=') == std::string_view::npos);
    Require(!line.header || (line.key.empty() && line.value.empty()));
  });

  const Sections sections = SectionsOf(text);
  Require(SectionsOf(Serialise(sections)) == sections);

  LoadSettingsFrom(text);
  CheckSettings(sections);

  CheckValue(text);
  for (const auto& [name, keys] : sections) {
    for (const auto& [key, value] : keys) CheckValue(value);
  }
  return 0;
}
