// The aircraft scan over the simulated vehicle pool: who lays trail points, who moves a banner head.

#include "trails/aircraft_scan.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <limits>

#include "banners/banner_chain.h"
#include "config/settings.h"
#include "simhost.h"
#include "support/settings.h"
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
    UseDefaultSettings();
    simhost::ResizePool(60);
  }
  void TearDown() override {
    for (TrailRecord& record : Trails) record = TrailRecord{};
    for (BannerChain& chain : BannerChains) chain = BannerChain{};
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

TEST_F(AircraftScan, VehiclesBeyondSlot49GetNoTrailAndNoBanner) {
  Place(49, kTrailModel, {0.0f, 0.0f, 200.0f});
  Place(50, kTrailModel, {0.0f, 0.0f, 200.0f});
  Place(51, kBannerModel, {0.0f, 0.0f, 200.0f});
  Place(59, kTrailModel, {0.0f, 0.0f, 200.0f});
  Scan();
  EXPECT_TRUE(HasTrailPoint(49));
  for (int slot = 0; slot < 49; ++slot) EXPECT_FALSE(HasTrailPoint(slot)) << slot;
  for (int slot = 0; slot < kBannerSlots; ++slot) EXPECT_FALSE(HeadMoved(slot)) << slot;
  // They are still trail aircraft to the host.
  EXPECT_EQ(simhost::Vehicle(50).timeField, simhost::Clock() - 20000);
  EXPECT_EQ(simhost::Vehicle(59).timeField, simhost::Clock() - 20000);
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

// The browser preview marks each aircraft by OutcomeOf, so it must say what the scan then does, whatever the
// settings: the scan combines the same tests in its own code.
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
      const ScanOutcome told = OutcomeOf(vehicle, v.index);
      ScanAircraft();
      const bool point = v.index < kTrailSlots && HasTrailPoint(v.index);
      const bool head = v.index < kBannerSlots && HeadMoved(v.index);
      EXPECT_EQ(told, point ? ScanOutcome::kTrailPoint : head ? ScanOutcome::kBannerHead : ScanOutcome::kNothing);
      simhost::SetVehicleFree(v.index, true);
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

}  // namespace
