// Shared by the Win32 stand-ins: Windows types as the DLL sees them, and the shim tables.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// KERNEL32 and USER32 functions are stdcall (the callee pops its arguments). DLL code calls with only the
// 4-byte stack alignment Windows guarantees, so every entry point realigns before it reaches glibc.
#define SHIM_WINAPI __attribute__((stdcall, force_align_arg_pointer))
#define SHIM_CDECL __attribute__((cdecl, force_align_arg_pointer))

namespace simhost::pe::detail {

using BOOL = int32_t;
using DWORD = uint32_t;
using HANDLE = void*;
using HMODULE = void*;
using LONG = int32_t;
using UINT = uint32_t;
using WCHAR = char16_t;  // 16 bits on Windows, unlike Linux wchar_t

constexpr DWORD kErrorFileNotFound = 2;
constexpr DWORD kErrorInvalidHandle = 6;
constexpr DWORD kErrorNotSupported = 50;
constexpr DWORD kErrorInvalidParameter = 87;
constexpr DWORD kErrorInsufficientBuffer = 122;
constexpr DWORD kErrorModNotFound = 126;
constexpr DWORD kErrorProcNotFound = 127;
constexpr DWORD kErrorNoMoreItems = 259;
constexpr DWORD kErrorInvalidAddress = 487;

struct Shim {
  const char* name;
  void* address;
};

std::span<const Shim> kernel32_shims();
std::span<const Shim> user32_shims();
std::span<const Shim> msvcrt_shims();

// Marks a stand-in's own work while it lasts: what it allocates or asks of the file system is the system's, not
// the DLL's (see inside_system_work).
struct SystemWork {
  SystemWork();
  ~SystemWork();
  SystemWork(const SystemWork&) = delete;
  SystemWork& operator=(const SystemWork&) = delete;
};

void set_last_error(DWORD error);
DWORD last_error();

std::string narrow(const WCHAR* text);  // UTF-16 to UTF-8; nullptr gives ""

// Text in code page `cp` (CP_ACP is ansi_code_page(); 65001 is UTF-8, any other is taken as Windows-1252)
// to UTF-16, appended to `out`; false for bytes UTF-8 cannot decode.
bool decode(UINT cp, const char* src, int len, std::u16string& out);
// UTF-16 in code page `cp`: a character it cannot spell becomes its best-fit look-alike (when asked for) or
// else `default_char`, which sets `used_default`.
std::string encode(UINT cp, const WCHAR* src, int len, bool& used_default, char default_char, bool best_fit);

// `windows_path` (UTF-8) with each of its components in the game folder replaced by its short name; false
// when the path does not lead to an existing file or folder there.
bool short_windows_path(std::string_view windows_path, std::string& short_path);
bool iequals(std::string_view a, std::string_view b);

// Loaded modules own the TLS slots they allocated; unloading one frees them.
void release_tls_slots_of(uint32_t module_base);

}  // namespace simhost::pe::detail
