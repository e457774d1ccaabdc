// The per-frame work allocates nothing: the scan, the trail store, the banner chain step and the drawing.
// Counted by replacing the global allocation functions of this test program.

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "banners/banner_chain.h"
#include "config/settings.h"
#include "simhost.h"
#include "trails/aircraft_scan.h"
#include "trails/slot_lending.h"
#include "trails/trail_render.h"
#include "trails/trail_store.h"

using namespace config;
using namespace banners;
using namespace trails;

namespace {
int allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  ++allocations;
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

TEST(FrameWork, AllocatesNothing) {
  simhost::ResetHost();
  for (TrailRecord& record : Trails) record = TrailRecord{};
  ResetBanners();
  LoadSettingsFrom("");  // trails of 577 and banners of 593, above 100, fading for 10000 ms
  ASSERT_EQ(InEffect.ModelIDForTrail, 577);
  ASSERT_EQ(InEffect.ModelIDForBanner, 593);
  // Aircraft at every even index of a pool of 110: 25 in slots of their own, 25 borrowing, 5 waiting. Aircraft at odd
  // indices below 50 come and go, so that slots are taken back, borrowers move or wait, and lent again.
  simhost::ResizePool(110);
  for (int i = 0; i < 110; i += 2) {
    simhost::PlaceVehicle(i, i % 4 == 0 ? 577 : 593, {static_cast<float>(i), 0.0f, 500.0f});
  }
  simhost::SetRecording(false);  // the simulated host's own record would allocate

  const int before = allocations;
  for (int frame = 0; frame < 500; ++frame) {
    simhost::SetClock(simhost::Clock() + 100);
    if (frame % 20 == 0) {
      const int coming = 1 + 2 * (frame / 20 % 25);
      simhost::PlaceVehicle(coming, 577, {0.0f, 0.0f, 500.0f});
      simhost::SetVehicleFree((coming + 10) % 50, true);
    }
    for (int i = 0; i < 110; ++i) simhost::SetVehiclePosition(i, {static_cast<float>(i + frame), 0.0f, 500.0f});
    UpdateBanners();
    ScanAircraft();
    DrawTrails();
  }
  EXPECT_EQ(allocations, before);
  EXPECT_GT(LeaseCount, 0);

  simhost::SetRecording(true);
  for (TrailRecord& record : Trails) record = TrailRecord{};
  for (BannerChain& chain : BannerChains) chain = BannerChain{};
  EndLeases();
  simhost::ResetHost();
}

TEST(FrameWork, EightTrailRulesDrawnAsRibbonsAllocateNothing) {
  simhost::ResetHost();
  for (TrailRecord& record : Trails) record = TrailRecord{};
  std::string text = "[MAIN]\n";
  for (int k = 1; k < kMaxTrailRules; ++k) {
    text += "[Trail " + std::to_string(600 + k) +
            "]\nTrailColour=" + ColourText(0x102030u * static_cast<std::uint32_t>(k)) +
            "\nTrailWidth=" + std::to_string(2 * k) + "\n";
  }
  LoadSettingsFrom(text);
  ASSERT_EQ(InEffect.trailRuleCount, kMaxTrailRules);
  simhost::ResizePool(50);
  for (int i = 0; i < 50; ++i) simhost::PlaceVehicle(i, 600 + i % 8, {static_cast<float>(i), 0.0f, 500.0f});
  simhost::SetRecording(false);

  const int before = allocations;
  for (int frame = 0; frame < 300; ++frame) {
    simhost::SetClock(simhost::Clock() + 100);
    for (int i = 0; i < 50; ++i) simhost::SetVehiclePosition(i, {static_cast<float>(i + frame), 0.0f, 500.0f});
    ScanAircraft();
    DrawTrails();
  }
  EXPECT_EQ(allocations, before);

  simhost::SetRecording(true);
  for (TrailRecord& record : Trails) record = TrailRecord{};
  simhost::ResetHost();
}

}  // namespace
