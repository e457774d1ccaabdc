#pragma once
// Banner drawing: every active chain as a strip of white, translucent, textured cloth hanging below its
// points 2 to 7, fading out with distance from the camera.

#include <cstdint>

#include "banners/banner_chain.h"

namespace banners {

// Draws the chains in slot order.
void DrawBanners();

// Draws one chain, or nothing: when it is inactive, out of view, not nearer than BannerDrawDistance, or when
// there is no banner texture (then no host call is made at all).
void DrawBanner(const BannerChain& chain);

}  // namespace banners
