#pragma once
// The textures banners are drawn with, from the dictionary MODELS\BANNER.TXD in the plug-in's directory: "Banner",
// loaded at start-up before the settings are read, and every further name the banner rules give, read once after
// them from the same dictionary. All are released at shutdown.

#include <cstdint>

#include "config/settings.h"
#include "host/host.h"

namespace banners {

// Null until start-up, and again after shutdown; also null when the host could not read it.
extern host::HostTexture* BannerTexture;

// The banner step of start-up: parks every chain, then loads "Banner".
void InitBanners();

// Reads "Banner" into a new dictionary slot, leaving the host's current dictionary as it found it. A second call
// destroys the textures it replaces first, then adds another slot.
void LoadBannerTexture();

// The start-up step after the settings are read: reads each texture the banner rules name besides "Banner", once
// per distinct name, from the dictionary slot LoadBannerTexture made (the host's current dictionary is left as it
// was). When every rule names "Banner" it asks the host for nothing. A second call destroys those it read before.
void LoadBannerRuleTextures();

// Gives every texture back to the host, "Banner" first, and forgets them.
void DestroyBannerTexture();

// The dictionary path the last LoadBannerTexture handed the host; empty before the first, and when the
// plug-in's directory left no room for the name.
const char* BannerTexturePath();

// What became of the texture a banner rule names (its BannerTexture), for the log.
enum class RuleTexture {
  kRead,        // read at start-up: the rule's banners are drawn with it
  kMissing,     // asked for at start-up, and the dictionary (or its file) did not have it: the rule tows nothing
  kNotReadYet,  // first named after start-up: the rule tows nothing until the game starts again
};
RuleTexture RuleTextureOf(const config::ValueTexture& name);

// How the chains of a banner rule (config/settings.h) are drawn: with its texture, null for a rule that tows nothing,
// up to its draw distance. Indexed by a chain's rule byte, whatever it holds: past the rules there is no texture.
struct BannerLook {
  const host::HostTexture* texture;
  float drawDistance;
};
inline constexpr int kBannerLooks = 256;
extern BannerLook BannerLooks[kBannerLooks];

// What BannerLooks were worked out from: config::RulesMade, and BannerTexture then.
extern std::uint32_t BannerLooksMadeFor;
extern const host::HostTexture* BannerLooksTexture;

// Works BannerLooks out from the rules and the textures.
void MakeBannerLooks();

// Brings BannerLooks up to date: they are worked out again only after the rules or the textures changed, so in a
// frame this costs a few compares.
inline void UpdateBannerLooks() {
  if (BannerLooksMadeFor != config::RulesMade || BannerLooksTexture != BannerTexture) MakeBannerLooks();
}

}  // namespace banners
