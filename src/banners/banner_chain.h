#pragma once
// Banner chains: per slot (the aircraft at that vehicle pool index, or one further up the pool that borrows it) a
// chain of 8 points towed like a slack rope, the head on the aircraft and every other point dragged to within one
// segment length of its predecessor.

#include <cstdint>

#include "host/host.h"

namespace banners {

inline constexpr int kBannerSlots = 50;
inline constexpr int kBannerPoints = 8;
inline constexpr float kBannerSegmentLength = 8.0f;
inline constexpr float kBannerSinkRate = 0.05f;      // per unit of the host's time step
inline constexpr float kBannerActiveAbove = -50.0f;  // a head at or below this is inactive
inline constexpr float kBannerLowestHead = -100.0f;
inline constexpr float kBannerParkingHeight = -60.0f;

struct BannerChain {
  host::Vector3 points[kBannerPoints];  // 0 the head, 7 the tail
  std::uint8_t rule;  // the banner rule whose aircraft last placed the head (config/rules.h): its cloth is drawn
};

extern BannerChain BannerChains[kBannerSlots];

// Active while its head is above -50 (NaN is not): only then is it stepped and drawn.
inline bool IsBannerActive(const BannerChain& chain) { return chain.points[0].z > kBannerActiveAbove; }

// Parks a chain: point k at (k, 0, -60), inactive.
void ParkBanner(BannerChain& chain);

// Parks every chain.
void ResetBanners();

inline bool HasBannerSlot(std::int32_t slot) { return slot >= 0 && slot < kBannerSlots; }

// Puts the head of a chain on its aircraft, which banner rule `rule` serves, and moves no other point; a slot
// outside 0..49 is ignored. Inline: the scan calls it for every banner aircraft in every frame.
inline void SetBannerHead(const host::Vector3& position, std::int32_t slot, std::uint8_t rule) {
  if (!HasBannerSlot(slot)) return;
  BannerChain& chain = BannerChains[slot];
  chain.rule = rule;
  host::CopyVector(chain.points[0], position);
}

// The per-frame step: each active head sinks a little, then every point is dragged toward its predecessor.
void UpdateBanners();

}  // namespace banners
