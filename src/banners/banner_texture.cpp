#include "banners/banner_texture.h"

#include <cstring>

#include "banners/banner_chain.h"
#include "config/plugin_paths.h"

namespace banners {

host::HostTexture* BannerTexture = nullptr;

namespace {

constexpr const char* kBannerDictionaryName = "Banner";
constexpr const char* kBannerTextureName = "Banner";
constexpr const char* kBannerDictionaryFile = "MODELS\\BANNER.TXD";

// A copy: the path area is overwritten by the next path anyone joins.
char pathTried[config::kPluginPathAreaSize];

}  // namespace

void InitBanners() {
  ResetBanners();
  LoadBannerTexture();
}

void LoadBannerTexture() {
  // A start-up run again replaces the texture: the one it replaces goes back to the host first, or it would
  // stay alive, unreachable, until the game ends.
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

void DestroyBannerTexture() {
  if (BannerTexture != nullptr) host::DestroyTexture(BannerTexture);
  BannerTexture = nullptr;
}

const char* BannerTexturePath() { return pathTried; }

}  // namespace banners
