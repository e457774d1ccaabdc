#pragma once
// Every host address the plug-in uses, as an address of the host executable built for base 0x400000.
// Entries and data are used where they stand; bound addresses go through the per-build binding; call sites,
// the sky routine and the probe words are translated onto the loaded image when they are used.

#include <cstdint>

namespace host::address {

// Entries.
inline constexpr std::uint32_t ReadTexture = 0x7F3AC0;
inline constexpr std::uint32_t DestroyTexture = 0x7F3820;
inline constexpr std::uint32_t TransformImmediateVertices = 0x7EF450;
inline constexpr std::uint32_t EndImmediate = 0x7EF520;
inline constexpr std::uint32_t RenderImmediateIndexed = 0x7EF550;
inline constexpr std::uint32_t SetVector = 0x420B10;
inline constexpr std::uint32_t VectorLength = 0x4082C0;
inline constexpr std::uint32_t CopyVector = 0x411B50;
inline constexpr std::uint32_t ShowLightSprite = 0x6FC580;
inline constexpr std::uint32_t UpdateLightSprite = 0x6FC4D0;
inline constexpr std::uint32_t PushCurrentTextureDictionary = 0x7316A0;
inline constexpr std::uint32_t PopCurrentTextureDictionary = 0x7316B0;
inline constexpr std::uint32_t FindTextureDictionarySlot = 0x731850;
inline constexpr std::uint32_t SetCurrentTextureDictionary = 0x7319C0;
inline constexpr std::uint32_t AddTextureDictionarySlot = 0x731C80;
inline constexpr std::uint32_t LoadTextureDictionary = 0x7320B0;

// Data.
inline constexpr std::uint32_t HostTimeMs = 0xB7CB84;
inline constexpr std::uint32_t HostTimeStep = 0xB7CB5C;
inline constexpr std::uint32_t HostVehiclePoolPointer = 0xB74494;
inline constexpr std::uint32_t HostEnginePointer = 0xC97B24;
inline constexpr std::uint32_t HostDimFactorA = 0xC81300;
inline constexpr std::uint32_t HostDimFactorB = 0xC81304;
inline constexpr std::uint32_t HostDimFactorC = 0xC81324;
inline constexpr std::uint32_t HostLightColour = 0xB7C4A0;

// Bound per build (builds 1001 and 1002 share them).
inline constexpr std::uint32_t HostCamera = 0xB6F028;
inline constexpr std::uint32_t IsSphereVisible = 0x420D40;
inline constexpr std::uint32_t HostClockHour = 0xB70153;

// Code the plug-in rewrites: the six hooked call sites and the sky-trail routine.
inline constexpr std::uint32_t StartupCallSite = 0x5BF3A1;
inline constexpr std::uint32_t ReinitCallSiteA = 0x748E09;
inline constexpr std::uint32_t ReinitCallSiteB = 0x748E48;
inline constexpr std::uint32_t FrameCallSite = 0x53E981;
inline constexpr std::uint32_t ShutdownCallSite = 0x53D910;
inline constexpr std::uint32_t DrawCallSite = 0x726AD0;
inline constexpr std::uint32_t HostSkyTrailRoutine = 0x7174F0;

}  // namespace host::address

namespace host {

// Host builds, by the identifier the plug-in gives them.
inline constexpr std::int32_t kBuild1001 = 1001;
inline constexpr std::int32_t kBuild1002 = 1002;
inline constexpr std::int32_t kUnknownBuild = 0;

// True for the builds whose addresses the plug-in knows: on any other it stays inert.
constexpr bool IsServedHostVersion(std::int32_t version) { return version == kBuild1001 || version == kBuild1002; }

// A build is recognised by one 32-bit little-endian word of its image; the first row that matches wins.
struct BuildProbe {
  std::int32_t build;
  std::uint32_t address;
  std::uint32_t word;
};

inline constexpr BuildProbe kBuildProbes[] = {
    {1001, 0x401000, 0x53EC8B55}, {1002, 0x401000, 0x16197BE9}, {1011, 0x8245BC, 0x94BF},     {1101, 0x8252FC, 0x94BF},
    {1111, 0x82533C, 0x94BF},     {3200, 0x858D51, 0x3539F633}, {3210, 0x858C61, 0x3539F633},
};

}  // namespace host
