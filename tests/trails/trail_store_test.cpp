// The trail store: one point about every 2000 ms, the newest riding along with its aircraft.

#include "trails/trail_store.h"

#include <gtest/gtest.h>

#include "simhost.h"

using namespace trails;

namespace {

constexpr std::uint32_t kStart = 500000;

class TrailStore : public ::testing::Test {
 protected:
  void SetUp() override {
    simhost::ResetHost();
    for (TrailRecord& record : Trails) record = TrailRecord{};
    simhost::SetClock(kStart);
  }
  void TearDown() override {
    for (TrailRecord& record : Trails) record = TrailRecord{};
    simhost::ResetHost();
  }

  static void AddAt(std::uint32_t now, host::Vector3 position, int slot = 3) {
    simhost::SetClock(now);
    AddTrailPoint(position, slot, 0);
  }

  static int LivePoints(int slot) {
    int live = 0;
    for (std::uint32_t time : Trails[slot].times) live += time != 0 ? 1 : 0;
    return live;
  }
};

TEST_F(TrailStore, FirstPointOnAnEmptySlotCarriesTheClock) {
  AddTrailPoint({1.0f, 2.0f, 3.0f}, 3, 0);
  EXPECT_EQ(Trails[3].times[0], kStart);
  EXPECT_EQ(Trails[3].points[0].z, 3.0f);
  EXPECT_EQ(LivePoints(3), 1);
  EXPECT_EQ(simhost::EntryCalls("CopyVector"), 1);  // positions go in through the host's helper
  int elsewhere = 0;
  for (int slot = 0; slot < kTrailSlots; ++slot) elsewhere += slot != 3 ? LivePoints(slot) : 0;
  EXPECT_EQ(elsewhere, 0);
}

TEST_F(TrailStore, NewestPointIsRefreshedFor2000MsThenANewOneStarts) {
  struct Case {
    std::uint32_t after;
    bool shifts;
  };
  for (const Case c : {Case{1, false}, Case{1000, false}, Case{2000, false}, Case{2001, true}, Case{9000, true}}) {
    SCOPED_TRACE(c.after);
    Trails[3] = TrailRecord{};
    AddAt(kStart, {1.0f, 0.0f, 100.0f});
    AddAt(kStart + (c.after > 1 ? 1 : 0), {2.0f, 0.0f, 100.0f});  // a refresh on the way
    AddAt(kStart + c.after, {3.0f, 0.0f, 100.0f});
    EXPECT_EQ(Trails[3].points[0].x, 3.0f);
    if (c.shifts) {
      EXPECT_EQ(Trails[3].times[0], kStart + c.after);
      EXPECT_EQ(Trails[3].times[1], kStart);
      EXPECT_EQ(Trails[3].points[1].x, 2.0f);  // the former newest point, where it was last refreshed
      EXPECT_EQ(LivePoints(3), 2);
    } else {
      EXPECT_EQ(Trails[3].times[0], kStart);
      EXPECT_EQ(LivePoints(3), 1);
    }
  }
}

TEST_F(TrailStore, HoldsSixteenPointsNewestFirst) {
  for (std::uint32_t n = 0; n < 17; ++n) AddAt(kStart + n * 2001, {static_cast<float>(n), 0.0f, 0.0f});
  EXPECT_EQ(LivePoints(3), 16);
  for (int k = 0; k < kTrailPoints; ++k) {
    const std::uint32_t n = 16 - k;  // the first point (n = 0) was pushed out
    EXPECT_EQ(Trails[3].times[k], kStart + n * 2001) << k;
    EXPECT_EQ(Trails[3].points[k].x, static_cast<float>(n)) << k;
  }
}

TEST_F(TrailStore, APointStartedAtClockZeroLeavesTheSlotEmpty) {
  AddAt(0, {5.0f, 6.0f, 7.0f});
  EXPECT_EQ(Trails[3].points[0].x, 5.0f);
  EXPECT_EQ(LivePoints(3), 0);
  AddAt(1, {8.0f, 6.0f, 7.0f});
  EXPECT_EQ(Trails[3].times[0], 1u);
  EXPECT_EQ(LivePoints(3), 1);
}

TEST_F(TrailStore, AClockSetBackStartsANewPointAtOnce) {
  AddAt(kStart, {1.0f, 0.0f, 0.0f});
  AddAt(kStart - 1, {2.0f, 0.0f, 0.0f});
  EXPECT_EQ(Trails[3].times[0], kStart - 1);
  EXPECT_EQ(Trails[3].times[1], kStart);
  EXPECT_EQ(Trails[3].points[1].x, 1.0f);
}

TEST_F(TrailStore, ResetEmptiesEveryPointButKeepsPositions) {
  AddAt(kStart, {1.0f, 0.0f, 0.0f}, 0);
  AddAt(kStart + 2001, {2.0f, 0.0f, 0.0f}, 0);
  AddAt(kStart, {9.0f, 0.0f, 0.0f}, 49);
  ResetTrails();
  for (int slot = 0; slot < kTrailSlots; ++slot) EXPECT_EQ(LivePoints(slot), 0) << slot;
  EXPECT_EQ(Trails[0].points[0].x, 2.0f);
  EXPECT_EQ(Trails[0].points[1].x, 1.0f);
  EXPECT_EQ(Trails[49].points[0].x, 9.0f);

  AddAt(kStart + 9000, {3.0f, 0.0f, 0.0f}, 0);  // starts afresh: no shift
  EXPECT_EQ(Trails[0].times[0], kStart + 9000);
  EXPECT_EQ(Trails[0].points[1].x, 1.0f);
  EXPECT_EQ(LivePoints(0), 1);
}

TEST_F(TrailStore, SlotsOutsideTheStoreAreIgnored) {
  for (const int slot : {-1, 50, 1000, INT32_MIN}) AddTrailPoint({1.0f, 1.0f, 1.0f}, slot, 0);
  for (int slot = 0; slot < kTrailSlots; ++slot) EXPECT_EQ(LivePoints(slot), 0) << slot;
  EXPECT_EQ(simhost::EntryCalls("CopyVector"), 0);
}

}  // namespace
