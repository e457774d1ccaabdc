// The OS layer of the browser preview. The page's game lives in the WebAssembly memory itself, at the addresses
// of the real game's image, so there is nothing to protect and nothing to map; the plug-in's files lie in the
// page's in-memory file system.

#include <emscripten/heap.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace platform {
namespace {

constexpr std::uint32_t kImageBase = 0x400000;
// Where the plug-in's own files lie: Zephrel.ini is written here by the page.
constexpr const char* kModulePath = "/game/Zephrel.dll";

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

std::uint32_t ExecutableImageBase() { return kImageBase; }

bool ModuleOfAddress(const void*, ModuleHandle& module) {
  module = const_cast<char*>(kModulePath);
  return true;
}

bool ModulePath(ModuleHandle module, char* buffer, std::size_t size) {
  const char* path = module != nullptr ? kModulePath : "/game/game.exe";
  if (std::strlen(path) >= size) {
    if (size != 0) buffer[0] = '\0';
    return false;
  }
  std::strcpy(buffer, path);
  return true;
}

void ShowErrorBox(const char* text, const char* caption, std::uint32_t) { std::printf("%s: %s\n", caption, text); }

}  // namespace platform
