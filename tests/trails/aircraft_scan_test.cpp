// The aircraft scan over the simulated vehicle pool: who lays trail points, who moves a banner head.

#include "trails/aircraft_scan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <limits>

#include "banners/banner_chain.h"
#include "config/settings.h"
#include "simhost.h"
#include "support/settings.h"
#include "trails/sky_trails.h"
#include "trails/slot_lending.h"
#include "trails/trail_store.h"

using namespace config;
using namespace banners;
using namespace trails;

namespace {

constexpr std::uint16_t kTrailModel = 577;
constexpr std::uint16_t kBannerModel = 593;
constexpr std::uint32_t kUntouched = 0xA5A5A5A5;  // what a time field holds until the scan writes it

// [MAIN]'s values as a test sets them; each scan reads them first, as the plug-in's reader would.
Values settings;

void UseDefaultSettings() {
  settings = DefaultValues();
  settings.ModelIDForTrail = kTrailModel;
  settings.ModelIDForBanner = kBannerModel;
}

class AircraftScan : public ::testing::Test {
 protected:
  void SetUp() override {
    simhost::ResetHost();
    for (TrailRecord& record : Trails) record = TrailRecord{};
    ResetBanners();
    EndLeases();
    UseDefaultSettings();
    simhost::ResizePool(60);
  }
  void TearDown() override {
    for (TrailRecord& record : Trails) record = TrailRecord{};
    for (BannerChain& chain : BannerChains) chain = BannerChain{};
    EndLeases();
    UseDefaultSettings();
    test_support::UseSettings(settings);  // no sky trails left on for the next test
    simhost::ResetHost();
  }

  static host::HostVehicle& Place(int index, std::uint16_t model, host::Vector3 position) {
    host::HostVehicle& vehicle = simhost::PlaceVehicle(index, model, position);
    vehicle.timeField = kUntouched;
    return vehicle;
  }

  // What a read of Zephrel.ini with these settings makes of them (the rules), then one scan.
  static void Scan() {
    test_support::UseSettings(settings);
    ScanAircraft();
  }

  static bool HasTrailPoint(int slot) { return Trails[slot].times[0] != 0; }
  static bool HeadMoved(int slot) { return BannerChains[slot].points[0].z != -60.0f; }

  static bool NothingChanged() {
    for (int slot = 0; slot < kTrailSlots; ++slot) {
      if (HasTrailPoint(slot) || HeadMoved(slot)) return false;
    }
    for (int i = 0; i < simhost::PoolSize(); ++i) {
      if (simhost::Vehicle(i).timeField != kUntouched && simhost::Vehicle(i).model != 0) return false;
    }
    return true;
  }
};

TEST_F(AircraftScan, TrailAircraftAboveHeightLayAPointAtTheirPosition) {
  Place(4, kTrailModel, {1.0f, 2.0f, 150.0f});
  Place(9, kTrailModel, {0.0f, 0.0f, 0.0f});
  simhost::SetVehicleMatrixPosition(9, {7.0f, 8.0f, 101.0f});  // the matrix wins over the own position
  Scan();
  EXPECT_EQ(Trails[4].times[0], simhost::Clock());
  EXPECT_EQ(Trails[4].points[0].y, 2.0f);
  EXPECT_EQ(Trails[9].points[0].x, 7.0f);
  EXPECT_EQ(Trails[9].points[0].z, 101.0f);
  EXPECT_EQ(simhost::Vehicle(4).timeField, simhost::Clock() - 20000);
  EXPECT_FALSE(HeadMoved(4));
}

TEST_F(AircraftScan, TrailAircraftAtOrBelowHeightOnlyGetTheirTimeFieldWritten) {
  // The banner rule would hold for all of them, and the banner model is the trail model.
  settings.ModelIDForBanner = kTrailModel;
  settings.AppearWhenPilotIsInside = true;
  settings.AlwaysAppear = true;
  const float heights[] = {100.0f, 99.99f, -500.0f, std::numeric_limits<float>::quiet_NaN()};
  for (int i = 0; i < 4; ++i) Place(i, kTrailModel, {0.0f, 0.0f, heights[i]});
  simhost::SetClock(5000);  // the time field wraps around
  Scan();
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(heights[i]);
    EXPECT_EQ(simhost::Vehicle(i).timeField, 5000u - 20000u);
    EXPECT_FALSE(HasTrailPoint(i));
    EXPECT_FALSE(HeadMoved(i));
  }
}

TEST_F(AircraftScan, TheTrailBranchWinsOverTheBannerBranchWhileTrailsAreOn) {
  settings.ModelIDForBanner = kTrailModel;
  Place(2, kTrailModel, {10.0f, 0.0f, 200.0f});
  Scan();
  EXPECT_TRUE(HasTrailPoint(2));
  EXPECT_FALSE(HeadMoved(2));

  Trails[2] = TrailRecord{};
  simhost::Vehicle(2).timeField = kUntouched;
  settings.EnableTrail = false;
  Scan();
  EXPECT_FALSE(HasTrailPoint(2));
  EXPECT_EQ(BannerChains[2].points[0].x, 10.0f);
  EXPECT_EQ(BannerChains[2].points[0].z, 200.0f);
  EXPECT_EQ(simhost::Vehicle(2).timeField, kUntouched);
}

TEST_F(AircraftScan, FreeEntriesAndStatus5AreSkippedWhateverTheirModel) {
  struct Case {
    bool free;
    std::uint8_t status;
    bool walked;
  };
  const Case cases[] = {
      {true, 0x00, false}, {false, 0x28, false}, {false, 0x2F, false},  // status 5, low bits aside
      {false, 0x00, true}, {false, 0x08, true},  {false, 0x30, true},  {false, 0x27, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "free " << c.free << " status " << int{c.status});
    for (TrailRecord& record : Trails) record = TrailRecord{};
    ResetBanners();
    Place(0, kTrailModel, {0.0f, 0.0f, 200.0f}).status = c.status;
    Place(1, kBannerModel, {0.0f, 0.0f, 200.0f}).status = c.status;
    simhost::SetVehicleFree(0, c.free);
    simhost::SetVehicleFree(1, c.free);
    Scan();
    EXPECT_EQ(HasTrailPoint(0), c.walked);
    EXPECT_EQ(simhost::Vehicle(0).timeField != kUntouched, c.walked);
    EXPECT_EQ(HeadMoved(1), c.walked);
  }
}

TEST_F(AircraftScan, BannerRule) {
  struct Row {
    bool onlyAtAltitude;
    bool above;
    bool whenPilotInside;
    bool pilot;
    bool always;
    bool moved;
  };
  const Row rows[] = {
      {true, true, false, false, false, true},    // high enough
      {true, true, true, false, false, true},     // high enough, pilot or not
      {true, false, false, false, false, false},  // too low
      {false, true, false, false, false, false},  // altitude does not count
      {false, false, true, true, false, true},    // a pilot inside
      {false, false, true, false, false, false},  // nobody inside
      {false, false, true, false, true, true},    // always, with pilot rule on
      {false, false, false, false, true, false},  // always alone changes nothing
      {true, false, false, true, true, false},    // ... nor with a pilot but the pilot rule off
      {false, true, false, true, true, false},   {true, false, true, true, false, true},
  };
  int i = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "row " << i);
    ResetBanners();
    settings.AppearOnlyAtAltitude = row.onlyAtAltitude;
    settings.AppearWhenPilotIsInside = row.whenPilotInside;
    settings.AlwaysAppear = row.always;
    Place(i, kBannerModel, {3.0f, 4.0f, row.above ? 100.5f : 100.0f});
    simhost::SetVehicleDriver(i, row.pilot);
    Scan();
    EXPECT_EQ(HeadMoved(i), row.moved);
    if (row.moved) {
      EXPECT_EQ(BannerChains[i].points[0].x, 3.0f);
      EXPECT_EQ(BannerChains[i].points[1].z, -60.0f);  // only the head
    }
    EXPECT_EQ(simhost::Vehicle(i).timeField, kUntouched);
    simhost::SetVehicleFree(i, true);
    ++i;
  }
}

TEST_F(AircraftScan, ABannerHeadStaysWhereItWasWhenTheRuleFails) {
  Place(5, kBannerModel, {1.0f, 1.0f, 300.0f});
  Scan();
  simhost::SetVehiclePosition(5, {2.0f, 2.0f, 50.0f});
  Scan();
  EXPECT_EQ(BannerChains[5].points[0].x, 1.0f);
  EXPECT_EQ(BannerChains[5].points[0].z, 300.0f);
}

TEST_F(AircraftScan, ModelSettingsOutsideSixteenBitsMatchNothing) {
  Place(0, kTrailModel, {0.0f, 0.0f, 200.0f});
  Place(1, 65535, {0.0f, 0.0f, 200.0f});
  Place(2, 0, {0.0f, 0.0f, 200.0f});
  for (const std::int32_t setting : {kTrailModel + 65536, -1, 65536, INT32_MIN, -65536}) {
    SCOPED_TRACE(setting);
    settings.ModelIDForTrail = setting;
    settings.ModelIDForBanner = setting;
    Scan();
    EXPECT_TRUE(NothingChanged());
  }
}

TEST_F(AircraftScan, WithBothEffectsOffTheWalkChangesNothing) {
  settings.EnableTrail = false;
  settings.EnableBanner = false;
  Place(0, kTrailModel, {0.0f, 0.0f, 200.0f});
  Place(1, kBannerModel, {0.0f, 0.0f, 200.0f});
  Scan();
  EXPECT_TRUE(NothingChanged());
}

TEST_F(AircraftScan, OnlyTheEntriesThePoolCountsAreWalked) {
  Place(0, kTrailModel, {0.0f, 0.0f, 200.0f});
  Place(1, kBannerModel, {0.0f, 0.0f, 200.0f});
  Place(2, kTrailModel, {0.0f, 0.0f, 200.0f});
  for (const std::int32_t count : {0, -1, INT32_MIN}) {
    simhost::SetPoolCount(count);
    Scan();
    EXPECT_TRUE(NothingChanged()) << count;
  }
  simhost::SetPoolCount(2);
  Scan();
  EXPECT_TRUE(HasTrailPoint(0));
  EXPECT_TRUE(HeadMoved(1));
  EXPECT_FALSE(HasTrailPoint(2));
  EXPECT_EQ(simhost::Vehicle(2).timeField, kUntouched);
}

TEST_F(AircraftScan, APoolWithoutEntriesIsNotWalked) {
  Place(0, kTrailModel, {0.0f, 0.0f, 200.0f});
  Place(1, kTrailModel, {0.0f, 0.0f, 200.0f});
  simhost::SetVehicleNullEntries(true);
  Scan();
  EXPECT_TRUE(NothingChanged());

  simhost::SetVehicleNullEntries(false);
  host::Datum<host::HostVehiclePool*>(host::address::HostVehiclePoolPointer) = nullptr;  // no pool yet
  Scan();
  EXPECT_TRUE(NothingChanged());
}

// The browser preview marks each aircraft by OutcomeOf after the frame, so it must say what the scan did, whatever
// the settings: the scan combines the same tests in its own code.
TEST_F(AircraftScan, OutcomeOfTellsWhatTheScanDoes) {
  struct Vehicle {
    std::uint16_t model;
    float z;
    std::uint8_t status;
    bool pilot;
    int index;
  };
  const Vehicle vehicles[] = {
      {kTrailModel, 150.0f, 0x00, false, 3},  {kTrailModel, 100.0f, 0x00, false, 3},
      {kTrailModel, 150.0f, 0x28, false, 3},  {kTrailModel, 150.0f, 0x00, false, 49},
      {kTrailModel, 150.0f, 0x00, false, 50}, {kBannerModel, 150.0f, 0x00, false, 7},
      {kBannerModel, 50.0f, 0x00, true, 7},   {kBannerModel, 50.0f, 0x00, false, 7},
      {kBannerModel, 150.0f, 0x2F, true, 7},  {kBannerModel, 150.0f, 0x00, true, 55},
      {1000, 150.0f, 0x00, true, 8},
  };
  const std::function<void()> variants[] = {
      [] {},
      [] { settings.AppearWhenPilotIsInside = true; },
      [] { settings.ModelIDForBanner = kTrailModel; },
      [] {
        settings.ModelIDForBanner = kTrailModel;
        settings.EnableTrail = false;
      },
      [] {
        settings.EnableBanner = false;
        settings.AppearOnlyAtAltitude = false;
        settings.AppearWhenPilotIsInside = true;
        settings.AlwaysAppear = true;
      },
      [] {
        settings.Height = std::numeric_limits<float>::quiet_NaN();
        settings.HeightForBanner = 149.0f;
      },
  };
  int variant = 0;
  for (const auto& set : variants) {
    for (const Vehicle& v : vehicles) {
      SCOPED_TRACE(::testing::Message() << "settings " << variant << ", model " << v.model << " at " << v.z
                                        << ", status " << int{v.status} << ", index " << v.index);
      UseDefaultSettings();
      set();
      test_support::UseSettings(settings);
      for (TrailRecord& record : Trails) record = TrailRecord{};
      ResetBanners();
      host::HostVehicle& vehicle = Place(v.index, v.model, {1.0f, 2.0f, v.z});
      vehicle.status = v.status;
      simhost::SetVehicleDriver(v.index, v.pilot);
      ScanAircraft();
      const ScanOutcome told = OutcomeOf(vehicle, v.index);
      const int slot = v.index < kTrailSlots ? v.index : LentSlotOf(v.index);
      const bool point = slot >= 0 && HasTrailPoint(slot);
      const bool head = slot >= 0 && HeadMoved(slot);
      EXPECT_EQ(told, point ? ScanOutcome::kTrailPoint : head ? ScanOutcome::kBannerHead : ScanOutcome::kNothing);
      simhost::SetVehicleFree(v.index, true);
      EndLeases();
    }
    ++variant;
  }
}

// ---- Several rules --------------------------------------------------------------------------------------

// [MAIN]'s rules of the default settings, then further ones: trail rules of models 600 (above 300) and 601 (above
// 50), banner rules of models 511 (above 400) and 512 (at any height, pilot or not).
void UseFurtherRules() {
  test_support::UseSettings(settings,
                            "[Trail 600]\nHeight=300\n[Trail 601]\nHeight=50\n"
                            "[Banner 511]\nHeightForBanner=400\n"
                            "[Banner 512]\nHeightForBanner=400\nAppearOnlyAtAltitude=0\nAppearWhenPilotIsInside=1\n"
                            "AlwaysAppear=1\n");
  ASSERT_EQ(InEffect.trailRuleCount, 3);
  ASSERT_EQ(InEffect.bannerRuleCount, 3);
}

TEST_F(AircraftScan, EachAircraftIsServedByItsModelsRuleWithItsOwnConditions) {
  UseFurtherRules();
  struct Case {
    std::uint16_t model;
    float z;
    bool trailAircraft;  // its time field is written
    int trailRule;       // -1: no point
    int bannerRule;      // -1: the head stays
  };
  const Case cases[] = {
      {kTrailModel, 150.0f, true, 0, -1}, {600, 200.0f, true, -1, -1}, {600, 301.0f, true, 1, -1},
      {601, 60.0f, true, 2, -1},          {601, 50.0f, true, -1, -1},  {511, 300.0f, false, -1, -1},
      {511, 401.0f, false, -1, 1},        {512, 10.0f, false, -1, 2},  {kBannerModel, 150.0f, false, -1, 0},
      {700, 500.0f, false, -1, -1},
  };
  for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) Place(i, cases[i].model, {1.0f, 2.0f, cases[i].z});
  ScanAircraft();
  for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(::testing::Message() << "model " << c.model << " at " << c.z);
    EXPECT_EQ(simhost::Vehicle(i).timeField != kUntouched, c.trailAircraft);
    EXPECT_EQ(HasTrailPoint(i), c.trailRule >= 0);
    if (c.trailRule >= 0) {
      EXPECT_EQ(Trails[i].rule, c.trailRule);
    }
    EXPECT_EQ(HeadMoved(i), c.bannerRule >= 0);
    if (c.bannerRule >= 0) {
      EXPECT_EQ(BannerChains[i].rule, c.bannerRule);
    }
  }
}

TEST_F(AircraftScan, ASlotRemembersTheRuleWhoseAircraftLastAddedAPoint) {
  UseFurtherRules();
  Place(3, 601, {0.0f, 0.0f, 400.0f});
  ScanAircraft();
  EXPECT_EQ(Trails[3].rule, 2);
  // Another aircraft takes the slot, and its rule the trail.
  Place(3, 600, {0.0f, 0.0f, 400.0f});
  ScanAircraft();
  EXPECT_EQ(Trails[3].rule, 1);
  // One that lays no point (too low) leaves the trail to the rule that laid it.
  Place(3, 601, {0.0f, 0.0f, 40.0f});
  ScanAircraft();
  EXPECT_EQ(Trails[3].rule, 1);

  Place(4, 512, {0.0f, 0.0f, 10.0f});
  ScanAircraft();
  EXPECT_EQ(BannerChains[4].rule, 2);
  Place(4, 511, {0.0f, 0.0f, 10.0f});  // below its rule's height: the head stays, and so does its rule
  ScanAircraft();
  EXPECT_EQ(BannerChains[4].rule, 2);
  Place(4, 511, {0.0f, 0.0f, 500.0f});
  ScanAircraft();
  EXPECT_EQ(BannerChains[4].rule, 1);
}

// ---- Aircraft past the first 50 of the pool ------------------------------------------------------------------

constexpr std::uint16_t kCarModel = 400;  // no rule names it

class SlotLending : public AircraftScan {
 protected:
  void SetUp() override {
    AircraftScan::SetUp();
    simhost::ResizePool(110);
  }

  // Rule aircraft at pool indices [from, to), high enough to be served.
  static void Fleet(int from, int to, std::uint16_t model = kTrailModel) {
    for (int i = from; i < to; ++i) Place(i, model, {static_cast<float>(i), 0.0f, 200.0f});
  }

  // One frame's scan, `ms` of the clock after the last.
  static void ScanAfter(std::uint32_t ms) {
    simhost::SetClock(simhost::Clock() + ms);
    Scan();
  }

  static int LivePoints(int slot) {
    int live = 0;
    for (const std::uint32_t time : Trails[slot].times) live += time != 0 ? 1 : 0;
    return live;
  }

  static bool SameBits(const void* a, const void* b, std::size_t size) { return std::memcmp(a, b, size) == 0; }
};

TEST_F(SlotLending, AircraftPastTheFirst50BorrowTheLowestSlotsNoAircraftOfTheirOwnUses) {
  Fleet(0, 1);
  Place(1, kCarModel, {0.0f, 0.0f, 200.0f});  // a vehicle of no rule leaves its slot free
  Fleet(2, 3, kBannerModel);
  Place(3, kTrailModel, {0.0f, 0.0f, 50.0f});  // an aircraft of a rule below its height still uses its slot
  Place(60, kTrailModel, {60.0f, 1.0f, 200.0f});
  Place(75, kBannerModel, {75.0f, 1.0f, 200.0f});
  Place(80, kTrailModel, {80.0f, 1.0f, 50.0f});  // lays no point: borrows nothing
  Place(109, kTrailModel, {109.0f, 1.0f, 200.0f});
  Scan();
  struct Expected {
    int index;
    int slot;
  };
  for (const Expected e : {Expected{60, 1}, Expected{75, 4}, Expected{80, -1}, Expected{109, 5}}) {
    SCOPED_TRACE(e.index);
    EXPECT_EQ(LentSlotOf(e.index), e.slot);
    EXPECT_EQ(HasSlot(e.index), e.slot >= 0);
  }
  EXPECT_EQ(Trails[1].points[0].x, 60.0f);
  EXPECT_EQ(Trails[1].times[0], simhost::Clock());
  EXPECT_EQ(Trails[5].points[0].x, 109.0f);
  EXPECT_EQ(simhost::Vehicle(80).timeField, simhost::Clock() - 20000) << "still a trail aircraft to the host";
  // A new banner is rolled up on its aircraft, to unroll behind it; the trail borrower's chain stays parked.
  for (const host::Vector3& point : BannerChains[4].points) {
    EXPECT_EQ(point.x, 75.0f);
    EXPECT_EQ(point.z, 200.0f);
  }
  EXPECT_FALSE(IsBannerActive(BannerChains[1]));
  EXPECT_FALSE(HasTrailPoint(3));
  EXPECT_EQ(Trails[0].points[0].x, 0.0f);
  EXPECT_TRUE(HeadMoved(2));
}

TEST_F(SlotLending, ABorrowerKeepsItsSlotFrameAfterFrameAndItsTrailGrowsThere) {
  Place(70, kTrailModel, {0.0f, 0.0f, 200.0f});
  Fleet(0, 5);
  Scan();
  const int slot = LentSlotOf(70);
  ASSERT_EQ(slot, 5);
  for (int frame = 1; frame <= 10; ++frame) {
    simhost::SetVehiclePosition(70, {100.0f * static_cast<float>(frame), 0.0f, 200.0f});
    // Dipping below Height for a while keeps the slot: climbing back continues the trail.
    if (frame == 4) simhost::SetVehiclePosition(70, {0.0f, 0.0f, 50.0f});
    ScanAfter(2001);
    EXPECT_EQ(LentSlotOf(70), slot) << frame;
  }
  EXPECT_EQ(LivePoints(slot), 10);
  EXPECT_EQ(Trails[slot].points[0].x, 1000.0f);
  EXPECT_EQ(Trails[slot].points[1].x, 900.0f);
}

TEST_F(SlotLending, WhenTheAircraftOfALentSlotsIndexComesTheBorrowerMovesWithItsTrailAndBanner) {
  Place(60, kTrailModel, {60.0f, 0.0f, 200.0f});
  Place(61, kBannerModel, {61.0f, 0.0f, 200.0f});
  for (int frame = 0; frame < 5; ++frame) {
    simhost::SetVehiclePosition(60, {60.0f + 30.0f * static_cast<float>(frame), 0.0f, 200.0f});
    simhost::SetVehiclePosition(61, {61.0f, 20.0f * static_cast<float>(frame), 200.0f});
    UpdateBanners();
    ScanAfter(2001);
  }
  ASSERT_EQ(LentSlotOf(60), 0);
  ASSERT_EQ(LentSlotOf(61), 1);
  const TrailRecord trail = Trails[0];
  const BannerChain chain = BannerChains[1];

  Place(0, kTrailModel, {-5.0f, 0.0f, 150.0f});
  Place(1, kBannerModel, {-6.0f, 0.0f, 150.0f});
  ScanAfter(1);
  EXPECT_EQ(LentSlotOf(60), 2);
  EXPECT_EQ(LentSlotOf(61), 3);
  // The same points and times, the newest refreshed where the aircraft is now.
  EXPECT_TRUE(SameBits(Trails[2].times, trail.times, sizeof trail.times));
  EXPECT_TRUE(SameBits(&Trails[2].points[1], &trail.points[1], sizeof trail.points - sizeof(host::Vector3)));
  EXPECT_TRUE(SameBits(&BannerChains[3].points[1], &chain.points[1], sizeof chain.points - sizeof(host::Vector3)));
  EXPECT_EQ(BannerChains[3].points[0].y, 80.0f);
  // Their own aircraft start afresh in slots 0 and 1.
  EXPECT_EQ(LivePoints(0), 1);
  EXPECT_EQ(Trails[0].points[0].x, -5.0f);
  EXPECT_EQ(BannerChains[1].points[0].x, -6.0f);
  for (int k = 1; k < kBannerPoints; ++k) EXPECT_EQ(BannerChains[1].points[k].z, kBannerParkingHeight) << k;
  EXPECT_FALSE(SlotLent[0]);
  EXPECT_FALSE(SlotLent[1]);
}

TEST_F(SlotLending, WithNoOtherSlotLeftTheBorrowerLosesItsSlotAndWaitsUntilOneFrees) {
  Fleet(0, 7);
  Fleet(8, 50);
  Place(60, kTrailModel, {60.0f, 0.0f, 200.0f});
  Scan();
  ASSERT_EQ(LentSlotOf(60), 7);
  Place(7, kTrailModel, {7.0f, 0.0f, 200.0f});
  ScanAfter(2001);
  EXPECT_EQ(LentSlotOf(60), -1);
  EXPECT_EQ(LivePoints(7), 1) << "slot 7 holds its own aircraft's point alone";
  EXPECT_EQ(Trails[7].points[0].x, 7.0f);

  // Aircraft 10 leaves: its fading trail gives way to the waiting aircraft, there being no empty slot.
  simhost::SetVehicleFree(10, true);
  ScanAfter(2001);
  EXPECT_EQ(LentSlotOf(60), 10);
  EXPECT_EQ(LivePoints(10), 1);
  EXPECT_EQ(Trails[10].points[0].x, 60.0f);
}

TEST_F(SlotLending, PastFiftyAircraftTheOthersWaitAndFreedSlotsGoInPoolOrder) {
  Fleet(0, 45);
  Fleet(60, 70);
  Scan();
  for (int i = 60; i < 70; ++i) EXPECT_EQ(LentSlotOf(i), i < 65 ? 45 + (i - 60) : -1) << i;
  // A borrower leaves, and an aircraft at its own index: the two slots go to the first two that wait.
  simhost::SetVehicleFree(62, true);
  simhost::SetVehicleFree(44, true);
  ScanAfter(1);
  EXPECT_EQ(LentSlotOf(65), 44);
  EXPECT_EQ(LentSlotOf(66), 47);
  for (const int waiting : {67, 68, 69}) EXPECT_EQ(LentSlotOf(waiting), -1) << waiting;
  EXPECT_EQ(LeaseCount, 6);
}

TEST_F(SlotLending, TheSkyTrailsSlotsAreNotLentWhileTheyMayRunAndABorrowerMovesOffThem) {
  Fleet(0, 45);
  Fleet(60, 63);
  settings.ReplaceTrailsInTheSky = true;
  Scan();
  EXPECT_EQ(LentSlotOf(60), 45);
  EXPECT_EQ(LentSlotOf(61), 46);
  EXPECT_EQ(LentSlotOf(62), -1);

  settings.ReplaceTrailsInTheSky = false;
  ScanAfter(1);
  EXPECT_EQ(LentSlotOf(62), 47);
  Place(63, kBannerModel, {63.0f, 0.0f, 200.0f});
  ScanAfter(1);
  EXPECT_EQ(LentSlotOf(63), 48);

  // On again (a re-read of the settings): the sky trails take their slots before they add a point. Aircraft 44 has
  // left, so one borrower moves to its slot; the other has none left.
  simhost::SetVehicleFree(44, true);
  ScanAfter(1);
  settings.ReplaceTrailsInTheSky = true;
  test_support::UseSettings(settings);
  const TrailRecord moving = Trails[47];
  UpdateSkyTrails();
  EXPECT_EQ(LentSlotOf(62), 44);
  EXPECT_TRUE(SameBits(Trails[44].times, moving.times, sizeof moving.times));
  EXPECT_EQ(LentSlotOf(63), -1);
  EXPECT_EQ(Trails[47].rule, kSkyTrailRule);
  EXPECT_EQ(LivePoints(47), 1);
  EXPECT_FALSE(SlotLent[47] || SlotLent[48] || SlotLent[49]);
}

TEST_F(SlotLending, AnotherModelAtABorrowersIndexIsAnotherAircraft) {
  Place(60, kTrailModel, {60.0f, 0.0f, 200.0f});
  Scan();
  ASSERT_EQ(LentSlotOf(60), 0);
  // Freed and taken by a banner aircraft within one frame: the trail stays to fade, the banner takes a slot of its own.
  Place(60, kBannerModel, {60.0f, 5.0f, 200.0f});
  ScanAfter(1);
  EXPECT_EQ(LentSlotOf(60), 1);
  EXPECT_FALSE(SlotLent[0]);
  EXPECT_EQ(LivePoints(0), 1);
  EXPECT_FALSE(IsBannerActive(BannerChains[0]));
  EXPECT_EQ(BannerChains[1].points[7].y, 5.0f);
  // The same model again is taken for the same aircraft, as at an index below 50.
  Place(60, kBannerModel, {60.0f, 9.0f, 200.0f});
  ScanAfter(1);
  EXPECT_EQ(LentSlotOf(60), 1);
}

TEST_F(SlotLending, ALeaseEndsWhenItsAircraftIsGoneAndTheSlotKeepsItsTrail) {
  struct Case {
    const char* what;
    std::function<void()> gone;
  };
  const Case cases[] = {
      {"freed", [] { simhost::SetVehicleFree(60, true); }},
      {"left alone", [] { simhost::Vehicle(60).status = 0x28; }},
      {"its rule off", [] { settings.EnableTrail = false; }},
      {"past the pool's count", [] { simhost::SetPoolCount(55); }},
      {"the pool gone", [] { host::Datum<host::HostVehiclePool*>(host::address::HostVehiclePoolPointer) = nullptr; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    Place(60, kTrailModel, {60.0f, 0.0f, 200.0f});
    Scan();
    ASSERT_EQ(LentSlotOf(60), 0);
    c.gone();
    ScanAfter(2001);
    EXPECT_EQ(LentSlotOf(60), -1);
    EXPECT_FALSE(SlotLent[0]);
    EXPECT_EQ(LeaseCount, 0);
    EXPECT_EQ(LivePoints(0), 1);
    TearDown();
  }
}

}  // namespace
