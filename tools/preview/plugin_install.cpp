#include "plugin_install.h"

#include <system_error>

#include "config/settings.h"

namespace preview {
namespace {

namespace fs = std::filesystem;

// The simulated host loads any existing dictionary file; the texture it hands out is a stand-in too.
constexpr char kStandInDictionary[] = "Zephrel preview: stand-in for the banner's texture dictionary\n";

}  // namespace

std::string CheckPluginFile(simhost::PluginBuild build, const std::filesystem::path& file) {
  std::error_code code;
  if (fs::is_regular_file(file, code)) return {};
  if (build == simhost::PluginBuild::WindowsDll) {
    return "the plug-in " + file.string() + " is missing: build it first (scripts/build), or preview the Linux " +
           "library with --build so";
  }
  return "the plug-in " + file.string() + " is missing: build it first (cmake --build --preset linux-i386)";
}

std::unique_ptr<InstalledPlugin> InstallPlugin(simhost::PluginBuild build, const std::optional<std::string>& ini,
                                               std::string& error) {
  error = CheckPluginFile(build, simhost::BuiltPluginPath(build));
  if (!error.empty()) return nullptr;
  auto installed = std::make_unique<InstalledPlugin>();
  const fs::path folder = installed->folder.path();
  if (ini) {
    std::error_code code;
    if (!fs::is_regular_file(*ini, code) || !fs::copy_file(*ini, folder / config::kSettingsFile, code)) {
      error = "cannot read " + *ini + (code ? ": " + code.message() : ": not a readable file");
      return nullptr;
    }
  }
  installed->folder.Write("MODELS/BANNER.TXD", kStandInDictionary);
  installed->plugin = simhost::Plugin::Load(build, installed->folder);
  if (installed->plugin == nullptr) {
    error = "cannot load the plug-in " + simhost::BuiltPluginPath(build);
    return nullptr;
  }
  return installed;
}

}  // namespace preview
