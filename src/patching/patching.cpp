#include "patching/patching.h"

#include <cstring>
#include <type_traits>
#include <utility>

#include "platform/platform.h"

namespace patching {

static_assert(std::is_same_v<platform::Protection, std::uint32_t>, "the guard keeps the protection as a word");

std::optional<ProtectionGuard> ProtectionGuard::Lift(std::uint32_t address) {
  platform::Protection previous = 0;
  if (!platform::LiftPageProtection(address, previous)) return std::nullopt;
  return ProtectionGuard(address & ~(platform::kPageSize - 1), previous);
}

ProtectionGuard::ProtectionGuard(ProtectionGuard&& other) noexcept
    : page_(other.page_), previous_(other.previous_), restores_(std::exchange(other.restores_, false)) {}

ProtectionGuard::~ProtectionGuard() {
  if (restores_) platform::SetPageProtection(page_, previous_);
}

namespace {

// Makes the access with every page from `page` down to `first` lifted, highest first: under qemu-i386 the
// protection reported for a page can take on that of its lower neighbour once the neighbour is lifted, so each
// page is read before anything below it changes. Each guard gives its own page back its protection as the
// recursion unwinds; when a page cannot be lifted, those lifted before it go back and the access is not made.
template <typename Access>
bool WithPagesLifted(std::uint32_t page, std::uint32_t first, Access& access) {
  const std::optional<ProtectionGuard> guard = ProtectionGuard::Lift(page);
  if (!guard) return false;
  if (page == first) {
    access();
    return true;
  }
  return WithPagesLifted(page - platform::kPageSize, first, access);
}

// The one pattern of every access: lift (when asked to), touch the bytes, put the protection back.
template <typename Access>
bool ProtectedAccess(std::uint32_t address, std::size_t size, bool unprotect, Access access) {
  if (!unprotect || size == 0) {
    access();
    return true;
  }
  const std::uint64_t end = std::uint64_t{address} + size;
  if (end > std::uint64_t{1} << 32) return false;  // past the end of the address space: no such bytes
  const auto pageOf = [](std::uint64_t at) { return static_cast<std::uint32_t>(at) & ~(platform::kPageSize - 1); };
  return WithPagesLifted(pageOf(end - 1), pageOf(address), access);
}

// The opcode, then the displacement; if the displacement cannot go in, the opcode that was there goes back.
bool WriteBranch(std::uint32_t at, std::uint8_t opcode, std::uint32_t destination, bool unprotect) {
  const std::optional<std::uint8_t> previous = PeekByte(at, unprotect);
  if (!previous || !PatchBytes(at, &opcode, 1, unprotect)) return false;
  if (WriteRelative32(at + 1, destination, unprotect)) return true;
  PatchBytes(at, &*previous, 1, unprotect);
  return false;
}

}  // namespace

bool PatchBytes(std::uint32_t address, const void* source, std::size_t size, bool unprotect) {
  return ProtectedAccess(address, size, unprotect,
                         [&] { std::memcpy(reinterpret_cast<void*>(address), source, size); });
}

bool PeekBytes(std::uint32_t address, void* destination, std::size_t size, bool unprotect) {
  return ProtectedAccess(address, size, unprotect,
                         [&] { std::memcpy(destination, reinterpret_cast<const void*>(address), size); });
}

std::optional<std::uint8_t> PeekByte(std::uint32_t address, bool unprotect) {
  std::uint8_t value = 0;
  if (!PeekBytes(address, &value, sizeof value, unprotect)) return std::nullopt;
  return value;
}

std::optional<std::uint32_t> PeekWord32(std::uint32_t address, bool unprotect) {
  std::uint32_t value = 0;  // x86 is little-endian, as the host's words are
  if (!PeekBytes(address, &value, sizeof value, unprotect)) return std::nullopt;
  return value;
}

bool WriteRelative32(std::uint32_t at, std::uint32_t destination, bool unprotect) {
  const std::uint32_t displacement = destination - (at + 4);
  return PatchBytes(at, &displacement, sizeof displacement, unprotect);
}

std::optional<std::uint32_t> BranchTarget(std::uint32_t at, bool unprotect) {
  const std::optional<std::uint8_t> opcode = PeekByte(at, unprotect);
  if (!opcode) return std::nullopt;
  if (*opcode == kOpcodeCall || *opcode == kOpcodeJump) {
    const std::optional<std::uint32_t> displacement = PeekWord32(at + 1, unprotect);
    if (!displacement) return std::nullopt;
    return at + 5 + *displacement;
  }
  if (*opcode != kOpcodeIndirect) return 0;
  const std::optional<std::uint8_t> modRm = PeekByte(at + 1, unprotect);
  if (!modRm) return std::nullopt;
  if (*modRm != kModRmIndirectCall && *modRm != kModRmIndirectJump) return 0;
  const std::optional<std::uint32_t> cell = PeekWord32(at + 2, unprotect);
  if (!cell) return std::nullopt;
  // The pointer cell is data of whoever wrote the instruction; one that is not there points nowhere.
  if (!platform::IsMapped(*cell, sizeof(std::uint32_t))) return 0;
  std::uint32_t target = 0;
  std::memcpy(&target, reinterpret_cast<const void*>(*cell), sizeof target);
  return target;
}

std::optional<std::uint32_t> WriteCall(std::uint32_t at, std::uint32_t destination, bool unprotect) {
  const std::optional<std::uint32_t> previous = BranchTarget(at, unprotect);
  if (!previous || !WriteBranch(at, kOpcodeCall, destination, unprotect)) return std::nullopt;
  return previous;
}

bool WriteJump(std::uint32_t hostAddress, std::uint32_t destination, bool unprotect) {
  return WriteBranch(TranslateHostAddress(hostAddress), kOpcodeJump, destination, unprotect);
}

std::uint32_t HostImageBase() {
  static const std::uint32_t base = platform::ExecutableImageBase();
  return base;
}

std::uint32_t TranslateHostAddress(std::uint32_t hostAddress) {
  return HostImageBase() + (hostAddress - kHostPreferredBase);
}

}  // namespace patching
