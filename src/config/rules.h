#pragma once
// Rules: which aircraft models leave a trail and which tow a banner, each rule with its own look. The first trail
// rule and the first banner rule are [MAIN]'s settings; further ones come after them, in the order they are added.
// All are made anew at every read of the settings, together with a table from model id to the rule that serves the
// model, so that the scan finds an aircraft's rule with one lookup, however many rules there are.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>

#include "config/ini_parser.h"

namespace config {

// [MAIN]'s rule included.
inline constexpr int kMaxTrailRules = 8;
inline constexpr int kMaxBannerRules = 8;

// A texture's name as the game's dictionaries hold it: up to 31 bytes, and the terminating zero.
inline constexpr std::size_t kTextureNameSize = 32;

// Red, green and blue in bits 16 to 23, 8 to 15 and 0 to 7, as a vertex colour holds them below its alpha.
inline constexpr std::uint32_t kWhite = 0xFFFFFF;

struct TrailRule {
  std::int32_t model;    // ModelIDForTrail; outside 0..65535 it matches no aircraft
  bool enabled;          // EnableTrail
  float height;          // Height: points are laid only above it
  float fadeTime;        // TrailFadeTime
  std::uint32_t colour;  // TrailColour
  float width;           // TrailWidth: above 0 (and finite), a ribbon this wide; else the thin line
};

struct BannerRule {
  std::int32_t model;              // ModelIDForBanner
  bool enabled;                    // EnableBanner
  bool onlyAtAltitude;             // AppearOnlyAtAltitude
  bool whenPilotIsInside;          // AppearWhenPilotIsInside
  bool alwaysAppear;               // AlwaysAppear
  float height;                    // HeightForBanner
  float drawDistance;              // BannerDrawDistance
  char texture[kTextureNameSize];  // BannerTexture, in MODELS\BANNER.TXD
};

// [MAIN]'s keys of the rules that the table of settings has no type for (a colour, a name), and TrailWidth with
// them, so that the four are read, written and explained together. Named after their keys, like the settings; the
// name of BannerTexture's texture is BannerTextureName, beside banners::BannerTexture, the texture read.
inline constexpr const char* kTrailColourKey = "TrailColour";
inline constexpr const char* kTrailWidthKey = "TrailWidth";
inline constexpr const char* kBannerTextureKey = "BannerTexture";
inline constexpr const char* kSkyTrailColourKey = "SkyTrailColour";
inline constexpr const char* kDefaultBannerTexture = "Banner";

extern std::uint32_t TrailColour;
extern float TrailWidth;
extern char BannerTextureName[kTextureNameSize];
extern std::uint32_t SkyTrailColour;  // the three trails in the sky

// The rules in effect: TrailRules[0] and BannerRules[0] are [MAIN]'s. Entries past the counts hold [MAIN]'s rule, so
// that a trail laid by a rule that a later read of the settings dropped fades out in [MAIN]'s look.
extern TrailRule TrailRules[kMaxTrailRules];
extern BannerRule BannerRules[kMaxBannerRules];
extern int TrailRuleCount;
extern int BannerRuleCount;

// What serves the aircraft of each model id, packed in a byte so that the table stays small: kNoRule, kFirstTrailRule
// + the trail rule's index, or kFirstBannerRule + the banner rule's index. Made by BuildModelRules; all kNoRule until
// the first read of the settings. Read it through RuleServing, never by its bytes.
inline constexpr std::uint8_t kNoRule = 0;
inline constexpr std::uint8_t kFirstTrailRule = 1;
inline constexpr std::uint8_t kFirstBannerRule = kFirstTrailRule + kMaxTrailRules;
extern std::uint8_t ModelRules[65536];

// A rule by its kind and its place among the rules of that kind: [MAIN]'s is 0, a section's 1 or more.
enum class RuleKind : std::uint8_t { kTrail, kBanner };
struct RuleRef {
  RuleKind kind;
  int index;
};

// The rule that serves the aircraft of `model`, as the last BuildModelRules decided: its trail rule while that is
// enabled, else its banner rule while that is enabled, else none. One lookup: the scan asks it of every aircraft.
inline std::optional<RuleRef> RuleServing(std::uint16_t model) {
  const std::uint8_t served = ModelRules[model];
  if (served == kNoRule) return std::nullopt;
  if (served < kFirstBannerRule) return RuleRef{RuleKind::kTrail, served - kFirstTrailRule};
  return RuleRef{RuleKind::kBanner, served - kFirstBannerRule};
}

// The rules [MAIN]'s settings make, as they are now: the first rules, and what a further rule has for every key it
// does not give.
TrailRule MainTrailRule();
BannerRule MainBannerRule();

// Starts the rules afresh with [MAIN]'s two alone.
void StartRules();

// Adds a rule after those there are; false, adding nothing, when there are kMaxTrailRules (kMaxBannerRules) already.
// The model table follows only at the next BuildModelRules.
bool AddTrailRule(const TrailRule& rule);
bool AddBannerRule(const BannerRule& rule);

// Makes the model table from the rules. For each model id the first trail rule that names it is its trail rule, and
// the first banner rule that names it its banner rule; a later rule naming it is not used for it. An aircraft is a
// trail aircraft while its trail rule is enabled, else a banner aircraft while its banner rule is enabled.
void BuildModelRules();

// How many times the model table was made: what is worked out from the rules (how each banner rule is drawn) is
// worked out again when this has changed.
extern std::uint32_t RulesMade;

// "R,G,B", three whole numbers 0 to 255 separated by commas, with spaces or tabs around them allowed; nothing for any
// other text.
std::optional<std::uint32_t> ParseColour(std::string_view text);

// A section that makes a rule: "Trail N" or "Banner N", N a model id 0 to 65535 in decimal or in hex after "0x",
// letter case as written here. A repeated header reopens the same rule.
struct RuleSection {
  RuleKind kind;
  std::int32_t model;
};
std::optional<RuleSection> RuleSectionOf(std::string_view section);

// The keys a rule section reads, each over [MAIN]'s value of the same key; any other key of a rule section is not
// read.
inline constexpr int kTrailRuleKeyCount = 5;
inline constexpr int kBannerRuleKeyCount = 7;
inline constexpr const char* kTrailRuleKeys[kTrailRuleKeyCount] = {"EnableTrail", "Height", "TrailFadeTime",
                                                                   kTrailColourKey, kTrailWidthKey};
inline constexpr const char* kBannerRuleKeys[kBannerRuleKeyCount] = {
    "EnableBanner",    "AppearOnlyAtAltitude", "AppearWhenPilotIsInside", "AlwaysAppear",
    "HeightForBanner", "BannerDrawDistance",   kBannerTextureKey};

// The place of `key` among the keys a rule section of this kind reads, or -1.
int RuleKeyIndex(RuleKind kind, std::string_view key);

// A line of `text` as the reader takes it for the rules: a section header, or a key line of a rule section. For a
// line of a rule, its kind and its place among the rules of that kind ([MAIN]'s is 0, so a section's is 1 or more);
// -1 for the header of any other section, or of a rule section past the limit, whose lines are not read.
struct RuleLine {
  const IniLine& line;
  RuleSection section;  // for a rule's line, or a header past the limit
  int rule;
  bool opens;      // the header that makes the rule
  bool pastLimit;  // the header of a rule section for which there is no room
};

// Hands `visit` each header of `text`, in order, so that a caller knows where a rule's lines end, and the key lines
// of the rules made. A repeated header reopens its rule; one past kMaxTrailRules (kMaxBannerRules) rules makes none.
// Allocates nothing. One function for the reader and the checker alike, called through a plain pointer.
using RuleLineVisit = void (*)(const RuleLine& at, void* context);
void VisitRuleLines(std::string_view text, RuleLineVisit visit, void* context);

template <typename Visit>
void VisitRuleLines(std::string_view text, Visit&& visit) {
  using Function = std::remove_reference_t<Visit>;
  VisitRuleLines(
      text, [](const RuleLine& at, void* context) { (*static_cast<Function*>(context))(at); },
      const_cast<void*>(static_cast<const void*>(&visit)));
}

// Reads the rules from `text`, a Zephrel.ini as LoadSettingsFrom reads it, after [MAIN]'s settings: [MAIN]'s keys of
// the rules (a value that does not read keeps its default: white, 0, "Banner"), then the rule sections in the order
// of the file, each with [MAIN]'s values for the keys it does not give, then the model table. The reader's rules
// hold: the first line of a key in a section counts, a value that does not read keeps the default. Sections past
// kMaxTrailRules (kMaxBannerRules) rules are not read. Allocates nothing.
void LoadRulesFrom(std::string_view text) noexcept;

// Headers of rule sections the last LoadRulesFrom did not read, for want of room.
extern int RuleSectionsNotRead;

// Makes the rules anew from the settings as they stand (StartRules, then BuildModelRules): for a program that sets
// the settings itself.
void RebuildRules();

}  // namespace config
