// Code patching on the simulated host's read+execute pages.

#include "patching/patching.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "host/callconv.h"
#include "host/host_version.h"
#include "patching/trampolines.h"
#include "protection_faults.h"
#include "simhost.h"
#include "support/code_scratch.h"

using namespace patching;
using namespace host;

namespace {

using testing_support::Bytes;
using testing_support::CodeOverwrite;
using testing_support::PageProtection;
using testing_support::RelativeBranchBytes;

// A stretch of host code nobody else uses, and a host data word for pointer cells.
constexpr std::uint32_t kScratch = 0x850000;
constexpr std::uint32_t kCell = 0xC91000;

std::uint32_t At(std::uint32_t hostAddress) { return simhost::At(hostAddress); }

struct BranchCase {
  const char* name;
  std::vector<std::uint8_t> code;
  std::uint32_t cellValue;
  std::uint32_t expected;
};

TEST(BranchTarget, DecodesTheFourBranchFormsAndNothingElse) {
  const std::uint32_t at = At(kScratch);
  const std::uint32_t cell = At(kCell);
  auto le = [](std::uint32_t v) {
    return std::vector<std::uint8_t>{std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16),
                                     std::uint8_t(v >> 24)};
  };
  auto join = [](std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const BranchCase cases[] = {
      {"call forward", join({0xE8}, le(0x100)), 0, at + 5 + 0x100},
      {"call to itself (displacement -5)", join({0xE8}, le(0xFFFFFFFB)), 0, at},
      {"call far back", join({0xE8}, le(0xFFF00000)), 0, at + 5 - 0x100000},
      {"jump forward", join({0xE9}, le(0x2000)), 0, at + 5 + 0x2000},
      {"jump back", join({0xE9}, le(0xFFFFFF00)), 0, at + 5 - 0x100},
      {"indirect call", join({0xFF, 0x15}, le(cell)), 0x12345678, 0x12345678},
      {"indirect jump", join({0xFF, 0x25}, le(cell)), 0x0BADF00D, 0x0BADF00D},
      {"FF with another ModRM", join({0xFF, 0x35}, le(cell)), 0x12345678, 0},
      {"nop", {0x90, 0x90, 0x90, 0x90, 0x90, 0x90}, 0, 0},
      {"indirect call through an unmapped cell", join({0xFF, 0x15}, le(0x00001000)), 0, 0},
  };
  for (const BranchCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::memcpy(reinterpret_cast<void*>(cell), &c.cellValue, 4);
    CodeOverwrite code(kScratch, c.code);
    EXPECT_EQ(BranchTarget(at, true).value_or(0), c.expected);
    EXPECT_EQ(PageProtection(at), "r-xp");
  }
}

TEST(WriteCall, LeavesARelativeCallAndReturnsTheOldTarget) {
  const std::uint32_t at = At(kScratch);
  const std::uint32_t oldTarget = At(0x401234);
  CodeOverwrite code(kScratch, RelativeBranchBytes(0xE8, at, oldTarget));
  const std::uint32_t destination = 0x12345000;

  EXPECT_EQ(WriteCall(at, destination, true), oldTarget);

  EXPECT_EQ(Bytes(at, 5), RelativeBranchBytes(0xE8, at, destination));
  EXPECT_EQ(BranchTarget(at, true).value_or(0), destination);
  EXPECT_EQ(PageProtection(at), "r-xp");
}

TEST(WriteCall, OverANonBranchReturnsZero) {
  const std::uint32_t at = At(kScratch);
  CodeOverwrite code(kScratch, {0x90, 0x90, 0x90, 0x90, 0x90});
  EXPECT_EQ(WriteCall(at, 0x1000, true), 0u);
  EXPECT_EQ(Bytes(at, 5), RelativeBranchBytes(0xE8, at, 0x1000));
}

TEST(WriteJump, WritesARelativeJumpAtTheTranslatedHostAddress) {
  const std::uint32_t routine = host::address::HostSkyTrailRoutine;
  CodeOverwrite code(routine, simhost::ReadCode(routine, 5));  // puts the routine back afterwards
  const std::uint32_t destination = 0x0CAFE000;

  WriteJump(routine, destination, true);

  const std::uint32_t at = TranslateHostAddress(routine);
  EXPECT_EQ(at, At(routine));
  std::vector<std::uint8_t> expected{0xE9, 0, 0, 0, 0};
  const std::uint32_t displacement = destination - (routine + 5);  // the image lies at its preferred base
  std::memcpy(expected.data() + 1, &displacement, 4);
  EXPECT_EQ(Bytes(at, 5), expected);
  EXPECT_EQ(PageProtection(at), "r-xp");
}

TEST(ProtectedAccess, PutsEveryProtectionBackAsItWas) {
  const std::uint32_t code = At(kScratch);
  const std::uint32_t data = At(kCell);
  const std::uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  CodeOverwrite keep(kScratch, std::vector<std::uint8_t>(8, 0x90));

  PatchBytes(code, bytes, sizeof bytes, true);
  EXPECT_EQ(Bytes(code, 8), std::vector<std::uint8_t>(bytes, bytes + 8));
  std::uint8_t read[8] = {};
  PeekBytes(code, read, sizeof read, true);
  EXPECT_EQ(std::memcmp(read, bytes, 8), 0);
  EXPECT_EQ(PeekByte(code + 2, true), 3);
  EXPECT_EQ(PeekWord32(code, true), 0x04030201u);
  WriteRelative32(code, code + 0x100, true);
  EXPECT_EQ(PeekWord32(code, true), 0xFCu);
  EXPECT_EQ(PageProtection(code), "r-xp");

  PatchBytes(data, bytes, 4, true);
  EXPECT_EQ(PageProtection(data), "rw-p");
}

TEST(ProtectedAccess, AcrossAPageBoundaryGivesEachPageItsOwnProtectionBack) {
  for (const std::uint32_t boundary : {kScratch + 0x1000, simhost::kCodeEnd}) {  // code to code, code to data
    SCOPED_TRACE(std::to_string(boundary));
    const std::string first = PageProtection(At(boundary - 1));
    const std::string second = PageProtection(At(boundary));
    const std::uint8_t bytes[4] = {0xAA, 0xBB, 0xCC, 0xDD};
    EXPECT_TRUE(PatchBytes(At(boundary - 2), bytes, 4, true));
    EXPECT_EQ(Bytes(At(boundary - 2), 4), std::vector<std::uint8_t>(bytes, bytes + 4));
    EXPECT_EQ(PageProtection(At(boundary - 1)), first);
    EXPECT_EQ(PageProtection(At(boundary)), second);
  }
  simhost::ResetHost();
}

TEST(ProtectedAccess, WhereAPageCannotBeLiftedNothingIsWrittenOrRead) {
  // Unmapped memory cannot be lifted: no fault, and nothing made up for what was not read.
  constexpr std::uint32_t kNowhere = 0x00010000;
  const std::uint8_t bytes[4] = {1, 2, 3, 4};
  EXPECT_FALSE(PatchBytes(kNowhere, bytes, 4, true));
  EXPECT_FALSE(PeekWord32(kNowhere, true).has_value());
  EXPECT_EQ(BranchTarget(kNowhere, true).value_or(0), 0u);
  EXPECT_EQ(PageProtection(kNowhere), "");

  // A range that runs into an unmapped page: the page before it is lifted, then given back untouched.
  simhost::UnmapHostRange(kScratch + 0x1000, kScratch + 0x2000);
  const std::uint32_t edge = At(kScratch + 0x1000 - 2);
  const std::vector<std::uint8_t> before = Bytes(edge, 2);
  EXPECT_FALSE(PatchBytes(edge, bytes, 4, true));
  EXPECT_EQ(Bytes(edge, 2), before);
  EXPECT_EQ(PageProtection(edge), "r-xp");
  simhost::ResetHost();
}

TEST(ProtectionGuard, ExistsOnlyWhenLiftedAndRestoresOnceWhenMoved) {
  const std::uint32_t code = At(kScratch);
  {
    std::optional<ProtectionGuard> guard = ProtectionGuard::Lift(code);
    ASSERT_TRUE(guard.has_value());
    EXPECT_EQ(PageProtection(code), "rwxp");
    ProtectionGuard moved = std::move(*guard);
    guard.reset();  // the moved-from guard puts nothing back
    EXPECT_EQ(PageProtection(code), "rwxp");
  }
  EXPECT_EQ(PageProtection(code), "r-xp");
  EXPECT_FALSE(ProtectionGuard::Lift(0x00010000).has_value());
}

using Routine = std::uint32_t(HOST_CDECL*)();
std::uint32_t HOST_CDECL One() { return 1; }
std::uint32_t HOST_CDECL Two() { return 2; }
std::uint32_t AddressOf(Routine routine) { return reinterpret_cast<std::uint32_t>(routine); }
std::uint32_t Call(std::uint32_t trampoline) { return reinterpret_cast<Routine>(trampoline)(); }

// One story, since the trampolines' memory is the process's: the first is made only where its code can be made
// executable, and the memory goes with the last one in use unless one has been left.
TEST(Trampolines, JumpThroughCellsOfTheirOwnAndTheirMemoryGoesWithTheLastUnlessOneIsLeft) {
  simhost::ArmProtectionFaults(1);
  EXPECT_EQ(MakeTrampoline(AddressOf(&One)), 0u);
  EXPECT_EQ(simhost::DisarmProtectionFaults(), 1) << "the one change: its code made executable";

  const std::uint32_t one = MakeTrampoline(AddressOf(&One));
  const std::uint32_t two = MakeTrampoline(AddressOf(&Two));
  ASSERT_NE(one, 0u);
  ASSERT_NE(two, 0u);
  EXPECT_EQ(Call(one), 1u);
  EXPECT_EQ(Call(two), 2u);
  EXPECT_EQ(Bytes(one, 2), (std::vector<std::uint8_t>{0xFF, 0x25}));
  EXPECT_EQ(BranchTarget(one, false), AddressOf(&One));
  EXPECT_EQ(BranchTarget(two, false), AddressOf(&Two));
  EXPECT_EQ(PageProtection(one), "r-xp");

  std::vector<std::uint32_t> rest;
  for (std::size_t i = 2; i < kTrampolineCapacity; ++i) rest.push_back(MakeTrampoline(AddressOf(&Two)));
  EXPECT_EQ(std::count(rest.begin(), rest.end(), 0u), 0);
  EXPECT_EQ(MakeTrampoline(AddressOf(&One)), 0u) << "every one in use";
  for (const std::uint32_t trampoline : rest) ReleaseTrampoline(trampoline);
  ReleaseTrampoline(two);
  EXPECT_EQ(Call(one), 1u);
  ReleaseTrampoline(one);
  EXPECT_EQ(PageProtection(one), "") << "the memory goes with the last one in use";

  const std::uint32_t left = MakeTrampoline(AddressOf(&One));
  const std::uint32_t other = MakeTrampoline(AddressOf(&One));
  LeaveTrampoline(left, AddressOf(&Two));
  ReleaseTrampoline(other);
  ReleaseTrampoline(left);  // left for good: not released
  EXPECT_EQ(Call(left), 2u);
  EXPECT_EQ(BranchTarget(left, false), AddressOf(&Two));
  EXPECT_EQ(PageProtection(left), "r-xp");
}

}  // namespace
