// The simulated host's side of the small Win32 subset a loaded DLL imports (KERNEL32, USER32, msvcrt),
// and the settings and records tests use to steer and observe it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace simhost::pe {

// The address of the stand-in for DLL!function, or nullptr when the simulated host does not provide it.
// DLL names compare case-insensitively.
void* find_shim(std::string_view dll, std::string_view function);

// --- the host executable ---------------------------------------------------------------------------
// GetModuleHandleA(NULL), and the range GetModuleHandleExA attributes to the executable.
void set_host_image(uint32_t base, uint32_t size);
uint32_t host_image_base();  // 0x400000 unless set
uint32_t host_image_size();
void set_host_executable_name(std::string name);  // "game.exe" unless set

// --- the game folder -------------------------------------------------------------------------------
// C:\Games\Host\ (the executable's folder and the process's current directory) is this real directory.
// Unless set, a fresh temporary directory is made on first use and removed at exit.
void set_host_folder(const std::filesystem::path& directory);
const std::filesystem::path& host_folder();
std::string windows_folder();        // "C:\Games\Host\"
std::string host_executable_path();  // "C:\Games\Host\game.exe"
// The real path behind a Windows path: the folder prefix (any case) or a relative path is taken from
// host_folder(), '\' becomes '/', and a component differing from an existing entry only in case finds
// that entry, as on Windows. Empty for a path outside the folder.
// Paths are UTF-8; a component may also be the short name of an entry (see set_short_names).
std::filesystem::path to_host_path(std::string_view windows_path);
// The same for a path in the ANSI code page, as the A functions and the host's own loaders take it.
std::filesystem::path ansi_to_host_path(std::string_view ansi_path);

// --- the system's code page and short names --------------------------------------------------------
// What GetACP answers and the A functions speak: 1252 (Western) unless set; 65001 (UTF-8) is the other.
void set_ansi_code_page(uint32_t code_page);
uint32_t ansi_code_page();
// Whether the volume keeps 8.3 short names (as NTFS does unless told not to): true unless set. Where it
// does, an entry whose name is no valid short name has one: up to six of its letters, digits and allowed
// marks upper-cased (four hex digits when it has none), '~', its number among the entries of the folder
// with the same stem and extension in name order, and the first three such characters of its extension.
void set_short_names(bool kept);

// --- windows and message boxes ---------------------------------------------------------------------
struct MessageBoxRecord {
  uint32_t owner = 0;
  std::string text;
  std::string caption;
  uint32_t style = 0;
};
void set_active_window(uint32_t hwnd);    // what GetActiveWindow returns; 0x00010024 unless set
void set_message_box_answer(int answer);  // IDOK unless set
const std::vector<MessageBoxRecord>& message_boxes();
void clear_message_boxes();

// --- what the DLL asks of the system -------------------------------------------------------------------
// GetFileAttributesExW calls made so far.
long file_attribute_queries();
// Files opened for reading with msvcrt's fopen or _wfopen so far, whether or not they opened.
long file_reads();
// True while a stand-in whose Windows original allocates nothing from the process's heap (MultiByteToWideChar,
// GetFileAttributesExW) does its own work, or while the loader protects a DLL's pages: the simulated host counts
// neither its allocations, its file queries nor its protection changes as the DLL's.
bool inside_system_work();

// --- injected failures -----------------------------------------------------------------------------
// While non-zero, GetModuleHandleExA fails with this error code.
void set_module_lookup_failure(uint32_t error);
// While not empty, opening this file (its real path) with msvcrt fails with EACCES, as when another program holds
// it open without sharing it; its attributes can still be asked for.
void set_held_file(std::filesystem::path file);

}  // namespace simhost::pe
