#include "trails/trail_render.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

// How a live point's alpha follows from its age, worked out once a frame: maxAlpha while the point is younger
// than 30000 ms minus the fade time, then falling linearly to 0 at 30000 ms. A fade time of 0 means no fade at
// all; a negative (or NaN) one gives 0, where the quotient would turn negative (or NaN).
struct Fade {
  float time;
  std::int32_t alpha;  // of the points younger than `fullBefore`
  // Below this age the formula gives exactly `alpha`, which is then taken without dividing: 30000 - age is
  // at least the fade time, and so is its float.
  std::int32_t fullBefore;
  std::uint32_t fullColour;  // white with `alpha`
};

Fade FadeFor(float fadeTime, std::int32_t maxAlpha) {
  constexpr std::int32_t kAll = kTrailLifeMs + 1;
  if (fadeTime == 0.0f) return {fadeTime, maxAlpha, kAll, host::WhiteWithAlpha(maxAlpha)};
  if (!(fadeTime > 0.0f)) return {fadeTime, 0, kAll, host::WhiteWithAlpha(0)};
  const double fullBefore = kAll - std::ceil(static_cast<double>(fadeTime));
  constexpr double kLeast = std::numeric_limits<std::int32_t>::min();
  return {fadeTime, maxAlpha,
          fullBefore < kLeast ? static_cast<std::int32_t>(kLeast) : static_cast<std::int32_t>(fullBefore),
          host::WhiteWithAlpha(maxAlpha)};
}

// The colour of a point at least `fade.fullBefore` old (and at most 30000 ms). Out of line: most points do not
// fade, and the loop over them keeps its registers.
[[gnu::noinline]] std::uint32_t FadedColour(std::int32_t age, const Fade& fade) {
  // The quotient is 0 or more (+inf for a tiny fade time, and the min takes 1).
  const float f = std::min((static_cast<float>(kTrailLifeMs) - static_cast<float>(age)) / fade.time, 1.0f);
  return host::WhiteWithAlpha(static_cast<std::uint32_t>(f * static_cast<float>(fade.alpha)));
}

void DrawTrail(TrailRecord& record, std::uint32_t now, const Fade& fade) {
  host::ImmediateVertex* vertex = host::ImmediateVertices;
  for (int k = 0; k < kTrailPoints; ++k) {
    std::uint32_t& time = record.times[k];
    const auto age = static_cast<std::int32_t>(now - time);
    if (age > kTrailLifeMs) {
      time = 0;
      continue;
    }
    if (time == 0) continue;
    vertex->position = record.points[k];
    vertex->colour = age < fade.fullBefore ? fade.fullColour : FadedColour(age, fade);
    ++vertex;
  }
  const auto count = static_cast<std::int32_t>(vertex - host::ImmediateVertices);
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

const std::uint16_t TrailLineIndices[kTrailLineIndices] = {0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,  6,  7,  7,
                                                           8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15};

void DrawTrails() {
  const float TrailBrightness = ComputeBrightness();
  if (!(TrailBrightness > kMinBrightness)) return;
  // The brightness is at most 65535/256 here, so the product converts safely; the colour holds 8 bits of
  // alpha, which only negative dim factors could push past.
  const auto maxAlpha = std::min(static_cast<std::int32_t>(TrailBrightness * kTrailFullAlpha), kMaxColourAlpha);
  const std::uint32_t now = host::HostTimeMs();
  const Fade fade = FadeFor(config::TrailFadeTime, maxAlpha);
  for (TrailRecord& record : Trails) {
    if (!host::IsSphereVisible(record.points[0], kTrailCullRadius)) continue;
    if (maxAlpha == 0) continue;
    DrawTrail(record, now, fade);
  }
}

}  // namespace trails
