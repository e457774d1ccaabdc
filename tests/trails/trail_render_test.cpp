// Trail drawing, read back from the calls the simulated host recorded: brightness, culling, fading, expiry,
// packing of live points, render states and batches.

#include "trails/trail_render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "config/rules.h"
#include "config/settings.h"
#include "host/immediate.h"
#include "simhost.h"
#include "support/settings.h"
#include "trails/aircraft_scan.h"
#include "trails/trail_store.h"

using namespace config;
using namespace host;
using namespace trails;

namespace {

using simhost::AsFloat;
using simhost::Batch;
using simhost::CallsOf;

constexpr std::uint32_t kNow = 1000000;
constexpr std::int32_t kEmpty = INT32_MIN;  // an age standing for an empty point
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::uint32_t AlphaOf(const host::ImmediateVertex& vertex) { return vertex.colour >> 24; }

// [MAIN]'s values as a test sets them, read as the plug-in reads them (Use).
Values settings;
void Use() { test_support::UseSettings(settings); }

class TrailDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    simhost::ResetHost();
    for (TrailRecord& record : Trails) record = TrailRecord{};
    settings = DefaultValues();
    settings.TrailFadeTime = 10000.0f;
    Use();
    simhost::SetClock(kNow);
  }
  void TearDown() override {
    for (TrailRecord& record : Trails) record = TrailRecord{};
    settings = DefaultValues();
    Use();
    simhost::ResetHost();
  }

  // Fills a slot with points of the given ages (newest first); point k lies at x = 100 * slot + k.
  static void SetAges(int slot, std::initializer_list<std::int32_t> ages) {
    TrailRecord& record = Trails[slot];
    int k = 0;
    for (const std::int32_t age : ages) {
      record.points[k] = {100.0f * static_cast<float>(slot) + static_cast<float>(k), 0.0f, 200.0f};
      record.times[k] = age == kEmpty ? 0 : kNow - static_cast<std::uint32_t>(age);
      ++k;
    }
  }

  // The one batch drawn; fails the test when there is not exactly one.
  static Batch OnlyBatch() {
    const auto& batches = simhost::Recorded().batches;
    EXPECT_EQ(batches.size(), 1u);
    return batches.empty() ? Batch{} : batches[0];
  }

  static std::vector<std::uint32_t> Alphas(const Batch& batch) {
    std::vector<std::uint32_t> alphas;
    for (const host::ImmediateVertex& vertex : batch.vertices) alphas.push_back(AlphaOf(vertex));
    return alphas;
  }
};

TEST_F(TrailDrawing, TheLineIndicesJoinNeighbours) {
  for (int k = 0; k < 15; ++k) {
    EXPECT_EQ(TrailLineIndices[2 * k], k);
    EXPECT_EQ(TrailLineIndices[2 * k + 1], k + 1);
  }
}

TEST_F(TrailDrawing, MaxAlphaFollowsTheDimmestFactorAndTheBrightestChannel) {
  struct Case {
    float dimA, dimB, dimC;
    std::uint16_t red, green, blue;
    std::uint32_t maxAlpha;
  };
  const Case cases[] = {
      {0.0f, 0.0f, 0.0f, 255, 255, 255, 109},  // 255/256 of 110
      {0.0f, 0.0f, 0.0f, 0, 256, 0, 110},
      {0.0f, 0.0f, 0.0f, 0, 0, 65535, 110},
      {0.0f, 0.5f, 0.0f, 300, 0, 0, 55},
      {0.25f, 0.0f, 0.75f, 300, 0, 0, 27},
      {0.0f, 0.0f, 0.0f, 128, 64, 0, 55},
      {0.5f, 0.5f, 0.5f, 64, 0, 0, 27},         // the channel is dimmer: 64/256 of 110
      {-1.0f, -1.0f, -1.0f, 512, 0, 0, 220},    // brighter than the host's own lighting ever gets
      {-9.0f, -9.0f, -9.0f, 65535, 0, 0, 255},  // the colour holds no more alpha
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.dimA << " " << c.dimC << " " << c.red << " " << c.green);
    simhost::ClearRecord();
    simhost::SetDimFactors(c.dimA, c.dimB, c.dimC);
    simhost::SetLightColour(c.red, c.green, c.blue);
    SetAges(0, {0, 1000});
    DrawTrails();
    EXPECT_EQ(Alphas(OnlyBatch()), (std::vector<std::uint32_t>{c.maxAlpha, c.maxAlpha}));
  }
}

TEST_F(TrailDrawing, TooDarkDrawsNothingAndExpiresNothing) {
  struct Case {
    float dim;
    std::uint16_t channel;
  };
  for (const Case c : {Case{0.0f, 0}, Case{0.99995f, 255}, Case{1.0f, 255}, Case{2.0f, 255}, Case{kNaN, 255}}) {
    SCOPED_TRACE(c.dim);
    simhost::ClearRecord();
    simhost::SetDimFactors(0.0f, c.dim, 0.0f);
    simhost::SetLightColour(c.channel, c.channel, c.channel);
    SetAges(0, {0, 1000, 40000});
    DrawTrails();
    EXPECT_TRUE(simhost::Recorded().calls.empty());
    EXPECT_NE(Trails[0].times[2], 0u);
  }
}

TEST_F(TrailDrawing, BrightEnoughToTestButTooDarkForAnyAlphaExpiresNothing) {
  simhost::SetLightColour(2, 0, 0);  // 2/256: above 0.0001, below 1/110
  SetAges(0, {0, 1000, 40000});
  DrawTrails();
  EXPECT_EQ(CallsOf("IsSphereVisible").size(), 50u);
  EXPECT_TRUE(simhost::Recorded().batches.empty());
  EXPECT_TRUE(CallsOf("SetRenderState").empty());
  EXPECT_NE(Trails[0].times[2], 0u);
}

TEST_F(TrailDrawing, PointsFadeOverTheFadeTimeAndExpireAfter30000Ms) {
  SetAges(3, {-5000, 0, 20000, 25000, 29999, 30000, 30001, 90000});
  DrawTrails();
  const Batch batch = OnlyBatch();
  // maxAlpha 109; (30000 - age) / 10000 of it from 20000 ms on.
  EXPECT_EQ(Alphas(batch), (std::vector<std::uint32_t>{109, 109, 109, 54, 0, 0}));
  for (const host::ImmediateVertex& vertex : batch.vertices) EXPECT_EQ(vertex.colour & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_NE(Trails[3].times[5], 0u);
  EXPECT_EQ(Trails[3].times[6], 0u);
  EXPECT_EQ(Trails[3].times[7], 0u);
}

TEST_F(TrailDrawing, AlphaStaysWithinZeroAndMaxAlphaForAnyFadeTime) {
  struct Case {
    float fadeTime;
    std::vector<std::uint32_t> alphas;  // of ages -5000, 0, 20000, 25000, 30000
  };
  const Case cases[] = {
      {0.0f, {109, 109, 109, 109, 109}},  // no fade: even the point about to expire is at full alpha
      {-0.0f, {109, 109, 109, 109, 109}},
      {40000.0f, {95, 81, 27, 13, 0}},  // full only for points from the future
      {30000.0f, {109, 109, 36, 18, 0}},
      {1e-30f, {109, 109, 109, 109, 0}},
      {std::numeric_limits<float>::infinity(), {0, 0, 0, 0, 0}},
      {-10000.0f, {0, 0, 0, 0, 0}},
      {-std::numeric_limits<float>::infinity(), {0, 0, 0, 0, 0}},
      {kNaN, {0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fadeTime);
    simhost::ClearRecord();
    settings.TrailFadeTime = c.fadeTime;
    Use();
    SetAges(0, {-5000, 0, 20000, 25000, 30000});
    DrawTrails();
    EXPECT_EQ(Alphas(OnlyBatch()), c.alphas);
  }
}

// Four points at a time, every point must get exactly what the formula gives for one float: around the age at
// which fading starts, and far from it.
TEST_F(TrailDrawing, EveryAgeTakesTheAlphaOfTheFadeFormula) {
  const auto formula = [](std::int32_t age, float fadeTime) {
    const float f = std::min((30000.0f - static_cast<float>(age)) / fadeTime, 1.0f);
    return static_cast<std::uint32_t>(f * 109.0f);
  };
  for (const float fadeTime : {10000.0f, 10000.5f, 0.75f, 29999.3f, 30000.0f, 40000.0f, 3e9f, 1e-30f}) {
    SCOPED_TRACE(fadeTime);
    const double edge = 30000.0 - std::ceil(static_cast<double>(fadeTime));  // the oldest age at full alpha
    std::vector<std::int32_t> ages{INT32_MIN + 1, -2000000000, -1, 0};
    for (const double near : {edge - 1, edge, edge + 1, edge + 2}) {
      if (near >= 0 && near <= 30000) ages.push_back(static_cast<std::int32_t>(near));
    }
    simhost::ClearRecord();
    settings.TrailFadeTime = fadeTime;
    Use();
    for (TrailRecord& record : Trails) record = TrailRecord{};
    TrailRecord& record = Trails[0];
    for (std::size_t k = 0; k < ages.size(); ++k) record.times[k] = kNow - static_cast<std::uint32_t>(ages[k]);
    DrawTrails();
    std::vector<std::uint32_t> expected;
    for (const std::int32_t age : ages) expected.push_back(formula(age, fadeTime));
    EXPECT_EQ(Alphas(OnlyBatch()), expected);
  }
}

TEST_F(TrailDrawing, AgesAreSignedAcrossAClockWrap) {
  simhost::SetClock(100);
  Trails[0].times[0] = 100;
  Trails[0].times[1] = 0xFFFFFFFFu - 9899;  // 10000 ms ago, before the clock wrapped
  Trails[0].times[2] = 200;                 // ahead of the clock
  DrawTrails();
  EXPECT_EQ(OnlyBatch().vertices.size(), 3u);
}

TEST_F(TrailDrawing, LivePointsArePackedNewestFirstAndJoinedInOrder) {
  SetAges(1, {0, kEmpty, 4000, 40000, 6000, kEmpty, kEmpty, 8000});
  DrawTrails();
  const Batch batch = OnlyBatch();
  ASSERT_EQ(batch.vertices.size(), 4u);
  const float xs[] = {100.0f, 102.0f, 104.0f, 107.0f};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(batch.vertices[i].position.x, xs[i]);
    EXPECT_EQ(batch.vertices[i].position.z, 200.0f);
  }
  EXPECT_EQ(batch.indices, (std::vector<std::uint16_t>{0, 1, 1, 2, 2, 3}));
  EXPECT_EQ(batch.primitiveType, 1);
  EXPECT_EQ(batch.flags, 24u);
  EXPECT_EQ(batch.matrix, 0u);
  EXPECT_TRUE(batch.ended);
  const auto transform = CallsOf("TransformImmediateVertices");
  ASSERT_EQ(transform.size(), 1u);
  EXPECT_EQ(transform[0].args[0], reinterpret_cast<std::uint32_t>(ImmediateVertices));
  EXPECT_EQ(CallsOf("RenderImmediateIndexed")[0].args[1], reinterpret_cast<std::uint32_t>(TrailLineIndices));
}

TEST_F(TrailDrawing, IndexCountIsTwoPerSegment) {
  struct Case {
    int live;
    std::size_t indices;
  };
  for (const Case c : {Case{2, 2}, Case{3, 4}, Case{16, 30}}) {
    SCOPED_TRACE(c.live);
    simhost::ClearRecord();
    Trails[0] = TrailRecord{};
    for (int k = 0; k < c.live; ++k) Trails[0].times[k] = kNow - 100 * static_cast<std::uint32_t>(k);
    DrawTrails();
    const Batch batch = OnlyBatch();
    EXPECT_EQ(batch.vertices.size(), static_cast<std::size_t>(c.live));
    EXPECT_EQ(batch.indices, std::vector<std::uint16_t>(TrailLineIndices, TrailLineIndices + c.indices));
  }
}

TEST_F(TrailDrawing, OneLivePointDrawsNothingButItsTrailStillExpires) {
  SetAges(2, {500, 30001, kEmpty, 50000});
  DrawTrails();
  EXPECT_TRUE(simhost::Recorded().batches.empty());
  EXPECT_TRUE(CallsOf("SetRenderState").empty());
  EXPECT_NE(Trails[2].times[0], 0u);
  EXPECT_EQ(Trails[2].times[1], 0u);
  EXPECT_EQ(Trails[2].times[3], 0u);
}

TEST_F(TrailDrawing, EachSlotIsCulledOnItsNewestPointBeforeAnythingElse) {
  simhost::SetSphereVisibility([](const host::Vector3& centre, float) { return centre.x < 300.0f; });
  SetAges(2, {0, 1000, 40000});
  SetAges(3, {0, 1000, 40000});  // newest point at x = 300: out of view
  Trails[3].points[1].x = 0.0f;  // an older point in view does not matter
  DrawTrails();
  const auto tests = CallsOf("IsSphereVisible");
  ASSERT_EQ(tests.size(), 50u);
  for (int slot = 0; slot < kTrailSlots; ++slot) {
    EXPECT_EQ(tests[slot].args[1], reinterpret_cast<std::uint32_t>(&Trails[slot].points[0])) << slot;
    EXPECT_EQ(AsFloat(tests[slot].args[2]), 1000.0f);
  }
  EXPECT_EQ(OnlyBatch().vertices[0].position.x, 200.0f);
  EXPECT_EQ(Trails[2].times[2], 0u);
  EXPECT_NE(Trails[3].times[2], 0u);  // not examined, so not expired either
}

TEST_F(TrailDrawing, FourRenderStatesBeforeEveryTrailNeverRestored) {
  SetAges(0, {0, 1000});
  SetAges(5, {0, 1000, 2000});
  DrawTrails();
  std::vector<std::string> sequence;
  for (const simhost::Call& call : simhost::Recorded().calls) {
    if (call.entry == "IsSphereVisible") continue;
    std::string step = call.entry;
    if (call.entry == "SetRenderState") step += " " + std::to_string(call.args[0]) + "=" + std::to_string(call.args[1]);
    sequence.push_back(step);
  }
  const std::vector<std::string> trail = {"SetRenderState 12=1", "SetRenderState 10=5",        "SetRenderState 11=6",
                                          "SetRenderState 1=0",  "TransformImmediateVertices", "RenderImmediateIndexed",
                                          "EndImmediate"};
  std::vector<std::string> expected = trail;
  expected.insert(expected.end(), trail.begin(), trail.end());
  EXPECT_EQ(sequence, expected);
}

TEST_F(TrailDrawing, AFailedTransformSkipsTheBatchAndItsEnd) {
  simhost::SetTransformSucceeds(false);
  SetAges(0, {0, 1000, 40000});
  SetAges(1, {0, 1000});
  DrawTrails();
  EXPECT_EQ(CallsOf("TransformImmediateVertices").size(), 2u);  // the next slot is still tried
  EXPECT_TRUE(CallsOf("RenderImmediateIndexed").empty());
  EXPECT_TRUE(CallsOf("EndImmediate").empty());
  EXPECT_EQ(CallsOf("SetRenderState").size(), 8u);
  EXPECT_EQ(Trails[0].times[2], 0u);
}

TEST_F(TrailDrawing, DrawingDoesNotAskWhetherTrailsAreEnabled) {
  settings.EnableTrail = false;
  Use();
  SetAges(0, {0, 1000});
  DrawTrails();
  EXPECT_EQ(OnlyBatch().vertices.size(), 2u);
}

// ---- The look of each rule ---------------------------------------------------------------------------------

// How a trail rule looks: what drawing reads of it.
struct RuleLook {
  std::uint32_t colour;
  float fadeTime;
  float width;
};
RuleLook Look(std::uint32_t colour, float fadeTime, float width) { return {colour, fadeTime, width}; }

// [MAIN]'s rule as the settings are, then further trail rules of models 601 on, each a section of its own, and each
// with the look given, whatever a text could give.
void UseLooks(std::initializer_list<RuleLook> further) {
  std::string sections;
  for (std::size_t k = 0; k < further.size(); ++k) sections += "[Trail " + std::to_string(601 + k) + "]\n";
  test_support::UseSettings(settings, sections);
  ASSERT_EQ(InEffect.trailRuleCount, static_cast<int>(1 + further.size()));
  int k = 1;
  for (const RuleLook& look : further) {
    InEffect.trailRules.TrailColour[k] = look.colour;
    InEffect.trailRules.TrailFadeTime[k] = look.fadeTime;
    InEffect.trailRules.TrailWidth[k++] = look.width;
  }
}

float Dot(const host::Vector3& a, const host::Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
host::Vector3 Minus(const host::Vector3& a, const host::Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

// Trails of several rules, drawn in one pass in slot order: each in its rule's colour and fade (the sky trails in
// SkyTrailColour, fading as [MAIN]'s trails), whatever the rule of the trail before.
TEST_F(TrailDrawing, EachTrailTakesItsRulesColourAndFade) {
  settings.TrailFadeTime = 20000.0f;
  settings.SkyTrailColour = 0x00FF00;
  UseLooks({Look(0xFF2828, 5000.0f, 0.0f), Look(0x000000, 20000.0f, 0.0f), Look(0x123456, 0.0f, 0.0f)});
  struct Case {
    int slot;
    std::uint8_t rule;
    std::uint32_t colour;
    std::vector<std::uint32_t> alphas;  // of ages 25000 and 27500
  };
  const Case cases[] = {
      {0, 0, 0xFFFFFF, {27, 13}}, {4, 1, 0xFF2828, {109, 54}},  {5, 0, 0xFFFFFF, {27, 13}},
      {7, 2, 0x000000, {27, 13}}, {9, 3, 0x123456, {109, 109}}, {47, kSkyTrailRule, 0x00FF00, {27, 13}},
  };
  for (const Case& c : cases) {
    SetAges(c.slot, {25000, 27500});
    Trails[c.slot].rule = c.rule;
  }
  DrawTrails();
  const auto& batches = simhost::Recorded().batches;
  ASSERT_EQ(batches.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].slot);
    EXPECT_EQ(Alphas(batches[i]), cases[i].alphas);
    for (const host::ImmediateVertex& vertex : batches[i].vertices)
      EXPECT_EQ(vertex.colour & 0xFFFFFF, cases[i].colour);
    EXPECT_EQ(batches[i].primitiveType, 1);
  }
}

// Slot 0 as a ribbon of the given width through points of the given ages (newest first), seen from `camera`: a trail
// that runs along x, climbing, then turns along y.
Batch Ribbon(float width, std::initializer_list<std::int32_t> ages, const host::Vector3& camera) {
  simhost::ClearRecord();
  simhost::SetCameraPosition(camera);
  UseLooks({Look(0xFF8000, 10000.0f, width)});
  Trails[0] = TrailRecord{};
  int k = 0;
  for (const std::int32_t age : ages) {
    Trails[0].points[k] = {k < 3 ? 10.0f * static_cast<float>(k) : 20.0f,
                           k < 3 ? 0.0f : 10.0f * static_cast<float>(k - 2), 200.0f + static_cast<float>(k)};
    Trails[0].times[k] = age == kEmpty ? 0 : kNow - static_cast<std::uint32_t>(age);
    ++k;
  }
  Trails[0].rule = 1;
  DrawTrails();
  const auto& batches = simhost::Recorded().batches;
  EXPECT_EQ(batches.size(), 1u);
  return batches.empty() ? Batch{} : batches[0];
}

TEST_F(TrailDrawing, ARibbonFacesTheCameraWithTwoVerticesAPointAndTwoTrianglesASegment) {
  const host::Vector3 camera{-50.0f, 80.0f, 350.0f};
  const Batch batch = Ribbon(6.0f, {0, 1000, kEmpty, 4000, 40000, 6000, 25000}, camera);
  const int live[] = {0, 1, 3, 5, 6};  // packed newest first
  ASSERT_EQ(batch.vertices.size(), 2 * std::size(live));
  std::vector<std::uint16_t> indices;
  for (int k = 0; k + 1 < static_cast<int>(std::size(live)); ++k) {
    for (const int index : {2 * k, 2 * k + 1, 2 * k + 3, 2 * k, 2 * k + 3, 2 * k + 2}) {
      indices.push_back(static_cast<std::uint16_t>(index));
    }
  }
  EXPECT_EQ(batch.indices, indices);
  EXPECT_EQ((std::vector<std::uint32_t>{static_cast<std::uint32_t>(batch.primitiveType), batch.flags, batch.matrix}),
            (std::vector<std::uint32_t>{3, 24, 0}));
  EXPECT_TRUE(batch.ended);
  EXPECT_EQ(CallsOf("RenderImmediateIndexed").at(0).args[1], reinterpret_cast<std::uint32_t>(ImmediateIndices));
  // The render states of a line, before the batch.
  std::vector<std::string> states;
  for (const simhost::Call& call : CallsOf("SetRenderState")) {
    states.push_back(std::to_string(call.args[0]) + "=" + std::to_string(call.args[1]));
  }
  EXPECT_EQ(states, (std::vector<std::string>{"12=1", "10=5", "11=6", "1=0"}));

  EXPECT_EQ(Alphas(batch), (std::vector<std::uint32_t>{109, 109, 109, 109, 109, 109, 109, 109, 54, 54}));
  for (std::size_t i = 0; i < std::size(live); ++i) {
    SCOPED_TRACE(i);
    const host::Vector3& point = Trails[0].points[live[i]];
    const host::Vector3& a = batch.vertices[2 * i].position;
    const host::Vector3& b = batch.vertices[2 * i + 1].position;
    EXPECT_EQ(batch.vertices[2 * i].colour & 0xFFFFFF, 0xFF8000u);
    // Either side of the point, the width apart...
    EXPECT_NEAR((a.x + b.x) / 2, point.x, 1e-4);
    EXPECT_NEAR((a.y + b.y) / 2, point.y, 1e-4);
    EXPECT_NEAR((a.z + b.z) / 2, point.z, 1e-4);
    const host::Vector3 across = Minus(a, b);
    EXPECT_NEAR(std::sqrt(Dot(across, across)), 6.0f, 1e-4);
    // ...across the line of sight and across the trail there (from the live point before to the one after).
    const host::Vector3 along = Minus(Trails[0].points[live[std::min<std::size_t>(i + 1, std::size(live) - 1)]],
                                      Trails[0].points[live[i == 0 ? 0 : i - 1]]);
    EXPECT_NEAR(Dot(across, Minus(point, camera)), 0.0f, 1e-2);
    EXPECT_NEAR(Dot(across, along), 0.0f, 1e-2);
  }
}

TEST_F(TrailDrawing, AWidthThatIsNoFiniteNumberAboveZeroDrawsTheLine) {
  struct Case {
    float width;
    std::int32_t primitiveType;
  };
  const Case cases[] = {{0.0f, 1},   {-0.0f, 1}, {-3.0f, 1}, {kNaN, 1}, {std::numeric_limits<float>::infinity(), 1},
                        {1e-30f, 3}, {0.5f, 3},  {1e30f, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    const Batch batch = Ribbon(c.width, {0, 1000, 2000}, {0.0f, -100.0f, 200.0f});
    EXPECT_EQ(batch.primitiveType, c.primitiveType);
    EXPECT_EQ(batch.vertices.size(), c.primitiveType == 1 ? 3u : 6u);
    for (const host::ImmediateVertex& vertex : batch.vertices) {
      EXPECT_TRUE(std::isfinite(vertex.position.x) && std::isfinite(vertex.position.y) &&
                  std::isfinite(vertex.position.z));
    }
  }
  // Sixteen live points: 32 vertices, 90 indices, within the scratch arrays.
  std::vector<std::int32_t> ages;
  for (int k = 0; k < 16; ++k) ages.push_back(100 * k);
  UseLooks({Look(0xFFFFFF, 10000.0f, 1.0f)});
  for (int k = 0; k < 16; ++k) Trails[0].times[k] = kNow - static_cast<std::uint32_t>(ages[k]);
  simhost::ClearRecord();
  DrawTrails();
  EXPECT_EQ(OnlyBatch().vertices.size(), 32u);
  EXPECT_EQ(OnlyBatch().indices.size(), 90u);
}

// Where the camera looks along the trail there is no direction across both: the side of the point before serves, and
// before any, the level direction across the trail. The band keeps its width either way.
TEST_F(TrailDrawing, WhereTheCameraLooksAlongTheTrailTheRibbonKeepsASide) {
  struct Case {
    const char* what;
    host::Vector3 points[4];
    host::Vector3 side;  // of each pair, up to its sign
  };
  const Case cases[] = {
      {"the trail turns onto the line of sight (y = 0, z = 200) at point 1",
       {{0.0f, 10.0f, 200.0f}, {0.0f, 0.0f, 200.0f}, {10.0f, 0.0f, 200.0f}, {20.0f, 0.0f, 200.0f}},
       {0.0f, 0.0f, 2.0f}},
      {"the whole trail lies on it",
       {{0.0f, 0.0f, 200.0f}, {10.0f, 0.0f, 200.0f}, {20.0f, 0.0f, 200.0f}, {30.0f, 0.0f, 200.0f}},
       {0.0f, 2.0f, 0.0f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    simhost::ClearRecord();
    simhost::SetCameraPosition({-100.0f, 0.0f, 200.0f});
    UseLooks({Look(0xFFFFFF, 10000.0f, 4.0f)});
    for (int k = 0; k < 4; ++k) {
      Trails[0].points[k] = c.points[k];
      Trails[0].times[k] = kNow - 100 * static_cast<std::uint32_t>(k);
    }
    Trails[0].rule = 1;
    DrawTrails();
    const Batch batch = OnlyBatch();
    ASSERT_EQ(batch.vertices.size(), 8u);
    for (int i = 0; i < 4; ++i) {
      SCOPED_TRACE(i);
      const host::Vector3 half = Minus(batch.vertices[2 * i].position, c.points[i]);
      EXPECT_EQ((std::vector<float>{std::fabs(half.x), std::fabs(half.y), std::fabs(half.z)}),
                (std::vector<float>{c.side.x, c.side.y, c.side.z}));
      const host::Vector3 other = Minus(c.points[i], batch.vertices[2 * i + 1].position);
      EXPECT_EQ((std::vector<float>{half.x, half.y, half.z}), (std::vector<float>{other.x, other.y, other.z}));
    }
  }
}

// A scripted aircraft flies through the scan and the drawing, frame by frame, then lands: its trail fades from
// its tail, and is gone 30000 ms after its last point was started. Points are started more than 2000 ms apart,
// so in steady flight the sixteenth is always past 30000 ms and 15 are drawn.
TEST_F(TrailDrawing, AFlightLeavesATrailThatFadesAndExpires) {
  settings.ModelIDForTrail = 577;
  settings.EnableTrail = true;
  settings.Height = 100.0f;
  Use();
  simhost::ResizePool(1);
  simhost::PlaceVehicle(0, 577, {0.0f, 0.0f, 500.0f});
  simhost::SetRecording(false);
  constexpr std::uint32_t kFrameMs = 100;
  auto frame = [] {
    simhost::SetClock(simhost::Clock() + kFrameMs);
    ScanAircraft();
    DrawTrails();
  };

  for (int n = 0; n < 400; ++n) {  // 40 s of flight along x
    simhost::SetVehiclePosition(0, {static_cast<float>(n), 0.0f, 500.0f});
    frame();
  }
  simhost::SetRecording(true);
  simhost::ClearRecord();
  frame();
  const Batch batch = OnlyBatch();
  ASSERT_EQ(batch.vertices.size(), 15u);
  EXPECT_EQ(batch.vertices[0].position.x, 399.0f);  // the newest point rides with the aircraft
  EXPECT_EQ(AlphaOf(batch.vertices[0]), 109u);
  EXPECT_LT(AlphaOf(batch.vertices[14]), 109u);  // the tail is more than 20000 ms old
  EXPECT_EQ(batch.indices.size(), 28u);
  for (int i = 1; i < 15; ++i) EXPECT_LE(AlphaOf(batch.vertices[i]), AlphaOf(batch.vertices[i - 1]));

  simhost::SetVehiclePosition(0, {399.0f, 0.0f, 50.0f});  // landed: no more points
  const std::uint32_t lastStart = Trails[0].times[0];
  simhost::SetRecording(false);
  while (simhost::Clock() + kFrameMs <= lastStart + 30000) frame();
  ASSERT_EQ(simhost::Clock(), lastStart + 30000);
  simhost::SetRecording(true);
  simhost::ClearRecord();
  DrawTrails();  // only the newest point is left, exactly 30000 ms old
  EXPECT_TRUE(simhost::Recorded().batches.empty());
  EXPECT_NE(Trails[0].times[0], 0u);
  EXPECT_EQ(Trails[0].times[1], 0u);
  simhost::SetClock(lastStart + 30001);
  DrawTrails();
  EXPECT_EQ(Trails[0].times[0], 0u);
}

}  // namespace
