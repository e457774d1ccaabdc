#pragma once
// Test helpers that change host code or read page protections, and put everything back.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "simhost.h"

namespace testing_support {

// Writes bytes over host code for one test and puts the original bytes back when it goes.
class CodeOverwrite {
 public:
  CodeOverwrite(std::uint32_t hostAddress, std::vector<std::uint8_t> bytes)
      : address_(hostAddress), original_(simhost::ReadCode(hostAddress, bytes.size())) {
    simhost::WriteCode(hostAddress, bytes);
  }
  ~CodeOverwrite() { simhost::WriteCode(address_, original_); }
  CodeOverwrite(const CodeOverwrite&) = delete;
  CodeOverwrite& operator=(const CodeOverwrite&) = delete;

 private:
  std::uint32_t address_;
  std::vector<std::uint8_t> original_;
};

// The protection of the page holding `address` as /proc/self/maps states it ("r-xp"), or "" if unmapped.
inline std::string PageProtection(std::uint32_t address) {
  FILE* maps = std::fopen("/proc/self/maps", "r");
  char line[4096];
  std::string found;
  while (maps != nullptr && std::fgets(line, sizeof line, maps) != nullptr) {
    unsigned long begin = 0, end = 0;
    char perms[8] = {};
    if (std::sscanf(line, "%lx-%lx %7s", &begin, &end, perms) == 3 && address >= begin && address < end) {
      found = perms;
      break;
    }
  }
  if (maps != nullptr) std::fclose(maps);
  return found;
}

inline std::vector<std::uint8_t> Bytes(std::uint32_t processAddress, std::size_t size) {
  const auto* begin = reinterpret_cast<const std::uint8_t*>(processAddress);
  return {begin, begin + size};
}

// E8/E9 rel32 at `at` going to `target`.
inline std::vector<std::uint8_t> RelativeBranchBytes(std::uint8_t opcode, std::uint32_t at, std::uint32_t target) {
  const std::uint32_t displacement = target - (at + 5);
  std::vector<std::uint8_t> bytes{opcode, 0, 0, 0, 0};
  std::memcpy(bytes.data() + 1, &displacement, 4);
  return bytes;
}

}  // namespace testing_support
