#include "banners/banner_texture.h"

#include <cstring>

#include "banners/banner_chain.h"
#include "config/plugin_paths.h"
#include "config/settings.h"

namespace banners {

host::HostTexture* BannerTexture = nullptr;
BannerLook BannerLooks[kBannerLooks];
// Never what the rules were made for, until the looks are first worked out.
std::uint32_t BannerLooksMadeFor = ~0u;
const host::HostTexture* BannerLooksTexture = nullptr;

namespace {

constexpr const char* kBannerDictionaryName = "Banner";
// The texture a banner rule tows unless it names another.
constexpr const char* kBannerTextureName = config::kKeys[config::RowOf("BannerTexture")].defaultText;
constexpr const char* kBannerDictionaryFile = "MODELS\\BANNER.TXD";

// A copy: the path area is overwritten by the next path anyone joins.
char pathTried[config::kPluginPathAreaSize];

// The textures read for the banner rules besides "Banner", one per distinct name; the rules are at most
// kMaxBannerRules, so are their names.
struct NamedTexture {
  char name[config::kTextureNameSize];
  host::HostTexture* texture;  // null: the dictionary did not have it
};
NamedTexture ruleTextures[config::kMaxBannerRules];
int ruleTextureCount = 0;

const NamedTexture* FindRuleTexture(const char* name) {
  for (int k = 0; k < ruleTextureCount; ++k) {
    if (std::strcmp(ruleTextures[k].name, name) == 0) return &ruleTextures[k];
  }
  return nullptr;
}

void DestroyRuleTextures() {
  for (int k = 0; k < ruleTextureCount; ++k) {
    if (ruleTextures[k].texture != nullptr) host::DestroyTexture(ruleTextures[k].texture);
  }
  ruleTextureCount = 0;
  BannerLooksMadeFor = ~config::RulesMade;  // the looks name textures no more
}

// A rule's name, always terminated whoever wrote the rule.
const char* TextureNameOf(const config::ValueTexture& name) {
  return std::memchr(name, '\0', config::kTextureNameSize) != nullptr ? name : "";
}

}  // namespace

void InitBanners() {
  ResetBanners();
  LoadBannerTexture();
}

void LoadBannerTexture() {
  // A start-up run again replaces the textures: those it replaces go back to the host first, or they would stay
  // alive, unreachable, until the game ends.
  DestroyBannerTexture();
  const char* path = config::PluginFilePath(kBannerDictionaryFile);
  std::strncpy(pathTried, path, sizeof pathTried - 1);
  // A directory too long for the path area: there is nothing to load, so the host is not asked for anything
  // (no empty dictionary slot, no dictionary pushed).
  if (path[0] == '\0') return;
  host::PushCurrentTextureDictionary();
  const std::int32_t slot = host::AddTextureDictionarySlot(kBannerDictionaryName);
  host::LoadTextureDictionary(slot, path);
  host::SetCurrentTextureDictionary(host::FindTextureDictionarySlot(kBannerDictionaryName));
  BannerTexture = host::ReadTexture(kBannerTextureName, nullptr);
  host::PopCurrentTextureDictionary();
}

void LoadBannerRuleTextures() {
  DestroyRuleTextures();
  for (int rule = 0; rule < config::InEffect.bannerRuleCount; ++rule) {
    const char* name = TextureNameOf(config::InEffect.bannerRules.BannerTexture[rule]);
    if (std::strcmp(name, kBannerTextureName) == 0 || FindRuleTexture(name) != nullptr) continue;
    NamedTexture& read = ruleTextures[ruleTextureCount++];
    std::memcpy(read.name, name, std::strlen(name) + 1);
    read.texture = nullptr;
    // Without a dictionary slot (no room for its path) there is nothing to read from: the name is known as missing.
    if (pathTried[0] == '\0') continue;
    host::PushCurrentTextureDictionary();
    host::SetCurrentTextureDictionary(host::FindTextureDictionarySlot(kBannerDictionaryName));
    read.texture = host::ReadTexture(name, nullptr);
    host::PopCurrentTextureDictionary();
  }
  BannerLooksMadeFor = ~config::RulesMade;
}

void DestroyBannerTexture() {
  // Every shutdown call after the first finds nothing: it returns at once.
  if (BannerTexture == nullptr && ruleTextureCount == 0) return;
  if (BannerTexture != nullptr) host::DestroyTexture(BannerTexture);
  BannerTexture = nullptr;
  DestroyRuleTextures();
}

const char* BannerTexturePath() { return pathTried; }

RuleTexture RuleTextureOf(const config::ValueTexture& texture) {
  const char* name = TextureNameOf(texture);
  if (std::strcmp(name, kBannerTextureName) == 0) {
    return BannerTexture != nullptr ? RuleTexture::kRead : RuleTexture::kMissing;
  }
  const NamedTexture* read = FindRuleTexture(name);
  if (read == nullptr) return RuleTexture::kNotReadYet;
  return read->texture != nullptr ? RuleTexture::kRead : RuleTexture::kMissing;
}

void MakeBannerLooks() {
  for (int rule = 0; rule < config::kMaxBannerRules; ++rule) {
    const config::Rules& rules = config::InEffect.bannerRules;
    const char* name = TextureNameOf(rules.BannerTexture[rule]);
    const NamedTexture* read = FindRuleTexture(name);
    BannerLooks[rule] = {std::strcmp(name, kBannerTextureName) == 0 ? BannerTexture
                         : read != nullptr                          ? read->texture
                                                                    : nullptr,
                         rules.BannerDrawDistance[rule]};
  }
  BannerLooksMadeFor = config::RulesMade;
  BannerLooksTexture = BannerTexture;
}

}  // namespace banners
