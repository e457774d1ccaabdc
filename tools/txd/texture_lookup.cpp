#include "txd/texture_lookup.h"

#include <algorithm>
#include <array>

namespace txd {

namespace {

constexpr unsigned char Folded(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

// Texture names are at most kLongestName bytes; a longer text is farther than any allowed difference anyway.
constexpr std::size_t kCompared = kLongestName + 1;

// Edits (a character added, removed or changed, letter case aside) that make `a` into `b`, and as the second value
// how many characters of the best alignment differ only in letter case.
struct Distance {
  std::size_t edits, caseDifferences;
  bool operator<(const Distance& other) const {
    return edits != other.edits ? edits < other.edits : caseDifferences < other.caseDifferences;
  }
};

Distance DistanceBetween(std::string_view a, std::string_view b) {
  a = a.substr(0, kCompared);
  b = b.substr(0, kCompared);
  std::array<Distance, kCompared + 1> previous{}, current{};
  for (std::size_t j = 0; j <= b.size(); ++j) previous[j] = {j, 0};
  for (std::size_t i = 1; i <= a.size(); ++i) {
    current[0] = {i, 0};
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const bool same = a[i - 1] == b[j - 1];
      const bool sameFolded = Folded(a[i - 1]) == Folded(b[j - 1]);
      Distance best{previous[j - 1].edits + (sameFolded ? 0 : 1),
                    previous[j - 1].caseDifferences + (sameFolded && !same ? 1 : 0)};
      best = std::min(best, Distance{previous[j].edits + 1, previous[j].caseDifferences});
      best = std::min(best, Distance{current[j - 1].edits + 1, current[j - 1].caseDifferences});
      current[j] = best;
    }
    previous = current;
  }
  return previous[b.size()];
}

std::size_t AllowedEdits(std::string_view name) { return name.size() >= 6 ? 2 : name.size() >= 3 ? 1 : 0; }

}  // namespace

TextureLookup LookUpTexture(const Dictionary& dictionary, std::string_view name) {
  TextureLookup lookup;
  const Texture* nearest = nullptr;
  Distance nearestDistance{};
  for (const Texture& texture : dictionary.textures) {
    if (texture.name == name) {
      lookup.found = true;
      return lookup;
    }
    const Distance distance = DistanceBetween(name, texture.name);
    if (distance.edits > AllowedEdits(name)) continue;
    if (nearest == nullptr || distance < nearestDistance) {
      nearest = &texture;
      nearestDistance = distance;
    }
  }
  if (nearest != nullptr) lookup.nearest = nearest->name;
  return lookup;
}

std::string LookupText(const TextureLookup& lookup) {
  if (lookup.found) return "in the dictionary";
  if (lookup.nearest.empty()) return "not in the dictionary";
  return "not in the dictionary (it holds `" + ShownName(lookup.nearest) + "`)";
}

std::string ShownName(std::string_view name) {
  std::string shown(name);
  for (char& c : shown) c = static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
  return shown;
}

std::string TextureSummary(const Texture& texture) {
  std::string text = std::to_string(texture.width) + "x" + std::to_string(texture.height) + ", " + texture.formatName +
                     ", " + std::to_string(texture.mipLevels) +
                     (texture.mipLevels == 1 ? " mip level, " : " mip levels, ") +
                     (texture.hasAlpha ? "alpha" : "no alpha");
  if (!texture.notShown.empty()) text += ", not shown: " + texture.notShown;
  return text;
}

}  // namespace txd
