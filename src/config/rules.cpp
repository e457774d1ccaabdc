#include "config/rules.h"

#include <cstring>
#include <string>
#include <utility>

#include "config/ini_parser.h"
#include "config/settings.h"

namespace config {

std::uint32_t TrailColour = kWhite;
float TrailWidth = 0.0f;
char BannerTextureName[kTextureNameSize] = "Banner";
std::uint32_t SkyTrailColour = kWhite;

TrailRule TrailRules[kMaxTrailRules];
BannerRule BannerRules[kMaxBannerRules];
int TrailRuleCount = 0;
int BannerRuleCount = 0;
std::uint8_t ModelRules[65536];
std::uint32_t RulesMade = 0;

namespace {

constexpr bool IsModelId(std::int32_t model) { return model >= 0 && model <= 0xFFFF; }

// Whether a rule before `index` names the same model: then that one serves it.
template <class Rule>
bool NamedBefore(const Rule* rules, int index) {
  for (int k = 0; k < index; ++k) {
    if (rules[k].model == rules[index].model) return true;
  }
  return false;
}

// A whole number 0 to 255 at the start of `text`, spaces and tabs around it skipped; moves `text` past it.
std::optional<std::uint32_t> ColourChannel(std::string_view& text) {
  auto skipBlanks = [&text] {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  };
  skipBlanks();
  std::uint32_t value = 0;
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    value = value * 10 + static_cast<std::uint32_t>(text[digits] - '0');
    if (value > 255) return std::nullopt;  // also keeps a long run of digits from overflowing
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  text.remove_prefix(digits);
  skipBlanks();
  return value;
}

// Whether the game's dictionaries can hold a texture of this name: not empty, at most 31 bytes, and no zero byte,
// which would end it early.
bool IsTextureName(std::string_view name) {
  return !name.empty() && name.size() < kTextureNameSize && name.find('\0') == std::string_view::npos;
}

}  // namespace

TrailRule MainTrailRule() { return {ModelIDForTrail, EnableTrail, Height, TrailFadeTime, TrailColour, TrailWidth}; }

BannerRule MainBannerRule() {
  BannerRule rule{ModelIDForBanner, EnableBanner,    AppearOnlyAtAltitude, AppearWhenPilotIsInside,
                  AlwaysAppear,     HeightForBanner, BannerDrawDistance,   {}};
  std::memcpy(rule.texture, BannerTextureName, sizeof rule.texture);
  return rule;
}

void StartRules() {
  const TrailRule trail = MainTrailRule();
  const BannerRule banner = MainBannerRule();
  for (TrailRule& rule : TrailRules) rule = trail;
  for (BannerRule& rule : BannerRules) rule = banner;
  TrailRuleCount = 1;
  BannerRuleCount = 1;
}

bool AddTrailRule(const TrailRule& rule) {
  if (TrailRuleCount >= kMaxTrailRules) return false;
  TrailRules[TrailRuleCount++] = rule;
  return true;
}

bool AddBannerRule(const BannerRule& rule) {
  if (BannerRuleCount >= kMaxBannerRules) return false;
  BannerRule& added = BannerRules[BannerRuleCount++];
  added = rule;
  added.texture[kTextureNameSize - 1] = '\0';  // a name is always terminated, whatever the caller wrote
  return true;
}

void BuildModelRules() {
  std::memset(ModelRules, kNoRule, sizeof ModelRules);
  // Banners first: an enabled trail rule of the same model takes the model over.
  for (int k = 0; k < BannerRuleCount; ++k) {
    const BannerRule& rule = BannerRules[k];
    if (IsModelId(rule.model) && rule.enabled && !NamedBefore(BannerRules, k)) {
      ModelRules[rule.model] = static_cast<std::uint8_t>(kFirstBannerRule + k);
    }
  }
  for (int k = 0; k < TrailRuleCount; ++k) {
    const TrailRule& rule = TrailRules[k];
    if (IsModelId(rule.model) && rule.enabled && !NamedBefore(TrailRules, k)) {
      ModelRules[rule.model] = static_cast<std::uint8_t>(kFirstTrailRule + k);
    }
  }
  ++RulesMade;
}

std::optional<std::uint32_t> ParseColour(std::string_view text) {
  std::uint32_t colour = 0;
  for (int channel = 0; channel < 3; ++channel) {
    if (channel > 0) {
      if (text.empty() || text.front() != ',') return std::nullopt;
      text.remove_prefix(1);
    }
    const std::optional<std::uint32_t> value = ColourChannel(text);
    if (!value) return std::nullopt;
    colour = colour << 8 | *value;
  }
  if (!text.empty()) return std::nullopt;
  return colour;
}

std::optional<RuleSection> RuleSectionOf(std::string_view section) {
  RuleSection rule{};
  std::string_view number;
  if (section.substr(0, 6) == "Trail ") {
    rule.kind = RuleKind::kTrail;
    number = section.substr(6);
  } else if (section.substr(0, 7) == "Banner ") {
    rule.kind = RuleKind::kBanner;
    number = section.substr(7);
  } else {
    return std::nullopt;
  }
  std::uint32_t base = 10;
  if (number.size() > 2 && number[0] == '0' && (number[1] == 'x' || number[1] == 'X')) {
    base = 16;
    number.remove_prefix(2);
  }
  if (number.empty()) return std::nullopt;
  std::uint32_t model = 0;
  for (const char c : number) {
    std::uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint32_t>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint32_t>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint32_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    model = model * base + digit;
    if (model > 0xFFFF) return std::nullopt;  // also keeps a long run of digits from overflowing
  }
  rule.model = static_cast<std::int32_t>(model);
  return rule;
}

int RuleKeyIndex(RuleKind kind, std::string_view key) {
  const auto& keys = kind == RuleKind::kTrail ? kTrailRuleKeys : kBannerRuleKeys;
  const int count = kind == RuleKind::kTrail ? kTrailRuleKeyCount : kBannerRuleKeyCount;
  for (int k = 0; k < count; ++k) {
    if (key == keys[k]) return k;
  }
  return -1;
}

namespace {

// A banner rule's texture name from a line's value; a name the dictionaries cannot hold keeps `texture` as it is.
void StoreTextureName(char (&texture)[kTextureNameSize], std::string_view value) {
  if (!IsTextureName(value)) return;
  std::memset(texture, 0, kTextureNameSize);
  std::memcpy(texture, value.data(), value.size());
}

// One key of a rule section, by its place in kTrailRuleKeys.
void StoreTrailKey(TrailRule& rule, int key, std::string_view value) {
  switch (key) {
    case 0:
      rule.enabled = ConvertBool(value, rule.enabled);
      return;
    case 1:
      rule.height = ConvertFloat(value);
      return;
    case 2:
      rule.fadeTime = ConvertFloat(value);
      return;
    case 3:
      rule.colour = ParseColour(value).value_or(rule.colour);
      return;
    case 4:
      rule.width = ConvertFloat(value);
      return;
  }
}

// The same by its place in kBannerRuleKeys.
void StoreBannerKey(BannerRule& rule, int key, std::string_view value) {
  switch (key) {
    case 0:
      rule.enabled = ConvertBool(value, rule.enabled);
      return;
    case 1:
      rule.onlyAtAltitude = ConvertBool(value, rule.onlyAtAltitude);
      return;
    case 2:
      rule.whenPilotIsInside = ConvertBool(value, rule.whenPilotIsInside);
      return;
    case 3:
      rule.alwaysAppear = ConvertBool(value, rule.alwaysAppear);
      return;
    case 4:
      rule.height = ConvertFloat(value);
      return;
    case 5:
      rule.drawDistance = ConvertFloat(value);
      return;
    case 6:
      StoreTextureName(rule.texture, value);
      return;
  }
}

// [MAIN]'s keys of the rules: the first line of each counts, and one that does not read keeps the default.
void LoadMainRuleKeys(std::string_view text) {
  TrailColour = kWhite;
  SkyTrailColour = kWhite;
  TrailWidth = 0.0f;
  std::memset(BannerTextureName, 0, sizeof BannerTextureName);
  std::memcpy(BannerTextureName, kDefaultBannerTexture, std::char_traits<char>::length(kDefaultBannerTexture));
  bool colour = false, sky = false, width = false, texture = false;
  ParseIniText(text, [&](const IniLine& line) {
    if (line.header || line.section != kSettingsSection) return;
    if (line.key == kTrailColourKey && !std::exchange(colour, true)) {
      TrailColour = ParseColour(line.value).value_or(kWhite);
    } else if (line.key == kSkyTrailColourKey && !std::exchange(sky, true)) {
      SkyTrailColour = ParseColour(line.value).value_or(kWhite);
    } else if (line.key == kTrailWidthKey && !std::exchange(width, true)) {
      TrailWidth = ConvertFloat(line.value);
    } else if (line.key == kBannerTextureKey && !std::exchange(texture, true)) {
      StoreTextureName(BannerTextureName, line.value);
    }
  });
}

}  // namespace

void VisitRuleLines(std::string_view text, RuleLineVisit visit, void* context) {
  std::string_view trailSections[kMaxTrailRules] = {};
  std::string_view bannerSections[kMaxBannerRules] = {};
  int trailCount = 1;
  int bannerCount = 1;
  RuleSection section{};
  int current = -1;  // the rule the key lines go to; none outside a rule section, or past the limit
  ParseIniText(text, [&](const IniLine& line) {
    if (!line.header) {
      if (current >= 0) visit(RuleLine{line, section, current, false, false}, context);
      return;
    }
    current = -1;
    const std::optional<RuleSection> rule = RuleSectionOf(line.section);
    if (!rule) {
      visit(RuleLine{line, {}, -1, false, false}, context);
      return;
    }
    section = *rule;
    const bool trail = section.kind == RuleKind::kTrail;
    std::string_view* names = trail ? trailSections : bannerSections;
    int& count = trail ? trailCount : bannerCount;
    for (int k = 1; k < count; ++k) {
      if (names[k] == line.section) current = k;
    }
    if (current >= 0) {
      visit(RuleLine{line, section, current, false, false}, context);
    } else if (count < (trail ? kMaxTrailRules : kMaxBannerRules)) {
      current = count++;
      names[current] = line.section;
      visit(RuleLine{line, section, current, true, false}, context);
    } else {
      visit(RuleLine{line, section, -1, false, true}, context);
    }
  });
}

int RuleSectionsNotRead = 0;

void LoadRulesFrom(std::string_view text) noexcept {
  LoadMainRuleKeys(text);
  StartRules();
  RuleSectionsNotRead = 0;
  bool trailGiven[kMaxTrailRules][kTrailRuleKeyCount] = {};
  bool bannerGiven[kMaxBannerRules][kBannerRuleKeyCount] = {};
  VisitRuleLines(text, [&](const RuleLine& at) {
    const bool trail = at.section.kind == RuleKind::kTrail;
    if (at.pastLimit) {
      ++RuleSectionsNotRead;
    } else if (at.rule < 0) {
      return;
    } else if (at.opens && trail) {
      TrailRule rule = MainTrailRule();
      rule.model = at.section.model;
      AddTrailRule(rule);
    } else if (at.opens) {
      BannerRule rule = MainBannerRule();
      rule.model = at.section.model;
      AddBannerRule(rule);
    } else if (!at.line.header) {
      const int key = RuleKeyIndex(at.section.kind, at.line.key);
      if (key < 0) return;
      if (trail && !std::exchange(trailGiven[at.rule][key], true)) {
        StoreTrailKey(TrailRules[at.rule], key, at.line.value);
      } else if (!trail && !std::exchange(bannerGiven[at.rule][key], true)) {
        StoreBannerKey(BannerRules[at.rule], key, at.line.value);
      }
    }
  });
  BuildModelRules();
}

void RebuildRules() {
  StartRules();
  BuildModelRules();
}

}  // namespace config
