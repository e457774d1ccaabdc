// Installing and loading the plug-in in either build, and counting heap allocations.

#include "plugin.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

#include "pe_loader.h"
#include "simhost.h"
#include "win32.h"

namespace fs = std::filesystem;

namespace simhost {
namespace {

std::atomic<long> heapAllocations{0};

class LinuxLibrary final : public Plugin {
 public:
  explicit LinuxLibrary(void* handle) : handle_(handle) {}
  ~LinuxLibrary() override { Unload(); }

  bool Unload() override {
    if (handle_ == nullptr) return true;
    return UnloadPlugin(std::exchange(handle_, nullptr));
  }

  bool Contains(std::uint32_t address) const override {
    Dl_info info{};
    link_map* map = nullptr;
    if (handle_ == nullptr || dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0) return false;
    return dladdr(reinterpret_cast<void*>(address), &info) != 0 &&
           info.dli_fbase == reinterpret_cast<void*>(map->l_addr);
  }

 private:
  void* handle_;
};

class WindowsDll final : public Plugin {
 public:
  explicit WindowsDll(std::unique_ptr<pe::Module> module) : module_(std::move(module)) {}
  ~WindowsDll() override { Unload(); }

  bool Unload() override {
    module_->unload();
    return !module_->loaded();
  }

  bool Contains(std::uint32_t address) const override { return module_->loaded() && module_->contains(address); }

 private:
  std::unique_ptr<pe::Module> module_;
};

}  // namespace

const char* PluginFileName(PluginBuild build) {
  return build == PluginBuild::LinuxLibrary ? "libzephrel.so" : "Zephrel.dll";
}

std::string BuiltPluginPath(PluginBuild build) {
  return build == PluginBuild::LinuxLibrary ? PluginLibraryPath() : ZEPHREL_DLL_PATH;
}

GameFolder::GameFolder() {
  std::string pattern = (fs::temp_directory_path() / "zephrel-game-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("simhost: cannot make a game folder");
    std::abort();
  }
  path_ = pattern;
}

GameFolder::~GameFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void GameFolder::Write(const std::string& relative, const std::string& content) const {
  const fs::path file = fs::path(path_) / relative;
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

void GameFolder::Remove(const std::string& relative) const {
  std::error_code ignored;
  fs::remove(fs::path(path_) / relative, ignored);
}

std::unique_ptr<Plugin> Plugin::Load(PluginBuild build, const GameFolder& folder, const std::string& subfolder) {
  const fs::path installed = fs::path(folder.path()) / subfolder / PluginFileName(build);
  std::error_code error;
  fs::create_directories(installed.parent_path(), error);
  if (!error) fs::copy_file(BuiltPluginPath(build), installed, fs::copy_options::overwrite_existing, error);
  if (error) {
    std::fprintf(stderr, "simhost: cannot install %s: %s\n", BuiltPluginPath(build).c_str(), error.message().c_str());
    return nullptr;
  }
  if (build == PluginBuild::LinuxLibrary) {
    void* handle = LoadPlugin(installed.string());
    return handle ? std::make_unique<LinuxLibrary>(handle) : nullptr;
  }
  pe::set_host_folder(folder.path());
  pe::set_host_image(ImageBase(), kImageEnd - kImageBase);
  std::string windowsFolder = subfolder.empty() ? "" : subfolder + "/";
  std::replace(windowsFolder.begin(), windowsFolder.end(), '/', '\\');
  try {
    return std::make_unique<WindowsDll>(
        pe::Module::load(installed, {.name = PluginFileName(build), .folder = windowsFolder}));
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "simhost: cannot load %s: %s\n", installed.c_str(), failure.what());
    return nullptr;
  }
}

long HeapAllocations() { return heapAllocations.load(std::memory_order_relaxed); }

}  // namespace simhost

// Every heap allocation of the process passes here first (the simulated host comes before the C library in
// the process's symbol lookup), so the plug-in's allocations can be counted whichever build it is.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);

void* malloc(std::size_t size) {
  simhost::heapAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
  simhost::heapAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) {
  simhost::heapAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(pointer, size);
}
}
