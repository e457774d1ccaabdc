#pragma once
// Banner drawing: every active chain as a strip of white, translucent, textured cloth hanging below its
// points 2 to 7, fading out with distance from the camera.

#include <cstdint>

#include "banners/banner_chain.h"

namespace banners {

// Draws the chains in slot order, each but those inactive, out of view or not nearer than BannerDrawDistance;
// without a banner texture no host call is made at all.
void DrawBanners();

}  // namespace banners
