#include "config/ini_explain.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <utility>

#include "config/ini_file.h"
#include "config/ini_parser.h"

namespace config {

namespace {

constexpr std::size_t kTrailWidthRow = RowOf("TrailWidth");

// Pieces of text joined; also keeps GCC 12 from a false -Wrestrict on "literal" + std::string.
std::string Join(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (const std::string_view piece : pieces) text.append(piece);
  return text;
}

// Something told on a line, in the order of the lines: the value of a key a line gave, a line that gave none, a rule
// section whose model an earlier rule names, or a model that both a trail rule and a banner rule name.
struct Told {
  enum What : std::uint8_t { kSource, kUnused, kNamedBefore, kBothKinds };
  std::uint32_t line;
  What what;
  RuleKind kind;
  int rule;              // kSource: the rule whose section gave it (-1: [MAIN]); kBothKinds: the trail rule
  std::uint32_t detail;  // kSource: the key's row; kUnused: its place; kBothKinds: the banner rule
  bool operator<(const Told& other) const { return line != other.line ? line < other.line : what < other.what; }
};

// Every source, unused line kept and rule note: at most one a key of [MAIN] and of each rule, the kept unused lines,
// one a rule section.
inline constexpr std::size_t kMaxTold =
    kKeyCount * (1 + kMaxTrailRules + kMaxBannerRules) + kKeptUnusedLines + 2 * (kMaxTrailRules + kMaxBannerRules);

struct Explainer {
  std::string_view text;
  const Configuration& read;
  const IniNoteSink& sink;
  const Values defaults = DefaultValues();
  bool binary = false;        // the file holds NUL bytes: its lines are not worth a note each
  std::size_t lineNotes = 0;  // notes on lines, given or left out
  Told told[kMaxTold] = {};
  std::size_t toldCount = 0;

  void Tell(const Told& what) { told[toldCount++] = what; }

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

  std::string ShownPiece(TextPiece piece) const { return Shown(piece.In(text)); }
};

// How a note names a rule.
std::string RuleName(const Explainer& explainer, RuleKind kind, int rule) {
  if (rule == 0) return Join({"[", kSettingsSection, "]'s ", kKeys[InfoOf(kind).modelKey].name});
  const RuleOrigin& origin = OriginsOf(explainer.read, kind)[rule];
  return Join({"[", explainer.ShownPiece(origin.section), "] on line ", std::to_string(origin.header)});
}

// The keys a rule section of `kind` reads, as a note lists them.
std::string RuleKeyList(RuleKind kind) {
  std::size_t count = 0;
  for (std::size_t row = 0; row < kKeyCount; ++row) count += ReadsKey(kind, row) ? 1 : 0;
  std::string list;
  std::size_t listed = 0;
  for (std::size_t row = 0; row < kKeyCount; ++row) {
    if (!ReadsKey(kind, row)) continue;
    list.append(listed == 0 ? "" : listed + 1 == count ? " and " : ", ").append(kKeys[row].name);
    ++listed;
  }
  return list;
}

// The sections of the rules, as a note names them: "[Trail N] and [Banner N]".
std::string RuleSectionList() {
  std::string list;
  for (const RuleKindInfo& kind : kRuleKinds) {
    list.append(list.empty() ? "" : " and ").append("[").append(kind.section).append(" N]");
  }
  return list;
}

// ---- Lines that give no value -------------------------------------------------------------------------------------

void TellUnused(const UnusedLine& unused, Explainer& explainer) {
  const std::uint32_t line = unused.line;
  const std::string name = explainer.ShownPiece(unused.name);
  const RuleKindInfo& kind = InfoOf(unused.rule);
  switch (unused.why) {
    case Unused::kGivenAgain:
      explainer.NoteFormat(line, "%s is given again: the first one, on line %u, wins and this line is ignored",
                           name.c_str(), static_cast<unsigned>(unused.other));
      return;
    case Unused::kKeyInOtherCase:
      explainer.NoteFormat(line, "%s is not %s: keys are case-sensitive, so this line is not read", name.c_str(),
                           kKeys[unused.row].name);
      return;
    case Unused::kComment:
      explainer.NoteFormat(line,
                           "the format has no comments: this line is the key \"%s\", which the plug-in does not use",
                           name.c_str());
      return;
    case Unused::kUnknownKey: {
      if (!unused.inRule) {
        explainer.NoteFormat(line, "\"%s\" is not a key the plug-in reads", name.c_str());
        return;
      }
      // A model key, in whatever letter case: the model is the header's.
      bool modelKey = false;
      for (const Key& key : kKeys) {
        modelKey = modelKey ||
                   (key.type == KeyType::kModelId && EqualsIgnoringAsciiCase(unused.name.In(explainer.text), key.name));
      }
      explainer.NoteFormat(line, "\"%s\" is not a key a %s rule reads: a [%s N] section reads only %s%s", name.c_str(),
                           kind.name, kind.section, RuleKeyList(unused.rule).c_str(),
                           modelKey ? ", and its model is the N of its header" : "");
      return;
    }
    case Unused::kOutsideMain: {
      const std::string_view section = unused.section.In(explainer.text);
      const std::string where =
          section.empty() ? "stands before any section header" : Join({"is in section [", Shown(section), "]"});
      explainer.Note(line, {name, "=", explainer.ShownPiece(unused.value), " ", where, ", not in [", kSettingsSection,
                            "]: it is not read"});
      return;
    }
    case Unused::kPastLimit:
      explainer.NoteFormat(line,
                           "[%s] is not read: there are %d %s rules already, the most there can be ([%s]'s and %d "
                           "sections), so nothing in it is read",
                           name.c_str(), kind.maxRules, kind.name, kSettingsSection, kind.maxRules - 1);
      return;
    case Unused::kMainInOtherCase:
      explainer.Note(line, {"[", name, "] is not [", kSettingsSection,
                            "]: section names are case-sensitive, so nothing in it is read"});
      return;
    case Unused::kRuleInOtherCase: {
      const std::string_view section = unused.name.In(explainer.text);
      const std::string fixed = Join({kind.section, section.substr(std::strlen(kind.section))});
      explainer.NoteFormat(line, "[%s] is not [%s]: section names are case-sensitive, so nothing in it is read",
                           name.c_str(), Shown(fixed).c_str());
      return;
    }
    case Unused::kNotARule:
      explainer.NoteFormat(line,
                           "[%s] is not a rule: a rule's header is [%s N], N a model id from %ld to %ld, in decimal or "
                           "in hex after 0x (as in [%s 593] or [%s 0x251]), so nothing in it is read",
                           name.c_str(), kind.section, static_cast<long>(kLowestModelId),
                           static_cast<long>(kHighestModelId), kind.section, kind.section);
      return;
    case Unused::kSectionNotRead:
      explainer.Note(line, {"section [", name, "] is not read: the plug-in reads only [", kSettingsSection,
                            "] and the rule sections, ", RuleSectionList()});
      return;
  }
}

// ---- Values the lines gave ----------------------------------------------------------------------------------------

// A key line as a note quotes it.
std::string KeyLine(const Explainer& explainer, std::size_t row, const Source& source) {
  return Join({kKeys[row].name, "=", explainer.ShownPiece(source.value)});
}

void CheckBool(std::uint32_t line, std::string_view value, const std::string& shown, Explainer& explainer) {
  if (value.empty() || !ConvertBool(value, false)) return;
  for (const char* plain : {"1", "true", "yes", "on"}) {
    if (EqualsIgnoringAsciiCase(value, plain)) return;
  }
  explainer.NoteFormat(line, "%s reads as true: only a single 0 or the word false (in any letter case) reads as false",
                       shown.c_str());
}

// `instead`: what a missing key gets, when it is not 0.
void CheckFloat(std::uint32_t line, std::string_view value, const Source& source, float read, const std::string& shown,
                const std::string& instead, Explainer& explainer) {
  const std::string text = FloatText(read);
  if (value.empty()) {
    if (!instead.empty()) {
      explainer.NoteFormat(line, "%s is empty: it reads as 0, not as %s, which only a missing key gets", shown.c_str(),
                           instead.c_str());
    }
  } else if (source.used == 0) {
    explainer.NoteFormat(line, "%s is not a number: it reads as 0", shown.c_str());
  } else if (source.used < value.size()) {
    explainer.NoteFormat(line, "%s reads as %s: the rest, \"%s\", is ignored (the decimal point is '.')", shown.c_str(),
                         text.c_str(), Shown(value.substr(source.used)).c_str());
  }
  if (!std::isfinite(read)) {
    explainer.NoteFormat(line, "%s is too large for a float: it reads as %s", shown.c_str(), text.c_str());
  } else if (source.used != 0 && source.used == value.size() && !SameDecimal(value, text)) {
    explainer.NoteFormat(line, "%s reads as %s: a float keeps only about seven significant digits", shown.c_str(),
                         text.c_str());
  }
}

// `keeps`: what a value that does not convert leaves.
void CheckId(std::uint32_t line, std::string_view value, const Source& source, std::int32_t read,
             const std::string& shown, const std::string& keeps, Explainer& explainer) {
  if (source.problem == ValueProblem::kNotAnInteger || source.problem == ValueProblem::kIntegerTooFar) {
    const char* problem = source.problem == ValueProblem::kNotAnInteger
                              ? (value.empty() ? "is empty" : "is not a number")
                          : value.front() == '-' ? "is too far below zero for a model number (the least is -2147483648)"
                                                 : "is too large for a model number (the largest is 2147483647)";
    explainer.NoteFormat(line, "%s %s: %s", shown.c_str(), problem, keeps.c_str());
    return;
  }
  if (source.used < value.size()) {
    explainer.NoteFormat(line, "%s reads as %ld: the rest, \"%s\", is ignored", shown.c_str(), static_cast<long>(read),
                         Shown(value.substr(source.used)).c_str());
  }
  if (!IsModelId(read)) {
    explainer.NoteFormat(line, "%s matches no vehicle: model numbers run from %ld to %ld", shown.c_str(),
                         static_cast<long>(kLowestModelId), static_cast<long>(kHighestModelId));
  }
}

// A colour or a texture name that does not read: `keeps` says what is used instead.
void CheckName(std::uint32_t line, std::string_view value, KeyType type, const std::string& shown,
               const std::string& keeps, Explainer& explainer) {
  if (type == KeyType::kColour) {
    explainer.NoteFormat(
        line, "%s %s: %s (a colour is three whole numbers from 0 to %u, red, green and blue: 255,40,40)", shown.c_str(),
        value.empty() ? "is empty" : "is not a colour", keeps.c_str(), static_cast<unsigned>(kHighestChannel));
  } else if (value.empty()) {
    explainer.NoteFormat(line, "%s is empty: %s", shown.c_str(), keeps.c_str());
  } else {
    explainer.NoteFormat(line, "%s is longer than a texture's name can be (%u bytes): %s", shown.c_str(),
                         static_cast<unsigned>(kTextureNameSize - 1), keeps.c_str());
  }
}

// The value the line of `told` gave: in [MAIN], or over [MAIN]'s in a rule.
void TellSource(const Told& told, Explainer& explainer) {
  const std::size_t row = told.detail;
  const Key& key = kKeys[row];
  const bool main = told.rule < 0;
  const Source& source =
      main ? explainer.read.mainKeys[row] : OriginsOf(explainer.read, told.kind)[told.rule].keys[row];
  const Values values = main ? Values(explainer.read) : RuleValues(RulesOf(explainer.read, told.kind), told.rule);
  const std::string_view value = source.value.In(explainer.text);
  const std::string shown = KeyLine(explainer, row, source);
  const std::uint32_t line = source.line;
  // What a missing key or a value that does not convert gets instead.
  const Values& defaults = explainer.defaults;
  const std::string keeps = main ? Join({"the plug-in uses the default, ", ValueText(defaults, row)})
                                 : Join({"the rule keeps [", kSettingsSection, "]'s ", key.name});
  switch (key.type) {
    case KeyType::kFlag:
      CheckBool(line, value, shown, explainer);
      break;
    case KeyType::kNumber: {
      // A missing key of [MAIN] whose default is 0 gets what an empty one gets.
      const bool zero = defaults.*key.number.value == 0.0f;
      const std::string instead = !main  ? Join({"[", kSettingsSection, "]'s ", key.name})
                                  : zero ? std::string()
                                         : Join({"the default ", ValueText(defaults, row)});
      CheckFloat(line, value, source, values.*key.number.value, shown, instead, explainer);
      break;
    }
    case KeyType::kModelId:
      CheckId(line, value, source, values.*key.modelId.value, shown, keeps, explainer);
      break;
    case KeyType::kColour:
    case KeyType::kTexture:
      if (source.problem != ValueProblem::kNone) CheckName(line, value, key.type, shown, keeps, explainer);
      break;
  }
  // A width that draws no ribbon although it is not the plain 0 of the thin line.
  if (row == kTrailWidthRow) {
    const float width = values.*key.number.value;
    if (width < 0.0f || std::isinf(width)) {
      explainer.NoteFormat(line, "%s draws no ribbon: only a width above 0 does, so the trail is the thin line",
                           shown.c_str());
    }
  }
}

// ---- The rules ----------------------------------------------------------------------------------------------------

void TellNamedBefore(const Told& told, Explainer& explainer) {
  const RuleOrigin& origin = OriginsOf(explainer.read, told.kind)[told.rule];
  explainer.NoteFormat(told.line,
                       "[%s] names model %ld, as %s does: the first rule to name a model serves it, so this one is "
                       "not used for it",
                       explainer.ShownPiece(origin.section).c_str(),
                       static_cast<long>(ModelOf(RulesOf(explainer.read, told.kind), told.kind, told.rule)),
                       RuleName(explainer, told.kind, origin.servedBy).c_str());
}

void TellBothKinds(const Told& told, Explainer& explainer) {
  const int trail = told.rule;
  const int banner = static_cast<int>(told.detail);
  const std::int32_t model = ModelOf(explainer.read.trailRules, RuleKind::kTrail, trail);
  const std::optional<RuleRef> served = RuleServing(static_cast<std::uint16_t>(model), explainer.read);
  const char* outcome = !served ? "both rules are disabled, so its aircraft leave no trail and tow no banner"
                        : served->kind == RuleKind::kTrail
                            ? "its aircraft leave a trail while the trail rule is enabled, as it is, and tow no banner"
                            : "the trail rule is disabled, so its aircraft tow a banner";
  explainer.NoteFormat(told.line, "model %ld has a trail rule, %s, and a banner rule, %s: %s", static_cast<long>(model),
                       RuleName(explainer, RuleKind::kTrail, trail).c_str(),
                       RuleName(explainer, RuleKind::kBanner, banner).c_str(), outcome);
}

// The rules' notes: a rule section whose model an earlier rule of its kind names, and each model that a trail rule
// and a banner rule serve, on the later of their lines.
void FindRuleNotes(Explainer& explainer) {
  const Configuration& read = explainer.read;
  for (const RuleKind kind : {RuleKind::kTrail, RuleKind::kBanner}) {
    for (int k = 1; k < RuleCountOf(read, kind); ++k) {
      const RuleOrigin& origin = OriginsOf(read, kind)[k];
      if (origin.servedBy != k) explainer.Tell({origin.header, Told::kNamedBefore, kind, k, 0});
    }
  }
  for (int t = 0; t < read.trailRuleCount; ++t) {
    const std::int32_t model = ModelOf(read.trailRules, RuleKind::kTrail, t);
    if (!IsModelId(model) || read.trailOrigins[t].servedBy != t) continue;
    for (int b = 0; b < read.bannerRuleCount; ++b) {
      if (ModelOf(read.bannerRules, RuleKind::kBanner, b) != model) continue;
      const std::uint32_t line =
          std::max(RuleLine(read, {RuleKind::kTrail, t}), RuleLine(read, {RuleKind::kBanner, b}));
      if (line != 0) explainer.Tell({line, Told::kBothKinds, RuleKind::kTrail, t, static_cast<std::uint32_t>(b)});
      break;
    }
  }
}

void FindSources(Explainer& explainer) {
  const Configuration& read = explainer.read;
  for (std::size_t row = 0; row < kKeyCount; ++row) {
    if (read.mainKeys[row].line != 0) {
      explainer.Tell({read.mainKeys[row].line, Told::kSource, RuleKind::kTrail, -1, static_cast<std::uint32_t>(row)});
    }
  }
  for (const RuleKind kind : {RuleKind::kTrail, RuleKind::kBanner}) {
    for (int k = 1; k < RuleCountOf(read, kind); ++k) {
      for (std::size_t row = 0; row < kKeyCount; ++row) {
        const Source& source = OriginsOf(read, kind)[k].keys[row];
        if (source.line != 0) explainer.Tell({source.line, Told::kSource, kind, k, static_cast<std::uint32_t>(row)});
      }
    }
  }
  const std::size_t kept = std::min<std::size_t>(read.unusedCount, kKeptUnusedLines);
  for (std::size_t k = 0; k < kept; ++k) {
    explainer.Tell({read.unused[k].line, Told::kUnused, RuleKind::kTrail, -1, static_cast<std::uint32_t>(k)});
  }
}

}  // namespace

void ExplainIni(std::string_view bytes, const Configuration& read, const IniNoteSink& note) {
  // On the heap: the log explains the file deep in the game's start-up, on the game's stack.
  const std::string_view text = IniTextOf(bytes);
  const std::unique_ptr<Explainer> owner(new Explainer{text, read, note});
  Explainer& explainer = *owner;
  explainer.binary = bytes.find('\0') != std::string_view::npos;
  FindSources(explainer);
  FindRuleNotes(explainer);
  std::sort(explainer.told, explainer.told + explainer.toldCount);
  for (std::size_t k = 0; k < explainer.toldCount; ++k) {
    const Told& told = explainer.told[k];
    switch (told.what) {
      case Told::kSource:
        TellSource(told, explainer);
        break;
      case Told::kUnused:
        TellUnused(read.unused[told.detail], explainer);
        break;
      case Told::kNamedBefore:
        TellNamedBefore(told, explainer);
        break;
      case Told::kBothKinds:
        TellBothKinds(told, explainer);
        break;
    }
  }
  // Each unused line past those kept has a note of its own, further down than all of those told.
  if (!explainer.binary && read.unusedCount > kKeptUnusedLines)
    explainer.lineNotes += read.unusedCount - kKeptUnusedLines;
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
  if (read.mainHeader == 0 && read.anyLine) {
    explainer.Note(0, {"there is no [", kSettingsSection, "] section: every setting has its default"});
  }
  if (explainer.binary) {
    explainer.Note(
        0, {"the file holds NUL bytes, so it is not a text file (a program, or random bytes?): the plug-in reads "
            "it as one all the same, and its lines are not explained one by one"});
  }
}

ValueLines LinesOf(const Source& source) {
  if (source.problem != ValueProblem::kNone) return {0, source.line};
  return {source.line, 0};
}

// Formatted by the C library from whole numbers and texts alone: its floating point may run at the game's precision.
std::string RuleText(const Configuration& read, RuleRef rule) {
  const Values values = RuleValues(RulesOf(read, rule.kind), rule.index);
  if (rule.kind == RuleKind::kTrail) {
    const bool ribbon = values.TrailWidth > 0.0f && std::isfinite(values.TrailWidth);
    char text[160];
    std::snprintf(text, sizeof text, "model %ld, %s, height %s, fade time %s ms, colour %s, %s%s%s",
                  static_cast<long>(values.ModelIDForTrail), values.EnableTrail ? "enabled" : "disabled",
                  FloatText(values.Height).c_str(), FloatText(values.TrailFadeTime).c_str(),
                  ColourText(values.TrailColour).c_str(), ribbon ? "a ribbon " : "a line",
                  ribbon ? FloatText(values.TrailWidth).c_str() : "", ribbon ? " wide" : "");
    return text;
  }
  char text[360];
  std::snprintf(text, sizeof text,
                "model %ld, %s, AppearOnlyAtAltitude=%d AppearWhenPilotIsInside=%d AlwaysAppear=%d, height %s, draw "
                "distance %s, texture %s",
                static_cast<long>(values.ModelIDForBanner), values.EnableBanner ? "enabled" : "disabled",
                values.AppearOnlyAtAltitude, values.AppearWhenPilotIsInside, values.AlwaysAppear,
                FloatText(values.HeightForBanner).c_str(), FloatText(values.BannerDrawDistance).c_str(),
                Shown(TextureName(values.BannerTexture)).c_str());
  return text;
}

std::string TooLargeNote(std::string_view name) {
  return Join({name, " is larger than ", std::to_string(kIniFileSizeLimit), " bytes (",
               std::to_string(kIniFileSizeLimitMiB),
               " MiB), too large for a configuration: the plug-in does not read it and uses every default."});
}

}  // namespace config
