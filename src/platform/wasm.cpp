// The WebAssembly side of the OS layer, for the browser preview. The game lives in the module's own memory, at
// the addresses of its image, so there is nothing to protect and nothing to map; the plug-in's files lie in the
// module's in-memory file system, in /game.

#include <emscripten/heap.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

// In the browser the game is played by the page, which lays the game's data out in the module's memory and says
// where its image lies by defining this, as the simulated host does on Linux.
extern "C" std::uint32_t zephrel_host_image_base();

namespace platform {
namespace {

constexpr const char* kModulePath = "/game/Zephrel.dll";
constexpr const char* kExecutablePath = "/game/game.exe";

}  // namespace

bool LiftPageProtection(std::uint32_t, Protection& previous) {
  previous = 0;
  return true;
}

bool SetPageProtection(std::uint32_t, Protection) { return true; }

bool IsMapped(std::uint32_t address, std::size_t size) {
  const std::uint64_t end = std::uint64_t{address} + size;
  // The memory as it is now: it may grow, but what lies past its end cannot be read yet.
  return address != 0 && end <= emscripten_get_heap_size();
}

std::uint32_t ExecutableImageBase() { return zephrel_host_image_base(); }

// The plug-in is the whole module: every address is its own.
bool ModuleOfAddress(const void*, ModuleHandle& module) {
  module = const_cast<char*>(kModulePath);
  return true;
}

bool ModulePath(ModuleHandle module, char* buffer, std::size_t size) {
  const char* path = module != nullptr ? kModulePath : kExecutablePath;
  if (std::strlen(path) >= size) {
    if (size != 0) buffer[0] = '\0';
    return false;
  }
  std::strcpy(buffer, path);
  return true;
}

void ShowErrorBox(const char* text, const char* caption, std::uint32_t) { std::printf("%s: %s\n", caption, text); }

bool QueryFileStamp(const char* path, FileStamp& stamp) {
  struct stat status {};
  if (stat(path, &status) != 0 || !S_ISREG(status.st_mode)) return false;
  // The module's file system keeps its times in milliseconds.
  stamp = {static_cast<std::uint64_t>(status.st_mtim.tv_sec) * 1000u + status.st_mtim.tv_nsec / 1000000,
           static_cast<std::uint64_t>(status.st_size)};
  return true;
}

}  // namespace platform
