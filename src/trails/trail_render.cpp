#include "trails/trail_render.h"

#include <algorithm>
#include <cmath>

#include "config/settings.h"
#include "host/host.h"
#include "host/immediate.h"
#include "trails/trail_store.h"

namespace trails {

namespace {

constexpr float kMinBrightness = 0.0001f;
constexpr float kLightChannelScale = 0.00390625f;  // 1/256: a full channel of 255 is not quite full brightness
constexpr std::int32_t kMaxColourAlpha = 255;

// A trail's vertices carry a position and a colour, no texture coordinates.
constexpr std::uint32_t kTransformFlags = host::kVertexPosition | host::kVertexColour;

// The lesser of two values, NaN if either is, so that a NaN dim factor stops the drawing instead of being
// passed over.
float Least(float a, float b) { return std::isnan(a) || a < b ? a : b; }

float ComputeBrightness() {
  const float dim =
      Least(Least(1.0f - host::HostDimFactorA(), 1.0f - host::HostDimFactorB()), 1.0f - host::HostDimFactorC());
  const host::HostLightColour& light = host::GetHostLightColour();
  const float channel = static_cast<float>(std::max({light.red, light.green, light.blue})) * kLightChannelScale;
  return Least(dim, channel);
}

// The alpha of a live point of the given age: maxAlpha while the point is younger than 30000 ms minus the
// fade time, then falling linearly to 0 at 30000 ms. A fade time of 0 means no fade at all; a negative (or NaN)
// one gives 0, where the quotient would turn negative (or NaN).
std::uint32_t FadedAlpha(std::int32_t age, std::int32_t maxAlpha) {
  const float fadeTime = config::TrailFadeTime;
  if (fadeTime == 0.0f) return static_cast<std::uint32_t>(maxAlpha);
  if (!(fadeTime > 0.0f)) return 0;
  // age is at most 30000 here, so the quotient is 0 or more (+inf for a tiny fade time and the min takes 1).
  const float f = std::min((static_cast<float>(kTrailLifeMs) - static_cast<float>(age)) / fadeTime, 1.0f);
  return static_cast<std::uint32_t>(f * static_cast<float>(maxAlpha));
}

void DrawTrail(TrailRecord& record, std::uint32_t now, std::int32_t maxAlpha) {
  std::int32_t count = 0;
  for (int k = 0; k < kTrailPoints; ++k) {
    const auto age = static_cast<std::int32_t>(now - record.times[k]);
    if (age > kTrailLifeMs) {
      record.times[k] = 0;
      continue;
    }
    if (record.times[k] == 0) continue;
    host::ImmediateVertex& vertex = host::ImmediateVertices[count++];
    vertex.position = record.points[k];
    vertex.colour = host::WhiteWithAlpha(FadedAlpha(age, maxAlpha));
  }
  if (count < 2) return;

  host::SetRenderState(host::kRenderStateVertexAlpha, 1);
  host::SetRenderState(host::kRenderStateSourceBlend, host::kBlendSourceAlpha);
  host::SetRenderState(host::kRenderStateDestinationBlend, host::kBlendInverseSourceAlpha);
  host::SetRenderState(host::kRenderStateTextureRaster, 0);
  if (host::TransformImmediateVertices(host::ImmediateVertices, count, nullptr, kTransformFlags) == nullptr) return;
  host::RenderImmediateIndexed(host::kPrimitiveLineList, TrailLineIndices, 2 * count - 2);
  host::EndImmediate();
}

}  // namespace

const std::uint16_t TrailLineIndices[32] = {0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,  7,  7,  8,
                                            8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16};

void DrawTrails() {
  const float TrailBrightness = ComputeBrightness();
  if (!(TrailBrightness > kMinBrightness)) return;
  // The brightness is at most 65535/256 here, so the product converts safely; the colour holds 8 bits of
  // alpha, which only negative dim factors could push past.
  const auto maxAlpha = std::min(static_cast<std::int32_t>(TrailBrightness * kTrailFullAlpha), kMaxColourAlpha);
  const std::uint32_t now = host::HostTimeMs();
  for (TrailRecord& record : Trails) {
    if (!host::IsSphereVisible(record.points[0], kTrailCullRadius)) continue;
    if (maxAlpha == 0) continue;
    DrawTrail(record, now, maxAlpha);
  }
}

}  // namespace trails
