// The simulated host's Linux side: the image mapped at its fixed addresses, the plug-in loaded with dlopen
// (the Linux library) or with the simulated host's own PE loader (the Windows DLL), and every heap allocation
// and file stamp query of the process counted.

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "internal.h"
#include "pe_loader.h"
#include "win32.h"

namespace fs = std::filesystem;

namespace simhost {
namespace {

std::atomic<long> heapAllocations{0};
std::atomic<long> fileQueries{0};
std::atomic<long> fileReads{0};

// Work that the simulated Windows does inside its own functions is not counted as the DLL's.
void Count(std::atomic<long>& counter) {
  if (!pe::inside_system_work()) counter.fetch_add(1, std::memory_order_relaxed);
}

int ProtectionOf(internal::Access access) {
  switch (access) {
    case internal::Access::Code:
      return PROT_READ | PROT_EXEC;
    case internal::Access::Data:
      return PROT_READ | PROT_WRITE;
    case internal::Access::Writable:
      return PROT_READ | PROT_WRITE;
  }
  return PROT_NONE;
}

class LinuxLibrary final : public Plugin {
 public:
  explicit LinuxLibrary(void* handle) : handle_(handle) {}
  ~LinuxLibrary() override { Unload(); }

  bool Unload() override {
    if (handle_ == nullptr) return true;
    return internal::AsTheGame([this] { return UnloadPlugin(std::exchange(handle_, nullptr)); });
  }

  bool Contains(std::uint32_t address) const override {
    Dl_info info{};
    link_map* map = nullptr;
    if (handle_ == nullptr || dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0) return false;
    return dladdr(reinterpret_cast<void*>(address), &info) != 0 &&
           info.dli_fbase == reinterpret_cast<void*>(map->l_addr);
  }

  std::pair<std::uint32_t, std::uint32_t> Extent() const override {
    link_map* map = nullptr;
    if (handle_ == nullptr || dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0) return {0, 0};
    struct Search {
      const char* name;
      std::pair<std::uint32_t, std::uint32_t> extent{0, 0};
    } search{map->l_name};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
          auto& found = *static_cast<Search*>(data);
          if (info->dlpi_name == nullptr || std::strcmp(info->dlpi_name, found.name) != 0) return 0;
          for (int i = 0; i < info->dlpi_phnum; ++i) {
            const ElfW(Phdr)& segment = info->dlpi_phdr[i];
            if (segment.p_type != PT_LOAD) continue;
            const std::uint32_t begin = info->dlpi_addr + segment.p_vaddr;
            const std::uint32_t end = begin + segment.p_memsz;
            if (found.extent.second == 0 || begin < found.extent.first) found.extent.first = begin;
            if (end > found.extent.second) found.extent.second = end;
          }
          return 1;
        },
        &search);
    return search.extent;
  }

 private:
  void* handle_;
};

class WindowsDll final : public Plugin {
 public:
  explicit WindowsDll(std::unique_ptr<pe::Module> module) : module_(std::move(module)) {}
  ~WindowsDll() override { Unload(); }

  bool Unload() override {
    internal::AsTheGame([this] { module_->unload(); });
    return !module_->loaded();
  }

  bool Contains(std::uint32_t address) const override { return module_->loaded() && module_->contains(address); }
  std::pair<std::uint32_t, std::uint32_t> Extent() const override {
    if (!module_->loaded()) return {0, 0};
    return {module_->base(), module_->base() + module_->size()};
  }

 private:
  std::unique_ptr<pe::Module> module_;
};

}  // namespace

std::uint32_t internal::FirstOwnedPage() { return kImageBase; }

void internal::ObtainImage() { ObtainPages(kImageBase, kImageEnd); }

void internal::ObtainPages(std::uint32_t begin, std::uint32_t end) {
  void* wanted = reinterpret_cast<void*>(At(begin));
  void* got =
      mmap(wanted, end - begin, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  if (got != wanted) {
    std::fprintf(stderr, "simhost: cannot map the host image at %#x\n", At(begin));
    std::abort();
  }
}

void internal::ReleasePages(std::uint32_t begin, std::uint32_t end) {
  munmap(reinterpret_cast<void*>(At(begin)), end - begin);
}

bool internal::ProtectPages(std::uint32_t address, std::uint32_t size, Access access) {
  return mprotect(reinterpret_cast<void*>(address), size, ProtectionOf(access)) == 0;
}

std::string internal::HostFilePath(const char* path) {
  // The game's paths use backslashes; a Windows path (the DLL's, in the ANSI code page as the game's loader
  // takes it) lies in the game folder.
  std::string file =
      std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' ? pe::ansi_to_host_path(path).string() : path;
  std::replace(file.begin(), file.end(), '\\', '/');
  return file;
}

void internal::ResetWindowsSide() {
  pe::clear_message_boxes();
  pe::set_module_lookup_failure(0);
  pe::set_ansi_code_page(1252);
  pe::set_short_names(true);
  pe::set_held_file({});
}

std::vector<PluginBuild> PluginBuilds() { return {PluginBuild::LinuxLibrary, PluginBuild::WindowsDll}; }

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

std::string GameFolder::SeenBy(PluginBuild build) const {
  return build == PluginBuild::LinuxLibrary ? path_ + "/" : pe::windows_folder();
}

std::unique_ptr<Plugin> internal::LoadInstalledPlugin(PluginBuild build, const std::string& installed,
                                                      const GameFolder& folder, const std::string& subfolder) {
  if (build == PluginBuild::LinuxLibrary) {
    void* handle = LoadPlugin(installed);
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

std::string PluginLibraryPath() {
  const char* overridden = std::getenv("ZEPHREL_PLUGIN");
  return overridden && *overridden ? overridden : ZEPHREL_PLUGIN_PATH;
}

void* LoadPlugin(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) std::fprintf(stderr, "simhost: cannot load %s: %s\n", path.c_str(), dlerror());
  return handle;
}

bool UnloadPlugin(void* handle) {
  std::string path;
  link_map* map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name) path = map->l_name;
  if (dlclose(handle) != 0) return false;
  if (path.empty()) return true;
  if (void* still = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
    dlclose(still);
    return false;
  }
  return true;
}

long HeapAllocations() { return heapAllocations.load(std::memory_order_relaxed); }

bool HoldFileOpen(PluginBuild build, const GameFolder& folder, const std::string& relative) {
  if (build == PluginBuild::LinuxLibrary) return false;
  pe::set_held_file(fs::path(folder.path()) / relative);
  return true;
}

void ReleaseHeldFile() { pe::set_held_file({}); }

long FileQueries() { return fileQueries.load(std::memory_order_relaxed) + pe::file_attribute_queries(); }

long FileReads() { return fileReads.load(std::memory_order_relaxed) + pe::file_reads(); }

}  // namespace simhost

// Every heap allocation of the process passes here first (the simulated host comes before the C library in
// the process's symbol lookup), so the plug-in's allocations can be counted whichever build it is.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);

void* malloc(std::size_t size) {
  simhost::Count(simhost::heapAllocations);
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
  simhost::Count(simhost::heapAllocations);
  return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) {
  simhost::Count(simhost::heapAllocations);
  return __libc_realloc(pointer, size);
}

// The Linux library asks for a file's stamp with stat64; so do the process's other parts, which a story leaves
// out by counting around what it measures.
int stat64(const char* __restrict path, struct stat64* __restrict status) noexcept {
  simhost::Count(simhost::fileQueries);
  return fstatat64(AT_FDCWD, path, status, 0);
}

// The Linux library reads a file through the C library's fopen (fopen64 where file offsets are 64-bit); so do the
// process's other parts, which a story leaves out by counting around what it measures.
using FopenFn = std::FILE* (*)(const char*, const char*);

std::FILE* fopen(const char* __restrict path, const char* __restrict mode) {
  static const auto next = reinterpret_cast<FopenFn>(dlsym(RTLD_NEXT, "fopen"));
  if (mode != nullptr && mode[0] == 'r') simhost::Count(simhost::fileReads);
  return next(path, mode);
}
std::FILE* fopen64(const char* __restrict path, const char* __restrict mode) {
  static const auto next = reinterpret_cast<FopenFn>(dlsym(RTLD_NEXT, "fopen64"));
  if (mode != nullptr && mode[0] == 'r') simhost::Count(simhost::fileReads);
  return next(path, mode);
}
}

// What the plug-in's Linux platform layer asks of the process it runs in: where the game's image lies, and
// somewhere to show its error box. Defined here, the dynamic linker binds the plug-in's weak references to them.
extern "C" std::uint32_t zephrel_host_image_base() { return simhost::ImageBase(); }

extern "C" void zephrel_host_error_box(const char* text, const char* caption, std::uint32_t style) {
  simhost_record_error_box(text, caption, style);
}
