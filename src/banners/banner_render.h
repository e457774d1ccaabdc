#pragma once
// Banner drawing: every active chain as a strip of white, translucent, textured cloth hanging below its
// points 2 to 7, fading out with distance from the camera.

#include <cstdint>

#include "banners/banner_chain.h"

inline constexpr int kImmediateIndexCapacity = 1024;

// The index scratch array of banner drawing, and the entries of the two scratch arrays filled for the banner
// being drawn (0 between banners).
extern std::uint16_t ImmediateIndices[kImmediateIndexCapacity];
extern std::int32_t ImmediateVertexCount;
extern std::int32_t ImmediateIndexCount;

// Draws the chains in slot order.
void DrawBanners();

// Draws one chain, or nothing: when it is inactive, out of view, not nearer than BannerDrawDistance, or when
// there is no banner texture (then no host call is made at all).
void DrawBanner(const BannerChain& chain);
