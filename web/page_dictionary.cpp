#include "page_dictionary.h"

#include <utility>

#include "config/ini_explain.h"
#include "json.h"
#include "txd/texture_lookup.h"

namespace page {

std::string DictionaryJson(const txd::Dictionary& dictionary) {
  Json json;
  json.Begin('{').Name("textures").Begin('[');
  for (const txd::Texture& texture : dictionary.textures) {
    json.Begin('{').Name("name").String(texture.name).Name("shownName").String(txd::ShownName(texture.name));
    json.Name("summary").String(txd::TextureSummary(texture)).Name("shown").Bool(texture.notShown.empty()).End('}');
  }
  json.End(']').Name("problems").Begin('[');
  for (const txd::Problem& problem : dictionary.problems) json.String(txd::Describe(problem));
  json.End(']').Name("stopped").Bool(dictionary.stopped).End('}');
  return std::move(json).Text();
}

std::string LookupsJson(const config::Configuration& read, const txd::Dictionary& dictionary) {
  Json json;
  json.Begin('[');
  for (int k = 0; k < config::RuleCountOf(read, config::RuleKind::kBanner); ++k) {
    const txd::TextureLookup lookup =
        txd::LookUpTexture(dictionary, config::TextureName(read.bannerRules.BannerTexture[k]));
    json.Begin('{').Name("index").Number(k).Name("found").Bool(lookup.found).Name("nearest").String(lookup.nearest);
    json.Name("text").String(txd::LookupText(lookup)).End('}');
  }
  json.End(']');
  return std::move(json).Text();
}

void DictionarySave::Add(std::string name, std::uint32_t width, std::uint32_t height,
                         std::span<const std::uint8_t> rgba) {
  txd::NamedPicture picture{std::move(name), {width, height, {rgba.begin(), rgba.end()}}};
  for (txd::NamedPicture& given : pictures_) {
    if (given.name == picture.name) {
      given = std::move(picture);
      return;
    }
  }
  pictures_.push_back(std::move(picture));
}

std::string DictionarySave::Write() {
  txd::WrittenDictionary written = txd::WriteDictionary(pictures_);
  pictures_.clear();
  bytes_ = std::move(written.bytes);
  Json json;
  json.Begin('{').Name("problem").String(written.problem).Name("size").Number(static_cast<double>(bytes_.size()));
  json.Name("textures").Begin('[');
  for (const txd::WrittenTexture& texture : written.textures) {
    json.Begin('{').Name("name").String(texture.name).Name("width").Number(texture.width);
    json.Name("height").Number(texture.height).Name("note").String(texture.note).End('}');
  }
  json.End(']').End('}');
  return std::move(json).Text();
}

}  // namespace page
