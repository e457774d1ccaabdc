// The plug-in's typed calls of host entries reach the host with the right calling convention and arguments,
// and its layouts agree with the host's data.

#include "host/host.h"

#include <gtest/gtest.h>

#include "simhost.h"

namespace {

using simhost::AsFloat;
using simhost::Bits;
using simhost::CallsOf;

class HostInterface : public ::testing::Test {
 protected:
  void SetUp() override { simhost::ResetHost(); }
  void TearDown() override { simhost::ResetHost(); }
};

TEST_F(HostInterface, MemberCallsPassTheObjectAndFloats) {
  host::Vector3 v{};
  host::SetVector(v, 3.0f, -4.0f, 12.0f);
  EXPECT_EQ(v.x, 3.0f);
  EXPECT_EQ(v.y, -4.0f);
  EXPECT_EQ(v.z, 12.0f);
  EXPECT_EQ(host::VectorLength(v), 13.0f);
  host::Vector3 copy{};
  host::CopyVector(copy, v);
  EXPECT_EQ(copy.z, 12.0f);
  EXPECT_EQ(simhost::EntryCalls("SetVector"), 1);
  EXPECT_EQ(simhost::EntryCalls("VectorLength"), 1);
  EXPECT_EQ(simhost::EntryCalls("CopyVector"), 1);
}

TEST_F(HostInterface, SphereTestIsAMemberOfTheBoundCamera) {
  simhost::SetSphereVisibility([](const host::Vector3& centre, float radius) { return centre.x < radius; });
  EXPECT_TRUE(host::IsSphereVisible({10.0f, 0.0f, 0.0f}, 32.0f));
  EXPECT_FALSE(host::IsSphereVisible({40.0f, 0.0f, 0.0f}, 32.0f));
  const auto calls = CallsOf("IsSphereVisible");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].args[0], simhost::At(host::address::HostCamera));
  EXPECT_EQ(AsFloat(calls[0].args[2]), 32.0f);
  EXPECT_EQ(AsFloat(calls[1].args[3]), 40.0f);
}

TEST_F(HostInterface, RenderStatesGoThroughTheEngine) {
  host::SetRenderState(12, 1);
  host::SetRenderState(1, 0xDEADBEEF);
  const auto calls = CallsOf("SetRenderState");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].args, (std::vector<std::uint32_t>{1, 0xDEADBEEF}));
  EXPECT_EQ(simhost::Recorded().renderStates.at(12), 1u);
}

TEST_F(HostInterface, ImmediateBatchIsRecordedWithItsVerticesAndIndices) {
  host::ImmediateVertex vertices[2] = {};
  vertices[0].colour = 0x80FFFFFF;
  vertices[1].position = {1.0f, 2.0f, 3.0f};
  std::uint16_t indices[2] = {0, 1};
  ASSERT_NE(host::TransformImmediateVertices(vertices, 2, nullptr, 24), nullptr);
  host::RenderImmediateIndexed(1, indices, 2);
  host::EndImmediate();
  ASSERT_EQ(simhost::Recorded().batches.size(), 1u);
  const simhost::Batch& batch = simhost::Recorded().batches[0];
  EXPECT_EQ(batch.flags, 24u);
  EXPECT_EQ(batch.vertices[0].colour, 0x80FFFFFFu);
  EXPECT_EQ(batch.vertices[1].position.z, 3.0f);
  EXPECT_EQ(batch.primitiveType, 1);
  EXPECT_EQ(batch.indices, (std::vector<std::uint16_t>{0, 1}));
  EXPECT_TRUE(batch.ended);

  simhost::SetTransformSucceeds(false);
  EXPECT_EQ(host::TransformImmediateVertices(vertices, 2, nullptr, 24), nullptr);
}

TEST_F(HostInterface, LightSpritesReceiveEveryArgument) {
  const host::Vector3 position{1.0f, 2.0f, 3.0f};
  host::Entry<host::ShowLightSpriteFn>(host::address::ShowLightSprite)(
      101, 2, 3, 4, 5, 6, &position, 8.0f, 9.0f, 10, 11, 12, 13, 14, 15.0f, 16, 17.0f, 18, 19.0f, 20, 21);
  host::UpdateLightSprite(102, position, 2000.0f, 0.5f);
  const auto shown = CallsOf("ShowLightSprite");
  ASSERT_EQ(shown.size(), 1u);
  const std::vector<std::uint32_t> expected{
      101,         2,          3,           4,  5,           6,  reinterpret_cast<std::uint32_t>(&position),
      Bits(8.0f),  Bits(9.0f), 10,          11, 12,          13, 14,
      Bits(15.0f), 16,         Bits(17.0f), 18, Bits(19.0f), 20, 21};
  EXPECT_EQ(std::vector<std::uint32_t>(shown[0].args.begin(), shown[0].args.begin() + 21), expected);
  const auto updated = CallsOf("UpdateLightSprite");
  ASSERT_EQ(updated.size(), 1u);
  EXPECT_EQ(updated[0].args[0], 102u);
  EXPECT_EQ(AsFloat(updated[0].args[2]), 2000.0f);
  EXPECT_EQ(AsFloat(updated[0].args[3]), 0.5f);
}

TEST_F(HostInterface, TextureDictionariesLoadExistingFilesOnly) {
  host::PushCurrentTextureDictionary();
  const std::int32_t slot = host::AddTextureDictionarySlot("Banner");
  host::LoadTextureDictionary(slot, "/nonexistent/MODELS\\BANNER.TXD");
  host::SetCurrentTextureDictionary(host::FindTextureDictionarySlot("Banner"));
  EXPECT_EQ(host::ReadTexture("Banner", nullptr), nullptr);
  host::LoadTextureDictionary(slot, "/proc/self/status");  // any existing file loads
  host::HostTexture* texture = host::ReadTexture("Banner", nullptr);
  ASSERT_NE(texture, nullptr);
  EXPECT_NE(texture->raster, nullptr);
  host::PopCurrentTextureDictionary();
  EXPECT_EQ(simhost::CurrentTextureDictionary(), 0);
  host::DestroyTexture(texture);
  EXPECT_EQ(simhost::LiveTextures(), 0);
}

TEST_F(HostInterface, DataAccessorsReadTheHostsData) {
  simhost::SetClock(123456);
  simhost::SetTimeStep(1.5f);
  simhost::SetClockHour(23);
  simhost::SetDimFactors(0.25f, 0.5f, 0.75f);
  simhost::SetLightColour(1, 2, 300);
  EXPECT_EQ(host::HostTimeMs(), 123456u);
  EXPECT_EQ(host::HostTimeStep(), 1.5f);
  EXPECT_EQ(host::HostClockHour(), 23);
  EXPECT_EQ(host::HostDimFactorB(), 0.5f);
  EXPECT_EQ(host::GetHostLightColour().blue, 300);
}

TEST_F(HostInterface, PlacementsUseTheirMatrixWhenTheyHaveOne) {
  simhost::ResizePool(3);
  simhost::PlaceVehicle(2, 577, {1.0f, 2.0f, 3.0f});
  const host::HostVehiclePool* pool = host::GetHostVehiclePool();
  ASSERT_EQ(pool->count, 3);
  EXPECT_LT(pool->flags[0], 0);
  EXPECT_EQ(pool->flags[2], 0);
  EXPECT_EQ(pool->entries[2].model, 577);
  EXPECT_EQ(host::PositionOf(pool->entries[2].placement).z, 3.0f);
  simhost::SetVehicleMatrixPosition(2, {7.0f, 8.0f, 9.0f});
  EXPECT_EQ(host::PositionOf(pool->entries[2].placement).z, 9.0f);

  simhost::SetCameraPosition({4.0f, 5.0f, 6.0f});
  EXPECT_EQ(host::PositionOf(host::GetHostCamera()->placement).y, 5.0f);
  simhost::SetCameraMatrixPosition({-1.0f, -2.0f, -3.0f});
  EXPECT_EQ(host::PositionOf(host::GetHostCamera()->placement).y, -2.0f);
}

}  // namespace
