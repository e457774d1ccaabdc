#pragma once
// The plug-in as the preview runs it: a copy in a fresh working directory, with its configuration file and a
// stand-in texture dictionary beside it, loaded into this process's simulated host.

#include <filesystem>
#include <optional>
#include <string>

namespace preview {

struct LoadedPlugin {
  void* handle = nullptr;
  std::filesystem::path directory;  // the working directory, removed on unload
};

// Copies `library` and the configuration file `ini` (none: no file, so the plug-in's defaults apply) into a new
// working directory, puts MODELS/BANNER.TXD there, and loads the copy. On failure, nothing and the reason.
std::optional<LoadedPlugin> LoadPlugin(const std::string& library, const std::optional<std::string>& ini,
                                       std::string& error);

// Unloads the plug-in (its exit-time code runs) and removes the working directory.
void UnloadPlugin(LoadedPlugin& plugin);

}  // namespace preview
