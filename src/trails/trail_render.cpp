#include "trails/trail_render.h"

#include <emmintrin.h>

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

// How a live point's alpha follows from its age, worked out once a frame: maxAlpha while the point is younger
// than kTrailLifeMs minus the fade time, then falling linearly to 0 at kTrailLifeMs. A fade time of 0 means no fade
// at all; a negative (or NaN) one gives 0, where the quotient would turn negative (or NaN).
struct Fade {
  bool fades;          // the fade time is above 0
  std::uint32_t flat;  // the colour of every point when none fades
  __m128 time;         // the fade time, in each of four lanes
  __m128 alpha;        // maxAlpha, in each of four lanes
};

Fade FadeFor(float fadeTime, std::int32_t maxAlpha) {
  const bool noFade = fadeTime == 0.0f;
  return {fadeTime > 0.0f, host::WhiteWithAlpha(noFade ? static_cast<std::uint32_t>(maxAlpha) : 0),
          _mm_set1_ps(fadeTime), _mm_set1_ps(static_cast<float>(maxAlpha))};
}

// Four timestamps at a time: expires the points older than kTrailLifeMs (a live or empty timestamp is stored
// back as it was), keeps each point's age and returns the live points, bit k for point k.
std::uint32_t ExpireOldPoints(TrailRecord& record, std::uint32_t now, __m128i ages[kTrailPoints / 4]) {
  static_assert(kTrailPoints == 16);
  auto* times = reinterpret_cast<__m128i*>(record.times);
  __m128i time[4];
  for (int quarter = 0; quarter < 4; ++quarter) time[quarter] = _mm_loadu_si128(times + quarter);
  // Most slots of the store hold no trail at all.
  const __m128i any = _mm_or_si128(_mm_or_si128(time[0], time[1]), _mm_or_si128(time[2], time[3]));
  if (_mm_movemask_epi8(_mm_cmpeq_epi32(any, _mm_setzero_si128())) == 0xFFFF) return 0;

  const __m128i clock = _mm_set1_epi32(static_cast<int>(now));
  const __m128i life = _mm_set1_epi32(kTrailLifeMs);
  __m128i empty[4];
  for (int quarter = 0; quarter < 4; ++quarter) {
    ages[quarter] = _mm_sub_epi32(clock, time[quarter]);  // signed
    const __m128i kept = _mm_andnot_si128(_mm_cmpgt_epi32(ages[quarter], life), time[quarter]);
    _mm_storeu_si128(times + quarter, kept);
    empty[quarter] = _mm_cmpeq_epi32(kept, _mm_setzero_si128());
  }
  const __m128i packed = _mm_packs_epi16(_mm_packs_epi32(empty[0], empty[1]), _mm_packs_epi32(empty[2], empty[3]));
  return ~static_cast<std::uint32_t>(_mm_movemask_epi8(packed)) & 0xFFFFu;
}

// The colour of every point from its age, four at a time; only those of live points are used. A point gets
// min((kTrailLifeMs - age) / fade time, 1) x maxAlpha, truncated, each lane doing what one float would: the product
// lies in 0 to maxAlpha, so the signed conversion is the unsigned one.
void ColourPoints(const __m128i ages[kTrailPoints / 4], const Fade& fade, std::uint32_t colours[kTrailPoints]) {
  auto* out = reinterpret_cast<__m128i*>(colours);
  if (!fade.fades) {
    const __m128i flat = _mm_set1_epi32(static_cast<int>(fade.flat));
    for (int quarter = 0; quarter < 4; ++quarter) _mm_storeu_si128(out + quarter, flat);
    return;
  }
  const __m128 life = _mm_set1_ps(static_cast<float>(kTrailLifeMs));
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128i white = _mm_set1_epi32(static_cast<int>(host::WhiteWithAlpha(0)));
  for (int quarter = 0; quarter < 4; ++quarter) {
    // The quotient is never NaN, so the order of the min's operands does not matter.
    const __m128 f = _mm_min_ps(_mm_div_ps(_mm_sub_ps(life, _mm_cvtepi32_ps(ages[quarter])), fade.time), one);
    _mm_storeu_si128(out + quarter,
                     _mm_or_si128(_mm_slli_epi32(_mm_cvttps_epi32(_mm_mul_ps(f, fade.alpha)), 24), white));
  }
}

// A vertex of a trail: the point's position (x and y as one 64-bit move) and its colour.
void WriteVertex(host::ImmediateVertex& vertex, const host::Vector3& point, std::uint32_t colour) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(&vertex.position),
                   _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&point)));
  vertex.position.z = point.z;
  vertex.colour = colour;
}

void DrawTrail(TrailRecord& record, std::uint32_t now, const Fade& fade) {
  __m128i ages[kTrailPoints / 4];
  const std::uint32_t live = ExpireOldPoints(record, now, ages);
  if ((live & (live - 1)) == 0) return;  // fewer than two live points
  std::uint32_t colours[kTrailPoints];
  ColourPoints(ages, fade, colours);
  std::int32_t count = 0;
  if ((live & (live + 1)) == 0) {
    // Points 0 to n - 1 live, as in any trail flown with the clock going forward: all sixteen are written without
    // a test. Those past n are read by no batch, and every batch writes the positions and colours it uses first.
    count = __builtin_ctz(~live);
#pragma GCC unroll 16
    for (int k = 0; k < kTrailPoints; ++k) WriteVertex(host::ImmediateVertices[k], record.points[k], colours[k]);
  } else {
    for (std::uint32_t rest = live; rest != 0; rest &= rest - 1) {
      const int k = __builtin_ctz(rest);
      WriteVertex(host::ImmediateVertices[count++], record.points[k], colours[k]);
    }
  }

  host::HostEngine* const engine = host::GetHostEngine();
  host::SetRenderState(engine, host::kRenderStateVertexAlpha, 1);
  host::SetRenderState(engine, host::kRenderStateSourceBlend, host::kBlendSourceAlpha);
  host::SetRenderState(engine, host::kRenderStateDestinationBlend, host::kBlendInverseSourceAlpha);
  host::SetRenderState(engine, host::kRenderStateTextureRaster, 0);
  if (host::TransformImmediateVertices(host::ImmediateVertices, count, nullptr, kTransformFlags) == nullptr) return;
  host::RenderImmediateIndexed(host::kPrimitiveLineList, TrailLineIndices, 2 * count - 2);
  host::EndImmediate();
}

}  // namespace

const std::uint16_t TrailLineIndices[kTrailLineIndices] = {0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,  6,  7,  7,
                                                           8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15};

void DrawTrails() {
  const float brightness = ComputeBrightness();  // the TrailBrightness of this drawing pass
  if (!(brightness > kMinBrightness)) return;
  // The brightness is at most 65535/256 here, so the product converts safely; the colour holds 8 bits of
  // alpha, which only negative dim factors could push past.
  const auto maxAlpha = std::min(static_cast<std::int32_t>(brightness * kTrailFullAlpha), kMaxColourAlpha);
  const std::uint32_t now = host::HostTimeMs();
  if (maxAlpha == 0) {  // nothing to draw or expire, but every slot is still asked whether it is in view
    for (const TrailRecord& record : Trails) host::IsSphereVisible(record.points[0], kTrailCullRadius);
    return;
  }
  const Fade fade = FadeFor(config::TrailFadeTime, maxAlpha);
  for (TrailRecord& record : Trails) {
    if (host::IsSphereVisible(record.points[0], kTrailCullRadius)) DrawTrail(record, now, fade);
  }
}

}  // namespace trails
