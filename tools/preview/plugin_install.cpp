#include "plugin_install.h"

#include <stdlib.h>

#include <fstream>
#include <vector>

#include "simhost.h"

namespace preview {
namespace {

namespace fs = std::filesystem;

// The simulated host loads any existing dictionary file; the texture it hands out is a stand-in too.
constexpr char kStandInDictionary[] = "Zephrel preview: stand-in for the banner's texture dictionary\n";

std::string Failed(const std::string& what, const fs::path& path, const std::error_code& code) {
  return what + " " + path.string() + ": " + code.message();
}

std::string PrepareDirectory(const fs::path& directory, const std::string& library,
                             const std::optional<std::string>& ini) {
  std::error_code code;
  if (!fs::copy_file(library, directory / fs::path(library).filename(), code)) {
    return Failed("cannot copy the plug-in", library, code);
  }
  if (ini) {
    if (!fs::is_regular_file(*ini, code)) return "cannot read " + *ini + ": not a readable file";
    if (!fs::copy_file(*ini, directory / "Zephrel.ini", code)) return Failed("cannot read", *ini, code);
  }
  fs::create_directory(directory / "MODELS", code);
  std::ofstream dictionary(directory / "MODELS" / "BANNER.TXD", std::ios::binary);
  dictionary << kStandInDictionary;
  if (!dictionary.flush()) return "cannot write the stand-in texture dictionary in " + directory.string();
  return {};
}

}  // namespace

std::optional<LoadedPlugin> LoadPlugin(const std::string& library, const std::optional<std::string>& ini,
                                       std::string& error) {
  std::error_code code;
  const fs::path temporary = fs::temp_directory_path(code);
  std::string pattern = ((code ? fs::path("/tmp") : temporary) / "zephrel-preview-XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) {
    error = "cannot make a working directory like " + pattern;
    return std::nullopt;
  }
  LoadedPlugin plugin{nullptr, fs::path(name.data())};
  error = PrepareDirectory(plugin.directory, library, ini);
  if (error.empty()) {
    plugin.handle = simhost::LoadPlugin((plugin.directory / fs::path(library).filename()).string());
    if (plugin.handle == nullptr) error = "cannot load the plug-in " + library;
  }
  if (!error.empty()) {
    UnloadPlugin(plugin);
    return std::nullopt;
  }
  return plugin;
}

void UnloadPlugin(LoadedPlugin& plugin) {
  if (plugin.handle != nullptr) simhost::UnloadPlugin(plugin.handle);
  plugin.handle = nullptr;
  std::error_code ignored;
  if (!plugin.directory.empty()) fs::remove_all(plugin.directory, ignored);
  plugin.directory.clear();
}

}  // namespace preview
