#include "config/rules.h"

#include <cstring>

namespace config {

namespace {

// A whole number 0 to kHighestChannel at the start of `text`, spaces and tabs around it skipped; moves `text` past it.
std::optional<std::uint32_t> ColourChannel(std::string_view& text) {
  auto skipBlanks = [&text] {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  };
  skipBlanks();
  std::uint32_t value = 0;
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    value = value * 10 + static_cast<std::uint32_t>(text[digits] - '0');
    if (value > kHighestChannel) return std::nullopt;  // also keeps a long run of digits from overflowing
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  text.remove_prefix(digits);
  skipBlanks();
  return value;
}

}  // namespace

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

bool IsTextureName(std::string_view name) {
  return !name.empty() && name.size() < kTextureNameSize && name.find('\0') == std::string_view::npos;
}

std::optional<std::int32_t> RuleSectionModel(std::string_view number) {
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
    // Also keeps a long run of digits from overflowing.
    if (model > static_cast<std::uint32_t>(kHighestModelId)) return std::nullopt;
  }
  return static_cast<std::int32_t>(model);
}

std::optional<RuleSection> RuleSectionOf(std::string_view section) {
  for (const RuleKindInfo& kind : kRuleKinds) {
    const std::size_t word = std::strlen(kind.section);
    if (section.size() <= word || section.substr(0, word) != kind.section || section[word] != ' ') continue;
    const std::optional<std::int32_t> model = RuleSectionModel(section.substr(word + 1));
    if (!model) return std::nullopt;
    return RuleSection{static_cast<RuleKind>(&kind - kRuleKinds), *model};
  }
  return std::nullopt;
}

}  // namespace config
