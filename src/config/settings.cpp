#include "config/settings.h"

#include <cstring>
#include <type_traits>

#include "config/ini_parser.h"
#include "config/rules.h"

namespace config {

Configuration InEffect;
std::uint32_t RulesMade = 0;

static_assert(std::is_trivially_copyable_v<Configuration>, "saving and restoring the value is a copy");
static_assert(kKeyCount <= 255, "an unused line names a row in a byte");

namespace {

// An empty piece may point nowhere (no section before the first header): it is any empty piece of the text.
TextPiece PieceOf(std::string_view text, std::string_view piece) {
  if (piece.empty()) return {0, 0};
  return {static_cast<std::uint32_t>(piece.data() - text.data()), static_cast<std::uint32_t>(piece.size())};
}

// The row of the key that `name` is but for the letter case, among those `readIn` reads, or kKeyCount.
std::size_t RowIgnoringCase(std::string_view name, unsigned readIn) {
  for (std::size_t row = 0; row < kKeyCount; ++row) {
    if ((kKeys[row].readIn & readIn) != 0 && EqualsIgnoringAsciiCase(name, kKeys[row].name)) return row;
  }
  return kKeyCount;
}

// The field of row `row` in `values` from `text`; `fallback` holds what a value that does not convert keeps: the
// defaults, or [MAIN]'s values. Records in `source` how much was read and whether it converted.
void Convert(std::size_t row, std::string_view text, Values& values, const Values& fallback, Source& source) noexcept {
  const Key& key = kKeys[row];
  switch (key.type) {
    case KeyType::kFlag:
      values.*key.flag.value = ConvertBool(text, fallback.*key.flag.value);
      return;
    case KeyType::kNumber: {
      std::size_t used = 0;
      values.*key.number.value = ConvertFloat(text, &used);
      source.used = static_cast<std::uint32_t>(used);
      return;
    }
    case KeyType::kModelId: {
      // A value that does not convert keeps the default rather than stop the reader half way.
      const IntegerReading id = ReadInteger(text);
      values.*key.modelId.value = id.problem == IntegerProblem::kNone ? id.value : fallback.*key.modelId.value;
      source.used = static_cast<std::uint32_t>(id.used);
      if (id.problem == IntegerProblem::kNoDigits) source.problem = ValueProblem::kNotAnInteger;
      if (id.problem == IntegerProblem::kOutOfRange) source.problem = ValueProblem::kIntegerTooFar;
      return;
    }
    case KeyType::kColour: {
      const std::optional<std::uint32_t> colour = ParseColour(text);
      values.*key.colour.value = colour.value_or(fallback.*key.colour.value);
      if (!colour) source.problem = ValueProblem::kNotAColour;
      return;
    }
    case KeyType::kTexture:
      if (!IsTextureName(text)) {
        std::memcpy(values.*key.texture.value, fallback.*key.texture.value, kTextureNameSize);
        source.problem = ValueProblem::kNotATextureName;
        return;
      }
      std::memset(values.*key.texture.value, 0, kTextureNameSize);
      std::memcpy(values.*key.texture.value, text.data(), text.size());
      return;
  }
}

// The first of a kind's rules that names the model rule `index` names: the one that serves it.
int FirstNaming(const Rules& rules, RuleKind kind, int index) {
  int first = 0;
  while (ModelOf(rules, kind, first) != ModelOf(rules, kind, index)) ++first;
  return first;
}

// The walk over the lines: where the lines stand, and what each gives.
class Walk {
 public:
  Walk(std::string_view text, Configuration& into) : text_(text), into_(into) {
    // [MAIN]'s rules come first.
    into_.trailRuleCount = 1;
    into_.bannerRuleCount = 1;
  }

  void Header(const IniLine& line) {
    EndSpan(line.number - 1);
    in_ = In::kOther;
    section_ = line.section;
    if (line.section == kSettingsSection) {
      in_ = In::kMain;
      if (into_.mainHeader == 0) into_.mainHeader = static_cast<std::uint32_t>(line.number);
    } else if (const std::optional<RuleSection> rule = RuleSectionOf(line.section)) {
      RuleHeader(line, *rule);
    } else {
      OtherHeader(line);
    }
  }

  void KeyLine(const IniLine& line) {
    const std::size_t row = KeyRow(line.key);
    switch (in_) {
      case In::kMain:
        if (row == kKeyCount || (kKeys[row].readIn & kInMain) == 0) {
          return NotRead(line, RowIgnoringCase(line.key, kInMain), false);
        }
        return Give(line, into_.mainKeys[row]);
      case In::kRule:
        if (row == kKeyCount || !ReadsKey(kind_, row)) {
          return NotRead(line, RowIgnoringCase(line.key, InfoOf(kind_).readIn), true);
        }
        return Give(line, Origins(kind_)[rule_].keys[row]);
      case In::kPastLimit:
        return;  // its header says that nothing in it is read
      case In::kOther:
        // A key of [MAIN] in the wrong place; any other line's section header has the note.
        if (const std::size_t similar = RowIgnoringCase(line.key, kInMain); similar != kKeyCount) {
          UnusedLine& unused = Add(line, Unused::kOutsideMain);
          unused.row = static_cast<std::uint8_t>(similar);
          unused.section = PieceOf(text_, section_);
        }
        return;
    }
  }

  // After the last line: the values from the lines that gave them, the rules from [MAIN]'s values and their sections'
  // lines, and the table of models.
  void Finish() {
    EndSpan(0);
    const Values defaults = DefaultValues();
    Values& main = into_;
    main = defaults;
    for (std::size_t row = 0; row < kKeyCount; ++row) Read(row, main, defaults, into_.mainKeys[row]);
    FinishRules(RuleKind::kTrail, into_.trailRuleCount);
    FinishRules(RuleKind::kBanner, into_.bannerRuleCount);
    MakeModelTable();
    ++RulesMade;
  }

 private:
  enum class In { kMain, kRule, kPastLimit, kOther };

  Rules& RulesOf(RuleKind kind) { return kind == RuleKind::kTrail ? into_.trailRules : into_.bannerRules; }
  RuleOrigin* Origins(RuleKind kind) { return kind == RuleKind::kTrail ? into_.trailOrigins : into_.bannerOrigins; }
  int& Count(RuleKind kind) { return kind == RuleKind::kTrail ? into_.trailRuleCount : into_.bannerRuleCount; }

  UnusedLine& Add(const IniLine& line, Unused why) {
    // Past the kept ones each is counted, and the last place is written over: it is never read.
    UnusedLine& unused = into_.unused[into_.unusedCount < kKeptUnusedLines ? into_.unusedCount : kKeptUnusedLines - 1];
    ++into_.unusedCount;
    unused = {};
    unused.line = static_cast<std::uint32_t>(line.number);
    unused.why = why;
    unused.row = static_cast<std::uint8_t>(kKeyCount);
    unused.name = PieceOf(text_, line.header ? line.section : line.key);
    unused.value = PieceOf(text_, line.value);
    return unused;
  }

  // A key its section reads: the first line with it gives its value.
  void Give(const IniLine& line, Source& source) {
    if (source.line != 0) {
      UnusedLine& unused = Add(line, Unused::kGivenAgain);
      unused.other = source.line;
      unused.inRule = in_ == In::kRule;
      unused.rule = kind_;
      return;
    }
    source.line = static_cast<std::uint32_t>(line.number);
    source.value = PieceOf(text_, line.value);
  }

  // A key its section does not read: `similar`, a key it reads in another letter case, or kKeyCount.
  void NotRead(const IniLine& line, std::size_t similar, bool inRule) {
    const bool comment = !line.key.empty() && (line.key[0] == ';' || line.key[0] == '#');
    UnusedLine& unused = Add(line, similar != kKeyCount ? Unused::kKeyInOtherCase
                                   : comment            ? Unused::kComment
                                                        : Unused::kUnknownKey);
    unused.row = static_cast<std::uint8_t>(similar);
    unused.inRule = inRule;
    unused.rule = kind_;
  }

  void RuleHeader(const IniLine& line, const RuleSection& section) {
    RuleOrigin* origins = Origins(section.kind);
    int& count = Count(section.kind);
    int rule = 0;
    for (int k = 1; k < count; ++k) {
      if (origins[k].section.In(text_) == line.section) rule = k;
    }
    if (rule == 0 && count == InfoOf(section.kind).maxRules) {
      ++into_.ruleSectionsNotRead;
      in_ = In::kPastLimit;
      Add(line, Unused::kPastLimit).rule = section.kind;
      return;
    }
    if (rule == 0) {
      rule = count++;
      origins[rule].section = PieceOf(text_, line.section);
      origins[rule].header = static_cast<std::uint32_t>(line.number);
      models_[static_cast<int>(section.kind)][rule] = section.model;
    }
    in_ = In::kRule;
    kind_ = section.kind;
    rule_ = rule;
    RuleOrigin& origin = origins[rule];
    if (origin.spanCount < kKeptSpans) origin.spans[origin.spanCount] = {static_cast<std::uint32_t>(line.number), 0};
    ++origin.spanCount;
    openSpan_ = origin.spanCount <= kKeptSpans ? &origin.spans[origin.spanCount - 1] : nullptr;
  }

  // The header of a section that is neither [MAIN] nor a rule's: what it looks like.
  void OtherHeader(const IniLine& line) {
    const std::string_view name = line.section;
    if (EqualsIgnoringAsciiCase(name, kSettingsSection)) {
      Add(line, Unused::kMainInOtherCase);
      return;
    }
    for (const RuleKindInfo& info : kRuleKinds) {
      const std::size_t word = std::strlen(info.section);
      if (!EqualsIgnoringAsciiCase(name.substr(0, word), info.section)) continue;
      // Its word in another letter case, followed by what makes a rule.
      const bool otherCase = name.substr(0, word) != info.section && name.size() > word && name[word] == ' ' &&
                             RuleSectionModel(name.substr(word + 1));
      Add(line, otherCase ? Unused::kRuleInOtherCase : Unused::kNotARule).rule =
          static_cast<RuleKind>(&info - kRuleKinds);
      return;
    }
    Add(line, Unused::kSectionNotRead);
  }

  void EndSpan(std::size_t last) {
    if (openSpan_ != nullptr) openSpan_->last = static_cast<std::uint32_t>(last);
    openSpan_ = nullptr;
  }

  // The value of row `row` from the line its source names, over `fallback`.
  void Read(std::size_t row, Values& values, const Values& fallback, Source& source) {
    if (source.line == 0) return;
    Convert(row, source.value.In(text_), values, fallback, source);
    if (source.problem != ValueProblem::kNone) ++into_.failures;
  }

  // Each rule of a kind: [MAIN]'s values, its model from its header, and its sections' keys over them. Places past the
  // rules hold [MAIN]'s values.
  void FinishRules(RuleKind kind, int count) {
    Rules& rules = RulesOf(kind);
    RuleOrigin* origins = Origins(kind);
    const Values& main = into_;
    SetRule(rules, 0, main);
    for (int k = 1; k < InfoOf(kind).maxRules; ++k) {
      Values rule = main;
      if (k < count) {
        rule.*kKeys[InfoOf(kind).modelKey].modelId.value = models_[static_cast<int>(kind)][k];
        for (std::size_t row = 0; row < kKeyCount; ++row) Read(row, rule, main, origins[k].keys[row]);
      }
      SetRule(rules, k, rule);
    }
    for (int k = 0; k < count; ++k) origins[k].servedBy = FirstNaming(rules, kind, k);
  }

  // For each model id the first trail rule that names it is its trail rule, and the first banner rule that names it its
  // banner rule; a later rule naming it is not used for it. An aircraft is a trail aircraft while its trail rule is
  // enabled, else a banner aircraft while its banner rule is enabled.
  void MakeModelTable() {
    static_assert(kNoRule == 0, "the table starts all kNoRule with the value");
    // Banners first: an enabled trail rule of the same model takes the model over.
    for (const RuleKind kind : {RuleKind::kBanner, RuleKind::kTrail}) {
      const Rules& rules = RulesOf(kind);
      const std::uint8_t first = kind == RuleKind::kTrail ? kFirstTrailRule : kFirstBannerRule;
      for (int k = 0; k < Count(kind); ++k) {
        const std::int32_t model = ModelOf(rules, kind, k);
        if (IsModelId(model) && IsEnabled(rules, kind, k) && Origins(kind)[k].servedBy == k) {
          into_.modelRules[model] = static_cast<std::uint8_t>(first + k);
        }
      }
    }
  }

  std::string_view text_;
  Configuration& into_;
  In in_ = In::kOther;  // before any header: the section with the empty name
  std::string_view section_;
  RuleKind kind_ = RuleKind::kTrail;
  int rule_ = 0;
  SectionSpan* openSpan_ = nullptr;  // the span of the rule section the lines are in
  std::int32_t models_[2][kMaxTrailRules > kMaxBannerRules ? kMaxTrailRules : kMaxBannerRules] = {};
};

}  // namespace

Values RuleValues(const Rules& rules, int k) {
  Values values{};
  for (const Key& key : kKeys) {
    switch (key.type) {
      case KeyType::kFlag:
        values.*key.flag.value = (rules.*key.flag.column)[k];
        break;
      case KeyType::kNumber:
        values.*key.number.value = (rules.*key.number.column)[k];
        break;
      case KeyType::kModelId:
        values.*key.modelId.value = (rules.*key.modelId.column)[k];
        break;
      case KeyType::kColour:
        values.*key.colour.value = (rules.*key.colour.column)[k];
        break;
      case KeyType::kTexture:
        std::memcpy(values.*key.texture.value, (rules.*key.texture.column)[k], kTextureNameSize);
        break;
    }
  }
  return values;
}

void SetRule(Rules& rules, int k, const Values& values) {
  for (const Key& key : kKeys) {
    switch (key.type) {
      case KeyType::kFlag:
        (rules.*key.flag.column)[k] = values.*key.flag.value;
        break;
      case KeyType::kNumber:
        (rules.*key.number.column)[k] = values.*key.number.value;
        break;
      case KeyType::kModelId:
        (rules.*key.modelId.column)[k] = values.*key.modelId.value;
        break;
      case KeyType::kColour:
        (rules.*key.colour.column)[k] = values.*key.colour.value;
        break;
      case KeyType::kTexture:
        std::memcpy((rules.*key.texture.column)[k], values.*key.texture.value, kTextureNameSize);
        break;
    }
  }
}

Values DefaultValues() {
  Values defaults{};
  for (std::size_t row = 0; row < kKeyCount; ++row) {
    Source source{};
    Convert(row, kKeys[row].defaultText, defaults, defaults, source);
  }
  return defaults;
}

void LoadSettingsFrom(std::string_view text, Configuration& into) noexcept {
  // In place and with no copy on the stack: the value is large, and the game's stack is not the plug-in's.
  std::memset(static_cast<void*>(&into), 0, sizeof into);
  Walk walk(text, into);
  ParseIniText(text, [&walk, &into](const IniLine& line) {
    into.anyLine = true;
    if (line.header) {
      walk.Header(line);
    } else {
      walk.KeyLine(line);
    }
  });
  walk.Finish();
}

std::uint32_t RuleLine(const Configuration& read, RuleRef rule) {
  if (rule.index > 0) return OriginsOf(read, rule.kind)[rule.index].header;
  return read.mainKeys[InfoOf(rule.kind).modelKey].line;
}

}  // namespace config
