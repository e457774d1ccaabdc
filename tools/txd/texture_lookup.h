#pragma once
// Whether a dictionary holds the texture a banner rule names, and, when it does not, the name it holds that the rule
// most likely meant: the checker and the page both ask this, so that they never disagree.

#include <cstddef>
#include <string>
#include <string_view>

#include "txd/texture_dictionary.h"

namespace txd {

struct TextureLookup {
  bool found = false;   // a texture of exactly this name, the one the plug-in asks the game for
  std::string nearest;  // when not found: a name the dictionary holds that differs only in letter case, or by one
                        // or two characters; empty when none is that close
};

// `name` looked up in `dictionary`. Letter case counts, as it does in the name the plug-in asks for; among the names
// that differ from it by as few characters as allowed (letter case aside), the one with the fewest differences in
// letter case, then the first in the file, is nearest. A name of three characters may differ by one, of six or more
// by two; a shorter one only in letter case, so that "A" does not suggest "B".
TextureLookup LookUpTexture(const Dictionary& dictionary, std::string_view name);

// What the lookup says of a rule's texture, in players' words: "in the dictionary", "not in the dictionary (it holds
// `Sale`)" or "not in the dictionary".
std::string LookupText(const TextureLookup& lookup);

// A texture's name as the checker and the page show it: any control character as '?', as the reader's messages do.
std::string ShownName(std::string_view name);

// A texture in a line, as the checker and the page list it: "64x32, 8888, 1 mip level, alpha", and when it cannot be
// shown ", not shown: " and why.
std::string TextureSummary(const Texture& texture);

}  // namespace txd
