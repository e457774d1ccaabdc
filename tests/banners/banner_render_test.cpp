// Banner drawing, from the host calls it makes and the batches the simulated renderer records.

#include "banners/banner_render.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "banners/banner_texture.h"
#include "config/settings.h"
#include "host/immediate.h"
#include "simhost.h"
#include "support/settings.h"

using namespace config;
using namespace banners;

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr std::uint32_t kRaster = 0x7E570000;

// [MAIN]'s values as a test sets them.
Values settings;

// What a banner rule's texture became.
RuleTexture StateOf(int rule) { return RuleTextureOf(InEffect.bannerRules.BannerTexture[rule]); }

class BannerDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    simhost::ResetHost();
    simhost::SetCameraPosition({0.0f, 0.0f, 100.0f});
    ResetBanners();
    BannerTexture = &texture_;
    settings = DefaultValues();
    settings.BannerDrawDistance = 300.0f;
    test_support::UseSettings(settings);
    simhost::ClearRecord();
  }
  void TearDown() override {
    DestroyBannerTexture();  // what a test read from the host
    BannerTexture = nullptr;
    LoadSettingsFrom("");
    for (BannerChain& chain : BannerChains) chain.rule = 0;
    ResetBanners();
    simhost::ResetHost();
  }

  host::HostTexture texture_{reinterpret_cast<void*>(kRaster)};
};

// A chain whose head lies `distance` units from the camera, trailing away from it and sagging a little.
void Tow(int slot, float distance) {
  for (int k = 0; k < kBannerPoints; ++k) {
    BannerChains[slot].points[k] = {distance + static_cast<float>(k), 8.0f * static_cast<float>(k),
                                    100.0f - 0.5f * static_cast<float>(k)};
  }
}

// Position, normal, u and v.
std::vector<float> Geometry(const host::ImmediateVertex& v) {
  return {v.position.x, v.position.y, v.position.z, v.normal.x, v.normal.y, v.normal.z, v.u, v.v};
}

// The host calls made, render states as "id=value".
std::vector<std::string> CallTrace() {
  std::vector<std::string> trace;
  for (const simhost::Call& call : simhost::Recorded().calls) {
    trace.push_back(call.entry == "SetRenderState" ? std::to_string(call.args[0]) + "=" + std::to_string(call.args[1])
                                                   : call.entry);
  }
  return trace;
}

TEST_F(BannerDrawing, AlphaIs160UpTo250UnitsThenFadesToTheDrawDistance) {
  struct Case {
    float drawDistance;
    float distance;
    int alpha;  // -1: not drawn
  };
  const Case cases[] = {
      {300.0f, 100.0f, 160},
      {300.0f, 250.0f, 160},
      {300.0f, 275.0f, 80},
      {300.0f, 299.9f, 0},
      {300.0f, 300.0f, -1},
      {300.0f, 5000.0f, -1},
      {200.0f, 100.0f, 160},
      {200.0f, 199.9f, 160},
      {200.0f, 200.0f, -1},
      {250.0f, 249.9f, 160},
      {kInfinity, 1e18f, 160},
      {-kInfinity, 10.0f, -1},
      {std::numeric_limits<float>::quiet_NaN(), 10.0f, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "draw distance " << c.drawDistance << ", distance " << c.distance);
    simhost::ClearRecord();
    settings.BannerDrawDistance = c.drawDistance;
    test_support::UseSettings(settings);
    Tow(0, c.distance);
    DrawBanners();
    const auto& batches = simhost::Recorded().batches;
    if (c.alpha < 0) {
      EXPECT_TRUE(batches.empty());
      EXPECT_TRUE(simhost::CallsOf("SetRenderState").empty());
      continue;
    }
    ASSERT_EQ(batches.size(), 1u);
    for (const host::ImmediateVertex& vertex : batches[0].vertices) {
      EXPECT_EQ(vertex.colour, static_cast<std::uint32_t>(c.alpha) << 24 | 0xFFFFFFu);
    }
  }
}

TEST_F(BannerDrawing, ClothHangsFourUnitsBelowPointsTwoToSevenAsTenTriangles) {
  Tow(0, 100.0f);
  DrawBanners();

  ASSERT_EQ(simhost::Recorded().batches.size(), 1u);
  const simhost::Batch& batch = simhost::Recorded().batches[0];
  ASSERT_EQ(batch.vertices.size(), 12u);
  const float u[] = {0.0f, 0.2f, 0.4f, 0.6f, 0.8f, 1.0f};
  for (int k = 0; k < 6; ++k) {
    SCOPED_TRACE(k);
    const host::Vector3& point = BannerChains[0].points[k + 2];
    EXPECT_EQ(Geometry(batch.vertices[2 * k]), (std::vector<float>{point.x, point.y, point.z, 0, 0, 0, u[k], 0}));
    EXPECT_EQ(Geometry(batch.vertices[2 * k + 1]),
              (std::vector<float>{point.x, point.y, point.z - 4.0f, 0, 0, 0, u[k], 1}));
  }
  EXPECT_EQ(batch.indices, (std::vector<std::uint16_t>{0, 1, 3, 0, 3, 2, 2, 3, 5, 2, 5, 4,  4, 5,  7,
                                                       4, 7, 6, 6, 7, 9, 6, 9, 8, 8, 9, 11, 8, 11, 10}));
  EXPECT_EQ(batch.primitiveType, 3);
  EXPECT_EQ(batch.flags, 25u);
  EXPECT_EQ(batch.matrix, 0u);
  EXPECT_TRUE(batch.ended);
  EXPECT_EQ(simhost::CallsOf("TransformImmediateVertices").at(0).args[1], 12u);
  EXPECT_EQ(simhost::CallsOf("RenderImmediateIndexed").at(0).args[1],
            reinterpret_cast<std::uint32_t>(host::ImmediateIndices));
  EXPECT_EQ(simhost::CallsOf("RenderImmediateIndexed").at(0).args[2], 30u);
}

TEST_F(BannerDrawing, RenderStatesAreSetAroundEachBatchEvenWhenItDoesNotOpen) {
  const std::vector<std::string> before{
      "IsSphereVisible", "8=0", "6=1", "14=1", "10=5", "11=6", "12=1", "1=" + std::to_string(kRaster)};
  const std::vector<std::string> after{"8=1", "12=0", "14=0"};
  for (const bool opens : {true, false}) {
    SCOPED_TRACE(opens ? "batch opens" : "batch does not open");
    simhost::ClearRecord();
    simhost::SetTransformSucceeds(opens);
    Tow(0, 100.0f);
    Tow(1, 100.0f);
    DrawBanners();

    std::vector<std::string> one = before;
    one.push_back("TransformImmediateVertices");
    if (opens) one.insert(one.end(), {"RenderImmediateIndexed", "EndImmediate"});
    one.insert(one.end(), after.begin(), after.end());
    std::vector<std::string> expected = one;
    expected.insert(expected.end(), one.begin(), one.end());
    EXPECT_EQ(CallTrace(), expected);
  }
}

TEST_F(BannerDrawing, SkippedChainsTouchNoRenderState) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"parked", [] {}, {}},
      {"head at -50",
       [] {
         Tow(4, 100.0f);
         BannerChains[4].points[0].z = -50.0f;
       },
       {}},
      {"no texture",
       [] {
         Tow(4, 100.0f);
         BannerTexture = nullptr;
       },
       {}},
      {"point 4 out of view",
       [] {
         Tow(4, 100.0f);
         const float hiddenY = BannerChains[4].points[4].y;
         simhost::SetSphereVisibility([hiddenY](const host::Vector3& centre, float) { return centre.y != hiddenY; });
       },
       {"IsSphereVisible"}},
      {"too far", [] { Tow(4, 1000.0f); }, {"IsSphereVisible"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    c.arrange();
    const int lengthsBefore = simhost::EntryCalls("VectorLength");
    DrawBanners();
    EXPECT_EQ(CallTrace(), c.calls);
    EXPECT_EQ(simhost::EntryCalls("VectorLength") - lengthsBefore, c.calls.empty() ? 0 : 1);
    for (const simhost::Call& call : simhost::CallsOf("IsSphereVisible")) {
      EXPECT_EQ(simhost::AsFloat(call.args[2]), 32.0f);
      EXPECT_EQ(simhost::AsFloat(call.args[4]), BannerChains[4].points[4].y);
    }
  }
}

TEST_F(BannerDrawing, DistanceIsFromTheCamerasMatrixWhenItHasOne) {
  simhost::SetCameraPosition({5000.0f, 0.0f, 100.0f});
  simhost::SetCameraMatrixPosition({0.0f, 0.0f, 100.0f});
  Tow(40, 275.0f);
  Tow(3, 100.0f);
  DrawBanners();
  const auto& batches = simhost::Recorded().batches;
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_EQ(batches[0].vertices[0].colour >> 24, 160u);  // slot 3 first
  EXPECT_EQ(batches[1].vertices[0].colour >> 24, 80u);
}

// ---- A cloth per rule ----------------------------------------------------------------------------------------

// [MAIN]'s rule as the settings are (draw distance 300), then a rule with "Banner" drawn up to 1000 units, one with
// "Flag" and one with "Torn", which the dictionary lacks; the textures read as at start-up.
constexpr const char* kClothRules =
    "[Banner 511]\nBannerDrawDistance=1000\n[Banner 512]\nBannerTexture=Flag\n[Banner 513]\nBannerTexture=Torn\n";

void UseClothRules() {
  test_support::UseSettings(settings, kClothRules);
  ASSERT_EQ(InEffect.bannerRuleCount, 4);
  simhost::SetMissingTextures({"Torn"});
  InitBanners();
  LoadBannerRuleTextures();
  simhost::ClearRecord();
}

TEST_F(BannerDrawing, EachChainIsDrawnWithItsRulesTextureAndDrawDistance) {
  UseClothRules();
  ASSERT_EQ(StateOf(2), RuleTexture::kRead);
  const std::uint32_t banner = reinterpret_cast<std::uint32_t>(BannerTexture->raster);
  UpdateBannerLooks();
  const std::uint32_t flag = reinterpret_cast<std::uint32_t>(BannerLooks[2].texture->raster);
  ASSERT_NE(banner, flag);
  struct Case {
    std::uint8_t rule;
    float distance;
    std::uint32_t raster;  // 0: not drawn
    std::uint32_t alpha;
  };
  const Case cases[] = {
      {0, 275.0f, banner, 80}, {1, 275.0f, banner, 154}, {1, 900.0f, banner, 21},
      {0, 900.0f, 0, 0},       {2, 100.0f, flag, 160},   {3, 100.0f, 0, 0},
  };
  for (int slot = 0; slot < static_cast<int>(std::size(cases)); ++slot) {
    Tow(slot, cases[slot].distance);
    BannerChains[slot].rule = cases[slot].rule;
  }
  DrawBanners();
  const auto& batches = simhost::Recorded().batches;
  std::size_t drawn = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "rule " << int{c.rule} << " at " << c.distance);
    if (c.raster == 0) continue;
    ASSERT_LT(drawn, batches.size());
    EXPECT_EQ(batches[drawn].renderStates.at(1), c.raster);
    EXPECT_EQ(batches[drawn].vertices[0].colour, c.alpha << 24 | 0xFFFFFFu);
    ++drawn;
  }
  EXPECT_EQ(batches.size(), drawn);
}

TEST_F(BannerDrawing, ARuleWhoseTextureIsMissingTowsNothingAndAsksTheHostNothing) {
  UseClothRules();
  EXPECT_EQ(StateOf(3), RuleTexture::kMissing);
  Tow(6, 100.0f);
  BannerChains[6].rule = 3;
  DrawBanners();
  EXPECT_TRUE(simhost::Recorded().calls.empty());
  EXPECT_EQ(simhost::EntryCalls("VectorLength"), 0);

  // A name first given after start-up is not read until the game starts again.
  test_support::UseSettings(settings, std::string(kClothRules) + "[Banner 514]\nBannerTexture=Late\n");
  EXPECT_EQ(StateOf(4), RuleTexture::kNotReadYet);
  BannerChains[6].rule = 4;
  DrawBanners();
  EXPECT_TRUE(simhost::Recorded().calls.empty());

  // Once the rules go back to naming a read texture, the same chain is drawn again.
  BannerChains[6].rule = 2;
  DrawBanners();
  EXPECT_EQ(simhost::Recorded().batches.size(), 1u);
}

TEST_F(BannerDrawing, ATowedBannerIsDrawnWithTheLoadedTexture) {
  InitBanners();
  ASSERT_NE(BannerTexture, nullptr);
  SetBannerHead({100.0f, 0.0f, 100.0f}, 5, 0);
  UpdateBanners();
  DrawBanners();
  const auto& batches = simhost::Recorded().batches;
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0].renderStates.at(1), reinterpret_cast<std::uint32_t>(BannerTexture->raster));
  EXPECT_EQ(batches[0].vertices[1].position.z, BannerChains[5].points[2].z - 4.0f);
  DestroyBannerTexture();
}

}  // namespace
