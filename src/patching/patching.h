#pragma once
// Reads and writes of code bytes. Every write to host code goes through these functions: with `unprotect`
// the protection of each page touched is lifted for the one access and each page gets its own back right
// after it. An access happens whole or not at all: when a page cannot be lifted nothing is written or read,
// and the function says so, so that nothing is built on bytes that were never read.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace patching {

// The protection of one page lifted to read+write+execute; exists only when lifting succeeded and puts the
// page's earlier protection back when it goes.
class ProtectionGuard {
 public:
  // Lifts the page that holds `address`.
  static std::optional<ProtectionGuard> Lift(std::uint32_t address);

  ProtectionGuard(ProtectionGuard&& other) noexcept;
  ProtectionGuard& operator=(ProtectionGuard&&) = delete;
  ProtectionGuard(const ProtectionGuard&) = delete;
  ProtectionGuard& operator=(const ProtectionGuard&) = delete;
  ~ProtectionGuard();

 private:
  ProtectionGuard(std::uint32_t page, std::uint32_t previous) : page_(page), previous_(previous) {}

  std::uint32_t page_;
  std::uint32_t previous_;  // as the OS layer states it
  bool restores_ = true;    // false once moved from
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

// False when nothing was written.
bool PatchBytes(std::uint32_t address, const void* source, std::size_t size, bool unprotect);
// False when nothing was read; `destination` is then left as it was.
bool PeekBytes(std::uint32_t address, void* destination, std::size_t size, bool unprotect);
std::optional<std::uint8_t> PeekByte(std::uint32_t address, bool unprotect);
std::optional<std::uint32_t> PeekWord32(std::uint32_t address, bool unprotect);

// Writes destination - (at + 4) at `at`: the displacement of a branch whose opcode stands just before.
bool WriteRelative32(std::uint32_t at, std::uint32_t destination, bool unprotect);

// Where the branch at `at` goes (E8, E9, FF 15, FF 25), 0 for any other instruction; nothing when the
// instruction cannot be read.
std::optional<std::uint32_t> BranchTarget(std::uint32_t at, bool unprotect);

// The two five-byte writes below put the opcode and then the displacement, each with a protection change of
// its own. If the displacement cannot be written the opcode that stood there goes back: `at` ends up holding
// either its old instruction or the whole new one, never a mix.

// Makes `at` a relative call to destination; returns the branch target that stood there before, or nothing
// (and writes nothing) when the instruction there cannot be read or the call cannot be written.
std::optional<std::uint32_t> WriteCall(std::uint32_t at, std::uint32_t destination, bool unprotect);

// Makes the host address (translated onto the loaded image) a relative jump to destination; false when
// nothing was written.
bool WriteJump(std::uint32_t hostAddress, std::uint32_t destination, bool unprotect);

// Load address of the host executable, asked for on the first call.
std::uint32_t HostImageBase();

// A host address (of the build at base 0x400000) moved onto the loaded image, modulo 2^32.
std::uint32_t TranslateHostAddress(std::uint32_t hostAddress);

// The base the host's addresses are written for.
inline constexpr std::uint32_t kHostPreferredBase = 0x400000;

}  // namespace patching
