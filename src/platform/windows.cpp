// The Windows side of the OS layer: direct Win32 calls, nothing else.

#include "platform/platform.h"

#include <windows.h>

namespace platform {

// One byte stands for its page: VirtualProtect changes every page that the range touches and reports the
// earlier protection of the first of them only.
bool LiftPageProtection(std::uint32_t address, Protection& previous) {
  DWORD old = 0;
  if (!VirtualProtect(reinterpret_cast<LPVOID>(address), 1, PAGE_EXECUTE_READWRITE, &old)) return false;
  previous = old;
  return true;
}

bool SetPageProtection(std::uint32_t address, Protection protection) {
  DWORD old = 0;  // VirtualProtect fails when this pointer is null
  return VirtualProtect(reinterpret_cast<LPVOID>(address), 1, protection, &old) != FALSE;
}

bool IsMapped(std::uint32_t address, std::size_t size) {
  const std::uint64_t end = std::uint64_t{address} + size;
  std::uint64_t at = address;
  while (at < end) {
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(reinterpret_cast<LPCVOID>(static_cast<std::uintptr_t>(at)), &info, sizeof info) == 0 ||
        info.State != MEM_COMMIT) {
      return false;
    }
    at = reinterpret_cast<std::uintptr_t>(info.BaseAddress) + std::uint64_t{info.RegionSize};
  }
  return true;
}

std::uint32_t ExecutableImageBase() {
  return reinterpret_cast<std::uint32_t>(GetModuleHandleA(nullptr));
}

bool ModuleOfAddress(const void* address, ModuleHandle& module) {
  HMODULE handle = nullptr;
  const BOOL found = GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      static_cast<LPCSTR>(address), &handle);
  module = found ? handle : nullptr;
  return found != FALSE;
}

void ModuleFileName(ModuleHandle module, char* buffer, std::size_t size) {
  if (size == 0) return;
  const DWORD length = GetModuleFileNameA(static_cast<HMODULE>(module), buffer, static_cast<DWORD>(size));
  // Windows XP leaves a cut name unterminated; 0 means failure with the buffer undefined.
  if (length == 0) buffer[0] = '\0';
  else if (length >= size) buffer[size - 1] = '\0';
}

void ShowErrorBox(const char* text, const char* caption, std::uint32_t style) {
  MessageBoxA(GetActiveWindow(), text, caption, style);
}

}  // namespace platform
