#include "config/plugin_paths.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "platform/platform.h"

namespace config {

namespace {

PluginPathAreas PluginPaths;

// An error icon and a single OK button.
constexpr std::uint32_t kErrorBoxStyle = 0x10;

}  // namespace

void ShowFilesystemError() {
  platform::ShowErrorBox("FILESYSTEM\nFailed to retrieve plugin dir path", "Zephrel", kErrorBoxStyle);
}

void SplitModulePath(PluginPathAreas& areas) {
  areas.directory[kPluginPathAreaSize - 1] = '\0';
  areas.fileName[0] = '\0';
  // A module path may mix both separators, whatever the platform.
  char* separator = std::strrchr(areas.directory, '\\');
  char* slash = std::strrchr(areas.directory, '/');
  if (slash != nullptr && (separator == nullptr || slash > separator)) separator = slash;
  if (separator == nullptr) return;
  std::strcpy(areas.fileName, separator + 1);
  separator[1] = '\0';
}

void ResolvePluginDirectory(bool moduleFound, void* module, PluginPathAreas& areas, ModulePathFailure onFailure) {
  static_assert(std::is_same_v<platform::ModuleHandle, void*>);
  // A module path that cannot be had whole is a failed lookup too: a cut one names a parent folder.
  if (!moduleFound || !platform::ModulePath(module, areas.directory, kPluginPathLength)) {
    onFailure();
    // Without the executable's path as well the directory stays empty: names then open from the current
    // directory, where the host finds its own files.
    platform::ModulePath(nullptr, areas.directory, kPluginPathLength);
  }
  SplitModulePath(areas);
}

void FindModuleDirectory(PluginPathAreas& areas, ModulePathFailure onFailure) {
  platform::ModuleHandle module = nullptr;
  const bool found = platform::ModuleOfAddress(reinterpret_cast<const void*>(&FindModuleDirectory), module);
  ResolvePluginDirectory(found, module, areas, onFailure);
}

const char* PluginDirectory() {
  static const bool resolved = [] {
    FindModuleDirectory(PluginPaths, ShowFilesystemError);
    return true;
  }();
  (void)resolved;
  return PluginPaths.directory;
}

const char* JoinPluginPath(PluginPathAreas& areas, const char* name) {
  areas.joined[0] = '\0';
  if (name == nullptr) return areas.joined;
  const std::size_t directoryLength = std::strlen(areas.directory);
  const std::size_t nameLength = std::strlen(name);
  // A cut path would name some other file; no path is treated as a missing file.
  if (directoryLength + nameLength >= kPluginPathAreaSize) return areas.joined;
  std::memcpy(areas.joined, areas.directory, directoryLength);
  std::memcpy(areas.joined + directoryLength, name, nameLength + 1);
  return areas.joined;
}

const char* PluginFilePath(const char* name) {
  PluginDirectory();
  return JoinPluginPath(PluginPaths, name);
}

}  // namespace config
