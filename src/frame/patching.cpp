#include "frame/patching.h"

#include <cstring>
#include <utility>

#include "frame/host_version.h"

std::optional<ProtectionGuard> ProtectionGuard::Lift(std::uint32_t address, std::size_t size) {
  platform::Protection previous = 0;
  if (!platform::LiftProtection(address, size, previous)) return std::nullopt;
  return ProtectionGuard(address, size, previous);
}

ProtectionGuard::ProtectionGuard(ProtectionGuard&& other) noexcept
    : address_(other.address_), size_(std::exchange(other.size_, 0)), previous_(other.previous_) {}

ProtectionGuard::~ProtectionGuard() {
  if (size_ != 0) platform::SetProtection(address_, size_, previous_);
}

namespace {

// The one pattern of every access: lift (when asked to), touch the bytes, put the protection back.
template <typename Access>
bool ProtectedAccess(std::uint32_t address, std::size_t size, bool unprotect, Access access) {
  if (!unprotect || size == 0) {
    access();
    return true;
  }
  const std::optional<ProtectionGuard> guard = ProtectionGuard::Lift(address, size);
  if (!guard) return false;
  access();
  return true;
}

}  // namespace

void PatchBytes(std::uint32_t address, const void* source, std::size_t size, bool unprotect) {
  ProtectedAccess(address, size, unprotect,
                  [&] { std::memcpy(reinterpret_cast<void*>(address), source, size); });
}

void PeekBytes(std::uint32_t address, void* destination, std::size_t size, bool unprotect) {
  if (!ProtectedAccess(address, size, unprotect,
                       [&] { std::memcpy(destination, reinterpret_cast<const void*>(address), size); })) {
    std::memset(destination, 0, size);
  }
}

std::uint8_t PeekByte(std::uint32_t address, bool unprotect) {
  std::uint8_t value = 0;
  PeekBytes(address, &value, sizeof value, unprotect);
  return value;
}

std::uint32_t PeekWord32(std::uint32_t address, bool unprotect) {
  std::uint32_t value = 0;  // x86 is little-endian, as the host's words are
  PeekBytes(address, &value, sizeof value, unprotect);
  return value;
}

void WriteRelative32(std::uint32_t at, std::uint32_t destination, bool unprotect) {
  const std::uint32_t displacement = destination - (at + 4);
  PatchBytes(at, &displacement, sizeof displacement, unprotect);
}

std::uint32_t BranchTarget(std::uint32_t at, bool unprotect) {
  const std::uint8_t opcode = PeekByte(at, unprotect);
  if (opcode == kOpcodeCall || opcode == kOpcodeJump) {
    return at + 5 + PeekWord32(at + 1, unprotect);
  }
  if (opcode != kOpcodeIndirect) return 0;
  const std::uint8_t modRm = PeekByte(at + 1, unprotect);
  if (modRm != kModRmIndirectCall && modRm != kModRmIndirectJump) return 0;
  const std::uint32_t cell = PeekWord32(at + 2, unprotect);
  // The pointer cell is data of whoever wrote the instruction; one that is not there points nowhere.
  if (!platform::IsMapped(cell, sizeof(std::uint32_t))) return 0;
  std::uint32_t target = 0;
  std::memcpy(&target, reinterpret_cast<const void*>(cell), sizeof target);
  return target;
}

std::uint32_t WriteCall(std::uint32_t at, std::uint32_t destination, bool unprotect) {
  const std::uint32_t previous = BranchTarget(at, unprotect);
  PatchBytes(at, &kOpcodeCall, 1, unprotect);
  WriteRelative32(at + 1, destination, unprotect);
  return previous;
}

void WriteJump(std::uint32_t hostAddress, std::uint32_t destination, bool unprotect) {
  const std::uint32_t at = TranslateHostAddress(hostAddress);
  PatchBytes(at, &kOpcodeJump, 1, unprotect);
  WriteRelative32(at + 1, destination, unprotect);
}
