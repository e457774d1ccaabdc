#pragma once
// Settings for a test, read the way the plug-in reads them: [MAIN]'s values written out as a Zephrel.ini and read by
// config::LoadSettingsFrom, so that the rules and the table of models are the reader's own.

#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>

#include "config/settings.h"

namespace test_support {

// [MAIN] with every key of `main` at its value as text (an infinity as a number too large for a float), then `more`
// (rule sections, say).
inline std::string IniOf(const config::Values& main, std::string_view more = {}) {
  std::string text = "[MAIN]\n";
  for (std::size_t row = 0; row < config::kKeyCount; ++row) {
    const config::Key& key = config::kKeys[row];
    const bool infinite = key.type == config::KeyType::kNumber && std::isinf(main.*key.number.value);
    const std::string value = !infinite                    ? config::ValueText(main, row)
                              : main.*key.number.value < 0 ? "-1e999"
                                                           : "1e999";
    text.append(key.name).append("=").append(value).append("\n");
  }
  return text.append(more);
}

// config::InEffect as the plug-in reads IniOf(main, more). A number no text gives, a NaN, is put where the reader
// puts [MAIN]'s numbers: into [MAIN]'s values and into each rule that does not give its own.
inline void UseSettings(const config::Values& main, std::string_view more = {}) {
  config::LoadSettingsFrom(IniOf(main, more));
  config::Configuration& read = config::InEffect;
  for (std::size_t row = 0; row < config::kKeyCount; ++row) {
    const config::Key& key = config::kKeys[row];
    if (key.type != config::KeyType::kNumber || !std::isnan(main.*key.number.value)) continue;
    read.*key.number.value = main.*key.number.value;
    for (const config::RuleKind kind : {config::RuleKind::kTrail, config::RuleKind::kBanner}) {
      config::Rules& rules = kind == config::RuleKind::kTrail ? read.trailRules : read.bannerRules;
      const config::RuleOrigin* origins = config::OriginsOf(read, kind);
      for (int k = 0; k < config::InfoOf(kind).maxRules; ++k) {
        if (k == 0 || origins[k].keys[row].line == 0) (rules.*key.number.column)[k] = main.*key.number.value;
      }
    }
  }
}

}  // namespace test_support
