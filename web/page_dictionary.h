#pragma once
// The BANNER.TXD the page opens and saves, as its script is told it: by name, like the report (page_report.h), so
// that the script spells none of the checker's words and works out no lookup of its own. Plain C++ over bytes, built
// natively too for its tests.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "config/settings.h"
#include "txd/texture_dictionary.h"

namespace page {

// The dictionary opened: each texture's name as the checker shows it, its name as the file holds it (to match a rule
// by), the checker's line on it and whether it can be shown; the reader's problems, each at its byte.
std::string DictionaryJson(const txd::Dictionary& dictionary);

// Each banner rule of `read` against the dictionary, by the rule's index: whether it holds the rule's texture, the
// nearest name it holds, and the checker's words for it.
std::string LookupsJson(const config::Configuration& read, const txd::Dictionary& dictionary);

// The pictures of a Save, gathered one by one from the script's canvases and dictionary textures, then written.
class DictionarySave {
 public:
  // `rgba` holds width * height pixels, R, G, B, A each; a picture of a name given before takes its place.
  void Add(std::string name, std::uint32_t width, std::uint32_t height, std::span<const std::uint8_t> rgba);
  // Writes them all and forgets them: the JSON of what was written, each texture's name, size and note (a resize),
  // or the problem that kept the dictionary from being written. Bytes() then holds the file, or nothing.
  std::string Write();
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<txd::NamedPicture> pictures_;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace page
