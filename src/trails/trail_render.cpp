#include "trails/trail_render.h"

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include "config/rules.h"
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

// How a trail looks: its rule's colour, fade time and width, or the sky trails' colour.
struct TrailLook {
  std::uint32_t colour;
  float fadeTime;
  float width;
};

TrailLook LookOf(std::uint8_t rule) {
  if (rule < config::kMaxTrailRules) {
    const config::Rules& trails = config::InEffect.trailRules;
    return {trails.TrailColour[rule], trails.TrailFadeTime[rule], trails.TrailWidth[rule]};
  }
  return {config::InEffect.SkyTrailColour, config::InEffect.TrailFadeTime, 0.0f};
}

// How a live point's colour follows from its age, worked out for a look once a frame: the look's colour, with
// maxAlpha while the point is younger than kTrailLifeMs minus the fade time, then falling linearly to 0 at
// kTrailLifeMs. A fade time of 0 means no fade at all; a negative (or NaN) one gives 0, where the quotient would turn
// negative (or NaN). Both are made of the same formula, so that every trail takes the same instructions: no fade
// divides by +0 (the quotient is +inf, or NaN at exactly kTrailLifeMs, and the min makes either 1), and alpha 0 divides
// by 1.
struct Fade {
  __m128i colour;   // the look's colour without alpha, in each of four lanes
  __m128 time;      // what the age is divided by, in each of four lanes
  __m128 alpha;     // maxAlpha, or 0, in each of four lanes
  float halfWidth;  // a ribbon's: each side this far from the points
  bool ribbon;      // else a line
};

// Worked out once per rule a drawing pass meets: not inlined into the loop over the trails.
[[gnu::noinline]] Fade FadeFor(const TrailLook& look, std::int32_t maxAlpha) {
  const bool fades = look.fadeTime > 0.0f;
  const bool noFade = look.fadeTime == 0.0f;
  const std::uint32_t colour = look.colour & config::kWhite;
  // A width that is not a finite number above 0 has no ribbon to make: the line is drawn.
  const bool ribbon = look.width > 0.0f && look.width <= std::numeric_limits<float>::max();
  return {_mm_set1_epi32(static_cast<int>(colour)),
          _mm_set1_ps(fades    ? look.fadeTime
                      : noFade ? 0.0f
                               : 1.0f),
          _mm_set1_ps(fades || noFade ? static_cast<float>(maxAlpha) : 0.0f), ribbon ? look.width * 0.5f : 0.0f,
          ribbon};
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
// lies in 0 to maxAlpha, so the signed conversion is the unsigned one. Below it the look's colour.
void ColourPoints(const __m128i ages[kTrailPoints / 4], const Fade& fade, std::uint32_t colours[kTrailPoints]) {
  auto* out = reinterpret_cast<__m128i*>(colours);
  const __m128 life = _mm_set1_ps(static_cast<float>(kTrailLifeMs));
  const __m128 one = _mm_set1_ps(1.0f);
  for (int quarter = 0; quarter < 4; ++quarter) {
    // Where the quotient is NaN (no fade, at exactly kTrailLifeMs) the min gives its second operand: 1.
    const __m128 f = _mm_min_ps(_mm_div_ps(_mm_sub_ps(life, _mm_cvtepi32_ps(ages[quarter])), fade.time), one);
    _mm_storeu_si128(out + quarter,
                     _mm_or_si128(_mm_slli_epi32(_mm_cvttps_epi32(_mm_mul_ps(f, fade.alpha)), 24), fade.colour));
  }
}

// A vertex of a trail: the point's position (x and y as one 64-bit move) and its colour.
void WriteVertex(host::ImmediateVertex& vertex, const host::Vector3& point, std::uint32_t colour) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(&vertex.position),
                   _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&point)));
  vertex.position.z = point.z;
  vertex.colour = colour;
}

// What a line and a ribbon have alike: translucent by their vertices' alpha, without a texture.
void SetTrailRenderStates() {
  host::HostEngine* const engine = host::GetHostEngine();
  host::SetRenderState(engine, host::kRenderStateVertexAlpha, 1);
  host::SetRenderState(engine, host::kRenderStateSourceBlend, host::kBlendSourceAlpha);
  host::SetRenderState(engine, host::kRenderStateDestinationBlend, host::kBlendInverseSourceAlpha);
  host::SetRenderState(engine, host::kRenderStateTextureRaster, 0);
}

void DrawLine(const TrailRecord& record, std::uint32_t live, const std::uint32_t colours[kTrailPoints]) {
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

  SetTrailRenderStates();
  if (host::TransformImmediateVertices(host::ImmediateVertices, count, nullptr, kTransformFlags) == nullptr) return;
  host::RenderImmediateIndexed(host::kPrimitiveLineList, TrailLineIndices, 2 * count - 2);
  host::EndImmediate();
}

// A ribbon is a band like a banner's cloth: the same triangles for every ribbon.
constexpr auto kRibbonIndexList = host::BandIndices<kTrailPoints>();

// A trail point in the lower three lanes, 0 in the fourth. The load takes the four bytes after the point too, which
// lie inside its record (the next point, or after the last one the timestamps).
static_assert(offsetof(TrailRecord, times) == sizeof(TrailRecord::points));
__m128 PointLanes(const host::Vector3& point) {
  const __m128 xyz = _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0));
  return _mm_and_ps(_mm_loadu_ps(&point.x), xyz);
}

// Writes the lower three lanes as a vertex position.
void StorePosition(host::Vector3& position, __m128 lanes) {
  _mm_storel_pi(reinterpret_cast<__m64*>(&position.x), lanes);
  _mm_store_ss(&position.z, _mm_movehl_ps(lanes, lanes));
}

// The cross product of the lower three lanes; each component is the same float arithmetic as written out one by one.
__m128 Cross(__m128 a, __m128 b) {
  const __m128 aYzx = _mm_shuffle_ps(a, a, _MM_SHUFFLE(3, 0, 2, 1));
  const __m128 bYzx = _mm_shuffle_ps(b, b, _MM_SHUFFLE(3, 0, 2, 1));
  const __m128 zxy = _mm_sub_ps(_mm_mul_ps(a, bYzx), _mm_mul_ps(aYzx, b));
  return _mm_shuffle_ps(zxy, zxy, _MM_SHUFFLE(3, 0, 2, 1));
}

// Half the width along `across`, or nothing when `across` has no direction (or no finite length). The square root
// is the SSE instruction's, not the C library's, which would bring its error handling into the DLL.
bool SideAlong(__m128 across, float halfWidth, __m128& side) {
  const __m128 squares = _mm_mul_ps(across, across);
  const __m128 sum = _mm_add_ss(_mm_add_ss(squares, _mm_shuffle_ps(squares, squares, _MM_SHUFFLE(1, 1, 1, 1))),
                                _mm_movehl_ps(squares, squares));
  const float length = _mm_cvtss_f32(_mm_sqrt_ss(sum));
  if (!(length > 0.0f && length <= std::numeric_limits<float>::max())) return false;
  side = _mm_mul_ps(across, _mm_set1_ps(halfWidth / length));
  return true;
}

// A flat band through the live points, as wide as the rule says, turned toward the camera: at each point its two
// vertices lie half the width to either side, along the direction across both the trail there (from the live point
// before to the one after) and the line of sight. Where those two are parallel (the camera looks along the trail) no
// such direction exists: the side of the point before serves, or before any, the level direction across the trail.
// A band seen edge on shows little either way, but it keeps its width.
// Not inlined: the thin lines, the common case drawn every frame, keep their code free of the ribbon's.
[[gnu::noinline]] void DrawRibbon(const TrailRecord& record, std::uint32_t live,
                                  const std::uint32_t colours[kTrailPoints], float halfWidth) {
  // The live points in order, the first and the last twice, so that each has one before and one after it.
  __m128 points[kTrailPoints + 2];
  std::uint32_t pointColours[kTrailPoints];
  int count = 0;
#pragma GCC unroll 1
  for (std::uint32_t rest = live; rest != 0; rest &= rest - 1) {
    const int k = __builtin_ctz(rest);
    points[count + 1] = PointLanes(record.points[k]);
    pointColours[count++] = colours[k];
  }
  points[0] = points[1];
  points[count + 1] = points[count];

  const host::Vector3& eye = host::PositionOf(host::GetHostCamera()->placement);
  const __m128 camera = _mm_setr_ps(eye.x, eye.y, eye.z, 0.0f);
  const __m128 up = _mm_setr_ps(0.0f, 0.0f, 1.0f, 0.0f);
  __m128 side = _mm_setzero_ps();
  bool sided = false;
#pragma GCC unroll 1
  for (int i = 0; i < count; ++i) {
    const __m128 point = points[i + 1];
    const __m128 along = _mm_sub_ps(points[i + 2], points[i]);
    if (SideAlong(Cross(along, _mm_sub_ps(point, camera)), halfWidth, side)) {
      sided = true;
    } else if (!sided) {
      sided = SideAlong(Cross(along, up), halfWidth, side);
    }
    host::ImmediateVertex& left = host::ImmediateVertices[2 * i];
    host::ImmediateVertex& right = host::ImmediateVertices[2 * i + 1];
    StorePosition(left.position, _mm_add_ps(point, side));
    StorePosition(right.position, _mm_sub_ps(point, side));
    left.colour = right.colour = pointColours[i];
  }
  const std::int32_t indices = 6 * (count - 1);
  std::memcpy(host::ImmediateIndices, kRibbonIndexList.data(),
              static_cast<std::size_t>(indices) * sizeof(std::uint16_t));

  SetTrailRenderStates();
  if (host::TransformImmediateVertices(host::ImmediateVertices, 2 * count, nullptr, kTransformFlags) == nullptr) {
    return;
  }
  host::RenderImmediateIndexed(host::kPrimitiveTriangleList, host::ImmediateIndices, indices);
  host::EndImmediate();
}

void DrawTrail(TrailRecord& record, std::uint32_t live, const __m128i ages[kTrailPoints / 4], const Fade& fade) {
  std::uint32_t colours[kTrailPoints];
  ColourPoints(ages, fade, colours);
  if (fade.ribbon) {
    DrawRibbon(record, live, colours, fade.halfWidth);
  } else {
    DrawLine(record, live, colours);
  }
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
  // The fade of the rule of the trail drawn last, worked out again only when a trail of another rule comes.
  Fade fade;
  std::uint32_t fadeRule = ~0u;  // none yet: the first trail drawn works its fade out
  for (TrailRecord& record : Trails) {
    if (!host::IsSphereVisible(record.points[0], kTrailCullRadius)) continue;
    __m128i ages[kTrailPoints / 4];
    const std::uint32_t live = ExpireOldPoints(record, now, ages);
    if ((live & (live - 1)) == 0) continue;  // fewer than two live points
    if (record.rule != fadeRule) {
      fadeRule = record.rule;
      fade = FadeFor(LookOf(record.rule), maxAlpha);
    }
    DrawTrail(record, live, ages, fade);
  }
}

}  // namespace trails
