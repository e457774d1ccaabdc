#pragma once
// Banner drawing: every active chain as a strip of white, translucent cloth hanging below its points 2 to 7, with
// the texture of the rule that placed its head, fading out with distance from the camera up to that rule's
// BannerDrawDistance.

#include <cstdint>

#include "banners/banner_chain.h"

namespace banners {

// Draws the chains in slot order, each but those inactive, out of view or not nearer than their rule's
// BannerDrawDistance; for a chain whose rule has no texture no host call is made at all.
void DrawBanners();

}  // namespace banners
