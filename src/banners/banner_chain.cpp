#include "banners/banner_chain.h"

#include <algorithm>

namespace banners {

BannerChain BannerChains[kBannerSlots];

void ParkBanner(BannerChain& chain) {
  for (int k = 0; k < kBannerPoints; ++k) {
    host::SetVector(chain.points[k], static_cast<float>(k), 0.0f, kBannerParkingHeight);
  }
}

void ResetBanners() {
  for (BannerChain& chain : BannerChains) ParkBanner(chain);
}

namespace {

// Moves `follower` along the line to `leader` until it is one segment length away, if it is further.
void Drag(const host::Vector3& leader, host::Vector3& follower) {
  host::Vector3 d;
  host::SetVector(d, follower.x - leader.x, follower.y - leader.y, follower.z - leader.z);
  const float length = host::VectorLength(d);
  if (!(length > kBannerSegmentLength)) return;  // also keeps coincident points from dividing by zero
  host::Vector3 unit;
  host::SetVector(unit, d.x / length, d.y / length, d.z / length);
  host::Vector3 offset;
  host::SetVector(offset, unit.x * kBannerSegmentLength, unit.y * kBannerSegmentLength, unit.z * kBannerSegmentLength);
  host::SetVector(follower, leader.x + offset.x, leader.y + offset.y, leader.z + offset.z);
}

}  // namespace

void UpdateBanners() {
  const float sink = host::HostTimeStep() * kBannerSinkRate;
  for (BannerChain& chain : BannerChains) {
    if (!IsBannerActive(chain)) continue;
    host::Vector3& head = chain.points[0];
    head.z = std::max(head.z - sink, kBannerLowestHead);
    for (int i = 0; i + 1 < kBannerPoints; ++i) Drag(chain.points[i], chain.points[i + 1]);
  }
}

}  // namespace banners
