// zephrel-check: shows a player what the plug-in will make of a Zephrel.ini, with the plug-in's own parser and
// loader, and points out where the format surprises: letter case, sections, repeated keys, words that read as
// true, empty numbers, model ids that do not convert.
//
//   zephrel-check [path of Zephrel.ini]
//
// Without an argument it reads Zephrel.ini next to itself, as the plug-in does. Exit status: 0 when every
// value converts, 1 when a model id does not (the plug-in then uses its default), 2 when the file cannot be
// read or is over 1 MiB (the plug-in then uses every default), or when the checker itself fails.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "config/ini_file.h"
#include "config/settings.h"

using namespace config;

namespace {

constexpr std::string_view kSection = "MAIN";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

const Setting* FindSetting(std::string_view key, bool ignoringCase) {
  for (const Setting& setting : kSettings) {
    if (ignoringCase ? EqualsIgnoringCase(key, setting.key) : key == setting.key) return &setting;
  }
  return nullptr;
}

// Text as the file has it, with bytes that would not print shown as \xNN.
std::string Shown(std::string_view text) {
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    } else {
      shown += c;
    }
  }
  return shown;
}

// Pieces of text joined; also keeps GCC 12 from a false -Wrestrict on "literal" + std::string.
std::string Join(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (const std::string_view piece : pieces) text.append(piece);
  return text;
}

std::string KeyLine(const IniLine& line) { return Join({Shown(line.key), "=", Shown(line.value)}); }

struct Report {
  std::vector<std::string> notes;
  std::map<std::string, std::size_t> lineOfKey;  // where each key of MAIN that counts stands
  std::map<std::string, std::string> defaults;   // key to the default's text
  std::map<std::string, std::size_t> failures;   // model ids that do not convert: key to their line
  bool sawMain = false;

  void Note(std::size_t line, std::initializer_list<std::string_view> pieces) {
    notes.push_back(Join({"line ", std::to_string(line), ": ", Join(pieces)}));
  }
};

void CheckHeader(const IniLine& line, Report& report) {
  if (line.section == kSection) {
    report.sawMain = true;
  } else if (EqualsIgnoringCase(line.section, kSection)) {
    report.Note(line.number, {"[", Shown(line.section),
                              "] is not [MAIN]: section names are case-sensitive, so nothing in it is read"});
  } else {
    report.Note(line.number, {"section [", Shown(line.section), "] is not read: the plug-in reads only [MAIN]"});
  }
}

void CheckBool(const IniLine& line, Report& report) {
  if (line.value.empty() || !ConvertBool(line.value, false)) return;
  for (const char* plain : {"1", "true", "yes", "on"}) {
    if (EqualsIgnoringCase(line.value, plain)) return;
  }
  report.Note(line.number, {KeyLine(line), " reads as true: only a single 0 or the word false (in any letter case) "
                                           "reads as false"});
}

void CheckFloat(const IniLine& line, Report& report) {
  std::size_t used = 0;
  const float value = ConvertFloat(line.value, &used);
  if (line.value.empty()) {
    report.Note(line.number, {KeyLine(line), " is empty: it reads as 0, not as the default ",
                              report.defaults[std::string(line.key)], ", which only a missing key gets"});
  } else if (used == 0) {
    report.Note(line.number, {KeyLine(line), " is not a number: it reads as 0"});
  } else if (used < line.value.size()) {
    report.Note(line.number, {KeyLine(line), " reads as ", FloatText(value), ": the rest, \"",
                              Shown(line.value.substr(used)), "\", is ignored (the decimal point is '.')"});
  }
  if (!std::isfinite(value)) {
    report.Note(line.number, {KeyLine(line), " is too large for a float: it reads as ", FloatText(value)});
  }
}

void CheckId(const IniLine& line, Report& report) {
  std::size_t used = 0;
  std::int32_t value = 0;
  try {
    value = ConvertInt(line.value, &used);
  } catch (const std::logic_error& error) {  // invalid_argument or out_of_range
    report.failures[std::string(line.key)] = line.number;
    report.Note(line.number, {KeyLine(line), " does not convert (", error.what(), "): the plug-in uses the default, ",
                              report.defaults[std::string(line.key)]});
    return;
  }
  if (used < line.value.size()) {
    report.Note(line.number, {KeyLine(line), " reads as ", std::to_string(value), ": the rest, \"",
                              Shown(line.value.substr(used)), "\", is ignored"});
  }
  if (value < 0 || value > 65535) {
    report.Note(line.number, {KeyLine(line), " matches no vehicle: model numbers run from 0 to 65535"});
  }
}

void CheckKey(const IniLine& line, Report& report) {
  const Setting* known = FindSetting(line.key, false);
  const Setting* similar = known != nullptr ? known : FindSetting(line.key, true);
  if (line.section != kSection) {
    if (similar == nullptr) return;  // the section's header is noted already
    const std::string where = line.section.empty() ? "stands before any section header"
                                                   : Join({"is in section [", Shown(line.section), "]"});
    report.Note(line.number, {KeyLine(line), " ", where, ", not in [MAIN]: it is not read"});
    return;
  }
  if (known == nullptr) {
    if (similar != nullptr) {
      report.Note(line.number, {Shown(line.key), " is not ", similar->key,
                                ": keys are case-sensitive, so this line is not read"});
    } else if (!line.key.empty() && (line.key[0] == ';' || line.key[0] == '#')) {
      report.Note(line.number, {"the format has no comments: this line is the key \"", Shown(line.key),
                                "\", which the plug-in does not use"});
    } else {
      report.Note(line.number, {"\"", Shown(line.key), "\" is not a key the plug-in reads"});
    }
    return;
  }
  if (line.repeated) {
    report.Note(line.number, {Shown(line.key), " is given again: the first one, on line ",
                              std::to_string(report.lineOfKey[known->key]), ", wins and this line is ignored"});
    return;
  }
  report.lineOfKey[known->key] = line.number;
  switch (known->type) {
    case SettingType::kFlag:
      CheckBool(line, report);
      break;
    case SettingType::kNumber:
      CheckFloat(line, report);
      break;
    case SettingType::kModelId:
      CheckId(line, report);
      break;
  }
}

// The line of the file's first byte 0x1A (Ctrl-Z), if it has one. msvcrt's text mode ends a file there, so
// the Windows build of the plug-in reads nothing after it; both builds of the checker explain that build.
std::optional<std::size_t> LineOfCtrlZ(const std::string& path) {
  const std::string bytes = ReadIniText(path, true).text;
  const std::size_t offset = bytes.find('\x1A');
  if (offset == std::string::npos) return std::nullopt;
  const auto lineFeeds = std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(offset), '\n');
  return static_cast<std::size_t>(lineFeeds) + 1;
}

int Check(const std::string& path) {
  const IniText file = ReadIniText(path);
  if (file.status == IniTextStatus::kUnreadable) {
    std::printf("Cannot read %s: the plug-in would use every default.\n", path.c_str());
    return 2;
  }
  if (file.status == IniTextStatus::kTooLarge) {
    std::printf("%s is larger than %s bytes (1 MiB), too large for a configuration: the plug-in does not read it "
                "and uses every default.\n",
                path.c_str(), std::to_string(kIniFileSizeLimit).c_str());
    return 2;
  }
  std::string_view text = file.text;
  const std::optional<std::size_t> ctrlZ = LineOfCtrlZ(path);
  if (ctrlZ) text = text.substr(0, text.find('\x1A'));

  // The defaults are what the plug-in's own loader makes of a file that says nothing.
  Report report;
  LoadSettingsFrom(IniFile(path, ""));
  for (const Setting& setting : kSettings) report.defaults[setting.key] = SettingValueText(setting);

  const IniFile ini(path, text, [&report](const IniLine& line) {
    if (line.header) CheckHeader(line, report);
    else CheckKey(line, report);
  });
  LoadSettingsFrom(ini);
  if (ctrlZ) {
    report.Note(*ctrlZ, {"a byte 0x1A (Ctrl-Z): the plug-in stops reading here, so nothing after it is read"});
  }
  if (!report.sawMain && !ini.sections().empty()) {
    report.notes.push_back("there is no [MAIN] section: every setting has its default");
  }

  std::printf("Reading %s\n\nThe plug-in will use:\n", path.c_str());
  for (const Setting& setting : kSettings) {
    std::string source = "default";
    if (const auto failed = report.failures.find(setting.key); failed != report.failures.end()) {
      source = Join({"default: line ", std::to_string(failed->second), " does not convert"});
    } else if (const auto line = report.lineOfKey.find(setting.key); line != report.lineOfKey.end()) {
      source = Join({"line ", std::to_string(line->second)});
    }
    std::printf("  %-24s %-8s (%s)\n", setting.key, SettingValueText(setting).c_str(), source.c_str());
  }

  if (report.notes.empty()) {
    std::printf("\nNothing surprising: every line reads as it looks.\n");
  } else {
    std::printf("\nWorth a look:\n");
    for (const std::string& note : report.notes) std::printf("  %s\n", note.c_str());
  }
  if (!report.failures.empty()) {
    std::printf("\nValues that do not convert: %s (the plug-in uses their defaults).\n",
                std::to_string(report.failures.size()).c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2) {
    std::fprintf(stderr, "usage: %s [path of Zephrel.ini]\n", argv[0]);
    return 2;
  }
  // Whatever fails, the player gets a reason and status 2, never an abort.
  try {
    return Check(argc == 2 ? argv[1] : ResolveIniPath("Zephrel.ini"));
  } catch (const std::bad_alloc&) {
    std::printf("\nThe checker ran out of memory: the file is too large to explain.\n");
  } catch (const std::exception& error) {
    std::printf("\nThe checker failed: %s\n", error.what());
  }
  return 2;
}
