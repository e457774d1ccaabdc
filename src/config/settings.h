#pragma once
// What Zephrel.ini says, as one value: every key of the table (settings_table.inc) as a field named after it, the
// trail and banner rules, which rule serves each model, and where each of them came from in the text. One walk of
// the text makes it (LoadSettingsFrom); the plug-in reads the settings in effect from InEffect, and the checker, the
// log, the page and the preview read the value rather than the text.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

namespace config {

// The file that holds the settings, beside the plug-in's module, and its section that holds them.
inline constexpr const char* kSettingsFile = "Zephrel.ini";
inline constexpr const char* kSettingsSection = "MAIN";

// Rules of a kind at the most, [MAIN]'s included.
inline constexpr int kMaxRules = 8;
inline constexpr int kMaxTrailRules = kMaxRules;
inline constexpr int kMaxBannerRules = kMaxRules;

// The model ids vehicles have; a rule naming any other matches none.
inline constexpr std::int32_t kLowestModelId = 0;
inline constexpr std::int32_t kHighestModelId = 65535;
constexpr bool IsModelId(std::int32_t model) { return model >= kLowestModelId && model <= kHighestModelId; }

// A texture's name as the game's dictionaries hold it: up to 31 bytes, and the terminating zero.
inline constexpr std::size_t kTextureNameSize = 32;

// Red, green and blue in bits 16 to 23, 8 to 15 and 0 to 7, as a vertex colour holds them below its alpha; each
// channel 0 to kHighestChannel.
inline constexpr std::uint32_t kHighestChannel = 255;
inline constexpr std::uint32_t kWhite = 0xFFFFFF;

using ValueFlag = bool;
using ValueNumber = float;
using ValueModelId = std::int32_t;
using ValueColour = std::uint32_t;
using ValueTexture = char[kTextureNameSize];

// [MAIN]'s values, or a rule's: [MAIN]'s with the keys its section gives over them, its model in its kind's model key.
// A field for each key of the table, named after it.
struct Values {
#define ZEPHREL_KEY(key, type, ...) Value##type key;
#include "config/settings_table.inc"
#undef ZEPHREL_KEY
};

// The rules of a kind as columns: for each key of the table, its value in each rule, by the rule's place ([MAIN]'s is
// 0). The frame reaches a rule's value by its place alone, with no multiplication by the size of a rule's values.
template <class Value>
using Column = Value[kMaxRules];
struct Rules {
#define ZEPHREL_KEY(key, type, ...) Column<Value##type> key;
#include "config/settings_table.inc"
#undef ZEPHREL_KEY
};

enum class KeyType : std::uint8_t { kFlag, kNumber, kModelId, kColour, kTexture };

// Where a key is read (a row's "read in"), as bits.
inline constexpr unsigned kSetting = 1;      // one of [MAIN]'s settings, a line of the shipped Zephrel.ini
inline constexpr unsigned kMainRuleKey = 2;  // one of [MAIN]'s keys of its rules, which the shipped file leaves out
inline constexpr unsigned kTrailRule = 4;    // read by a [Trail N] section too
inline constexpr unsigned kBannerRule = 8;   // read by a [Banner N] section too
inline constexpr unsigned kInMain = kSetting | kMainRuleKey;

// A key's field of one type, in Values and in Rules.
template <class Value>
struct Field {
  Value Values::*value;
  Column<Value> Rules::*column;
};

// One row of the table. Its fields are the one pair of its type.
struct Key {
  const char* name;
  KeyType type;
  const char* defaultText;
  unsigned readIn;
  float lowest, highest, step;
  const char* label;
  Field<ValueFlag> flag;
  Field<ValueNumber> number;
  Field<ValueModelId> modelId;
  Field<ValueColour> colour;
  Field<ValueTexture> texture;
};

namespace table {
struct Facts {
  const char* name;
  const char* defaultText;
  unsigned readIn;
  float lowest, highest, step;
  const char* label;
};
constexpr Key Row(const Facts& f, ValueFlag Values::*v, Column<ValueFlag> Rules::*c) {
  return {f.name, KeyType::kFlag, f.defaultText, f.readIn, f.lowest, f.highest, f.step, f.label, {v, c}, {}, {}, {},
          {}};
}
constexpr Key Row(const Facts& f, ValueNumber Values::*v, Column<ValueNumber> Rules::*c) {
  return {f.name, KeyType::kNumber, f.defaultText, f.readIn, f.lowest, f.highest, f.step, f.label, {}, {v, c}, {}, {},
          {}};
}
constexpr Key Row(const Facts& f, ValueModelId Values::*v, Column<ValueModelId> Rules::*c) {
  return {f.name, KeyType::kModelId, f.defaultText, f.readIn, f.lowest, f.highest, f.step, f.label, {}, {}, {v, c}, {},
          {}};
}
constexpr Key Row(const Facts& f, ValueColour Values::*v, Column<ValueColour> Rules::*c) {
  return {f.name, KeyType::kColour, f.defaultText, f.readIn, f.lowest, f.highest, f.step, f.label, {}, {}, {}, {v, c},
          {}};
}
constexpr Key Row(const Facts& f, ValueTexture Values::*v, Column<ValueTexture> Rules::*c) {
  return {f.name, KeyType::kTexture, f.defaultText, f.readIn, f.lowest, f.highest, f.step, f.label, {}, {}, {}, {},
          {v, c}};
}
}  // namespace table

inline constexpr Key kKeys[] = {
#define ZEPHREL_KEY(key, type, text, in, lowest, highest, step, label, help) \
  table::Row({#key, text, in, lowest, highest, step, label}, &Values::key, &Rules::key),
#include "config/settings_table.inc"
#undef ZEPHREL_KEY
};
inline constexpr std::size_t kKeyCount = std::size(kKeys);

// The settings come first: they are the shipped file's lines and the checker's first list.
inline constexpr std::size_t kSettingCount = [] {
  std::size_t count = 0;
  while (count < kKeyCount && (kKeys[count].readIn & kSetting) != 0) ++count;
  for (std::size_t row = count; row < kKeyCount; ++row) {
    if ((kKeys[row].readIn & kSetting) != 0) throw "the table's settings come before its other keys";
  }
  return count;
}();

// The row of the key `name`, letter case and all, or kKeyCount.
constexpr std::size_t KeyRow(std::string_view name) {
  std::size_t row = 0;
  while (row < kKeyCount && name != kKeys[row].name) ++row;
  return row;
}

// The row of a key the code names, found and checked when the code is compiled: it costs nothing when it runs.
consteval std::size_t RowOf(std::string_view name) {
  const std::size_t row = KeyRow(name);
  if (row == kKeyCount) throw "no such key in the table";
  return row;
}

// A rule by its kind and its place among the rules of that kind: [MAIN]'s is 0, a section's 1 or more.
enum class RuleKind : std::uint8_t { kTrail, kBanner };
struct RuleRef {
  RuleKind kind;
  int index;
};

// Where a kind of rule is read: the word of its sections' headers, the bit of its keys in the table, the key that
// gives [MAIN]'s rule its model, the flag that switches a rule on, and how many rules of it there can be.
struct RuleKindInfo {
  const char* name;     // as the page and the notes call it
  const char* section;  // "Trail" of "[Trail N]"
  unsigned readIn;
  std::size_t modelKey;
  std::size_t enableKey;
  int maxRules;
};
inline constexpr RuleKindInfo kRuleKinds[] = {
    {"trail", "Trail", kTrailRule, RowOf("ModelIDForTrail"), RowOf("EnableTrail"), kMaxTrailRules},
    {"banner", "Banner", kBannerRule, RowOf("ModelIDForBanner"), RowOf("EnableBanner"), kMaxBannerRules},
};
constexpr const RuleKindInfo& InfoOf(RuleKind kind) { return kRuleKinds[static_cast<int>(kind)]; }

// Whether a rule of `kind` reads the key of row `row`.
constexpr bool ReadsKey(RuleKind kind, std::size_t row) { return (kKeys[row].readIn & InfoOf(kind).readIn) != 0; }

// ---- Where the values came from -----------------------------------------------------------------------------------

// A piece of the text that was read, by its place rather than a view: the value stays a plain value to copy, whatever
// becomes of the text.
struct TextPiece {
  std::uint32_t at;
  std::uint32_t length;
  std::string_view In(std::string_view text) const { return text.substr(at, length); }
};

// Why a value of a line was not read as it stands.
enum class ValueProblem : std::uint8_t {
  kNone,
  kNotAnInteger,    // a model id with no digits: its default holds
  kIntegerTooFar,   // a model id outside 32 bits: its default holds
  kNotAColour,      // its default, or [MAIN]'s colour, holds
  kNotATextureName  // empty, longer than 31 bytes or holding a zero byte: its default, or [MAIN]'s name, holds
};

// The line a value came from: the first line with its key in its section (a rule's sections all count as one).
struct Source {
  std::uint32_t line;  // 0: none gives it (a setting's default, or a rule's value of [MAIN])
  TextPiece value;     // that line's value
  std::uint32_t used;  // how much of the value a number or a model id took, leading whitespace included
  ValueProblem problem;
};

// Why a line gives no value. Lines that stand in a section that is not read say nothing of their own (its header has
// the note), unless they are a key of [MAIN] in the wrong place.
enum class Unused : std::uint8_t {
  kGivenAgain,       // its key was given before in its section: `other` is that line
  kKeyInOtherCase,   // a key its section reads but for the letter case: `row`
  kComment,          // begins with ';' or '#', which the format does not know
  kUnknownKey,       // no key its section reads (in a rule section: `rule` says which kind)
  kOutsideMain,      // a key of [MAIN] (`row`, letter case aside) before any header or in another `section`
  kPastLimit,        // the header of a rule section for which there is no room (`rule` says which kind)
  kMainInOtherCase,  // the header of a section that is [MAIN] but for the letter case
  kRuleInOtherCase,  // the header of a section that is a rule's (of kind `rule`) but for the letter case
  kNotARule,         // the header of a section that begins as a rule's, of kind `rule`, in any letter case
  kSectionNotRead,   // the header of any other section
};
struct UnusedLine {
  std::uint32_t line;
  Unused why;
  RuleKind rule;        // for a line in a rule section, or a header that is (or looks like) one
  bool inRule;          // the line stands in a rule section
  std::uint8_t row;     // a key of the table, or kKeyCount
  std::uint32_t other;  // kGivenAgain: the line that gave the key
  TextPiece name;       // a key line's key, or a header's section name
  TextPiece value;      // a key line's value
  TextPiece section;    // kOutsideMain: the section it stands in (empty: before any header)
};

// Unused lines kept whole: at least as many as the notes that are given on lines (ini_explain.h), so that those are
// all told; past them the lines are only counted.
inline constexpr std::size_t kKeptUnusedLines = 64;

// A rule section and the lines after its header up to the next header (`last` 0: to the end of the text).
struct SectionSpan {
  std::uint32_t header;
  std::uint32_t last;
};
inline constexpr std::size_t kKeptSpans = 16;  // of a rule's sections, the first; the rest are counted

// Where a rule came from. [MAIN]'s rules have no header and no section: their keys' sources are [MAIN]'s.
struct RuleOrigin {
  TextPiece section;  // the name in its first header
  std::uint32_t header;
  int servedBy;  // the first rule of its kind that names its model: this one's index, unless an earlier one does
  SectionSpan spans[kKeptSpans];
  std::uint32_t spanCount;
  Source keys[kKeyCount];  // the keys its sections give, by row
};

// ---- The value ----------------------------------------------------------------------------------------------------

// What serves the aircraft of each model id, packed in a byte so that the table stays small: kNoRule, kFirstTrailRule
// + the trail rule's index, or kFirstBannerRule + the banner rule's index. Read it through RuleServing, never by its
// bytes.
inline constexpr std::uint8_t kNoRule = 0;
inline constexpr std::uint8_t kFirstTrailRule = 1;
inline constexpr std::uint8_t kFirstBannerRule = kFirstTrailRule + kMaxTrailRules;

// [MAIN]'s values as its fields, the rules, the table of models and the sources, made by one LoadSettingsFrom. A
// plain value: to save and restore it is to copy it.
struct Configuration : Values {
  // The rules in effect: rule 0 of each kind is [MAIN]'s. Places past the counts hold [MAIN]'s values, so that a trail
  // laid by a rule that a later read dropped fades out in [MAIN]'s look.
  Rules trailRules;
  Rules bannerRules;
  int trailRuleCount;
  int bannerRuleCount;
  int ruleSectionsNotRead;  // headers of rule sections past the limit
  std::uint8_t modelRules[kHighestModelId + 1];

  // Where everything came from, in the text it was read from.
  Source mainKeys[kKeyCount];  // [MAIN]'s keys by row
  std::uint32_t mainHeader;    // the line of the first [MAIN] header, or 0
  RuleOrigin trailOrigins[kMaxTrailRules];
  RuleOrigin bannerOrigins[kMaxBannerRules];
  UnusedLine unused[kKeptUnusedLines];  // the first lines that give no value and have something to tell, in order
  std::uint32_t unusedCount;            // all of them
  std::uint32_t failures;               // values of lines read that do not convert: model ids, colours, names
  bool anyLine;                         // the text holds a line that is not blank
};

// The settings in effect: all zero until the first LoadSettingsFrom; every other part of the plug-in only reads them,
// anew each time it needs them.
extern Configuration InEffect;

// How many times a LoadSettingsFrom made a value: what is worked out from the rules (how each banner rule is drawn) is
// worked out again when this has changed.
extern std::uint32_t RulesMade;

// Makes `into` from `text`, a Zephrel.ini as the plug-in reads it (IniTextOf), in one walk of its lines. The first
// line of a key in its section gives its value, also when the section is opened again further down; a key that no
// line gives has its default, or in a rule its value of [MAIN]. A value that does not convert keeps the default (a
// model id, colour or texture name; an empty flag keeps it too). Rule sections past kMaxTrailRules
// (kMaxBannerRules) rules are not read. Allocates nothing, and neither fails nor throws.
void LoadSettingsFrom(std::string_view text, Configuration& into = InEffect) noexcept;

// Every key at its default: [MAIN]'s values when no line gives any.
Values DefaultValues();

// The rules of a kind, and their origins.
inline const Rules& RulesOf(const Configuration& read, RuleKind kind) {
  return kind == RuleKind::kTrail ? read.trailRules : read.bannerRules;
}
inline int RuleCountOf(const Configuration& read, RuleKind kind) {
  return kind == RuleKind::kTrail ? read.trailRuleCount : read.bannerRuleCount;
}
inline const RuleOrigin* OriginsOf(const Configuration& read, RuleKind kind) {
  return kind == RuleKind::kTrail ? read.trailOrigins : read.bannerOrigins;
}

// The line that made a rule: its first header, or for [MAIN]'s the first line of its model key in [MAIN] (0: none).
std::uint32_t RuleLine(const Configuration& read, RuleRef rule);

// Rule `k` of `rules` as values, and values as rule `k`.
Values RuleValues(const Rules& rules, int k);
void SetRule(Rules& rules, int k, const Values& values);

// The model a rule names, and whether it is switched on.
inline std::int32_t ModelOf(const Values& rule, RuleKind kind) {
  return rule.*kKeys[InfoOf(kind).modelKey].modelId.value;
}
inline std::int32_t ModelOf(const Rules& rules, RuleKind kind, int k) {
  return (rules.*kKeys[InfoOf(kind).modelKey].modelId.column)[k];
}
inline bool IsEnabled(const Values& rule, RuleKind kind) { return rule.*kKeys[InfoOf(kind).enableKey].flag.value; }
inline bool IsEnabled(const Rules& rules, RuleKind kind, int k) {
  return (rules.*kKeys[InfoOf(kind).enableKey].flag.column)[k];
}

// The rule that serves the aircraft of `model`: its trail rule while that is enabled, else its banner rule while that
// is enabled, else none. For each model id the first trail rule that names it is its trail rule, and the first banner
// rule that names it its banner rule. One lookup: the scan asks it of every aircraft.
inline std::optional<RuleRef> RuleServing(std::uint16_t model, const Configuration& read = InEffect) {
  const std::uint8_t served = read.modelRules[model];
  if (served == kNoRule) return std::nullopt;
  if (served < kFirstBannerRule) return RuleRef{RuleKind::kTrail, served - kFirstTrailRule};
  return RuleRef{RuleKind::kBanner, served - kFirstBannerRule};
}

// ---- Values as text -----------------------------------------------------------------------------------------------

// The shortest text that reads back as `value` through ConvertFloat, in fixed or exponent form, whichever is
// shorter ("250.5", "1e+40", "inf"): the text std::to_chars would give, but found with the reader's own exact
// arithmetic (RoundFloatDigits), since the DLL must not carry the C++ library's formatting; the same whatever C
// locale is set, and whatever precision the x87 unit has.
std::string FloatText(float value);

// How much of a key, value or section name a note quotes, in bytes of the file; a longer one is cut and its length
// given.
inline constexpr std::size_t kShownBytes = 80;

// Text as the file has it, with each byte that is a control character or not valid UTF-8 shown as \xNN, and no more
// than kShownBytes of it: a line of a megabyte is told by its start.
std::string Shown(std::string_view text);

// A colour as "R,G,B".
std::string ColourText(std::uint32_t colour);

// A texture name as its field holds it, up to its terminating zero.
std::string_view TextureName(const ValueTexture& texture);

// The value of the key of row `row` in `values` as the checker and the log show it: "true"/"false", the model id,
// the shortest text of a float, "R,G,B", or a texture's name with control characters and bytes that are not UTF-8 as
// \xNN.
std::string ValueText(const Values& values, std::size_t row);

}  // namespace config
