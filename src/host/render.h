#pragma once
// What the host's renderer and light sprites take, by name: render states and their values, primitive types
// and the vertex flags of an immediate-mode batch, and the look of a light sprite. The numbers are the host
// renderer's own and are passed through unchanged.

#include <cstdint>

namespace host {

// Render states, set through SetRenderState.
inline constexpr std::int32_t kRenderStateTextureRaster = 1;  // a texture's raster, or 0 for none
inline constexpr std::int32_t kRenderStateDepthTest = 6;
inline constexpr std::int32_t kRenderStateDepthWrite = 8;
inline constexpr std::int32_t kRenderStateSourceBlend = 10;
inline constexpr std::int32_t kRenderStateDestinationBlend = 11;
inline constexpr std::int32_t kRenderStateVertexAlpha = 12;
inline constexpr std::int32_t kRenderStateFog = 14;

// Values of the two blend states.
inline constexpr std::uint32_t kBlendSourceAlpha = 5;
inline constexpr std::uint32_t kBlendInverseSourceAlpha = 6;

// Primitive types of RenderImmediateIndexed.
inline constexpr std::int32_t kPrimitiveLineList = 1;      // two indices a segment
inline constexpr std::int32_t kPrimitiveTriangleList = 3;  // three indices a triangle

// Flags of TransformImmediateVertices: which fields of each vertex the batch uses.
inline constexpr std::uint32_t kVertexTextureCoordinates = 0x01;
inline constexpr std::uint32_t kVertexPosition = 0x08;
inline constexpr std::uint32_t kVertexColour = 0x10;

// Everything ShowLightSprite takes besides the sprite's id and position, in the host's order.
struct LightSpriteLook {
  std::int32_t attachedTo;
  std::int32_t red;
  std::int32_t green;
  std::int32_t blue;
  std::int32_t alpha;
  float size;
  float range;  // beyond this distance from the camera it is not shown
  std::int32_t texture;
  std::int32_t flare;
  std::int32_t reflection;
  std::int32_t checkObstacles;
  std::int32_t streak;
  float angle;
  std::int32_t longDistance;
  float nearRange;
  std::int32_t fadeState;
  float fadeSpeed;
  std::int32_t onlyFromBelow;
  std::int32_t reflectionDelay;
};

// The host's night: hours above 22 and below 7 (the clock hour is an unsigned byte).
inline constexpr bool IsNightHour(std::uint8_t hour) { return hour > 22 || hour < 7; }

}  // namespace host
