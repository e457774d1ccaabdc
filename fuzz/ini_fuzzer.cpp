// libFuzzer target of the configuration reader, built natively (x86-64) with AddressSanitizer and
// UndefinedBehaviorSanitizer. Beyond "does not crash" it checks what must always hold:
// - parsed names and values are trimmed, and the sections the lines define written out and parsed again give them back;
// - the value the reader makes in its one walk (LoadSettingsFrom) is what a plain reading of the lines gives: every
//   setting, every rule with [MAIN]'s values under its own keys, which rule serves each model, and where each value
//   and each rule came from;
// - the accounts told from that value agree with it: the explainer's notes, the log's texts of the keys and the
//   rules, and the page's report, read back from its JSON;
// - the number conversions agree with the C library's in the C locale wherever the format means the same.

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/ini_explain.h"
#include "config/ini_file.h"
#include "config/ini_parser.h"
#include "config/rules.h"
#include "config/settings.h"
#include "page_report.h"

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

void CheckValue(std::string_view text) {
  const bool asTrue = ConvertBool(text, true);
  Require(asTrue == ConvertBool(text, false) || text.empty());
  CheckFloat(text);
  CheckInt(text);
}

// ---- A plain reading of the lines, to hold the reader's one walk to ---------------------------------------------

// A value given in a section: its text and its line.
struct Given {
  std::string value;
  std::size_t line;
};

struct PlainRule {
  std::string section;
  std::int32_t model = 0;
  std::size_t header = 0;
  std::map<std::size_t, Given> keys;                       // by row: the first line of each key the kind reads
  std::vector<std::pair<std::size_t, std::size_t>> spans;  // each header and the last line before the next one
};

struct PlainReading {
  std::map<std::size_t, Given> main;  // [MAIN]'s keys by row
  std::size_t mainHeader = 0;
  std::vector<PlainRule> rules[2] = {std::vector<PlainRule>(1), std::vector<PlainRule>(1)};  // [MAIN]'s first
  int notRead = 0;
  std::size_t unused = 0;  // lines that give nothing and tell why
  bool anyLine = false;
};

// "Trail N" or "Banner N", N decimal or hex after 0x, 0 to 65535: written here again, plainly.
std::optional<std::pair<int, std::int32_t>> PlainSection(std::string_view name) {
  const char* words[2] = {"Trail ", "Banner "};
  for (int kind = 0; kind < 2; ++kind) {
    if (!name.starts_with(words[kind])) continue;
    std::string_view number = name.substr(std::strlen(words[kind]));
    const bool hex = number.size() > 2 && number[0] == '0' && (number[1] == 'x' || number[1] == 'X');
    if (hex) number.remove_prefix(2);
    if (number.empty() || number.size() > 12) return std::nullopt;
    for (const char c : number) {
      if (!(hex ? IsHexDigit(c) : IsDigit(c))) return std::nullopt;
    }
    const long long model = std::strtoll(std::string(number).c_str(), nullptr, hex ? 16 : 10);
    if (model > 65535) return std::nullopt;
    return std::pair{kind, static_cast<std::int32_t>(model)};
  }
  return std::nullopt;
}

bool IsMainKey(std::size_t row) { return row < kKeyCount && (kKeys[row].readIn & kInMain) != 0; }

std::size_t MainKeyIgnoringCase(std::string_view key) {
  for (std::size_t row = 0; row < kKeyCount; ++row) {
    if (IsMainKey(row) && EqualsIgnoringAsciiCase(key, kKeys[row].name)) return row;
  }
  return kKeyCount;
}

PlainReading ReadPlainly(std::string_view text) {
  PlainReading plain;
  enum { kMain, kRule, kPastLimit, kOther } in = kOther;
  int kind = 0;
  std::size_t rule = 0;
  std::pair<std::size_t, std::size_t>* span = nullptr;
  ParseIniText(text, [&](const IniLine& line) {
    plain.anyLine = true;
    if (line.header) {
      if (span != nullptr) span->second = line.number - 1;
      span = nullptr;
      in = kOther;
      if (line.section == "MAIN") {
        in = kMain;
        if (plain.mainHeader == 0) plain.mainHeader = line.number;
        return;
      }
      const auto section = PlainSection(line.section);
      if (!section) {
        ++plain.unused;
        return;
      }
      kind = section->first;
      std::vector<PlainRule>& rules = plain.rules[kind];
      rule = 0;
      for (std::size_t k = 1; k < rules.size(); ++k) rule = rules[k].section == line.section ? k : rule;
      if (rule == 0 && rules.size() == 8) {
        ++plain.notRead;
        ++plain.unused;
        in = kPastLimit;
        return;
      }
      if (rule == 0) {
        rule = rules.size();
        rules.push_back({std::string(line.section), section->second, line.number, {}, {}});
      }
      in = kRule;
      rules[rule].spans.push_back({line.number, 0});
      span = &rules[rule].spans.back();
      return;
    }
    const std::size_t row = KeyRow(line.key);
    if (in == kMain || in == kRule) {
      const bool reads = in == kMain ? IsMainKey(row) : row < kKeyCount && ReadsKey(static_cast<RuleKind>(kind), row);
      auto& keys = in == kMain ? plain.main : plain.rules[kind][rule].keys;
      if (!reads || !keys.try_emplace(row, Given{std::string(line.value), line.number}).second) ++plain.unused;
    } else if (in == kOther && MainKeyIgnoringCase(line.key) != kKeyCount) {
      ++plain.unused;
    }
  });
  return plain;
}

// A value's text into a field, as the format says, over `fallback`; whether it converted.
bool Read(std::size_t row, const std::string& text, Values& values, const Values& fallback) {
  const Key& key = kKeys[row];
  switch (key.type) {
    case KeyType::kFlag:
      values.*key.flag.value = ConvertBool(text, fallback.*key.flag.value);
      return true;
    case KeyType::kNumber:
      values.*key.number.value = ConvertFloat(text);
      return true;
    case KeyType::kModelId:
      try {
        values.*key.modelId.value = ConvertInt(text);
        return true;
      } catch (const std::exception&) {
        values.*key.modelId.value = fallback.*key.modelId.value;
        return false;
      }
    case KeyType::kColour:
      values.*key.colour.value = ParseColour(text).value_or(fallback.*key.colour.value);
      return ParseColour(text).has_value();
    case KeyType::kTexture: {
      const bool name = !text.empty() && text.size() <= 31 && text.find('\0') == std::string::npos;
      std::memset(values.*key.texture.value, 0, sizeof(ValueTexture));
      std::memcpy(values.*key.texture.value, name ? text.data() : fallback.*key.texture.value,
                  name ? text.size() : std::strlen(fallback.*key.texture.value));
      return name;
    }
  }
  return true;
}

void RequireSame(const Values& a, const Values& b) {
  for (std::size_t row = 0; row < kKeyCount; ++row) {
    const Key& key = kKeys[row];
    switch (key.type) {
      case KeyType::kFlag:
        Require(a.*key.flag.value == b.*key.flag.value);
        break;
      case KeyType::kNumber:
        Require(a.*key.number.value == b.*key.number.value &&
                std::signbit(a.*key.number.value) == std::signbit(b.*key.number.value));
        break;
      case KeyType::kModelId:
        Require(a.*key.modelId.value == b.*key.modelId.value);
        break;
      case KeyType::kColour:
        Require(a.*key.colour.value == b.*key.colour.value);
        break;
      case KeyType::kTexture:
        Require(std::memcmp(a.*key.texture.value, b.*key.texture.value, sizeof(ValueTexture)) == 0);
        break;
    }
  }
}

void RequireSource(const Source& source, const Given* given, bool converted, std::string_view text) {
  Require(source.line == (given != nullptr ? given->line : 0));
  if (given == nullptr) return;
  Require(source.value.In(text) == given->value);
  Require((source.problem == ValueProblem::kNone) == converted);
  Require(source.used <= source.value.length);
}

// The reader's value against the plain reading of the same text.
void CheckValueAgainstPlainReading(std::string_view text, const Configuration& read) {
  const PlainReading plain = ReadPlainly(text);
  std::uint32_t failures = 0;
  const Values defaults = DefaultValues();
  Values main = defaults;
  bool mainConverted[kKeyCount] = {};
  for (const auto& [row, given] : plain.main) {
    mainConverted[row] = Read(row, given.value, main, defaults);
    failures += mainConverted[row] ? 0 : 1;
  }
  RequireSame(read, main);
  for (std::size_t row = 0; row < kKeyCount; ++row) {
    const auto found = plain.main.find(row);
    RequireSource(read.mainKeys[row], found != plain.main.end() ? &found->second : nullptr, mainConverted[row], text);
  }
  Require(read.mainHeader == plain.mainHeader);
  Require(read.ruleSectionsNotRead == plain.notRead);
  Require(read.anyLine == plain.anyLine);
  Require(read.unusedCount == plain.unused);

  // Which rule serves each model, as the rules say.
  std::map<std::int32_t, std::uint8_t> served;
  for (const RuleKind kind : {RuleKind::kBanner, RuleKind::kTrail}) {
    const std::vector<PlainRule>& rules = plain.rules[static_cast<int>(kind)];
    Require(RuleCountOf(read, kind) == static_cast<int>(rules.size()));
    std::map<std::int32_t, int> first;
    for (int k = 0; k < static_cast<int>(rules.size()); ++k) {
      Values rule = main;
      rule.*kKeys[InfoOf(kind).modelKey].modelId.value = k == 0 ? ModelOf(main, kind) : rules[k].model;
      const RuleOrigin& origin = OriginsOf(read, kind)[k];
      for (std::size_t row = 0; row < kKeyCount; ++row) {
        const auto found = rules[k].keys.find(row);
        const bool converted = found == rules[k].keys.end() || Read(row, found->second.value, rule, main);
        failures += converted ? 0 : 1;
        if (k > 0)
          RequireSource(origin.keys[row], found != rules[k].keys.end() ? &found->second : nullptr, converted, text);
      }
      RequireSame(RuleValues(RulesOf(read, kind), k), rule);
      const std::int32_t model = ModelOf(rule, kind);
      const int firstNaming = first.try_emplace(model, k).first->second;
      Require(origin.servedBy == firstNaming);
      if (firstNaming == k && IsModelId(model) && IsEnabled(rule, kind)) {
        served[model] = static_cast<std::uint8_t>((kind == RuleKind::kTrail ? kFirstTrailRule : kFirstBannerRule) + k);
      }
      if (k == 0) continue;
      Require(origin.header == rules[k].header && origin.section.In(text) == rules[k].section);
      Require(origin.spanCount == rules[k].spans.size());
      for (std::size_t s = 0; s < rules[k].spans.size() && s < kKeptSpans; ++s) {
        Require(origin.spans[s].header == rules[k].spans[s].first && origin.spans[s].last == rules[k].spans[s].second);
      }
    }
    // Places past the rules hold [MAIN]'s values.
    for (int k = static_cast<int>(rules.size()); k < InfoOf(kind).maxRules; ++k)
      RequireSame(RuleValues(RulesOf(read, kind), k), main);
  }
  for (std::int32_t model = kLowestModelId; model <= kHighestModelId; ++model) {
    const auto found = served.find(model);
    Require(read.modelRules[model] == (found != served.end() ? found->second : kNoRule));
  }
  Require(read.failures == failures);
}

// ---- The accounts told from the value ---------------------------------------------------------------------------

// A key's value as text, read back through the reader's own conversion, is the value.
void RequireReadsBack(const Values& values, std::size_t row, const std::string& text, bool shown) {
  const Key& key = kKeys[row];
  switch (key.type) {
    case KeyType::kFlag:
      Require(text == (values.*key.flag.value ? "true" : "false"));
      return;
    case KeyType::kNumber: {
      const float number = values.*key.number.value;
      Require(std::isinf(number)
                  ? text == (number < 0 ? "-inf" : "inf")
                  : ConvertFloat(text) == number && std::signbit(ConvertFloat(text)) == std::signbit(number));
      return;
    }
    case KeyType::kModelId:
      Require(ConvertInt(text) == values.*key.modelId.value && std::to_string(values.*key.modelId.value) == text);
      return;
    case KeyType::kColour:
      Require(ParseColour(text) == values.*key.colour.value);
      return;
    case KeyType::kTexture:
      Require(text == (shown ? Shown(TextureName(values.*key.texture.value))
                             : std::string(TextureName(values.*key.texture.value))));
      return;
  }
}

// The log's and the checker's account: each key's text, and each rule's sentence, say the value.
void CheckTexts(const Configuration& read) {
  for (std::size_t row = 0; row < kKeyCount; ++row) RequireReadsBack(read, row, ValueText(read, row), true);
  for (const RuleKind kind : {RuleKind::kTrail, RuleKind::kBanner}) {
    for (int k = 0; k < RuleCountOf(read, kind); ++k) {
      const Values rule = RuleValues(RulesOf(read, kind), k);
      const std::string text = RuleText(read, {kind, k});
      const std::string model = "model " + std::to_string(ModelOf(rule, kind)) + ", ";
      Require(text.starts_with(model + (IsEnabled(rule, kind) ? "enabled, " : "disabled, ")));
      // Every key the rule reads is told by its value's text (a flag by 0 or 1 after its name).
      for (std::size_t row = 0; row < kKeyCount; ++row) {
        if (!ReadsKey(kind, row) || row == InfoOf(kind).enableKey) continue;
        const Key& key = kKeys[row];
        if (key.type == KeyType::kFlag) {
          Require(text.find(std::string(key.name) + "=" + (rule.*key.flag.value ? "1" : "0")) != std::string::npos);
        } else if (row != RowOf("TrailWidth") || (rule.TrailWidth > 0.0f && std::isfinite(rule.TrailWidth))) {
          Require(text.find(ValueText(rule, row)) != std::string::npos);
        }
      }
    }
  }
}

// The explainer's account: notes in the order of the lines, each line that gives nothing or a value that does not
// convert told, and the file's notes last.
std::vector<page::Note> CheckNotes(std::string_view bytes, const Configuration& read) {
  std::vector<page::Note> notes;
  ExplainIni(bytes, read, [&notes](std::size_t line, const std::string& text) { notes.push_back({line, text}); });
  const bool binary = bytes.find('\0') != std::string_view::npos;
  std::size_t onLines = 0;
  std::size_t last = 0;
  bool fileNotes = false;
  const bool ctrlZ = IniTextOf(bytes).size() < bytes.size() && !binary;
  for (std::size_t k = 0; k < notes.size(); ++k) {
    const bool ctrlZNote = ctrlZ && notes[k].text.starts_with("a byte 0x1A");
    if (notes[k].line == 0 || ctrlZNote) {
      fileNotes = true;
      continue;
    }
    Require(!fileNotes && !binary && notes[k].line >= last);
    last = notes[k].line;
    ++onLines;
  }
  Require(onLines <= kLineNoteLimit);
  const auto toldOn = [&notes](std::uint32_t line) {
    for (const page::Note& note : notes) {
      if (note.line == line) return true;
    }
    return false;
  };
  const bool all = !binary && read.unusedCount <= kKeptUnusedLines && onLines < kLineNoteLimit;
  if (all) {
    for (std::uint32_t k = 0; k < read.unusedCount; ++k) Require(toldOn(read.unused[k].line));
    for (const Source& source : read.mainKeys) Require(source.problem == ValueProblem::kNone || toldOn(source.line));
    for (const RuleKind kind : {RuleKind::kTrail, RuleKind::kBanner}) {
      for (int k = 1; k < RuleCountOf(read, kind); ++k) {
        for (const Source& source : OriginsOf(read, kind)[k].keys) {
          Require(source.problem == ValueProblem::kNone || toldOn(source.line));
        }
      }
    }
  }
  bool noMain = false;
  for (const page::Note& note : notes) noMain = noMain || note.text.starts_with("there is no [MAIN] section");
  Require(noMain == (read.mainHeader == 0 && read.anyLine));
  return notes;
}

// JSON as the page's script reads it: enough of it for the page's report.
struct Json {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<Json> items;         // an array's, or an object's values
  std::vector<std::string> names;  // an object's names, in the order of its values

  const Json& operator[](std::string_view name) const {
    for (std::size_t k = 0; k < names.size(); ++k) {
      if (names[k] == name) return items[k];
    }
    Require(false);
    return *this;
  }
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  Json Document() {
    Json json = Value();
    Require(at_ == text_.size());
    return json;
  }

 private:
  char Next() {
    Require(at_ < text_.size());
    return text_[at_++];
  }

  std::string String() {
    Require(Next() == '"');
    std::string text;
    for (char c = Next(); c != '"'; c = Next()) {
      Require(static_cast<unsigned char>(c) >= 0x20);
      if (c != '\\') {
        text += c;
        continue;
      }
      c = Next();
      if (c == 'u') {
        const std::string hex(text_.substr(at_, 4));
        at_ += 4;
        const long code = std::strtol(hex.c_str(), nullptr, 16);
        Require(code < 0x20);  // the page's report escapes only control characters
        text += static_cast<char>(code);
      } else {
        Require(c == '"' || c == '\\');
        text += c;
      }
    }
    return text;
  }

  Json Value() {
    Require(at_ < text_.size());
    Json json;
    const char c = text_[at_];
    if (c == '{' || c == '[') {
      ++at_;
      json.kind = c == '{' ? Json::kObject : Json::kArray;
      const char end = c == '{' ? '}' : ']';
      if (at_ < text_.size() && text_[at_] == end) {
        ++at_;
        return json;
      }
      for (;;) {
        if (json.kind == Json::kObject) {
          json.names.push_back(String());
          Require(Next() == ':');
        }
        json.items.push_back(Value());
        const char separator = Next();
        if (separator == end) return json;
        Require(separator == ',');
      }
    }
    if (c == '"') {
      json.kind = Json::kString;
      json.string = String();
    } else if (text_.substr(at_, 4) == "true" || text_.substr(at_, 5) == "false") {
      json.kind = Json::kBool;
      json.boolean = c == 't';
      at_ += json.boolean ? 4 : 5;
    } else {
      json.kind = Json::kNumber;
      const std::string rest(text_.substr(at_, 32));
      char* end = nullptr;
      json.number = std::strtod(rest.c_str(), &end);
      Require(end != rest.c_str());
      at_ += static_cast<std::size_t>(end - rest.c_str());
    }
    return json;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

// The page's account: its report, read as its script reads it, says the value, and the explainer's notes.
void CheckPageReport(const Configuration& read, const std::vector<page::Note>& notes) {
  const Json report = JsonReader(page::ReportJson(read, notes, true)).Document();
  for (std::size_t row = 0; row < kKeyCount; ++row) {
    const Json& key = report["keys"][kKeys[row].name];
    RequireReadsBack(read, row, key["value"].string, false);
    const ValueLines lines = LinesOf(read.mainKeys[row]);
    Require(key["line"].number == lines.line && key["failedLine"].number == lines.failedLine);
  }
  Require(report["mainHeader"].number == read.mainHeader && report["notRead"].number == read.ruleSectionsNotRead);
  std::size_t at = 0;
  for (const RuleKind kind : {RuleKind::kTrail, RuleKind::kBanner}) {
    for (int k = 0; k < RuleCountOf(read, kind); ++k, ++at) {
      Require(at < report["rules"].items.size());
      const Json& rule = report["rules"].items[at];
      const Values values = RuleValues(RulesOf(read, kind), k);
      const RuleOrigin& origin = OriginsOf(read, kind)[k];
      Require(rule["kind"].string == InfoOf(kind).name && rule["index"].number == k);
      Require(rule["model"].string == std::to_string(ModelOf(values, kind)));
      for (std::size_t row = 0; row < kKeyCount; ++row) {
        if (!ReadsKey(kind, row)) continue;
        RequireReadsBack(values, row, rule["values"][kKeys[row].name].string, false);
        Require(rule["keyLines"][kKeys[row].name].number == origin.keys[row].line);
      }
      const std::vector<Json>& spans = rule["spans"].items;
      Require(spans.size() == (origin.spanCount <= kKeptSpans ? origin.spanCount : 0));
      for (std::size_t s = 0; s < spans.size(); ++s) {
        Require(spans[s].items[0].number == origin.spans[s].header && spans[s].items[1].number == origin.spans[s].last);
      }
    }
  }
  Require(at == report["rules"].items.size());
  const std::vector<Json>& told = report["notes"].items;
  Require(told.size() == notes.size());
  for (std::size_t k = 0; k < notes.size(); ++k) {
    Require(told[k]["line"].number == static_cast<double>(notes[k].line) && told[k]["text"].string == notes[k].text);
  }
}

// Made anew for each input, in one place: the value is large.
Configuration made;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  std::size_t lastLine = 0;
  ParseIniText(bytes, [&](const IniLine& line) {
    Require(line.number > lastLine);
    lastLine = line.number;
    Require(TrimmedLeft(line.section) && TrimmedRight(line.section) && TrimmedRight(line.key));
    Require(TrimmedLeft(line.value) && TrimmedRight(line.value));
    Require(line.key.find('=') == std::string_view::npos);
    Require(!line.header || (line.key.empty() && line.value.empty()));
  });

  const Sections sections = SectionsOf(bytes);
  Require(SectionsOf(Serialise(sections)) == sections);

  const std::string_view text = IniTextOf(bytes);
  LoadSettingsFrom(text, made);
  CheckValueAgainstPlainReading(text, made);
  CheckTexts(made);
  CheckPageReport(made, CheckNotes(bytes, made));

  CheckValue(bytes);
  for (const auto& [name, keys] : sections) {
    for (const auto& [key, value] : keys) CheckValue(value);
  }
  return 0;
}
