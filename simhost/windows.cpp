// The simulated host's Windows side, for Wine: the host image is this program's own section .game, which the
// linker script puts at 0x401000 in an image based at 0x400000; the plug-in is the DLL a player installs,
// loaded with LoadLibrary and unloaded with FreeLibrary; what the DLL allocates, how often it asks for a file's
// attributes and how often it opens one to read, is counted through its imports.

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "internal.h"

namespace fs = std::filesystem;

// Uninitialised ("b"), so that the program file does not carry it: the loader hands it out zeroed and writable.
extern "C" std::uint8_t simhost_game_section[];
asm(".section .game, \"bw\"\n"
    ".globl _simhost_game_section\n"
    "_simhost_game_section:\n"
    ".space 0x897000\n"
    ".text\n");

namespace simhost {
namespace {

static_assert(kImageEnd - kImageBase - internal::kPage == 0x897000, "the size of .game above");

std::atomic<long> heapAllocations{0};
std::atomic<long> fileQueries{0};
std::atomic<long> fileReads{0};

using MallocFn = void*(__cdecl*)(std::size_t);
using CallocFn = void*(__cdecl*)(std::size_t, std::size_t);
using ReallocFn = void*(__cdecl*)(void*, std::size_t);
MallocFn hostMalloc;
CallocFn hostCalloc;
ReallocFn hostRealloc;
using GetFileAttributesExWFn = BOOL(WINAPI*)(LPCWSTR, GET_FILEEX_INFO_LEVELS, LPVOID);
GetFileAttributesExWFn hostGetFileAttributesExW;
using FopenFn = FILE*(__cdecl*)(const char*, const char*);
FopenFn hostFopen;

void* __cdecl CountingMalloc(std::size_t size) {
  heapAllocations.fetch_add(1, std::memory_order_relaxed);
  return hostMalloc(size);
}
void* __cdecl CountingCalloc(std::size_t count, std::size_t size) {
  heapAllocations.fetch_add(1, std::memory_order_relaxed);
  return hostCalloc(count, size);
}
void* __cdecl CountingRealloc(void* pointer, std::size_t size) {
  heapAllocations.fetch_add(1, std::memory_order_relaxed);
  return hostRealloc(pointer, size);
}

BOOL WINAPI CountingGetFileAttributesExW(LPCWSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID data) {
  fileQueries.fetch_add(1, std::memory_order_relaxed);
  return hostGetFileAttributesExW(name, level, data);
}

FILE* __cdecl CountingFopen(const char* path, const char* mode) {
  if (mode != nullptr && mode[0] == 'r') fileReads.fetch_add(1, std::memory_order_relaxed);
  return hostFopen(path, mode);
}

struct CountedImport {
  const char* dll;
  const char* name;
  void** original;
  void* counting;
};
const CountedImport kCountedImports[] = {
    {"msvcrt.dll", "malloc", reinterpret_cast<void**>(&hostMalloc), reinterpret_cast<void*>(&CountingMalloc)},
    {"msvcrt.dll", "calloc", reinterpret_cast<void**>(&hostCalloc), reinterpret_cast<void*>(&CountingCalloc)},
    {"msvcrt.dll", "realloc", reinterpret_cast<void**>(&hostRealloc), reinterpret_cast<void*>(&CountingRealloc)},
    {"KERNEL32.dll", "GetFileAttributesExW", reinterpret_cast<void**>(&hostGetFileAttributesExW),
     reinterpret_cast<void*>(&CountingGetFileAttributesExW)},
    {"msvcrt.dll", "fopen", reinterpret_cast<void**>(&hostFopen), reinterpret_cast<void*>(&CountingFopen)},
};

// Points the DLL's import cells for msvcrt's malloc, calloc and realloc (which its C++ new calls too), for its
// fopen and for GetFileAttributesExW at counting wrappers. Returns how many cells it repointed.
int CountImportsOf(HMODULE module) {
  auto* base = reinterpret_cast<std::uint8_t*>(module);
  const auto* headers =
      reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  int repointed = 0;
  for (auto* dll = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       directory.VirtualAddress != 0 && dll->Name != 0; ++dll) {
    const char* dllName = reinterpret_cast<const char*>(base + dll->Name);
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA32*>(base + dll->OriginalFirstThunk);
    auto* cells = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + dll->FirstThunk);
    for (; dll->OriginalFirstThunk != 0 && names->u1.AddressOfData != 0; ++names, ++cells) {
      if (IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal)) continue;
      const auto* import = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      for (const CountedImport& counted : kCountedImports) {
        if (lstrcmpiA(dllName, counted.dll) != 0 ||
            std::strcmp(reinterpret_cast<const char*>(import->Name), counted.name) != 0) {
          continue;
        }
        DWORD previous = 0;
        if (!VirtualProtect(&cells->u1.Function, sizeof cells->u1.Function, PAGE_READWRITE, &previous)) continue;
        *counted.original = reinterpret_cast<void*>(cells->u1.Function);
        cells->u1.Function = reinterpret_cast<DWORD>(counted.counting);
        VirtualProtect(&cells->u1.Function, sizeof cells->u1.Function, previous, &previous);
        ++repointed;
      }
    }
  }
  return repointed;
}

// The module that holds an address, its reference count left alone; null if none does.
HMODULE ModuleAt(std::uint32_t address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(address), &module)) {
    return nullptr;
  }
  return module;
}

class LoadedDll final : public Plugin {
 public:
  explicit LoadedDll(HMODULE module) : module_(module) {}
  ~LoadedDll() override { Unload(); }

  bool Unload() override {
    if (module_ == nullptr) return true;
    const HMODULE module = std::exchange(module_, nullptr);
    return internal::AsTheGame([module] { return FreeLibrary(module) != 0; }) &&
           ModuleAt(reinterpret_cast<std::uint32_t>(module)) == nullptr;
  }

  bool Contains(std::uint32_t address) const override { return module_ != nullptr && ModuleAt(address) == module_; }

 private:
  HMODULE module_;
};

bool IsAscii(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

std::uint32_t internal::FirstOwnedPage() { return kImageBase + kPage; }

void internal::ObtainImage() {
  const auto program = reinterpret_cast<std::uint32_t>(GetModuleHandleW(nullptr));
  const auto section = reinterpret_cast<std::uint32_t>(simhost_game_section);
  if (program != ImageBase() || section != At(FirstOwnedPage())) {
    std::fprintf(stderr, "simhost: the host image is not where the game has it: program at %#x, .game at %#x\n",
                 program, section);
    std::abort();
  }
}

// The image is the program's own: its pages cannot be given back.
void internal::ReleasePages(std::uint32_t begin, std::uint32_t) {
  std::fprintf(stderr, "simhost: host pages (%#x) cannot be unmapped under Windows\n", begin);
  std::abort();
}

void internal::ObtainPages(std::uint32_t begin, std::uint32_t end) { ReleasePages(begin, end); }

bool internal::ProtectPages(std::uint32_t address, std::uint32_t size, Access access) {
  const DWORD protection = access == Access::Code ? PAGE_EXECUTE_READ : PAGE_READWRITE;
  DWORD previous = 0;
  return VirtualProtect(reinterpret_cast<void*>(address), size, protection, &previous) != FALSE;
}

std::string internal::HostFilePath(const char* path) { return path; }

namespace {
HANDLE heldFile = INVALID_HANDLE_VALUE;
}  // namespace

bool HoldFileOpen(PluginBuild, const GameFolder& folder, const std::string& relative) {
  ReleaseHeldFile();
  const std::string utf8 = folder.path() + "/" + relative;
  const fs::path path(std::u8string(utf8.begin(), utf8.end()));
  // Sharing nothing: the DLL's fopen fails with a sharing violation, as under an editor saving the file.
  heldFile = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return heldFile != INVALID_HANDLE_VALUE;
}

void ReleaseHeldFile() {
  if (heldFile != INVALID_HANDLE_VALUE) CloseHandle(heldFile);
  heldFile = INVALID_HANDLE_VALUE;
}

void internal::ResetWindowsSide() { ReleaseHeldFile(); }

std::vector<PluginBuild> PluginBuilds() { return {PluginBuild::WindowsDll}; }

std::string BuiltPluginPath(PluginBuild) { return ZEPHREL_DLL_PATH; }

GameFolder::GameFolder() {
  static int made = 0;
  const fs::path temporary = fs::temp_directory_path();
  for (;;) {
    const fs::path candidate =
        temporary / ("zephrel-game-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(made++));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      const std::u8string text = candidate.u8string();
      path_.assign(text.begin(), text.end());
      return;
    }
    if (error) {
      std::fprintf(stderr, "simhost: cannot make a game folder: %s\n", error.message().c_str());
      std::abort();
    }
  }
}

std::string GameFolder::SeenBy(PluginBuild) const { return path_ + "\\"; }

std::unique_ptr<Plugin> internal::LoadInstalledPlugin(PluginBuild, const std::string& installed, const GameFolder&,
                                                      const std::string&) {
  // A path the ANSI code page cannot spell needs the wide function.
  const HMODULE module = IsAscii(installed)
                             ? LoadLibraryA(installed.c_str())
                             : LoadLibraryW(fs::path(std::u8string(installed.begin(), installed.end())).c_str());
  if (module == nullptr) {
    std::fprintf(stderr, "simhost: cannot load %s: error %lu\n", installed.c_str(), GetLastError());
    return nullptr;
  }
  if (CountImportsOf(module) != static_cast<int>(std::size(kCountedImports))) {
    std::fprintf(stderr,
                 "simhost: %s does not import msvcrt's malloc, calloc, realloc and fopen and GetFileAttributesExW\n",
                 installed.c_str());
  }
  return std::make_unique<LoadedDll>(module);
}

long HeapAllocations() { return heapAllocations.load(std::memory_order_relaxed); }

long FileQueries() { return fileQueries.load(std::memory_order_relaxed); }

long FileReads() { return fileReads.load(std::memory_order_relaxed); }

}  // namespace simhost
