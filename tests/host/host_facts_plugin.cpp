// The plug-in's side of host_facts_test.cpp: every host fact as the plug-in's headers state it, by the names the
// test gives them. Only this file includes the host layer.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "host/host.h"
#include "patching/patching.h"

namespace {

using namespace host;

template <typename T>
std::uint32_t Word(T value) {
  return static_cast<std::uint32_t>(value);
}

}  // namespace

std::map<std::string, std::uint32_t> PluginHostFacts() {
  namespace a = host::address;
  std::map<std::string, std::uint32_t> facts = {
      {"image base", patching::kHostPreferredBase},

      {"ReadTexture", a::ReadTexture},
      {"DestroyTexture", a::DestroyTexture},
      {"TransformImmediateVertices", a::TransformImmediateVertices},
      {"EndImmediate", a::EndImmediate},
      {"RenderImmediateIndexed", a::RenderImmediateIndexed},
      {"SetVector", a::SetVector},
      {"VectorLength", a::VectorLength},
      {"CopyVector", a::CopyVector},
      {"ShowLightSprite", a::ShowLightSprite},
      {"UpdateLightSprite", a::UpdateLightSprite},
      {"PushCurrentTextureDictionary", a::PushCurrentTextureDictionary},
      {"PopCurrentTextureDictionary", a::PopCurrentTextureDictionary},
      {"FindTextureDictionarySlot", a::FindTextureDictionarySlot},
      {"SetCurrentTextureDictionary", a::SetCurrentTextureDictionary},
      {"AddTextureDictionarySlot", a::AddTextureDictionarySlot},
      {"LoadTextureDictionary", a::LoadTextureDictionary},

      {"HostTimeMs", a::HostTimeMs},
      {"HostTimeStep", a::HostTimeStep},
      {"HostVehiclePool pointer", a::HostVehiclePoolPointer},
      {"HostEngine pointer", a::HostEnginePointer},
      {"HostDimFactorA", a::HostDimFactorA},
      {"HostDimFactorB", a::HostDimFactorB},
      {"HostDimFactorC", a::HostDimFactorC},
      {"HostLightColour", a::HostLightColour},
      {"HostCamera", a::HostCamera},
      {"IsSphereVisible", a::IsSphereVisible},
      {"HostClockHour", a::HostClockHour},

      {"start-up call site", a::StartupCallSite},
      {"re-initialisation call site A", a::ReinitCallSiteA},
      {"re-initialisation call site B", a::ReinitCallSiteB},
      {"per-frame call site", a::FrameCallSite},
      {"shutdown call site", a::ShutdownCallSite},
      {"drawing call site", a::DrawCallSite},
      {"HostSkyTrailRoutine", a::HostSkyTrailRoutine},

      {"HostVehiclePool.entries", offsetof(HostVehiclePool, entries)},
      {"HostVehiclePool.flags", offsetof(HostVehiclePool, flags)},
      {"HostVehiclePool.count", offsetof(HostVehiclePool, count)},
      {"HostVehicle size", sizeof(HostVehicle)},
      {"HostVehicle.position", offsetof(HostVehicle, placement) + offsetof(HostPlacement, position)},
      {"HostVehicle.matrix", offsetof(HostVehicle, placement) + offsetof(HostPlacement, matrix)},
      {"matrix.position", offsetof(HostMatrix, position)},
      {"HostVehicle.model", offsetof(HostVehicle, model)},
      {"HostVehicle.model width", sizeof(HostVehicle::model)},
      {"HostVehicle.status", offsetof(HostVehicle, status)},
      {"status mask", kVehicleStatusMask},
      {"status excluded", kVehicleStatusExcluded},
      {"HostVehicle.driver", offsetof(HostVehicle, driver)},
      {"HostVehicle.timeField", offsetof(HostVehicle, timeField)},
      {"HostVehicle.timeField width", sizeof(HostVehicle::timeField)},
      {"HostCamera.position", offsetof(HostCamera, placement) + offsetof(HostPlacement, position)},
      {"HostCamera.matrix", offsetof(HostCamera, placement) + offsetof(HostPlacement, matrix)},
      {"HostEngine.SetRenderState", offsetof(HostEngine, setRenderState)},
      {"HostLightColour.red", offsetof(HostLightColour, red)},
      {"HostLightColour.green", offsetof(HostLightColour, green)},
      {"HostLightColour.blue", offsetof(HostLightColour, blue)},
      {"HostLightColour.red width", sizeof(HostLightColour::red)},
      {"texture.raster", offsetof(HostTexture, raster)},
      {"ImmediateVertex size", sizeof(ImmediateVertex)},
      {"ImmediateVertex.position", offsetof(ImmediateVertex, position)},
      {"ImmediateVertex.normal", offsetof(ImmediateVertex, normal)},
      {"ImmediateVertex.colour", offsetof(ImmediateVertex, colour)},
      {"ImmediateVertex.u", offsetof(ImmediateVertex, u)},
      {"ImmediateVertex.v", offsetof(ImmediateVertex, v)},

      {"render state: texture raster", Word(kRenderStateTextureRaster)},
      {"render state: depth test", Word(kRenderStateDepthTest)},
      {"render state: depth write", Word(kRenderStateDepthWrite)},
      {"render state: source blend", Word(kRenderStateSourceBlend)},
      {"render state: destination blend", Word(kRenderStateDestinationBlend)},
      {"render state: vertex alpha", Word(kRenderStateVertexAlpha)},
      {"render state: fog", Word(kRenderStateFog)},
      {"blend: source alpha", kBlendSourceAlpha},
      {"blend: inverse source alpha", kBlendInverseSourceAlpha},
      {"primitive: line list", Word(kPrimitiveLineList)},
      {"primitive: triangle list", Word(kPrimitiveTriangleList)},
      {"trail batch flags", kVertexPosition | kVertexColour},
      {"banner batch flags", kVertexTextureCoordinates | kVertexPosition | kVertexColour},
  };
  for (std::size_t i = 0; i < std::size(kBuildProbes); ++i) {
    const std::string probe = "probe " + std::to_string(i);
    facts[probe + " build"] = Word(kBuildProbes[i].build);
    facts[probe + " address"] = kBuildProbes[i].address;
    facts[probe + " word"] = kBuildProbes[i].word;
  }
  for (const BuildProbe& probe : kBuildProbes) {
    facts["build " + std::to_string(probe.build) + " served"] = IsServedHostVersion(probe.build);
  }
  facts["build 0 served"] = IsServedHostVersion(kUnknownBuild);
  return facts;
}
