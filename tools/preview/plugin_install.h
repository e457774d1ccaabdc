#pragma once
// The plug-in as the preview runs it: installed in a fresh game folder of the simulated host, in the build asked
// for, with its configuration file and a stand-in texture dictionary beside it, and loaded.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "plugin.h"

namespace preview {

struct InstalledPlugin {
  simhost::GameFolder folder;               // removed when this goes,
  std::unique_ptr<simhost::Plugin> plugin;  // after the plug-in is unloaded
};

// Empty when `file`, where `build` of the plug-in is built, is there to install; else what is missing and what to
// do about it.
std::string CheckPluginFile(simhost::PluginBuild build, const std::filesystem::path& file);

// Installs the plug-in in `build` and the configuration file `ini` (none: no file, so the plug-in's defaults
// apply) in a new game folder, puts MODELS/BANNER.TXD there, and loads the plug-in. On failure, null and the
// reason.
std::unique_ptr<InstalledPlugin> InstallPlugin(simhost::PluginBuild build, const std::optional<std::string>& ini,
                                               std::string& error);

}  // namespace preview
