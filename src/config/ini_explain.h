#pragma once
// What the plug-in makes of a Zephrel.ini, line by line, in a player's words: for every line that does not do
// what it seems to, one note. The checker prints the notes, and the plug-in's log writes the same ones.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "config/ini_file.h"
#include "config/rules.h"
#include "config/settings.h"

namespace config {

// [MAIN]'s keys of the rules, which the table of settings has no type for, in the order the checker lists them.
inline constexpr std::size_t kMainRuleKeyCount = 4;
inline constexpr const char* kMainRuleKeys[kMainRuleKeyCount] = {kTrailColourKey, kTrailWidthKey, kBannerTextureKey,
                                                                 kSkyTrailColourKey};

// Where each setting of kSettings (same index) comes from.
struct IniSources {
  std::size_t line[kSettingCount];        // the line that sets it, or 0 when its default is used
  std::size_t failedLine[kSettingCount];  // a model id that does not convert: its line (the default is used)
  std::size_t failures;                   // how many values do not convert: model ids, colours, texture names
  std::size_t mainHeader;                 // the line of the first [MAIN] header, or 0 when there is none
  // The same for kMainRuleKeys: a colour or texture name that does not read keeps the default.
  std::size_t mainRuleLine[kMainRuleKeyCount];
  std::size_t mainRuleFailedLine[kMainRuleKeyCount];
  // The header that made each rule of TrailRules and BannerRules (same index) as the file is read; 0 for [MAIN]'s.
  std::size_t trailRuleLine[kMaxTrailRules];
  std::size_t bannerRuleLine[kMaxBannerRules];
};

// Notes on lines given at most: a file of thousands of surprising lines (a log saved under the wrong name, say) gets
// these, then one note on the file as a whole that counts the rest, so that what a player is shown stays short.
inline constexpr std::size_t kLineNoteLimit = 50;

// How much of a key, value or section name a note quotes, in bytes of the file; a longer one is cut and its length
// given. Bytes that are control characters or not valid UTF-8 are quoted as \xNN.
inline constexpr std::size_t kShownBytes = 80;

// One note: the line it is about (0 for the file as a whole) and what to say.
using IniNoteSink = std::function<void(std::size_t line, const std::string& text)>;

// Explains `bytes`, the file as it lies on disk (not as a text-mode read gives it, so that a Ctrl-Z is seen),
// giving `note` the notes in the order of the lines, those on the file as a whole last: at most kLineNoteLimit on
// lines, and the one on a Ctrl-Z. Throws only when memory runs out.
IniSources ExplainIni(std::string_view bytes, const IniNoteSink& note);

// What the checker and the log show of values: a colour as "R,G,B"; each of kMainRuleKeys's value now; and a rule
// in effect, in a player's words, a texture name quoted as a note quotes text (control characters and bytes that are
// not UTF-8 as \xNN).
std::string ColourText(std::uint32_t colour);
std::string MainRuleKeyValueText(std::size_t key);
std::string TrailRuleText(const TrailRule& rule);
std::string BannerRuleText(const BannerRule& rule);

// What the checker says of a file `name` over the size limit, which it does not explain line by line.
std::string TooLargeNote(std::string_view name);

}  // namespace config
