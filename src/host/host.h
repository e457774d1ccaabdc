#pragma once
// The host game as the plug-in sees it: object layouts (only the fields the plug-in uses, the rest kept as
// padding so that every offset is checked), typed calls of host entries with their calling conventions
// spelled out, and accessors of host data. Addresses are in addresses.h; bound ones come from the binding.

#include <cstddef>
#include <cstdint>

#include "host/addresses.h"
#include "host/callconv.h"
#include "host/host_version.h"
#include "host/render.h"

static_assert(sizeof(void*) == 4, "the plug-in exists only as x86-32 code");

namespace host {

struct Vector3 {
  float x;
  float y;
  float z;
};
static_assert(sizeof(Vector3) == 12);

struct HostMatrix {
  std::uint8_t unknown0[48];
  Vector3 position;
  std::uint8_t unknown60[4];
};
static_assert(offsetof(HostMatrix, position) == 48);
static_assert(sizeof(HostMatrix) == 64);

// The leading part shared by everything the host places in the world (vehicles, the camera).
struct HostPlacement {
  std::uint8_t unknown0[4];
  Vector3 position;  // used while `matrix` is null
  std::uint8_t unknown16[4];
  HostMatrix* matrix;
};
static_assert(offsetof(HostPlacement, position) == 4);
static_assert(offsetof(HostPlacement, matrix) == 20);
static_assert(sizeof(HostPlacement) == 24);

// Where the host has placed an object: the matrix's position when it has a matrix, else its own.
inline const Vector3& PositionOf(const HostPlacement& placement) {
  return placement.matrix != nullptr ? placement.matrix->position : placement.position;
}

struct HostVehicle {
  HostPlacement placement;
  std::uint8_t unknown24[10];
  std::uint16_t model;
  std::uint8_t unknown36[18];
  std::uint8_t status;  // HostVehicleStatus in bits 3 to 7
  std::uint8_t unknown55[1065];
  void* driver;  // non-null while a pilot is inside
  std::uint8_t unknown1124[1372];
  std::uint32_t timeField;  // HostVehicleTimeField: the one host datum the plug-in writes
  std::uint8_t unknown2500[84];
};
static_assert(offsetof(HostVehicle, placement) == 0);
static_assert(offsetof(HostVehicle, model) == 34);
static_assert(offsetof(HostVehicle, status) == 54);
static_assert(offsetof(HostVehicle, driver) == 1120);
static_assert(offsetof(HostVehicle, timeField) == 2496);
static_assert(sizeof(HostVehicle) == 2584);

// Status 5 in bits 3 to 7 of the status byte.
inline constexpr std::uint8_t kVehicleStatusMask = 0xF8;
inline constexpr std::uint8_t kVehicleStatusExcluded = 0x28;

struct HostVehiclePool {
  HostVehicle* entries;
  std::int8_t* flags;  // one per entry; negative marks a free entry
  std::int32_t count;
};
static_assert(offsetof(HostVehiclePool, entries) == 0);
static_assert(offsetof(HostVehiclePool, flags) == 4);
static_assert(offsetof(HostVehiclePool, count) == 8);

struct HostCamera {
  HostPlacement placement;
};
static_assert(offsetof(HostCamera, placement) == 0);

using SetRenderStateFn = std::int32_t(HOST_CDECL*)(std::int32_t state, std::uint32_t value);

struct HostEngine {
  std::uint8_t unknown0[32];
  SetRenderStateFn setRenderState;
};
static_assert(offsetof(HostEngine, setRenderState) == 32);

struct HostLightColour {
  std::uint8_t unknown0[36];
  std::uint16_t red;
  std::uint16_t green;
  std::uint16_t blue;
};
static_assert(offsetof(HostLightColour, red) == 36);
static_assert(offsetof(HostLightColour, green) == 38);
static_assert(offsetof(HostLightColour, blue) == 40);

struct HostTexture {
  void* raster;  // what render state 1 takes
};
static_assert(offsetof(HostTexture, raster) == 0);

// The host renderer's immediate-mode vertex.
struct ImmediateVertex {
  Vector3 position;
  Vector3 normal;
  std::uint32_t colour;  // alpha in bits 24 to 31
  float u;
  float v;
};
static_assert(offsetof(ImmediateVertex, position) == 0);
static_assert(offsetof(ImmediateVertex, normal) == 12);
static_assert(offsetof(ImmediateVertex, colour) == 24);
static_assert(offsetof(ImmediateVertex, u) == 28);
static_assert(offsetof(ImmediateVertex, v) == 32);
static_assert(sizeof(ImmediateVertex) == 36);

// A vertex colour: white, with `alpha` (0 to 255) in the top byte.
inline constexpr std::uint32_t WhiteWithAlpha(std::uint32_t alpha) { return (alpha << 24) | 0xFFFFFFu; }

// Host entry types.
using PushCurrentTextureDictionaryFn = void(HOST_CDECL*)();
using PopCurrentTextureDictionaryFn = void(HOST_CDECL*)();
using AddTextureDictionarySlotFn = std::int32_t(HOST_CDECL*)(const char* name);
using LoadTextureDictionaryFn = std::int32_t(HOST_CDECL*)(std::int32_t slot, const char* path);
using FindTextureDictionarySlotFn = std::int32_t(HOST_CDECL*)(const char* name);
using SetCurrentTextureDictionaryFn = void(HOST_CDECL*)(std::int32_t slot);
using ReadTextureFn = HostTexture*(HOST_CDECL*)(const char* name, const char* maskName);
using DestroyTextureFn = void(HOST_CDECL*)(HostTexture* texture);
using TransformImmediateVerticesFn = void*(HOST_CDECL*)(ImmediateVertex* vertices, std::int32_t count, void* matrix,
                                                        std::uint32_t flags);
// The host only reads the indices.
using RenderImmediateIndexedFn = std::int32_t(HOST_CDECL*)(std::int32_t primitiveType, const std::uint16_t* indices,
                                                           std::int32_t count);
using EndImmediateFn = std::int32_t(HOST_CDECL*)();
using IsSphereVisibleFn = std::uint8_t(HOST_THISCALL*)(const HostCamera* camera, const Vector3* centre, float radius);
using SetVectorFn = void(HOST_THISCALL*)(Vector3* vector, float x, float y, float z);
using VectorLengthFn = float(HOST_THISCALL*)(const Vector3* vector);
using CopyVectorFn = void(HOST_THISCALL*)(Vector3* vector, const Vector3* source);
// 21 arguments, each 32 bits wide, in the order the host takes them.
using ShowLightSpriteFn = void(HOST_CDECL*)(std::uint32_t id, std::int32_t attachedTo, std::int32_t red,
                                            std::int32_t green, std::int32_t blue, std::int32_t alpha,
                                            const Vector3* position, float size, float range, std::int32_t texture,
                                            std::int32_t flare, std::int32_t reflection, std::int32_t checkObstacles,
                                            std::int32_t streak, float angle, std::int32_t longDistance,
                                            float nearRange, std::int32_t fadeState, float fadeSpeed,
                                            std::int32_t onlyFromBelow, std::int32_t reflectionDelay);
using UpdateLightSpriteFn = void(HOST_CDECL*)(std::uint32_t id, const Vector3* position, float range, float angle);

// The host's datum of type T at `address`, in place.
template <typename T>
T& Datum(std::uint32_t address) {
  return *reinterpret_cast<T*>(address);
}

// The host's time step is 1 for a frame of this many milliseconds.
inline constexpr float kMsPerTimeStep = 20.0f;

// Host data.
inline std::uint32_t HostTimeMs() { return Datum<std::uint32_t>(address::HostTimeMs); }
inline float HostTimeStep() { return Datum<float>(address::HostTimeStep); }
inline HostVehiclePool* GetHostVehiclePool() { return Datum<HostVehiclePool*>(address::HostVehiclePoolPointer); }
inline HostEngine* GetHostEngine() { return Datum<HostEngine*>(address::HostEnginePointer); }
inline float HostDimFactorA() { return Datum<float>(address::HostDimFactorA); }
inline float HostDimFactorB() { return Datum<float>(address::HostDimFactorB); }
inline float HostDimFactorC() { return Datum<float>(address::HostDimFactorC); }
inline const HostLightColour& GetHostLightColour() { return Datum<HostLightColour>(address::HostLightColour); }
inline HostCamera* GetHostCamera() { return reinterpret_cast<HostCamera*>(binding::HostCamera.address()); }
inline std::uint8_t HostClockHour() { return Datum<std::uint8_t>(binding::HostClockHour.address()); }

// Host entries.
inline void PushCurrentTextureDictionary() {
  Entry<PushCurrentTextureDictionaryFn>(address::PushCurrentTextureDictionary)();
}
inline void PopCurrentTextureDictionary() {
  Entry<PopCurrentTextureDictionaryFn>(address::PopCurrentTextureDictionary)();
}
inline std::int32_t AddTextureDictionarySlot(const char* name) {
  return Entry<AddTextureDictionarySlotFn>(address::AddTextureDictionarySlot)(name);
}
inline void LoadTextureDictionary(std::int32_t slot, const char* path) {
  Entry<LoadTextureDictionaryFn>(address::LoadTextureDictionary)(slot, path);
}
inline std::int32_t FindTextureDictionarySlot(const char* name) {
  return Entry<FindTextureDictionarySlotFn>(address::FindTextureDictionarySlot)(name);
}
inline void SetCurrentTextureDictionary(std::int32_t slot) {
  Entry<SetCurrentTextureDictionaryFn>(address::SetCurrentTextureDictionary)(slot);
}
inline HostTexture* ReadTexture(const char* name, const char* maskName) {
  return Entry<ReadTextureFn>(address::ReadTexture)(name, maskName);
}
inline void DestroyTexture(HostTexture* texture) { Entry<DestroyTextureFn>(address::DestroyTexture)(texture); }
inline void* TransformImmediateVertices(ImmediateVertex* vertices, std::int32_t count, void* matrix,
                                        std::uint32_t flags) {
  return Entry<TransformImmediateVerticesFn>(address::TransformImmediateVertices)(vertices, count, matrix, flags);
}
inline void RenderImmediateIndexed(std::int32_t primitiveType, const std::uint16_t* indices, std::int32_t count) {
  Entry<RenderImmediateIndexedFn>(address::RenderImmediateIndexed)(primitiveType, indices, count);
}
inline void EndImmediate() { Entry<EndImmediateFn>(address::EndImmediate)(); }
// A run of render states may read the engine once.
inline void SetRenderState(HostEngine* engine, std::int32_t state, std::uint32_t value) {
  engine->setRenderState(state, value);
}
inline void SetRenderState(std::int32_t state, std::uint32_t value) { SetRenderState(GetHostEngine(), state, value); }
inline bool IsSphereVisible(const Vector3& centre, float radius) {
  return Entry<IsSphereVisibleFn>(binding::IsSphereVisible.address())(GetHostCamera(), &centre, radius) != 0;
}
inline void SetVector(Vector3& vector, float x, float y, float z) {
  Entry<SetVectorFn>(address::SetVector)(&vector, x, y, z);
}
inline float VectorLength(const Vector3& vector) { return Entry<VectorLengthFn>(address::VectorLength)(&vector); }
inline void CopyVector(Vector3& vector, const Vector3& source) {
  Entry<CopyVectorFn>(address::CopyVector)(&vector, &source);
}
inline void ShowLightSprite(std::uint32_t id, const Vector3& position, const LightSpriteLook& look) {
  Entry<ShowLightSpriteFn>(address::ShowLightSprite)(
      id, look.attachedTo, look.red, look.green, look.blue, look.alpha, &position, look.size, look.range, look.texture,
      look.flare, look.reflection, look.checkObstacles, look.streak, look.angle, look.longDistance, look.nearRange,
      look.fadeState, look.fadeSpeed, look.onlyFromBelow, look.reflectionDelay);
}
inline void UpdateLightSprite(std::uint32_t id, const Vector3& position, float range, float angle) {
  Entry<UpdateLightSpriteFn>(address::UpdateLightSprite)(id, &position, range, angle);
}

}  // namespace host
