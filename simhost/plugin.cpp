// Installing the plug-in in a game folder; how it is loaded is the operating system's part.

#include "plugin.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "internal.h"

namespace fs = std::filesystem;

namespace simhost {
namespace {

// The folder names of the tests are UTF-8, on Windows too, where a narrow path would be taken byte by byte.
fs::path PathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

}  // namespace

const char* PluginFileName(PluginBuild build) {
  return build == PluginBuild::LinuxLibrary ? "libzephrel.so" : "Zephrel.dll";
}

GameFolder::~GameFolder() {
  std::error_code ignored;
  fs::remove_all(PathOf(path_), ignored);
}

void GameFolder::Write(const std::string& relative, const std::string& content) const {
  const fs::path file = PathOf(path_) / PathOf(relative);
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

void GameFolder::Remove(const std::string& relative) const {
  std::error_code ignored;
  fs::remove(PathOf(path_) / PathOf(relative), ignored);
}

std::unique_ptr<Plugin> Plugin::Load(PluginBuild build, const GameFolder& folder, const std::string& subfolder,
                                     const std::string& built) {
  const fs::path installed = PathOf(folder.path()) / PathOf(subfolder) / PluginFileName(build);
  const std::string source = built.empty() ? BuiltPluginPath(build) : built;
  std::error_code error;
  fs::create_directories(installed.parent_path(), error);
  if (!error) fs::copy_file(PathOf(source), installed, fs::copy_options::overwrite_existing, error);
  if (error) {
    std::fprintf(stderr, "simhost: cannot install %s: %s\n", source.c_str(), error.message().c_str());
    return nullptr;
  }
  return internal::AsTheGame([&] {
    return internal::LoadInstalledPlugin(build, Utf8(fs::path(installed).make_preferred()), folder, subfolder);
  });
}

}  // namespace simhost
