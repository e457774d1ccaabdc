#pragma once
// Call sites and foreign hooks for the tests of call hooks and host events.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/callconv.h"
#include "simhost.h"
#include "support/code_scratch.h"

namespace testing_support {

using HostRoutineFn = std::uint32_t(HOST_CDECL*)();

// The simulated host's routine behind `site`, as a process address.
inline std::uint32_t RoutineOf(simhost::Site site) { return simhost::At(simhost::RoutineAddress(site)); }

// The five bytes of a relative call at host address `hostAddress` to `target` (a process address).
inline std::vector<std::uint8_t> CallBytes(std::uint32_t hostAddress, std::uint32_t target) {
  return RelativeBranchBytes(0xE8, simhost::At(hostAddress), target);
}

// A call site of the test's own in spare host code: a call of the frame routine, then a return. Run it with
// simhost::RunCode; the routine counts as RoutineRuns(Site::Frame).
inline void WriteCallSite(std::uint32_t hostAddress) {
  std::vector<std::uint8_t> bytes = CallBytes(hostAddress, RoutineOf(simhost::Site::Frame));
  bytes.push_back(0xC3);
  simhost::WriteCode(hostAddress, bytes);
}

// Where the relative call at a host address goes (process address), or 0 if there is none.
inline std::uint32_t CallTargetAt(std::uint32_t hostAddress) {
  const std::vector<std::uint8_t> bytes = simhost::ReadCode(hostAddress, 5);
  if (bytes[0] != 0xE8) return 0;
  std::uint32_t displacement = 0;
  std::memcpy(&displacement, bytes.data() + 1, 4);
  return simhost::At(hostAddress) + 5 + displacement;
}

// Where a trampoline at a process address (FF 25: a jump through a cell) goes on to; 0 for any other code.
inline std::uint32_t TrampolineTarget(std::uint32_t processAddress) {
  const auto* code = reinterpret_cast<const std::uint8_t*>(processAddress);
  if (code[0] != 0xFF || code[1] != 0x25) return 0;
  std::uint32_t cell = 0;
  std::memcpy(&cell, code + 2, 4);
  return *reinterpret_cast<const std::uint32_t*>(cell);
}

// The entries of the call record, in order: host routines ("routine:frame"), host entries and marks.
inline std::vector<std::string> Marks() {
  std::vector<std::string> marks;
  for (const simhost::Call& call : simhost::Recorded().calls) marks.push_back(call.entry);
  return marks;
}

}  // namespace testing_support
