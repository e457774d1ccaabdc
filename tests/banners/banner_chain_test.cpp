// The banner chains: parking, the head on its aircraft, and the per-frame sink and drag.

#include "banners/banner_chain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "simhost.h"

using namespace banners;

namespace {

float Distance(const host::Vector3& a, const host::Vector3& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

bool SameBits(const BannerChain& a, const BannerChain& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class BannerChainStep : public ::testing::Test {
 protected:
  void SetUp() override {
    simhost::ResetHost();
    ResetBanners();
  }
  void TearDown() override {
    for (BannerChain& chain : BannerChains) chain = BannerChain{};
    simhost::ResetHost();
  }

  // Chain 0 with its head at `head` and every other point on top of it.
  static BannerChain& Collapsed(host::Vector3 head) {
    BannerChain& chain = BannerChains[0];
    for (host::Vector3& point : chain.points) point = head;
    return chain;
  }
};

TEST_F(BannerChainStep, ResetParksEveryChainInactive) {
  for (const BannerChain& chain : BannerChains) {
    EXPECT_FALSE(IsBannerActive(chain));
    for (int k = 0; k < kBannerPoints; ++k) {
      EXPECT_EQ(chain.points[k].x, static_cast<float>(k));
      EXPECT_EQ(chain.points[k].y, 0.0f);
      EXPECT_EQ(chain.points[k].z, -60.0f);
    }
  }
}

TEST_F(BannerChainStep, APlacedHeadPullsTheParkedChainIntoLine) {
  SetBannerHead({100.0f, 0.0f, 50.0f}, 7, 0);
  simhost::SetTimeStep(0.0f);
  UpdateBanners();
  const BannerChain& chain = BannerChains[7];
  EXPECT_EQ(chain.points[0].z, 50.0f);
  for (int i = 0; i + 1 < kBannerPoints; ++i) {
    EXPECT_NEAR(Distance(chain.points[i], chain.points[i + 1]), 8.0f, 1e-4f) << i;
    EXPECT_EQ(chain.points[i + 1].y, 0.0f);
  }
  EXPECT_NEAR(chain.points[1].x, 94.65f, 0.01f);
  EXPECT_NEAR(chain.points[1].z, 44.05f, 0.01f);
  EXPECT_NEAR(chain.points[7].x, 63.31f, 0.01f);
  EXPECT_NEAR(chain.points[7].z, 7.70f, 0.01f);
  // Point 1 lies on the line from the head toward where it was parked.
  const float cross = (chain.points[1].x - 100.0f) * (-60.0f - 50.0f) - (chain.points[1].z - 50.0f) * (1.0f - 100.0f);
  EXPECT_NEAR(cross, 0.0f, 1e-2f);
  // The others stay parked.
  EXPECT_EQ(BannerChains[6].points[0].z, -60.0f);
  EXPECT_EQ(BannerChains[8].points[1].x, 1.0f);
}

TEST_F(BannerChainStep, InactiveChainsStayBitForBit) {
  BannerChains[3].points[0].z = -50.0f;
  BannerChains[3].points[5] = {1e9f, -3.0f, 400.0f};  // far from its predecessor, yet untouched
  BannerChain before[kBannerSlots];
  std::memcpy(before, BannerChains, sizeof before);
  simhost::SetTimeStep(1.0f);
  UpdateBanners();
  for (int slot = 0; slot < kBannerSlots; ++slot) EXPECT_TRUE(SameBits(BannerChains[slot], before[slot])) << slot;
}

TEST_F(BannerChainStep, TheHeadSinksWithTheTimeStepDownToMinus100) {
  struct Case {
    float head;
    float step;
    float after;
  };
  for (const Case c : {Case{100.0f, 1.0f, 99.95f}, Case{-49.99f, 1.0f, -50.04f}, Case{-49.0f, 2000.0f, -100.0f},
                       Case{-49.0f, 0.0f, -49.0f}}) {
    SCOPED_TRACE(c.head);
    BannerChain& chain = Collapsed({10.0f, 20.0f, c.head});
    simhost::SetTimeStep(c.step);
    UpdateBanners();
    EXPECT_FLOAT_EQ(chain.points[0].z, c.after);
    EXPECT_EQ(chain.points[0].x, 10.0f);
    EXPECT_EQ(chain.points[0].y, 20.0f);
  }
}

TEST_F(BannerChainStep, AHeadThatSankToMinus50IsFrozenFromTheNextFrame) {
  BannerChain& chain = Collapsed({0.0f, 0.0f, -49.99f});
  simhost::SetTimeStep(1.0f);
  UpdateBanners();
  ASSERT_FALSE(IsBannerActive(chain));
  const BannerChain frozen = chain;
  UpdateBanners();
  EXPECT_TRUE(SameBits(chain, frozen));
}

TEST_F(BannerChainStep, OnlySegmentsLongerThan8AreShortened) {
  struct Case {
    float length;
    float after;
  };
  for (const Case c : {Case{0.0f, 0.0f}, Case{7.5f, 7.5f}, Case{8.0f, 8.0f}, Case{8.5f, 8.0f}, Case{300.0f, 8.0f}}) {
    SCOPED_TRACE(c.length);
    BannerChain& chain = Collapsed({0.0f, 0.0f, 100.0f});
    chain.points[1].y = c.length;
    simhost::SetTimeStep(0.0f);
    UpdateBanners();
    EXPECT_EQ(chain.points[1].y, c.after);
    EXPECT_EQ(chain.points[1].z, 100.0f);
    // Point 2 is within 8 of point 1 and the rest coincide with their predecessors: all stay.
    for (int k = 2; k < kBannerPoints; ++k) EXPECT_EQ(chain.points[k].y, 0.0f) << k;
  }
}

TEST_F(BannerChainStep, EachPointFollowsItsAlreadyMovedPredecessor) {
  BannerChain& chain = BannerChains[0];
  for (int k = 0; k < kBannerPoints; ++k) chain.points[k] = {static_cast<float>(k) * 2.0f, 0.0f, 100.0f};
  chain.points[0] = {-20.0f, 0.0f, 100.0f};  // the aircraft pulled 20 units away from a slack chain
  simhost::SetTimeStep(0.0f);
  UpdateBanners();
  for (int k = 1; k < kBannerPoints; ++k) {
    const float expected = k <= 3 ? -20.0f + 8.0f * static_cast<float>(k) : 2.0f * static_cast<float>(k);
    EXPECT_FLOAT_EQ(chain.points[k].x, expected) << k;
  }
}

TEST_F(BannerChainStep, SettingAHeadChangesOnlyThatPoint) {
  const BannerChain before = BannerChains[4];
  SetBannerHead({5.0f, 6.0f, 7.0f}, 4, 0);
  EXPECT_EQ(BannerChains[4].points[0].x, 5.0f);
  EXPECT_EQ(BannerChains[4].points[0].z, 7.0f);
  EXPECT_EQ(std::memcmp(&BannerChains[4].points[1], &before.points[1], sizeof(host::Vector3) * 7), 0);

  BannerChain all[kBannerSlots];
  std::memcpy(all, BannerChains, sizeof all);
  for (const int slot : {-1, 50, 4096}) SetBannerHead({1.0f, 1.0f, 1.0f}, slot, 0);
  EXPECT_EQ(std::memcmp(all, BannerChains, sizeof all), 0);
}

}  // namespace
