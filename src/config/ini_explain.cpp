#include "config/ini_explain.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "config/ini_parser.h"

namespace config {

namespace {

constexpr std::string_view kSection = kSettingsSection;
constexpr char kCtrlZ = '\x1A';

// The row of kSettings for `key`, or kSettingCount.
std::size_t FindSetting(std::string_view key, bool ignoringCase) {
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (ignoringCase ? EqualsIgnoringAsciiCase(key, kSettings[i].key) : key == kSettings[i].key) return i;
  }
  return kSettingCount;
}

// The length of the character that `text` begins with when it is valid UTF-8 and not a control character (C0, DEL
// or C1), else 0: a player's file may hold anything, and what is shown of it must neither garble a terminal nor
// break the text of a log or a page.
std::size_t PrintableLength(std::string_view text) {
  const auto byte = [&text](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
  const auto follows = [&byte](std::size_t i, unsigned low, unsigned high) {
    return byte(i) >= low && byte(i) <= high;
  };
  const unsigned first = byte(0);
  if (first >= 0x20 && first < 0x7F) return 1;
  if (first == 0xC2) return follows(1, 0xA0, 0xBF) ? 2 : 0;
  if (first >= 0xC3 && first <= 0xDF) return follows(1, 0x80, 0xBF) ? 2 : 0;
  // Overlong forms and UTF-16 surrogates are not valid text either.
  const unsigned low = first == 0xE0 ? 0xA0 : first == 0xF0 ? 0x90 : 0x80;
  const unsigned high = first == 0xED ? 0x9F : first == 0xF4 ? 0x8F : 0xBF;
  if (first >= 0xE0 && first <= 0xEF) return follows(1, low, high) && follows(2, 0x80, 0xBF) ? 3 : 0;
  if (first >= 0xF0 && first <= 0xF4) {
    return follows(1, low, high) && follows(2, 0x80, 0xBF) && follows(3, 0x80, 0xBF) ? 4 : 0;
  }
  return 0;
}

// Text as the file has it, with each byte that is a control character or not valid UTF-8 shown as \xNN, and no
// more than kShownBytes of it: a line of a megabyte is told by its start.
std::string Shown(std::string_view text) {
  std::string shown;
  std::size_t at = 0;
  while (at < text.size() && at < kShownBytes) {
    const std::size_t length = PrintableLength(text.substr(at));
    if (length != 0) {
      shown.append(text.substr(at, length));
      at += length;
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(text[at]));
    shown += escaped;
    ++at;
  }
  if (at < text.size()) shown.append("... (").append(std::to_string(text.size())).append(" bytes in all)");
  return shown;
}

// Pieces of text joined; also keeps GCC 12 from a false -Wrestrict on "literal" + std::string.
std::string Join(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (const std::string_view piece : pieces) text.append(piece);
  return text;
}

std::string KeyLine(const IniLine& line) { return Join({Shown(line.key), "=", Shown(line.value)}); }

struct Explainer {
  const IniNoteSink& sink;
  IniSources sources{};
  bool binary = false;        // the file holds NUL bytes: its lines are not worth a note each
  std::size_t lineNotes = 0;  // notes on lines, given or left out

  void Note(std::size_t line, std::initializer_list<std::string_view> pieces) {
    if (line != 0 && binary) return;
    if (line != 0 && ++lineNotes > kLineNoteLimit) return;
    sink(line, Join(pieces));
  }
};

void CheckHeader(const IniLine& line, Explainer& x) {
  if (line.section == kSection) {
    if (x.sources.mainHeader == 0) x.sources.mainHeader = line.number;
  } else if (EqualsIgnoringAsciiCase(line.section, kSection)) {
    x.Note(line.number, {"[", Shown(line.section), "] is not [", kSection,
                         "]: section names are case-sensitive, so nothing in it is read"});
  } else {
    x.Note(line.number, {"section [", Shown(line.section), "] is not read: the plug-in reads only [", kSection, "]"});
  }
}

void CheckBool(const IniLine& line, Explainer& x) {
  if (line.value.empty() || !ConvertBool(line.value, false)) return;
  for (const char* plain : {"1", "true", "yes", "on"}) {
    if (EqualsIgnoringAsciiCase(line.value, plain)) return;
  }
  x.Note(line.number, {KeyLine(line),
                       " reads as true: only a single 0 or the word false (in any letter case) "
                       "reads as false"});
}

void CheckFloat(const IniLine& line, const Setting& setting, Explainer& x) {
  std::size_t used = 0;
  const float value = ConvertFloat(line.value, &used);
  if (line.value.empty()) {
    x.Note(line.number, {KeyLine(line), " is empty: it reads as 0, not as the default ", SettingDefaultText(setting),
                         ", which only a missing key gets"});
  } else if (used == 0) {
    x.Note(line.number, {KeyLine(line), " is not a number: it reads as 0"});
  } else if (used < line.value.size()) {
    x.Note(line.number, {KeyLine(line), " reads as ", FloatText(value), ": the rest, \"",
                         Shown(line.value.substr(used)), "\", is ignored (the decimal point is '.')"});
  }
  if (!std::isfinite(value)) {
    x.Note(line.number, {KeyLine(line), " is too large for a float: it reads as ", FloatText(value)});
  } else if (used != 0 && used == line.value.size() && !SameDecimal(line.value, FloatText(value))) {
    x.Note(line.number,
           {KeyLine(line), " reads as ", FloatText(value), ": a float keeps only about seven significant digits"});
  }
}

void CheckId(const IniLine& line, std::size_t row, Explainer& x) {
  std::size_t used = 0;
  std::int32_t value = 0;
  std::string_view problem;
  try {
    value = ConvertInt(line.value, &used);
  } catch (const NotAnInteger&) {
    problem = line.value.empty() ? "is empty" : "is not a number";
  } catch (const IntegerOutOfRange&) {
    problem = line.value.front() == '-' ? "is too far below zero for a model number (the least is -2147483648)"
                                        : "is too large for a model number (the largest is 2147483647)";
  }
  if (!problem.empty()) {
    x.sources.line[row] = 0;
    x.sources.failedLine[row] = line.number;
    ++x.sources.failures;
    x.Note(line.number,
           {KeyLine(line), " ", problem, ": the plug-in uses the default, ", SettingDefaultText(kSettings[row])});
    return;
  }
  if (used < line.value.size()) {
    x.Note(line.number, {KeyLine(line), " reads as ", std::to_string(value), ": the rest, \"",
                         Shown(line.value.substr(used)), "\", is ignored"});
  }
  if (value < 0 || value > 65535) {
    x.Note(line.number, {KeyLine(line), " matches no vehicle: model numbers run from 0 to 65535"});
  }
}

void CheckKey(const IniLine& line, Explainer& x) {
  const std::size_t known = FindSetting(line.key, false);
  const std::size_t similar = known != kSettingCount ? known : FindSetting(line.key, true);
  if (line.section != kSection) {
    if (similar == kSettingCount) return;  // the section's header is noted already
    const std::string where =
        line.section.empty() ? "stands before any section header" : Join({"is in section [", Shown(line.section), "]"});
    x.Note(line.number, {KeyLine(line), " ", where, ", not in [", kSection, "]: it is not read"});
    return;
  }
  if (known == kSettingCount) {
    if (similar != kSettingCount) {
      x.Note(line.number, {Shown(line.key), " is not ", kSettings[similar].key,
                           ": keys are case-sensitive, so this line is not read"});
    } else if (!line.key.empty() && (line.key[0] == ';' || line.key[0] == '#')) {
      x.Note(line.number, {"the format has no comments: this line is the key \"", Shown(line.key),
                           "\", which the plug-in does not use"});
    } else {
      x.Note(line.number, {"\"", Shown(line.key), "\" is not a key the plug-in reads"});
    }
    return;
  }
  if (line.repeated) {
    const std::size_t first = x.sources.line[known] != 0 ? x.sources.line[known] : x.sources.failedLine[known];
    x.Note(line.number, {Shown(line.key), " is given again: the first one, on line ", std::to_string(first),
                         ", wins and this line is ignored"});
    return;
  }
  x.sources.line[known] = line.number;
  switch (kSettings[known].type) {
    case SettingType::kFlag:
      CheckBool(line, x);
      break;
    case SettingType::kNumber:
      CheckFloat(line, kSettings[known], x);
      break;
    case SettingType::kModelId:
      CheckId(line, known, x);
      break;
  }
}

}  // namespace

std::string_view IniTextOf(std::string_view bytes) { return bytes.substr(0, bytes.find(kCtrlZ)); }

IniSources ExplainIni(std::string_view bytes, const IniNoteSink& note) {
  Explainer x{note};
  x.binary = bytes.find('\0') != std::string_view::npos;
  const std::string_view text = IniTextOf(bytes);
  IniSections sections;
  ParseIniText(text, sections, [&x](const IniLine& line) {
    if (line.header)
      CheckHeader(line, x);
    else
      CheckKey(line, x);
  });
  // msvcrt's text mode ends a file at its first byte 0x1A, so the Windows build of the plug-in reads nothing
  // after it; both builds of the checker explain that build.
  // Told whatever the number of notes before it: it says why the rest of the file does nothing.
  if (text.size() < bytes.size() && !x.binary) {
    std::size_t line = 1;
    for (const char c : text) line += c == '\n' ? 1 : 0;
    note(line, "a byte 0x1A (Ctrl-Z): the plug-in stops reading here, so nothing after it is read");
  }
  if (x.lineNotes > kLineNoteLimit) {
    x.Note(0, {"only the first ", std::to_string(kLineNoteLimit), " notes on lines are given: ",
               std::to_string(x.lineNotes - kLineNoteLimit), " more on lines further down are left out"});
  }
  if (x.sources.mainHeader == 0 && !sections.empty())
    x.Note(0, {"there is no [", kSection, "] section: every setting has its default"});
  if (x.binary) {
    x.Note(0, {"the file holds NUL bytes, so it is not a text file (a program, or random bytes?): the plug-in reads "
               "it as one all the same, and its lines are not explained one by one"});
  }
  return x.sources;
}

}  // namespace config
