#include "config/ini_explain.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>
#include <utility>

#include "config/ini_file.h"
#include "config/ini_parser.h"
#include "config/rules.h"

namespace config {

namespace {

constexpr std::string_view kSection = kSettingsSection;

// The key of [MAIN] (a setting's, or one of kMainRuleKeys) that `key` is but for the letter case, or null.
const char* FindMainKeyIgnoringCase(std::string_view key) {
  for (const Setting& setting : kSettings) {
    if (EqualsIgnoringAsciiCase(key, setting.key)) return setting.key;
  }
  for (const char* name : kMainRuleKeys) {
    if (EqualsIgnoringAsciiCase(key, name)) return name;
  }
  return nullptr;
}

// The place of `key` in kMainRuleKeys, or kMainRuleKeyCount.
std::size_t MainRuleKeyRow(std::string_view key) {
  std::size_t row = 0;
  while (row < kMainRuleKeyCount && key != kMainRuleKeys[row]) ++row;
  return row;
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

// A rule as the plug-in will make it, found in a first pass over the text, so that a note on a line can say what
// lines further down (a [MAIN] key, a later rule) make of it. Views of the text: the pass allocates nothing.
struct ScannedRule {
  std::string_view section;  // empty for [MAIN]'s rule
  std::size_t line;          // its first header; for [MAIN]'s, the first line of its model key in [MAIN], or 0
  std::int32_t model;
  bool enabled;
  bool enableGiven;  // its Enable key is given (in [MAIN], for [MAIN]'s rule); the first line with it counts
  std::string_view enableValue;
};

struct RuleScan {
  ScannedRule trail[kMaxTrailRules];
  ScannedRule banner[kMaxBannerRules];
  int trailCount;
  int bannerCount;
};

// A model id and a trail and a banner rule that both name it: the note on it goes on the later of their lines.
struct BothKinds {
  std::size_t line;
  int trail;
  int banner;
};

const Setting& SettingOf(std::string_view key) { return kSettings[SettingRow(key)]; }

bool IsModelId(std::int32_t model) { return model >= 0 && model <= 0xFFFF; }

// The first rule that names the model of rule `index`: the one that serves it.
int FirstNaming(const ScannedRule* rules, int index) {
  int first = 0;
  while (rules[first].model != rules[index].model) ++first;
  return first;
}

static_assert(std::string_view(kTrailRuleKeys[0]) == "EnableTrail" &&
                  std::string_view(kBannerRuleKeys[0]) == "EnableBanner",
              "a rule's Enable key is the first it reads");

// The rules as LoadSettingsFrom makes them from `text`: [MAIN]'s from its first lines with the keys, then a rule for
// each new rule section while there is room, its Enable key over [MAIN]'s value.
void ScanRules(std::string_view text, RuleScan& scan) {
  scan.trail[0].model = static_cast<std::int32_t>(SettingOf("ModelIDForTrail").defaultValue);
  scan.banner[0].model = static_cast<std::int32_t>(SettingOf("ModelIDForBanner").defaultValue);
  scan.trail[0].enabled = SettingOf("EnableTrail").defaultValue != 0.0f;
  scan.banner[0].enabled = SettingOf("EnableBanner").defaultValue != 0.0f;
  ParseIniText(text, [&scan](const IniLine& line) {
    if (line.header || line.section != kSection) return;
    // ModelIDForTrail and EnableTrail, ModelIDForBanner and EnableBanner.
    const bool trail = line.key.ends_with("Trail");
    if (!trail && !line.key.ends_with("Banner")) return;
    ScannedRule& rule = trail ? scan.trail[0] : scan.banner[0];
    const std::string_view what = line.key.substr(0, line.key.size() - (trail ? 5 : 6));
    if (what == "ModelIDFor" && rule.line == 0) {
      rule.line = line.number;
      try {
        rule.model = ConvertInt(line.value);
      } catch (const NotAnInteger&) {
      } catch (const IntegerOutOfRange&) {
      }
    } else if (what == "Enable" && !std::exchange(rule.enableGiven, true)) {
      rule.enabled = ConvertBool(line.value, rule.enabled);
    }
  });
  scan.trailCount = scan.bannerCount = 1;
  VisitRuleLines(text, [&scan](const RuleLine& at) {
    if (at.rule < 0) return;
    const bool trail = at.section.kind == RuleKind::kTrail;
    ScannedRule& rule = trail ? scan.trail[at.rule] : scan.banner[at.rule];
    if (at.opens) {
      rule = {at.line.section, at.line.number, at.section.model, false, false, {}};
      ++(trail ? scan.trailCount : scan.bannerCount);
    } else if (!at.line.header && RuleKeyIndex(at.section.kind, at.line.key) == 0 &&
               !std::exchange(rule.enableGiven, true)) {
      rule.enableValue = at.line.value;
    }
  });
  for (int k = 1; k < scan.trailCount; ++k) {
    ScannedRule& rule = scan.trail[k];
    rule.enabled = rule.enableGiven ? ConvertBool(rule.enableValue, scan.trail[0].enabled) : scan.trail[0].enabled;
  }
  for (int k = 1; k < scan.bannerCount; ++k) {
    ScannedRule& rule = scan.banner[k];
    rule.enabled = rule.enableGiven ? ConvertBool(rule.enableValue, scan.banner[0].enabled) : scan.banner[0].enabled;
  }
}

// How a note names a rule.
std::string RuleName(RuleKind kind, const ScannedRule& rule) {
  if (rule.section.empty()) {
    return Join({"[", kSection, "]'s ", kind == RuleKind::kTrail ? "ModelIDForTrail" : "ModelIDForBanner"});
  }
  return Join({"[", Shown(rule.section), "] on line ", std::to_string(rule.line)});
}

// The keys a rule section of `kind` reads, as a note lists them.
std::string RuleKeyList(RuleKind kind) {
  const bool trail = kind == RuleKind::kTrail;
  const int count = trail ? kTrailRuleKeyCount : kBannerRuleKeyCount;
  std::string list;
  for (int k = 0; k < count; ++k) {
    list.append(k == 0 ? "" : k + 1 == count ? " and " : ", ").append(trail ? kTrailRuleKeys[k] : kBannerRuleKeys[k]);
  }
  return list;
}

struct Explainer {
  const IniNoteSink& sink;
  IniSources sources{};
  bool binary = false;        // the file holds NUL bytes: its lines are not worth a note each
  bool anyLine = false;       // the file holds a line that is not blank
  std::size_t lineNotes = 0;  // notes on lines, given or left out
  RuleScan rules{};
  BothKinds both[kMaxTrailRules] = {};
  int bothCount = 0;
  // The rule section the lines go to (-1: none), and the line of each key each rule has given.
  RuleKind kind = RuleKind::kTrail;
  int rule = -1;
  bool ruleNotRead = false;  // the section is a rule's past the limit: its header says nothing in it is read
  std::size_t trailGiven[kMaxTrailRules][kTrailRuleKeyCount] = {};
  std::size_t bannerGiven[kMaxBannerRules][kBannerRuleKeyCount] = {};

  void Note(std::size_t line, std::initializer_list<std::string_view> pieces) {
    if (line != 0 && binary) return;
    if (line != 0 && ++lineNotes > kLineNoteLimit) return;
    sink(line, Join(pieces));
  }

  // The same from a format, whose arguments are numbers and texts already shown: fewer pieces of code than pieces of
  // text, which the DLL's size counts.
  void NoteFormat(std::size_t line, const char* format, ...) __attribute__((format(printf, 3, 4))) {
    if (line != 0 && binary) return;
    if (line != 0 && ++lineNotes > kLineNoteLimit) return;
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    sink(line, text);
  }
};

// The model ids both a trail rule and a banner rule serve, each with the line its note goes on.
void FindBothKinds(Explainer& explainer) {
  const RuleScan& scan = explainer.rules;
  for (int t = 0; t < scan.trailCount; ++t) {
    if (!IsModelId(scan.trail[t].model) || FirstNaming(scan.trail, t) != t) continue;
    for (int b = 0; b < scan.bannerCount; ++b) {
      if (scan.banner[b].model != scan.trail[t].model) continue;
      explainer.both[explainer.bothCount++] = {std::max(scan.trail[t].line, scan.banner[b].line), t, b};
      break;
    }
  }
}

void NoteBothKinds(std::size_t line, Explainer& explainer) {
  const RuleScan& scan = explainer.rules;
  for (int k = 0; k < explainer.bothCount; ++k) {
    const BothKinds& both = explainer.both[k];
    if (both.line != line) continue;
    const ScannedRule& trail = scan.trail[both.trail];
    const ScannedRule& banner = scan.banner[both.banner];
    const char* outcome =
        trail.enabled    ? "its aircraft leave a trail while the trail rule is enabled, as it is, and tow no banner"
        : banner.enabled ? "the trail rule is disabled, so its aircraft tow a banner"
                         : "both rules are disabled, so its aircraft leave no trail and tow no banner";
    explainer.NoteFormat(line, "model %ld has a trail rule, %s, and a banner rule, %s: %s",
                         static_cast<long>(trail.model), RuleName(RuleKind::kTrail, trail).c_str(),
                         RuleName(RuleKind::kBanner, banner).c_str(), outcome);
  }
}

// A rule section's header: the rule it opens, or why it opens none.
void CheckRuleHeader(const IniLine& line, const RuleSection& section, Explainer& explainer) {
  const bool trail = section.kind == RuleKind::kTrail;
  const ScannedRule* rules = trail ? explainer.rules.trail : explainer.rules.banner;
  const int count = trail ? explainer.rules.trailCount : explainer.rules.bannerCount;
  int found = -1;
  for (int k = 1; k < count; ++k) {
    if (rules[k].section == line.section) found = k;
  }
  if (found < 0) {
    explainer.ruleNotRead = true;
    const int limit = trail ? kMaxTrailRules : kMaxBannerRules;
    explainer.NoteFormat(line.number,
                         "[%s] is not read: there are %d %s rules already, the most there can be ([MAIN]'s and %d "
                         "sections), so nothing in it is read",
                         Shown(line.section).c_str(), limit, trail ? "trail" : "banner", limit - 1);
    return;
  }
  explainer.kind = section.kind;
  explainer.rule = found;
  if (rules[found].line != line.number) return;  // reopened: its first header has the notes
  const int first = FirstNaming(rules, found);
  if (first < found) {
    explainer.NoteFormat(line.number,
                         "[%s] names model %ld, as %s does: the first rule to name a model serves it, so this one is "
                         "not used for it",
                         Shown(line.section).c_str(), static_cast<long>(section.model),
                         RuleName(section.kind, rules[first]).c_str());
  }
}

// A section whose name begins as a rule's ("Trail", "Banner" in any letter case) but is not one.
bool CheckLookalikeRule(const IniLine& line, Explainer& explainer) {
  const std::string_view name = line.section;
  const char* word = nullptr;
  for (const char* kind : {"Trail", "Banner"}) {
    if (EqualsIgnoringAsciiCase(name.substr(0, std::strlen(kind)), kind)) word = kind;
  }
  if (word == nullptr) return false;
  const std::string fixed = Join({word, name.substr(std::strlen(word))});
  const std::string shown = Shown(name);
  if (fixed != name && RuleSectionOf(fixed)) {
    explainer.NoteFormat(line.number, "[%s] is not [%s]: section names are case-sensitive, so nothing in it is read",
                         shown.c_str(), Shown(fixed).c_str());
    return true;
  }
  explainer.NoteFormat(line.number,
                       "[%s] is not a rule: a rule's header is [%s N], N a model id from 0 to 65535, in decimal or in "
                       "hex after 0x (as in [%s 593] or [%s 0x251]), so nothing in it is read",
                       shown.c_str(), word, word, word);
  return true;
}

void CheckHeader(const IniLine& line, Explainer& explainer) {
  explainer.rule = -1;
  explainer.ruleNotRead = false;
  if (line.section == kSection) {
    if (explainer.sources.mainHeader == 0) explainer.sources.mainHeader = line.number;
  } else if (const std::optional<RuleSection> section = RuleSectionOf(line.section)) {
    CheckRuleHeader(line, *section, explainer);
  } else if (EqualsIgnoringAsciiCase(line.section, kSection)) {
    explainer.Note(line.number, {"[", Shown(line.section), "] is not [", kSection,
                                 "]: section names are case-sensitive, so nothing in it is read"});
  } else if (!CheckLookalikeRule(line, explainer)) {
    explainer.Note(line.number, {"section [", Shown(line.section), "] is not read: the plug-in reads only [", kSection,
                                 "] and the rule sections, [Trail N] and [Banner N]"});
  }
}

// A key given before in its section, on line `first` (0: not yet): this line is ignored.
bool GivenBefore(const IniLine& line, std::size_t first, Explainer& explainer) {
  if (first == 0) return false;
  explainer.NoteFormat(line.number, "%s is given again: the first one, on line %u, wins and this line is ignored",
                       Shown(line.key).c_str(), static_cast<unsigned>(first));
  return true;
}

// A key its section does not read: `similar` in another letter case, a would-be comment, or a key `unknown` says
// more of.
void NoteUnreadKey(const IniLine& line, const char* similar, const char* unknown, Explainer& explainer) {
  const std::string key = Shown(line.key);
  if (similar != nullptr) {
    explainer.NoteFormat(line.number, "%s is not %s: keys are case-sensitive, so this line is not read", key.c_str(),
                         similar);
  } else if (!line.key.empty() && (line.key[0] == ';' || line.key[0] == '#')) {
    explainer.NoteFormat(line.number,
                         "the format has no comments: this line is the key \"%s\", which the plug-in does not use",
                         key.c_str());
  } else {
    explainer.NoteFormat(line.number, "\"%s\" is not a key %s", key.c_str(), unknown);
  }
}

void CheckBool(const IniLine& line, Explainer& explainer) {
  if (line.value.empty() || !ConvertBool(line.value, false)) return;
  for (const char* plain : {"1", "true", "yes", "on"}) {
    if (EqualsIgnoringAsciiCase(line.value, plain)) return;
  }
  explainer.NoteFormat(line.number,
                       "%s reads as true: only a single 0 or the word false (in any letter case) reads as false",
                       KeyLine(line).c_str());
}

// `instead`: what a missing key gets, when it is not 0.
void CheckFloat(const IniLine& line, const char* instead, Explainer& explainer) {
  std::size_t used = 0;
  const float value = ConvertFloat(line.value, &used);
  const std::string shown = KeyLine(line);
  const std::string read = FloatText(value);
  if (line.value.empty()) {
    if (*instead != '\0') {
      explainer.NoteFormat(line.number, "%s is empty: it reads as 0, not as %s, which only a missing key gets",
                           shown.c_str(), instead);
    }
  } else if (used == 0) {
    explainer.NoteFormat(line.number, "%s is not a number: it reads as 0", shown.c_str());
  } else if (used < line.value.size()) {
    explainer.NoteFormat(line.number, "%s reads as %s: the rest, \"%s\", is ignored (the decimal point is '.')",
                         shown.c_str(), read.c_str(), Shown(line.value.substr(used)).c_str());
  }
  if (!std::isfinite(value)) {
    explainer.NoteFormat(line.number, "%s is too large for a float: it reads as %s", shown.c_str(), read.c_str());
  } else if (used != 0 && used == line.value.size() && !SameDecimal(line.value, read)) {
    explainer.NoteFormat(line.number, "%s reads as %s: a float keeps only about seven significant digits",
                         shown.c_str(), read.c_str());
  }
}

void CheckId(const IniLine& line, std::size_t row, Explainer& explainer) {
  std::size_t used = 0;
  std::int32_t value = 0;
  const char* problem = nullptr;
  try {
    value = ConvertInt(line.value, &used);
  } catch (const NotAnInteger&) {
    problem = line.value.empty() ? "is empty" : "is not a number";
  } catch (const IntegerOutOfRange&) {
    problem = line.value.front() == '-' ? "is too far below zero for a model number (the least is -2147483648)"
                                        : "is too large for a model number (the largest is 2147483647)";
  }
  const std::string shown = KeyLine(line);
  if (problem != nullptr) {
    explainer.sources.line[row] = 0;
    explainer.sources.failedLine[row] = line.number;
    ++explainer.sources.failures;
    explainer.NoteFormat(line.number, "%s %s: the plug-in uses the default, %s", shown.c_str(), problem,
                         SettingDefaultText(kSettings[row]).c_str());
    return;
  }
  if (used < line.value.size()) {
    explainer.NoteFormat(line.number, "%s reads as %ld: the rest, \"%s\", is ignored", shown.c_str(),
                         static_cast<long>(value), Shown(line.value.substr(used)).c_str());
  }
  if (value < 0 || value > 65535) {
    explainer.NoteFormat(line.number, "%s matches no vehicle: model numbers run from 0 to 65535", shown.c_str());
  }
}

// A TrailWidth that draws no ribbon although it is not the plain 0 of the thin line.
void CheckWidth(const IniLine& line, Explainer& explainer) {
  const float width = ConvertFloat(line.value);
  if (width < 0.0f || std::isinf(width)) {
    explainer.NoteFormat(line.number, "%s draws no ribbon: only a width above 0 does, so the trail is the thin line",
                         KeyLine(line).c_str());
  }
}

// A colour or a texture name: whether it reads; one that does not is noted, `keeps` saying what is used instead.
bool CheckColour(const IniLine& line, const char* keeps, Explainer& explainer) {
  if (ParseColour(line.value)) return true;
  explainer.NoteFormat(line.number,
                       "%s %s: %s (a colour is three whole numbers from 0 to 255, red, green and blue: 255,40,40)",
                       KeyLine(line).c_str(), line.value.empty() ? "is empty" : "is not a colour", keeps);
  ++explainer.sources.failures;
  return false;
}

static_assert(kTextureNameSize == 32, "the note on a long texture name says 31 bytes");

bool CheckTexture(const IniLine& line, const char* keeps, Explainer& explainer) {
  if (!line.value.empty() && line.value.size() < kTextureNameSize) return true;
  explainer.NoteFormat(
      line.number, line.value.empty() ? "%s is empty: %s" : "%s is longer than a texture's name can be (31 bytes): %s",
      KeyLine(line).c_str(), keeps);
  ++explainer.sources.failures;
  return false;
}

// A line of [MAIN] with one of kMainRuleKeys, the `row`th.
void CheckMainRuleKey(const IniLine& line, std::size_t row, Explainer& explainer) {
  IniSources& sources = explainer.sources;
  if (GivenBefore(line, sources.mainRuleLine[row] | sources.mainRuleFailedLine[row], explainer)) return;
  bool read = true;
  if (line.key == kTrailWidthKey) {
    CheckFloat(line, "", explainer);
    CheckWidth(line, explainer);
  } else if (line.key == kBannerTextureKey) {
    read = CheckTexture(line, "the plug-in uses the default, Banner", explainer);
  } else {
    read = CheckColour(line, "the plug-in uses the default, 255,255,255", explainer);
  }
  (read ? sources.mainRuleLine : sources.mainRuleFailedLine)[row] = line.number;
}

// A key line in the rule section that made the rule `explainer.rule`.
void CheckRuleKey(const IniLine& line, Explainer& explainer) {
  const RuleKind kind = explainer.kind;
  const bool trail = kind == RuleKind::kTrail;
  const int key = RuleKeyIndex(kind, line.key);
  if (key < 0) {
    const char* const* keys = trail ? kTrailRuleKeys : kBannerRuleKeys;
    const char* similar = nullptr;
    for (int k = 0; k < (trail ? kTrailRuleKeyCount : kBannerRuleKeyCount); ++k) {
      if (EqualsIgnoringAsciiCase(line.key, keys[k])) similar = keys[k];
    }
    const std::string unknown =
        Join({trail ? "a trail rule reads: a [Trail N]" : "a banner rule reads: a [Banner N]", " section reads only ",
              RuleKeyList(kind), line.key.starts_with("ModelIDFor") ? ", and its model is the N of its header" : ""});
    NoteUnreadKey(line, similar, unknown.c_str(), explainer);
    return;
  }
  std::size_t& given = trail ? explainer.trailGiven[explainer.rule][key] : explainer.bannerGiven[explainer.rule][key];
  if (GivenBefore(line, given, explainer)) return;
  given = line.number;
  const std::string mains = Join({"[", kSection, "]'s ", line.key});
  if (line.key == kTrailColourKey) {
    CheckColour(line, "the rule keeps [MAIN]'s TrailColour", explainer);
  } else if (line.key == kBannerTextureKey) {
    CheckTexture(line, "the rule keeps [MAIN]'s BannerTexture", explainer);
  } else if (line.key == kTrailWidthKey) {
    CheckFloat(line, mains.c_str(), explainer);
    CheckWidth(line, explainer);
  } else if (SettingOf(line.key).type == SettingType::kFlag) {
    CheckBool(line, explainer);
  } else {
    CheckFloat(line, mains.c_str(), explainer);
  }
}

void CheckKey(const IniLine& line, Explainer& explainer) {
  if (explainer.rule >= 0) {
    CheckRuleKey(line, explainer);
    return;
  }
  if (explainer.ruleNotRead) return;
  const std::size_t known = SettingRow(line.key);
  const std::size_t mainRuleRow = MainRuleKeyRow(line.key);
  const char* similar = FindMainKeyIgnoringCase(line.key);
  if (line.section != kSection) {
    if (similar == nullptr) return;  // the section's header is noted already
    const std::string where =
        line.section.empty() ? "stands before any section header" : Join({"is in section [", Shown(line.section), "]"});
    explainer.Note(line.number, {KeyLine(line), " ", where, ", not in [", kSection, "]: it is not read"});
    return;
  }
  if (mainRuleRow != kMainRuleKeyCount) {
    CheckMainRuleKey(line, mainRuleRow, explainer);
    return;
  }
  if (known == kSettingCount) {
    NoteUnreadKey(line, similar, "the plug-in reads", explainer);
    return;
  }
  if (GivenBefore(line, explainer.sources.line[known] | explainer.sources.failedLine[known], explainer)) return;
  explainer.sources.line[known] = line.number;
  switch (kSettings[known].type) {
    case SettingType::kFlag:
      CheckBool(line, explainer);
      break;
    case SettingType::kNumber:
      // Worked out only for the one note that tells it, since a float's text takes some arithmetic.
      CheckFloat(line, line.value.empty() ? Join({"the default ", SettingDefaultText(kSettings[known])}).c_str() : "",
                 explainer);
      break;
    case SettingType::kModelId:
      CheckId(line, known, explainer);
      break;
  }
}

}  // namespace

IniSources ExplainIni(std::string_view bytes, const IniNoteSink& note) {
  // On the heap: the log explains the file deep in the game's start-up, on the game's stack.
  const std::unique_ptr<Explainer> owner(new Explainer{note});
  Explainer& explainer = *owner;
  explainer.binary = bytes.find('\0') != std::string_view::npos;
  const std::string_view text = IniTextOf(bytes);
  ScanRules(text, explainer.rules);
  FindBothKinds(explainer);
  ParseIniText(text, [&explainer](const IniLine& line) {
    explainer.anyLine = true;
    if (line.header)
      CheckHeader(line, explainer);
    else
      CheckKey(line, explainer);
    NoteBothKinds(line.number, explainer);
  });
  for (int k = 1; k < explainer.rules.trailCount; ++k)
    explainer.sources.trailRuleLine[k] = explainer.rules.trail[k].line;
  for (int k = 1; k < explainer.rules.bannerCount; ++k) {
    explainer.sources.bannerRuleLine[k] = explainer.rules.banner[k].line;
  }
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

std::string ColourText(std::uint32_t colour) {
  char text[16];
  std::snprintf(text, sizeof text, "%u,%u,%u", static_cast<unsigned>(colour >> 16 & 0xFF),
                static_cast<unsigned>(colour >> 8 & 0xFF), static_cast<unsigned>(colour & 0xFF));
  return text;
}

std::string MainRuleKeyValueText(std::size_t key) {
  switch (key) {
    case 0:
      return ColourText(TrailColour);
    case 1:
      return FloatText(TrailWidth);
    case 2:
      return Shown(BannerTextureName);
  }
  return ColourText(SkyTrailColour);
}

// Formatted by the C library from whole numbers and texts alone: its floating point may run at the game's precision.
std::string TrailRuleText(const TrailRule& rule) {
  const bool ribbon = rule.width > 0.0f && std::isfinite(rule.width);
  char text[160];
  std::snprintf(text, sizeof text, "model %ld, %s, height %s, fade time %s ms, colour %s, %s%s%s",
                static_cast<long>(rule.model), rule.enabled ? "enabled" : "disabled", FloatText(rule.height).c_str(),
                FloatText(rule.fadeTime).c_str(), ColourText(rule.colour).c_str(), ribbon ? "a ribbon " : "a line",
                ribbon ? FloatText(rule.width).c_str() : "", ribbon ? " wide" : "");
  return text;
}

std::string BannerRuleText(const BannerRule& rule) {
  const char* end = static_cast<const char*>(std::memchr(rule.texture, '\0', sizeof rule.texture));
  const std::string_view texture(rule.texture, end != nullptr ? static_cast<std::size_t>(end - rule.texture) : 0);
  char text[360];
  std::snprintf(text, sizeof text,
                "model %ld, %s, AppearOnlyAtAltitude=%d AppearWhenPilotIsInside=%d AlwaysAppear=%d, height %s, draw "
                "distance %s, texture %s",
                static_cast<long>(rule.model), rule.enabled ? "enabled" : "disabled", rule.onlyAtAltitude,
                rule.whenPilotIsInside, rule.alwaysAppear, FloatText(rule.height).c_str(),
                FloatText(rule.drawDistance).c_str(), Shown(texture).c_str());
  return text;
}

std::string TooLargeNote(std::string_view name) {
  return Join({name, " is larger than ", std::to_string(kIniFileSizeLimit), " bytes (",
               std::to_string(kIniFileSizeLimitMiB),
               " MiB), too large for a configuration: the plug-in does not read it and uses every default."});
}

}  // namespace config
