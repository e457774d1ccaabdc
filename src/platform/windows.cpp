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

std::uint32_t ReserveCodeMemory(std::size_t size) {
  return reinterpret_cast<std::uint32_t>(VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

bool MakeCodeExecutable(std::uint32_t address, std::size_t size) {
  DWORD old = 0;
  if (!VirtualProtect(reinterpret_cast<LPVOID>(address), size, PAGE_EXECUTE_READ, &old)) return false;
  // x86 keeps its caches coherent, but Windows asks for this after code is written.
  return FlushInstructionCache(GetCurrentProcess(), reinterpret_cast<LPCVOID>(address), size) != FALSE;
}

// A release takes size 0 and gives back the whole reservation.
bool ReleaseCodeMemory(std::uint32_t address, std::size_t) {
  return VirtualFree(reinterpret_cast<LPVOID>(address), 0, MEM_RELEASE) != FALSE;
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

std::uint32_t ExecutableImageBase() { return reinterpret_cast<std::uint32_t>(GetModuleHandleA(nullptr)); }

bool ModuleOfAddress(const void* address, ModuleHandle& module) {
  HMODULE handle = nullptr;
  const BOOL found =
      GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         static_cast<LPCSTR>(address), &handle);
  module = found ? handle : nullptr;
  return found != FALSE;
}

namespace {

// `wide` in the ANSI code page into `buffer`, terminator included; false unless every character has a
// spelling of its own there and the whole fits. Best-fit mapping stays off: it would turn a character the
// code page lacks into a look-alike (a fullwidth letter into a plain one), which names another file.
bool ToAnsi(const wchar_t* wide, char* buffer, std::size_t size) {
  const int capacity = size < 0x7FFFFFFF ? static_cast<int>(size) : 0x7FFFFFFF;
  const UINT codePage = GetACP();
  int written = 0;
  if (codePage == CP_UTF8) {
    // UTF-8 spells all but a lone surrogate, and refuses the used-default question.
    written = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, buffer, capacity, nullptr, nullptr);
  } else {
    BOOL usedDefault = FALSE;
    written = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, -1, buffer, capacity, nullptr, &usedDefault);
    if (usedDefault) written = 0;
  }
  if (written > 0) return true;
  buffer[0] = '\0';  // a failed conversion may leave part of the text behind
  return false;
}

}  // namespace

bool ModulePath(ModuleHandle module, char* buffer, std::size_t size) {
  if (size == 0) return false;
  buffer[0] = '\0';
  // A name that fills the buffer was cut (Vista and later also set ERROR_INSUFFICIENT_BUFFER, XP leaves it
  // unterminated); 0 is a failure.
  wchar_t longPath[MAX_PATH];
  const DWORD length = GetModuleFileNameW(static_cast<HMODULE>(module), longPath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  if (ToAnsi(longPath, buffer, size)) return true;
  // The host opens files by char* paths; the short form is plain ASCII where the volume keeps short names.
  // It returns the needed size, terminator included, when the buffer is too small.
  wchar_t shortPath[MAX_PATH];
  const DWORD shortLength = GetShortPathNameW(longPath, shortPath, MAX_PATH);
  if (shortLength == 0 || shortLength >= MAX_PATH) return false;
  return ToAnsi(shortPath, buffer, size);
}

bool QueryFileStamp(const char* path, FileStamp& stamp) {
  // The path is in the ANSI code page, as the C runtime opens it; the wide call takes it as the same name.
  wchar_t wide[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) == 0) return false;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(wide, GetFileExInfoStandard, &data)) return false;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  stamp.writeTime = std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 | data.ftLastWriteTime.dwLowDateTime;
  stamp.size = std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
  return true;
}

void ShowErrorBox(const char* text, const char* caption, std::uint32_t style) {
  MessageBoxA(GetActiveWindow(), text, caption, style);
}

}  // namespace platform
