#include "banners/banner_render.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "banners/banner_texture.h"
#include "host/immediate.h"

namespace banners {

namespace {

constexpr float kClothDepth = 4.0f;
constexpr float kVisibilityRadius = 32.0f;
constexpr float kFullStrengthDistance = 250.0f;
constexpr std::uint32_t kMaxAlpha = 160;
constexpr int kFirstDrawnPoint = 2;
constexpr int kBannerPairs = kBannerPoints - kFirstDrawnPoint;  // points 2 to 7
constexpr std::uint32_t kTransformFlags = host::kVertexPosition | host::kVertexColour | host::kVertexTextureCoordinates;

constexpr std::int32_t kClothVertices = 2 * kBannerPairs;
// The same triangles for every banner.
constexpr auto kClothIndexList = host::BandIndices<kBannerPairs>();

// What every banner's cloth shares: the texture coordinates and the triangles. Trail drawing, which comes after the
// banners in a drawing pass, writes no texture coordinates (and indices only for ribbons), so once written in a pass
// they stay for its other banners.
void WriteClothConstants() {
  for (int k = 0; k < kBannerPairs; ++k) {
    const float u = static_cast<float>(k) * 0.2f;
    host::ImmediateVertex& upper = host::ImmediateVertices[2 * k];
    host::ImmediateVertex& lower = host::ImmediateVertices[2 * k + 1];
    upper.u = lower.u = u;
    upper.v = 0.0f;
    lower.v = 1.0f;
  }
  std::memcpy(host::ImmediateIndices, kClothIndexList.data(), sizeof kClothIndexList);
}

void FillCloth(const BannerChain& chain, std::uint32_t colour) {
#pragma GCC unroll 6
  for (int k = 0; k < kBannerPairs; ++k) {
    const host::Vector3& point = chain.points[k + kFirstDrawnPoint];
    host::ImmediateVertex& upper = host::ImmediateVertices[2 * k];
    host::ImmediateVertex& lower = host::ImmediateVertices[2 * k + 1];
    host::CopyVector(upper.position, point);
    host::SetVector(lower.position, point.x, point.y, point.z - kClothDepth);
    upper.colour = lower.colour = colour;
  }
}

// 160 up to 250 units from the camera, then falling linearly to 0 at the draw distance; only asked for
// distances below the draw distance.
std::uint32_t BannerAlpha(float distance, float drawDistance) {
  if (distance < kFullStrengthDistance) return kMaxAlpha;
  const float alpha =
      (drawDistance - distance) / (drawDistance - kFullStrengthDistance) * static_cast<float>(kMaxAlpha);
  // inf / inf: an infinite draw distance never fades. The clamp keeps the conversion defined for any input.
  if (std::isnan(alpha)) return kMaxAlpha;
  return static_cast<std::uint32_t>(std::clamp(alpha, 0.0f, static_cast<float>(kMaxAlpha)));
}

// Draws an active chain with its rule's texture when it is in view and nearer than its rule's draw distance; the
// cloth's shared fields are written first unless `clothReady` says that an earlier banner of this pass has written
// them.
[[gnu::always_inline]] inline void DrawActiveBanner(const BannerChain& chain, const BannerLook& look,
                                                    const host::Vector3& camera, bool& clothReady) {
  const host::Vector3& head = chain.points[0];
  host::Vector3 offset;
  host::SetVector(offset, camera.x - head.x, camera.y - head.y, camera.z - head.z);
  const float distance = host::VectorLength(offset);

  if (!host::IsSphereVisible(chain.points[4], kVisibilityRadius)) return;
  if (!(distance < look.drawDistance)) return;  // NaN on either side is not drawn either

  if (!clothReady) {
    WriteClothConstants();
    clothReady = true;
  }
  FillCloth(chain, host::WhiteWithAlpha(BannerAlpha(distance, look.drawDistance)));

  // Translucent cloth that does not hide what lies behind it.
  host::HostEngine* engine = host::GetHostEngine();
  host::SetRenderState(engine, host::kRenderStateDepthWrite, 0);
  host::SetRenderState(engine, host::kRenderStateDepthTest, 1);
  host::SetRenderState(engine, host::kRenderStateFog, 1);
  host::SetRenderState(engine, host::kRenderStateSourceBlend, host::kBlendSourceAlpha);
  host::SetRenderState(engine, host::kRenderStateDestinationBlend, host::kBlendInverseSourceAlpha);
  host::SetRenderState(engine, host::kRenderStateVertexAlpha, 1);
  host::SetRenderState(engine, host::kRenderStateTextureRaster, reinterpret_cast<std::uint32_t>(look.texture->raster));
  if (host::TransformImmediateVertices(host::ImmediateVertices, kClothVertices, nullptr, kTransformFlags) != nullptr) {
    host::RenderImmediateIndexed(host::kPrimitiveTriangleList, host::ImmediateIndices,
                                 static_cast<std::int32_t>(kClothIndexList.size()));
    host::EndImmediate();
  }
  // Depth test and blend states stay as they are.
  engine = host::GetHostEngine();
  host::SetRenderState(engine, host::kRenderStateDepthWrite, 1);
  host::SetRenderState(engine, host::kRenderStateVertexAlpha, 0);
  host::SetRenderState(engine, host::kRenderStateFog, 0);
}

}  // namespace

void DrawBanners() {
  UpdateBannerLooks();
  // Where the camera is, read once a pass: nothing the host does while the plug-in draws moves it.
  const host::Vector3 camera = host::PositionOf(host::GetHostCamera()->placement);
  bool clothReady = false;
  for (const BannerChain& chain : BannerChains) {
    if (!IsBannerActive(chain)) continue;
    // A rule whose texture could not be read tows nothing, and asks the host for nothing.
    const BannerLook& look = BannerLooks[chain.rule];
    if (look.texture != nullptr) DrawActiveBanner(chain, look, camera, clothReady);
  }
}

}  // namespace banners
