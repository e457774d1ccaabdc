#pragma once
// The one texture every banner is drawn with: "Banner" from the dictionary MODELS\BANNER.TXD in the plug-in's
// directory, loaded at start-up and released at shutdown.

#include "host/host.h"

namespace banners {

// Null until start-up, and again after shutdown; also null when the host could not read it.
extern host::HostTexture* BannerTexture;

// The banner step of start-up: parks every chain, then loads the texture.
void InitBanners();

// Reads the texture into a new dictionary slot, leaving the host's current dictionary as it found it. A
// second call destroys the texture it replaces first, then adds another slot.
void LoadBannerTexture();

// Gives the texture back to the host, if there is one, and forgets it.
void DestroyBannerTexture();

// The dictionary path the last LoadBannerTexture handed the host; empty before the first, and when the
// plug-in's directory left no room for the name.
const char* BannerTexturePath();

}  // namespace banners
