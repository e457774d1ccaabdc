// The game's side of the browser preview: its data at the game's own addresses in the WebAssembly memory, its
// renderer entries (which record what the plug-in hands them for the page to draw), its light sprites, and a
// scripted flight. Only the plug-in's code produces trails, banners and sky trails; this file moves aircraft and
// keeps what the plug-in drew.

#include "game.h"

#include <emscripten.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "flights/banner_circle.h"
#include "host/host.h"
#include "host/immediate.h"
#include "patching/patching.h"
#include "plugin/steps.h"
#include "trails/trail_store.h"

namespace game {
namespace {

using host::HostTexture;
using host::ImmediateVertex;
using host::Vector3;

// The game's image must hold build 1001's probe word before the plug-in's bindings detect the build.
__attribute__((constructor(101))) void WriteProbeWord() {
  for (const host::BuildProbe& probe : host::kBuildProbes) {
    if (probe.build == host::kBuild1001) host::Datum<std::uint32_t>(probe.address) = probe.word;
  }
}

// Render states the page keeps: the texture of the next batch.
std::uint32_t textureRaster = 0;

std::int32_t HOST_CDECL SetRenderState(std::int32_t state, std::uint32_t value) {
  if (state == host::kRenderStateTextureRaster) textureRaster = value;
  return 1;
}

host::HostEngine engine{{}, &SetRenderState};
host::HostVehicle vehicles[kMaxVehicles];
std::int8_t vehicleFlags[kMaxVehicles];
host::HostVehiclePool pool{vehicles, vehicleFlags, 0};

// The stand-in textures of the player's dictionary, one for each name read from it: the raster of the k-th is k + 1,
// a number the page draws the name's stand-in cloth for. A start-up reads "Banner" and the rules' names afresh; room
// for those of the rules put back after a failed read besides.
constexpr int kMaxTextures = 1 + 2 * config::kMaxBannerRules;
HostTexture textures[kMaxTextures];
char textureNames[kMaxTextures][config::kTextureNameSize];
int textureCount = 0;
bool dictionaryLoaded = false;

// The vertices of the batch being transformed, until it is rendered.
ImmediateVertex pending[host::kImmediateVertexCapacity];
std::int32_t pendingCount = 0;

Frame frame;

void HOST_CDECL PushDictionary() {}
void HOST_CDECL PopDictionary() {}
std::int32_t HOST_CDECL AddDictionarySlot(const char*) { return 7; }
std::int32_t HOST_CDECL LoadDictionary(std::int32_t, const char*) {
  // The player's MODELS\BANNER.TXD is not in the page: it holds a stand-in cloth of every name asked for.
  dictionaryLoaded = true;
  textureCount = 0;
  return 1;
}
std::int32_t HOST_CDECL FindDictionarySlot(const char*) { return 7; }
void HOST_CDECL SetCurrentDictionary(std::int32_t) {}
HostTexture* HOST_CDECL ReadTexture(const char* name, const char*) {
  if (!dictionaryLoaded || std::strlen(name) >= config::kTextureNameSize) return nullptr;
  for (int k = 0; k < textureCount; ++k) {
    if (std::strcmp(textureNames[k], name) == 0) return &textures[k];
  }
  if (textureCount == kMaxTextures) return nullptr;
  std::strcpy(textureNames[textureCount], name);
  textures[textureCount].raster = reinterpret_cast<void*>(static_cast<std::uintptr_t>(textureCount + 1));
  return &textures[textureCount++];
}
void HOST_CDECL DestroyTexture(HostTexture*) {}

void* HOST_CDECL TransformVertices(ImmediateVertex* vertices, std::int32_t count, void*, std::uint32_t) {
  if (count < 0 || count > host::kImmediateVertexCapacity) return nullptr;
  std::memcpy(pending, vertices, sizeof(ImmediateVertex) * static_cast<std::size_t>(count));
  pendingCount = count;
  return pending;
}

// A vertex colour's channel (alpha at 24, red 16, green 8, blue 0) as WebGL takes it.
float Channel(std::uint32_t colour, int shift) { return static_cast<float>(colour >> shift & 0xFF) / 255.0f; }

// Each index becomes a vertex of the page's buffer; a batch continues the last one when it looks the same.
std::int32_t HOST_CDECL RenderIndexed(std::int32_t primitive, const std::uint16_t* indices, std::int32_t count) {
  const auto texture = static_cast<std::int32_t>(textureRaster);
  if (count <= 0 || frame.vertexCount + count > kMaxVertices) return 0;
  if (primitive == host::kPrimitiveTriangleList && texture != 0) frame.bannerTriangles += count / 3;
  if (frame.batchCount == 0 || frame.batches[frame.batchCount - 1].primitive != primitive ||
      frame.batches[frame.batchCount - 1].texture != texture) {
    if (frame.batchCount == kMaxBatches) return 0;
    frame.batches[frame.batchCount++] = {primitive, texture, frame.vertexCount, 0};
  }
  for (std::int32_t i = 0; i < count; ++i) {
    if (indices[i] >= pendingCount) continue;
    const ImmediateVertex& source = pending[indices[i]];
    float* out = frame.vertices + kVertexFloats * frame.vertexCount;
    out[0] = source.position.x;
    out[1] = source.position.y;
    out[2] = source.position.z;
    out[3] = Channel(source.colour, 16);
    out[4] = Channel(source.colour, 8);
    out[5] = Channel(source.colour, 0);
    out[6] = Channel(source.colour, 24);
    out[7] = source.u;
    out[8] = source.v;
    ++frame.vertexCount;
    ++frame.batches[frame.batchCount - 1].count;
  }
  return 1;
}

std::int32_t HOST_CDECL EndImmediate() {
  pendingCount = 0;
  return 1;
}

// The game's camera test: the sphere against the six planes of the page's view.
std::uint8_t HOST_THISCALL IsSphereVisible(const host::HostCamera*, const Vector3* centre, float radius) {
  const float* m = frame.viewProjection;
  for (int plane = 0; plane < 6; ++plane) {
    const int row = plane / 2;
    const float sign = plane % 2 == 0 ? 1.0f : -1.0f;
    const float a = m[3] + sign * m[row];
    const float b = m[7] + sign * m[4 + row];
    const float c = m[11] + sign * m[8 + row];
    const float d = m[15] + sign * m[12 + row];
    const float length = std::sqrt(a * a + b * b + c * c);
    if (!(length > 0.0f)) continue;
    if ((a * centre->x + b * centre->y + c * centre->z + d) / length < -radius) return 0;
  }
  return 1;
}

void HOST_THISCALL SetVector(Vector3* vector, float x, float y, float z) { *vector = {x, y, z}; }
float HOST_THISCALL VectorLength(const Vector3* v) { return std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z); }
void HOST_THISCALL CopyVector(Vector3* vector, const Vector3* source) { *vector = *source; }

void HOST_CDECL ShowLightSprite(std::uint32_t, std::int32_t, std::int32_t red, std::int32_t green, std::int32_t blue,
                                std::int32_t alpha, const Vector3* position, float size, float, std::int32_t,
                                std::int32_t, std::int32_t, std::int32_t, std::int32_t, float, std::int32_t, float,
                                std::int32_t, float, std::int32_t, std::int32_t) {
  if (frame.spriteCount == kMaxSprites) return;
  float* out = frame.sprites + kSpriteFloats * frame.spriteCount++;
  const float values[kSpriteFloats] = {position->x,
                                       position->y,
                                       position->z,
                                       static_cast<float>(red) / 255.0f,
                                       static_cast<float>(green) / 255.0f,
                                       static_cast<float>(blue) / 255.0f,
                                       static_cast<float>(alpha) / 255.0f,
                                       size};
  std::memcpy(out, values, sizeof values);
}

// Moves a sprite that shows; the game's own fades it out when it is not shown again.
void HOST_CDECL UpdateLightSprite(std::uint32_t, const Vector3*, float, float) {}

constexpr float kTwoPi = 6.28318530718f;
constexpr float kTrailSpeed = 20.0f;  // world units per second
constexpr float kCrossingRadius = 90.0f;

std::uint16_t ModelFor(std::int32_t id) { return id >= 1 && id <= 0xFFFF ? static_cast<std::uint16_t>(id) : 0; }

// The cars' model: the first from 400 on that no rule serves.
std::uint16_t CarModel() {
  std::uint16_t model = 400;
  while (config::RuleServing(model)) ++model;
  return model;
}

// Where vehicle `index` is `seconds` into the flight. The first two fly circles that cross above the origin, the third
// circles near them; the other aircraft fly wider circles around the scene, each at its own height (those past the
// first 50 of the pool between those of the first 50), and the cars drive round on the ground.
Vector3 FlightPosition(int index, float seconds) {
  if (index < 2) {
    const float side = index == 0 ? 1.0f : -1.0f;
    const float angle = side * kTrailSpeed / kCrossingRadius * seconds + (index == 0 ? kTwoPi / 2 : 0.0f);
    return {side * 0.6f * kCrossingRadius + kCrossingRadius * std::cos(angle), kCrossingRadius * std::sin(angle) * 0.8f,
            index == 0 ? kTrailHeights[0] : kTrailHeights[1]};
  }
  if (index == 2) {
    // As in the Linux preview, near the crossing.
    const flights::CirclePoint circling = flights::BannerCirclePoint(seconds);
    return {circling.x, circling.y, kBannerHeight};
  }
  const int ring = index % trails::kTrailSlots;
  const float radius = 160.0f + 9.0f * static_cast<float>(ring) + (index >= trails::kTrailSlots ? 4.5f : 0.0f);
  const float rate = (index % 2 == 0 ? 1.0f : -1.0f) * 18.0f / radius;
  const float angle = rate * seconds + 0.61f * static_cast<float>(index);
  const float height = RoleOf(index) == Role::kCar ? 1.0f : 130.0f + 6.0f * static_cast<float>(index % 12);
  return {radius * std::cos(angle), radius * std::sin(angle), height};
}

// The game's entries in the plug-in's table, each set with the type the plug-in calls it with, so that a function
// of another type does not compile.
void SetEntries() {
  namespace at = host::address;
  host::SetEntry<host::ReadTextureFn>(at::ReadTexture, &ReadTexture);
  host::SetEntry<host::DestroyTextureFn>(at::DestroyTexture, &DestroyTexture);
  host::SetEntry<host::TransformImmediateVerticesFn>(at::TransformImmediateVertices, &TransformVertices);
  host::SetEntry<host::EndImmediateFn>(at::EndImmediate, &EndImmediate);
  host::SetEntry<host::RenderImmediateIndexedFn>(at::RenderImmediateIndexed, &RenderIndexed);
  host::SetEntry<host::SetVectorFn>(at::SetVector, &SetVector);
  host::SetEntry<host::VectorLengthFn>(at::VectorLength, &VectorLength);
  host::SetEntry<host::CopyVectorFn>(at::CopyVector, &CopyVector);
  host::SetEntry<host::ShowLightSpriteFn>(at::ShowLightSprite, &ShowLightSprite);
  host::SetEntry<host::UpdateLightSpriteFn>(at::UpdateLightSprite, &UpdateLightSprite);
  host::SetEntry<host::PushCurrentTextureDictionaryFn>(at::PushCurrentTextureDictionary, &PushDictionary);
  host::SetEntry<host::PopCurrentTextureDictionaryFn>(at::PopCurrentTextureDictionary, &PopDictionary);
  host::SetEntry<host::FindTextureDictionarySlotFn>(at::FindTextureDictionarySlot, &FindDictionarySlot);
  host::SetEntry<host::SetCurrentTextureDictionaryFn>(at::SetCurrentTextureDictionary, &SetCurrentDictionary);
  host::SetEntry<host::AddTextureDictionarySlotFn>(at::AddTextureDictionarySlot, &AddDictionarySlot);
  host::SetEntry<host::LoadTextureDictionaryFn>(at::LoadTextureDictionary, &LoadDictionary);
  host::SetEntry<host::IsSphereVisibleFn>(at::IsSphereVisible, &IsSphereVisible);
}

}  // namespace

Frame& CurrentFrame() { return frame; }

const host::HostVehicle& Vehicle(int index) { return vehicles[index]; }

Role RoleOf(int index) {
  if (index < 2) return Role::kTrail;
  if (index == 2) return Role::kBanner;
  if (index % 3 == 0) return Role::kCar;  // every third from the fourth on
  return index % 2 == 1 ? Role::kTrail : Role::kBanner;
}

const char* TextureName(std::int32_t raster) {
  return raster >= 1 && raster <= textureCount ? textureNames[raster - 1] : nullptr;
}

void SetUp() {
  SetEntries();
  host::Datum<host::HostEngine*>(host::address::HostEnginePointer) = &engine;
  host::Datum<host::HostVehiclePool*>(host::address::HostVehiclePoolPointer) = &pool;
  host::Datum<std::uint32_t>(host::address::HostTimeMs) = 100000;  // a clock of 0 would mark trail points empty
  host::Datum<float>(host::address::HostTimeStep) = 1.0f;
  for (host::HostVehicle& vehicle : vehicles) vehicle.driver = &vehicle;  // flown by pilots, for the settings that ask
}

void Fly(std::int32_t count, float seconds, std::uint32_t elapsedMs, std::uint8_t hour, const FlightModels& models) {
  auto& clock = host::Datum<std::uint32_t>(host::address::HostTimeMs);
  clock += elapsedMs;
  host::Datum<float>(host::address::HostTimeStep) = static_cast<float>(elapsedMs) / host::kMsPerTimeStep;
  host::Datum<std::uint8_t>(host::address::HostClockHour) = hour;
  // Daylight from the hour: full from 8 to 18, least at midnight; the plug-in dims its trails by the light.
  const float fromNoon = std::fabs(static_cast<float>(hour) - 12.0f);
  const float daylight = fromNoon <= 6.0f ? 1.0f : std::fmax(0.0f, 1.0f - (fromNoon - 6.0f) / 4.0f);
  const auto channel = static_cast<std::uint16_t>(90.0f + 165.0f * daylight);
  auto& light = host::Datum<host::HostLightColour>(host::address::HostLightColour);
  light.red = light.green = light.blue = channel;
  frame.daylight = daylight;

  pool.count = count;
  const std::uint16_t carModel = CarModel();
  int trailAircraft = 0, bannerAircraft = 0;
  for (int i = 0; i < count; ++i) {
    vehicleFlags[i] = 0;
    host::HostVehicle& vehicle = vehicles[i];
    vehicle.placement.matrix = nullptr;
    vehicle.placement.position = FlightPosition(i, seconds);
    if (RoleOf(i) == Role::kCar) {
      vehicle.model = carModel;
      continue;
    }
    const bool trail = RoleOf(i) == Role::kTrail;
    const std::int32_t modelCount = trail ? models.trailCount : models.bannerCount;
    const std::int32_t* ids = trail ? models.trail : models.banner;
    const int turn = trail ? trailAircraft++ : bannerAircraft++;
    vehicle.model = modelCount > 0 ? ModelFor(ids[turn % modelCount]) : 0;
  }
  auto& camera = *host::GetHostCamera();
  camera.placement.matrix = nullptr;
  camera.placement.position = {frame.camera[0], frame.camera[1], frame.camera[2]};

  // The sky trails show their lights in the frame step, the rest is drawn in the drawing step.
  frame.spriteCount = 0;
  const double started = emscripten_get_now();
  plugin::FrameStep();
  frame.vertexCount = 0;
  frame.batchCount = 0;
  frame.bannerTriangles = 0;
  textureRaster = 0;
  plugin::DrawStep();
  frame.stepMs = static_cast<float>(emscripten_get_now() - started);

  frame.trailPoints = 0;
  frame.newestTrailPoint = 0;
  for (const trails::TrailRecord& record : trails::Trails) {
    for (const std::uint32_t time : record.times) {
      if (time == 0) continue;
      ++frame.trailPoints;
      if (time > frame.newestTrailPoint) frame.newestTrailPoint = time;
    }
  }
}

void Still() {
  // Paused: the game draws without stepping, and the plug-in's drawing runs as the game calls it.
  frame.vertexCount = 0;
  frame.batchCount = 0;
  frame.bannerTriangles = 0;
  textureRaster = 0;
  const double started = emscripten_get_now();
  plugin::DrawStep();
  frame.stepMs = static_cast<float>(emscripten_get_now() - started);
}

}  // namespace game

// The game's image lies where its addresses say: the page writes the game's data there.
extern "C" std::uint32_t zephrel_host_image_base() { return patching::kHostPreferredBase; }
