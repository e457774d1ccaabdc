#include "config/rules.h"

#include <cstring>
#include <string>

#include "config/ini_file.h"
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

void LoadRulesFrom(const IniFile& ini) {
  auto readColour = [&ini](const char* key) {
    const std::string* text = FindIniValue(ini.sections(), kSettingsSection, key);
    const std::optional<std::uint32_t> colour = text != nullptr ? ParseColour(*text) : std::nullopt;
    return colour.value_or(kWhite);
  };
  TrailColour = readColour(kTrailColourKey);
  SkyTrailColour = readColour(kSkyTrailColourKey);
  TrailWidth = ini.ReadFloat(kSettingsSection, kTrailWidthKey, 0.0f);
  const std::string* texture = FindIniValue(ini.sections(), kSettingsSection, kBannerTextureKey);
  const std::string_view name =
      texture != nullptr && IsTextureName(*texture) ? std::string_view(*texture) : kDefaultBannerTexture;
  std::memset(BannerTextureName, 0, sizeof BannerTextureName);
  std::memcpy(BannerTextureName, name.data(), name.size());
  RebuildRules();
}

void RebuildRules() {
  StartRules();
  BuildModelRules();
}

}  // namespace config
