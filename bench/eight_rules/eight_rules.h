#pragma once
// The benchmark's case of eight trail rules drawn as ribbons and eight banner rules with cloths of their own: the
// models each rule serves, and what [MAIN] adds to the shipped Zephrel.ini for its rules. [MAIN]'s rules come from
// the file; a variant of the plug-in (eight_rules_plugin.cpp) adds the other seven of each at start-up.

#include <cstdint>

namespace bench {

inline constexpr int kEightRules = 8;
// Rule 0 is [MAIN]'s, of the shipped file's models.
inline constexpr std::uint16_t kTrailRuleModels[kEightRules] = {577, 601, 602, 603, 604, 605, 606, 607};
inline constexpr std::uint16_t kBannerRuleModels[kEightRules] = {593, 701, 702, 703, 704, 705, 706, 707};
// [MAIN]'s trail rule a ribbon too.
inline constexpr const char* kMainRibbonKeys = "TrailColour=255,128,0\r\nTrailWidth=2\r\n";

}  // namespace bench
