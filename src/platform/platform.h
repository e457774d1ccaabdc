#pragma once
// The operating system as far as the plug-in needs it: a handful of free functions, one implementation per
// system (windows.cpp; posix.cpp for the simulated host; wasm.cpp for the browser preview). Nothing outside this
// folder includes an OS header.

#include <cstddef>
#include <cstdint>

namespace platform {

// A page protection as the OS states it; only ever handed back to SetPageProtection.
using Protection = std::uint32_t;

// The x86 page, the unit in which Windows and Linux protect memory.
inline constexpr std::uint32_t kPageSize = 0x1000;

// Makes the page that holds `address` readable, writable and executable. On success stores the protection
// it had before and returns true; on failure nothing has changed. One page at a time, so that each page of a
// longer range can be given back its own protection.
bool LiftPageProtection(std::uint32_t address, Protection& previous);

// Gives the page that holds `address` the protection `protection`; false on failure.
bool SetPageProtection(std::uint32_t address, Protection protection);

// Memory of the process's own for code the plug-in writes itself, outside every module: `size` bytes (whole
// pages) at a page boundary, readable and writable. 0 when the system has none to give. Not in the browser preview,
// which writes no code.
std::uint32_t ReserveCodeMemory(std::size_t size);

// Makes the pages of [address, address + size), reserved above and written, readable and executable, and no longer
// writable. False on failure: the memory is then fit only to be released.
bool MakeCodeExecutable(std::uint32_t address, std::size_t size);

// Gives back the whole of what ReserveCodeMemory(size) returned as `address`; false on failure.
bool ReleaseCodeMemory(std::uint32_t address, std::size_t size);

// True when every byte of [address, address + size) lies in memory the process has mapped.
bool IsMapped(std::uint32_t address, std::size_t size);

// Load address of the process's executable image.
std::uint32_t ExecutableImageBase();

using ModuleHandle = void*;

// The module that holds `address`, leaving its reference count alone. False, with a null handle, when
// no module holds it.
bool ModuleOfAddress(const void* address, ModuleHandle& module);

// Full file name of `module` (a null handle means the executable) into `buffer`, zero-terminated, as a path
// that opens with the narrow file functions and that the host's loaders take: on Windows the long path when
// the ANSI code page spells every character of it, its short form otherwise. False, with `buffer` empty,
// when the name cannot be had whole: no such module, a name longer than `size` - 1 characters (never a cut
// one, which would name a parent folder), or no spelling that fits.
bool ModulePath(ModuleHandle module, char* buffer, std::size_t size);

// A modal error box owned by the active window; where there is no window system it is printed (and
// handed to a simulated host, if the process has one).
void ShowErrorBox(const char* text, const char* caption, std::uint32_t style);

// What the file system says of a file without reading it: its last-write time (in the OS's own unit) and its
// size. Two stamps that differ mean the file was written in between.
struct FileStamp {
  std::uint64_t writeTime = 0;
  std::uint64_t size = 0;
  bool operator==(const FileStamp&) const = default;
};

// Asks the file system for the stamp of the file at `path` (a path the narrow file functions open), in one
// query that neither opens the file nor allocates. False, with `stamp` as it was, when there is no such file
// or it cannot be asked about (a folder, a file being replaced, a folder without access).
bool QueryFileStamp(const char* path, FileStamp& stamp);

// The separator a module path uses between directories.
#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace platform
