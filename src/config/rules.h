#pragma once
// The texts of the rules: a rule section's header, a colour, a texture name. What the rules are and which serves a
// model is the value's (settings.h).

#include <cstdint>
#include <optional>
#include <string_view>

#include "config/settings.h"

namespace config {

// A section that makes a rule: "Trail N" or "Banner N", N a model id kLowestModelId to kHighestModelId in decimal or
// in hex after "0x", letter case as written here. A repeated header reopens the same rule.
struct RuleSection {
  RuleKind kind;
  std::int32_t model;
};
std::optional<RuleSection> RuleSectionOf(std::string_view section);

// The N of a rule section's header: the text after its word and one space.
std::optional<std::int32_t> RuleSectionModel(std::string_view number);

// "R,G,B", three whole numbers 0 to kHighestChannel separated by commas, with spaces or tabs around them allowed;
// nothing for any other text.
std::optional<std::uint32_t> ParseColour(std::string_view text);

// Whether the game's dictionaries can hold a texture of this name: not empty, at most kTextureNameSize - 1 bytes, and
// no zero byte, which would end it early.
bool IsTextureName(std::string_view name);

}  // namespace config
