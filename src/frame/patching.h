#pragma once
// Reads and writes of code bytes. Every write to host code goes through these functions: with `unprotect`
// the page protection is lifted for the one access and put back right after it. When it cannot be lifted
// the access is not made at all: a write leaves memory as it was, a read yields zero bytes.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/platform.h"

// The protection of a range lifted to read+write+execute; exists only when lifting succeeded and puts the
// earlier protection back when it goes.
class ProtectionGuard {
 public:
  static std::optional<ProtectionGuard> Lift(std::uint32_t address, std::size_t size);

  ProtectionGuard(ProtectionGuard&& other) noexcept;
  ProtectionGuard& operator=(ProtectionGuard&&) = delete;
  ProtectionGuard(const ProtectionGuard&) = delete;
  ProtectionGuard& operator=(const ProtectionGuard&) = delete;
  ~ProtectionGuard();

 private:
  ProtectionGuard(std::uint32_t address, std::size_t size, platform::Protection previous)
      : address_(address), size_(size), previous_(previous) {}

  std::uint32_t address_;
  std::size_t size_;  // 0 once moved from
  platform::Protection previous_;
};

// The five-byte relative branches, and the first bytes of the six-byte indirect ones.
inline constexpr std::uint8_t kOpcodeCall = 0xE8;
inline constexpr std::uint8_t kOpcodeJump = 0xE9;
inline constexpr std::uint8_t kOpcodeIndirect = 0xFF;
inline constexpr std::uint8_t kModRmIndirectCall = 0x15;
inline constexpr std::uint8_t kModRmIndirectJump = 0x25;

#pragma pack(push, 1)
struct RelativeBranch {  // E8 rel32 or E9 rel32
  std::uint8_t opcode;
  std::int32_t displacement;  // from the end of the instruction
};
#pragma pack(pop)
static_assert(sizeof(RelativeBranch) == 5);

void PatchBytes(std::uint32_t address, const void* source, std::size_t size, bool unprotect);
void PeekBytes(std::uint32_t address, void* destination, std::size_t size, bool unprotect);
std::uint8_t PeekByte(std::uint32_t address, bool unprotect);
std::uint32_t PeekWord32(std::uint32_t address, bool unprotect);

// Writes destination - (at + 4) at `at`: the displacement of a branch whose opcode stands just before.
void WriteRelative32(std::uint32_t at, std::uint32_t destination, bool unprotect);

// Where the branch at `at` goes (E8, E9, FF 15, FF 25), or 0 for any other instruction.
std::uint32_t BranchTarget(std::uint32_t at, bool unprotect);

// Makes `at` a relative call to destination; returns the branch target that stood there before.
std::uint32_t WriteCall(std::uint32_t at, std::uint32_t destination, bool unprotect);

// Makes the host address (translated onto the loaded image) a relative jump to destination.
void WriteJump(std::uint32_t hostAddress, std::uint32_t destination, bool unprotect);
