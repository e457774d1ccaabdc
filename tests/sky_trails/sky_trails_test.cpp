// The three circling aircraft: where they stand at a given clock, which trail slots they feed and which light sprites
// they show at night.

#include "trails/sky_trails.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "simhost.h"
#include "trails/trail_store.h"

using namespace trails;

namespace {

using host::Vector3;
using simhost::AsFloat;
using simhost::Bits;
using simhost::CallsOf;

constexpr std::int32_t kSlots[] = {47, 48, 49};
constexpr std::uint32_t kSpriteIds[] = {101, 102, 103};

class SkyTrails : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }

  static void Reset() {
    simhost::ResetHost();
    ResetTrails();
  }

  static void RunAt(std::uint32_t clock, std::uint8_t hour = 12) {
    simhost::SetClock(clock);
    simhost::SetClockHour(hour);
    UpdateSkyTrails();
  }
};

// The positions the light sprites were given, in call order, whichever of the two calls each was.
std::vector<Vector3> SpritePositions() {
  std::vector<Vector3> positions;
  for (const simhost::Call& call : simhost::Recorded().calls) {
    const std::size_t first = call.entry == "ShowLightSprite" ? 21 : call.entry == "UpdateLightSprite" ? 4 : 0;
    if (first == 0) continue;
    positions.push_back({AsFloat(call.args[first]), AsFloat(call.args[first + 1]), AsFloat(call.args[first + 2])});
  }
  return positions;
}

void ExpectSamePosition(const Vector3& actual, const Vector3& expected) {
  // Bit for bit: the circuit is defined in 32-bit float steps.
  EXPECT_EQ(Bits(actual.x), Bits(expected.x)) << actual.x << " vs " << expected.x;
  EXPECT_EQ(Bits(actual.y), Bits(expected.y)) << actual.y << " vs " << expected.y;
  EXPECT_EQ(Bits(actual.z), Bits(expected.z)) << actual.z << " vs " << expected.z;
}

struct PhaseCase {
  const char* name;
  std::uint32_t clock;
  Vector3 expected[3];  // first, second, third circling aircraft
};

// Expected positions worked out apart from the plug-in: t converted to float, times 2^-17, times the float
// nearest 2 pi, each product rounded to float; sine and cosine of that float in double, rounded to float, then
// float products with the radii. Computing the angle in double instead moves every mid-circuit value.
const PhaseCase kPhaseCases[] = {
    {"clock 0", 0, {{0.0f, 1200.0f, 550.0f}, {0.0f, -1600.0f, 500.0f}, {1100.0f, 0.0f, 600.0f}}},
    {"a whole number of circuits",
     8 * 131072,
     {{0.0f, 1200.0f, 550.0f}, {0.0f, -1600.0f, 500.0f}, {1100.0f, 0.0f, 600.0f}}},
    {"a quarter circuit",
     32768,
     {{0x1.8d8p+10f, -0x1.b80364p-15f, 550.0f},
      {0x1.f4p+9f, 0x1.255798p-14f, 500.0f},
      {-0x1.93587p-15f, 0x1.5ep+9f, 600.0f}}},
    {"t 40000 in the fourth circuit",
     3 * 131072 + 40000,
     {{0x1.75d9e6p+10f, -0x1.97bb7cp+8f, 550.0f},
      {0x1.d640c6p+9f, 0x1.0fd252p+9f, 500.0f},
      {-0x1.75c132p+8f, 0x1.492d58p+9f, 600.0f}}},
    // Two of the angles at which a float sine or cosine would round the other way.
    {"t 213, sine",
     8 * 131072 + 213,
     {{0x1.03c08ap+4f, 0x1.2bfbfep+10f, 550.0f},
      {0x1.46bb72p+3f, -0x1.8ffaa8p+10f, 500.0f},
      {0x1.12fc54p+10f, 0x1.c96cd4p+2f, 600.0f}}},
    {"t 1203, cosine",
     8 * 131072 + 1203,
     {{0x1.6e90dap+6f, 0x1.2b8054p+10f, 550.0f},
      {0x1.cd16cep+5f, -0x1.8f55c6p+10f, 500.0f},
      {0x1.128af8p+10f, 0x1.42c32ap+5f, 600.0f}}},
    {"clock 1000000 (t 82496)",
     1000000,
     {{-0x1.20ba5p+10f, -0x1.9c63a4p+9f, 550.0f},
      {-0x1.6b2dfap+9f, 0x1.12ed18p+10f, 500.0f},
      {-0x1.7a06p+9f, -0x1.fc7392p+8f, 600.0f}}},
};

TEST_F(SkyTrails, CirclingAircraftStandWhereThePhaseOfTheClockPutsThem) {
  for (const PhaseCase& c : kPhaseCases) {
    SCOPED_TRACE(c.name);
    Reset();
    RunAt(c.clock, 23);
    const std::vector<Vector3> sprites = SpritePositions();
    ASSERT_EQ(sprites.size(), 3u);
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(kSlots[i]);
      ExpectSamePosition(Trails[kSlots[i]].points[0], c.expected[i]);
      // The sprite is given the very position the trail was just handed.
      ExpectSamePosition(sprites[i], c.expected[i]);
    }
  }
}

TEST_F(SkyTrails, FeedOnlySlots47To49) {
  RunAt(1000000);
  for (int slot = 0; slot < kTrailSlots; ++slot) {
    const bool circling = slot >= 47;
    EXPECT_EQ(Trails[slot].times[0], circling ? 1000000u : 0u) << "slot " << slot;
    EXPECT_EQ(Trails[slot].times[1], 0u) << "slot " << slot;
  }
  // Each position is built and stored through the host's vector helpers.
  EXPECT_EQ(simhost::EntryCalls("SetVector"), 3);
  EXPECT_EQ(simhost::EntryCalls("CopyVector"), 3);
}

TEST_F(SkyTrails, APoolAircraftAt47SharesTheFirstCirclingTrail) {
  // The aircraft scan hands a pool aircraft at index 47 to the same slot as the first circling aircraft.
  const Vector3 aircraft{10.0f, 20.0f, 300.0f};
  simhost::SetClock(1000000);
  AddTrailPoint(aircraft, 47, 0);
  RunAt(1000000);
  ExpectSamePosition(Trails[47].points[0], {-0x1.20ba5p+10f, -0x1.9c63a4p+9f, 550.0f});
  EXPECT_EQ(Trails[47].times[1], 0u);  // the same clock refreshes the newest point, no second point

  simhost::SetClock(1000000 + 2500);
  AddTrailPoint(aircraft, 47, 0);
  ExpectSamePosition(Trails[47].points[0], aircraft);
  EXPECT_EQ(Trails[47].points[1].z, 550.0f);
}

struct NightCase {
  std::uint8_t hour;
  bool sprites;
};

TEST_F(SkyTrails, SpritesOnlyAtHoursAbove22OrBelow7) {
  const NightCase cases[] = {{0, true},   {6, true},  {7, false}, {12, false},
                             {22, false}, {23, true}, {24, true}, {255, true}};
  for (const NightCase& c : cases) {
    for (const std::uint32_t clock : {1024u * 1000, 1024u * 1000 + 512}) {  // either side of the blink
      SCOPED_TRACE(testing::Message() << "hour " << int(c.hour) << ", clock " << clock);
      simhost::ClearRecord();
      RunAt(clock, c.hour);
      EXPECT_EQ(SpritePositions().size(), c.sprites ? 3u : 0u);
    }
  }
}

TEST_F(SkyTrails, BlinkShowsTheSpriteWhileBit9OfTheClockIsSet) {
  struct BlinkCase {
    std::uint32_t clock;
    bool shown;
  };
  const BlinkCase cases[] = {{1024 * 1000, false},       {1024 * 1000 + 511, false}, {1024 * 1000 + 512, true},
                             {1024 * 1000 + 1023, true}, {1024 * 1001, false},       {0x200, true}};
  for (const BlinkCase& c : cases) {
    SCOPED_TRACE(c.clock);
    simhost::ClearRecord();
    RunAt(c.clock, 23);
    EXPECT_EQ(CallsOf("ShowLightSprite").size(), c.shown ? 3u : 0u);
    EXPECT_EQ(CallsOf("UpdateLightSprite").size(), c.shown ? 0u : 3u);
  }
}

TEST_F(SkyTrails, SpriteCallsCarryEveryArgumentOfTheTable) {
  constexpr std::uint32_t kPosition = 0xFFFFFFFF;  // stands for the position pointer, checked apart
  struct SpriteCase {
    const char* entry;
    std::uint32_t clock;
    std::vector<std::uint32_t> args;  // after the sprite id
  };
  const SpriteCase cases[] = {
      {"ShowLightSprite", 1024 * 1000 + 512, {0, 255, 0, 0,          255, kPosition,  Bits(5.0f), Bits(2000.0f), 1, 0,
                                              0, 0,   0, Bits(0.0f), 0,   Bits(1.5f), 0,          Bits(15.0f),   0, 0}},
      {"UpdateLightSprite", 1024 * 1000, {kPosition, Bits(2000.0f), Bits(0.0f)}},
  };
  for (const SpriteCase& c : cases) {
    SCOPED_TRACE(c.entry);
    Reset();
    RunAt(c.clock, 23);
    const auto calls = CallsOf(c.entry);
    ASSERT_EQ(calls.size(), 3u);
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(kSpriteIds[i]);
      const std::vector<std::uint32_t>& args = calls[i].args;
      const std::size_t count = 1 + c.args.size();
      ASSERT_EQ(args.size(), count + 3);  // the recorder adds the position the pointer showed
      std::vector<std::uint32_t> expected{kSpriteIds[i]};
      expected.insert(expected.end(), c.args.begin(), c.args.end());
      for (std::size_t k = 0; k < count; ++k) {
        if (expected[k] != kPosition)
          EXPECT_EQ(args[k], expected[k]) << "argument " << k + 1;
        else
          EXPECT_NE(args[k], 0u) << "argument " << k + 1;
      }
      ExpectSamePosition({AsFloat(args[count]), AsFloat(args[count + 1]), AsFloat(args[count + 2])},
                         Trails[kSlots[i]].points[0]);
    }
  }
}

}  // namespace
