#include "config/ini_explain.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "config/ini_file.h"
#include "config/ini_parser.h"

namespace config {

namespace {

constexpr std::string_view kSection = kSettingsSection;

// The row of kSettings whose key is `key` but for the letter case, or kSettingCount.
std::size_t FindSettingIgnoringCase(std::string_view key) {
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (EqualsIgnoringAsciiCase(key, kSettings[i].key)) return i;
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
  bool anyLine = false;       // the file holds a line that is not blank
  std::size_t lineNotes = 0;  // notes on lines, given or left out

  // Whether section MAIN has given the setting in `row` already: then a line with its key is ignored.
  bool Given(std::size_t row) const { return sources.line[row] != 0 || sources.failedLine[row] != 0; }

  void Note(std::size_t line, std::initializer_list<std::string_view> pieces) {
    if (line != 0 && binary) return;
    if (line != 0 && ++lineNotes > kLineNoteLimit) return;
    sink(line, Join(pieces));
  }
};

void CheckHeader(const IniLine& line, Explainer& explainer) {
  if (line.section == kSection) {
    if (explainer.sources.mainHeader == 0) explainer.sources.mainHeader = line.number;
  } else if (EqualsIgnoringAsciiCase(line.section, kSection)) {
    explainer.Note(line.number, {"[", Shown(line.section), "] is not [", kSection,
                                 "]: section names are case-sensitive, so nothing in it is read"});
  } else {
    explainer.Note(line.number,
                   {"section [", Shown(line.section), "] is not read: the plug-in reads only [", kSection, "]"});
  }
}

void CheckBool(const IniLine& line, Explainer& explainer) {
  if (line.value.empty() || !ConvertBool(line.value, false)) return;
  for (const char* plain : {"1", "true", "yes", "on"}) {
    if (EqualsIgnoringAsciiCase(line.value, plain)) return;
  }
  explainer.Note(line.number, {KeyLine(line),
                               " reads as true: only a single 0 or the word false (in any letter case) "
                               "reads as false"});
}

void CheckFloat(const IniLine& line, const Setting& setting, Explainer& explainer) {
  std::size_t used = 0;
  const float value = ConvertFloat(line.value, &used);
  if (line.value.empty()) {
    explainer.Note(line.number, {KeyLine(line), " is empty: it reads as 0, not as the default ",
                                 SettingDefaultText(setting), ", which only a missing key gets"});
  } else if (used == 0) {
    explainer.Note(line.number, {KeyLine(line), " is not a number: it reads as 0"});
  } else if (used < line.value.size()) {
    explainer.Note(line.number, {KeyLine(line), " reads as ", FloatText(value), ": the rest, \"",
                                 Shown(line.value.substr(used)), "\", is ignored (the decimal point is '.')"});
  }
  if (!std::isfinite(value)) {
    explainer.Note(line.number, {KeyLine(line), " is too large for a float: it reads as ", FloatText(value)});
  } else if (used != 0 && used == line.value.size() && !SameDecimal(line.value, FloatText(value))) {
    explainer.Note(line.number, {KeyLine(line), " reads as ", FloatText(value),
                                 ": a float keeps only about seven significant digits"});
  }
}

void CheckId(const IniLine& line, std::size_t row, Explainer& explainer) {
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
    explainer.sources.line[row] = 0;
    explainer.sources.failedLine[row] = line.number;
    ++explainer.sources.failures;
    explainer.Note(line.number, {KeyLine(line), " ", problem, ": the plug-in uses the default, ",
                                 SettingDefaultText(kSettings[row])});
    return;
  }
  if (used < line.value.size()) {
    explainer.Note(line.number, {KeyLine(line), " reads as ", std::to_string(value), ": the rest, \"",
                                 Shown(line.value.substr(used)), "\", is ignored"});
  }
  if (value < 0 || value > 65535) {
    explainer.Note(line.number, {KeyLine(line), " matches no vehicle: model numbers run from 0 to 65535"});
  }
}

void CheckKey(const IniLine& line, Explainer& explainer) {
  const std::size_t known = SettingRow(line.key);
  const std::size_t similar = known != kSettingCount ? known : FindSettingIgnoringCase(line.key);
  if (line.section != kSection) {
    if (similar == kSettingCount) return;  // the section's header is noted already
    const std::string where =
        line.section.empty() ? "stands before any section header" : Join({"is in section [", Shown(line.section), "]"});
    explainer.Note(line.number, {KeyLine(line), " ", where, ", not in [", kSection, "]: it is not read"});
    return;
  }
  if (known == kSettingCount) {
    if (similar != kSettingCount) {
      explainer.Note(line.number, {Shown(line.key), " is not ", kSettings[similar].key,
                                   ": keys are case-sensitive, so this line is not read"});
    } else if (!line.key.empty() && (line.key[0] == ';' || line.key[0] == '#')) {
      explainer.Note(line.number, {"the format has no comments: this line is the key \"", Shown(line.key),
                                   "\", which the plug-in does not use"});
    } else {
      explainer.Note(line.number, {"\"", Shown(line.key), "\" is not a key the plug-in reads"});
    }
    return;
  }
  if (explainer.Given(known)) {
    const std::size_t first =
        explainer.sources.line[known] != 0 ? explainer.sources.line[known] : explainer.sources.failedLine[known];
    explainer.Note(line.number, {Shown(line.key), " is given again: the first one, on line ", std::to_string(first),
                                 ", wins and this line is ignored"});
    return;
  }
  explainer.sources.line[known] = line.number;
  switch (kSettings[known].type) {
    case SettingType::kFlag:
      CheckBool(line, explainer);
      break;
    case SettingType::kNumber:
      CheckFloat(line, kSettings[known], explainer);
      break;
    case SettingType::kModelId:
      CheckId(line, known, explainer);
      break;
  }
}

}  // namespace

IniSources ExplainIni(std::string_view bytes, const IniNoteSink& note) {
  Explainer explainer{note};
  explainer.binary = bytes.find('\0') != std::string_view::npos;
  const std::string_view text = IniTextOf(bytes);
  ParseIniText(text, [&explainer](const IniLine& line) {
    explainer.anyLine = true;
    if (line.header)
      CheckHeader(line, explainer);
    else
      CheckKey(line, explainer);
  });
  // msvcrt's text mode ends a file at its first byte 0x1A, so the Windows build of the plug-in reads nothing
  // after it; both builds of the checker explain that build.
  // Told whatever the number of notes before it: it says why the rest of the file does nothing.
  if (text.size() < bytes.size() && !explainer.binary) {
    std::size_t line = 1;
    for (const char c : text) line += c == '\n' ? 1 : 0;
    note(line, "a byte 0x1A (Ctrl-Z): the plug-in stops reading here, so nothing after it is read");
  }
  if (explainer.lineNotes > kLineNoteLimit) {
    explainer.Note(0, {"only the first ", std::to_string(kLineNoteLimit),
                       " notes on lines are given: ", std::to_string(explainer.lineNotes - kLineNoteLimit),
                       " more on lines further down are left out"});
  }
  if (explainer.sources.mainHeader == 0 && explainer.anyLine)
    explainer.Note(0, {"there is no [", kSection, "] section: every setting has its default"});
  if (explainer.binary) {
    explainer.Note(
        0, {"the file holds NUL bytes, so it is not a text file (a program, or random bytes?): the plug-in reads "
            "it as one all the same, and its lines are not explained one by one"});
  }
  return explainer.sources;
}

std::string TooLargeNote(std::string_view name) {
  return Join({name, " is larger than ", std::to_string(kIniFileSizeLimit), " bytes (",
               std::to_string(kIniFileSizeLimitMiB),
               " MiB), too large for a configuration: the plug-in does not read it and uses every default."});
}

}  // namespace config
