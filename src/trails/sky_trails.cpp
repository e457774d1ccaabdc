#include "trails/sky_trails.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>

#include "config/settings.h"
#include "host/host.h"
#include "patching/patching.h"
#include "trails/slot_lending.h"
#include "trails/trail_store.h"

namespace trails {

namespace {

// One circuit every 2^17 ms.
constexpr std::uint32_t kCircuitMask = 0x1FFFF;
constexpr float kCircuitFraction = 0.00000762939453125f;  // 2^-17
constexpr float kTwoPi = static_cast<float>(2.0 * std::numbers::pi);

// Sprites blink on bit 9 of the clock: 512 ms shown, 512 ms updated.
constexpr std::uint32_t kBlinkBit = 0x200;

// A small red light, seen from up to 2000 units away.
constexpr host::LightSpriteLook kCirclingLight{.attachedTo = 0,
                                               .red = 255,
                                               .green = 0,
                                               .blue = 0,
                                               .alpha = 255,
                                               .size = 5.0f,
                                               .range = 2000.0f,
                                               .texture = 1,
                                               .flare = 0,
                                               .reflection = 0,
                                               .checkObstacles = 0,
                                               .streak = 0,
                                               .angle = 0.0f,
                                               .longDistance = 0,
                                               .nearRange = 1.5f,
                                               .fadeState = 0,
                                               .fadeSpeed = 15.0f,
                                               .onlyFromBelow = 0,
                                               .reflectionDelay = 0};

struct CirclingAircraft {
  std::int32_t slot;
  std::uint32_t spriteId;
  host::Vector3 position;
};

// The routine's own first bytes, kept when the jump first goes over them, until they are put back.
struct KeptRoutineStart {
  bool kept;
  std::uint8_t bytes[sizeof(patching::RelativeBranch)];
};
KeptRoutineStart routineStart{};
// Whether our jump went over them; cleared when they go back.
bool jumpWritten = false;
SkyRedirect lastRedirect = SkyRedirect::kNotAsked;

std::uint32_t SkyRoutine() { return patching::TranslateHostAddress(host::address::HostSkyTrailRoutine); }
std::uint32_t SkyTrailsEntry() { return reinterpret_cast<std::uint32_t>(&UpdateSkyTrails); }

// The jump InstallSkyTrailRedirect writes at the sky routine, byte for byte.
patching::RelativeBranch RedirectJump() {
  return {patching::kOpcodeJump,
          static_cast<std::int32_t>(SkyTrailsEntry() - (SkyRoutine() + sizeof(patching::RelativeBranch)))};
}

struct RedirectRemovalAtExit {
  ~RedirectRemovalAtExit() { RemoveSkyTrailRedirect(); }
};
RedirectRemovalAtExit removeRedirectAtExit;

}  // namespace

void HOST_CDECL UpdateSkyTrails() noexcept {
  // An aircraft past the first 50 of the pool may have borrowed these slots while the sky trails were off.
  TakeBackSkySlots();
  const std::uint32_t now = host::HostTimeMs();
  // Rounded to a 32-bit float at each step (only sine and cosine run in double): the circuit is fixed to the bit.
  const float theta = static_cast<float>(now & kCircuitMask) * kCircuitFraction * kTwoPi;
  const float sine = static_cast<float>(std::sin(static_cast<double>(theta)));
  const float cosine = static_cast<float>(std::cos(static_cast<double>(theta)));

  const CirclingAircraft circling[] = {
      {kFirstSkyTrailSlot, 101, {1590.0f * sine, 1200.0f * cosine, 550.0f}},
      {kFirstSkyTrailSlot + 1, 102, {1000.0f * sine, -1600.0f * cosine, 500.0f}},
      {kFirstSkyTrailSlot + 2, 103, {1100.0f * cosine, 700.0f * sine, 600.0f}},
  };

  const bool night = host::IsNightHour(host::HostClockHour());
  const bool shown = (now & kBlinkBit) != 0;

  for (const CirclingAircraft& aircraft : circling) {
    host::Vector3 position{};
    host::SetVector(position, aircraft.position.x, aircraft.position.y, aircraft.position.z);
    AddTrailPoint(position, aircraft.slot, kSkyTrailRule);
    if (!night) continue;
    if (shown) {
      host::ShowLightSprite(aircraft.spriteId, position, kCirclingLight);
    } else {
      host::UpdateLightSprite(aircraft.spriteId, position, kCirclingLight.range, 0.0f);
    }
  }
}

void InstallSkyTrailRedirect() noexcept {
  if (!config::InEffect.ReplaceTrailsInTheSky) {
    lastRedirect = jumpWritten ? SkyRedirect::kEarlierStays : SkyRedirect::kNotAsked;
    return;
  }
  // No jump goes over bytes that were not kept first: it could never be taken off again.
  if (!routineStart.kept) {
    if (!patching::PeekBytes(SkyRoutine(), routineStart.bytes, sizeof routineStart.bytes, true)) {
      lastRedirect = SkyRedirect::kNotRead;
      return;
    }
    routineStart.kept = true;
  }
  const bool written = patching::WriteJump(host::address::HostSkyTrailRoutine, SkyTrailsEntry(), true);
  jumpWritten |= written;
  lastRedirect = written ? SkyRedirect::kRedirected : SkyRedirect::kNotWritten;
}

SkyRedirect LastSkyRedirect() noexcept { return lastRedirect; }

bool SkyTrailsMayRun() noexcept { return config::InEffect.ReplaceTrailsInTheSky || jumpWritten; }

void RemoveSkyTrailRedirect() noexcept {
  if (!routineStart.kept) return;
  const patching::RelativeBranch ours = RedirectJump();
  std::uint8_t current[sizeof(patching::RelativeBranch)];
  // Someone else's bytes there now are theirs to undo; bytes that cannot be read are left as they are.
  if (!patching::PeekBytes(SkyRoutine(), current, sizeof current, true)) return;
  if (std::memcmp(current, &ours, sizeof current) != 0) return;
  if (patching::PatchBytes(SkyRoutine(), routineStart.bytes, sizeof routineStart.bytes, true)) {
    routineStart.kept = false;
    jumpWritten = false;
  }
}

}  // namespace trails
