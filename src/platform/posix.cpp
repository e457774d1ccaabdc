// The Linux side of the OS layer, for the i386 build that runs in the simulated host. Page protections are
// read back from the process's own mappings; nothing here allocates.

#include "platform/platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// On Linux the game is played by a process of our own making, the simulated host: it maps the game's image where
// it chooses and shows error boxes its own way, and says so by defining these. The dynamic linker binds them
// when the plug-in loads; in any other process they stay null.
extern "C" {
__attribute__((weak, visibility("default"))) std::uint32_t zephrel_host_image_base();
__attribute__((weak, visibility("default"))) void zephrel_host_error_box(const char* text, const char* caption,
                                                                         std::uint32_t style);
}

namespace platform {
namespace {

struct Mapping {
  std::uint64_t begin = 0;
  std::uint64_t end = 0;
  int protection = PROT_NONE;
};

std::uint64_t ParseHex(const char*& text) {
  std::uint64_t value = 0;
  for (;; ++text) {
    const char c = *text;
    if (c >= '0' && c <= '9')
      value = value * 16 + static_cast<std::uint64_t>(c - '0');
    else if (c >= 'a' && c <= 'f')
      value = value * 16 + static_cast<std::uint64_t>(c - 'a' + 10);
    else
      return value;
  }
}

// One line of /proc/self/maps: "begin-end rwxp ...".
bool ParseMapping(const char* line, Mapping& mapping) {
  mapping.begin = ParseHex(line);
  if (*line++ != '-') return false;
  mapping.end = ParseHex(line);
  if (*line++ != ' ') return false;
  mapping.protection =
      (line[0] == 'r' ? PROT_READ : 0) | (line[1] == 'w' ? PROT_WRITE : 0) | (line[2] == 'x' ? PROT_EXEC : 0);
  return true;
}

// Calls visit(mapping) for each mapping in address order until it returns false.
template <typename Visit>
void ForEachMapping(Visit visit) {
  const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  char buffer[8192];  // holds any one line: a path is at most PATH_MAX
  std::size_t filled = 0;
  bool going = true;
  while (going) {
    const ssize_t got = read(fd, buffer + filled, sizeof buffer - 1 - filled);
    if (got <= 0) break;
    filled += static_cast<std::size_t>(got);
    buffer[filled] = '\0';
    char* line = buffer;
    for (char* newline; going && (newline = std::strchr(line, '\n')) != nullptr; line = newline + 1) {
      *newline = '\0';
      Mapping mapping;
      if (ParseMapping(line, mapping)) going = visit(mapping);
    }
    filled = static_cast<std::size_t>(buffer + filled - line);
    std::memmove(buffer, line, filled);
  }
  close(fd);
}

bool ProtectionOf(std::uint32_t address, int& protection) {
  bool found = false;
  ForEachMapping([&](const Mapping& mapping) {
    if (address < mapping.begin) return false;
    if (address < mapping.end) {
      protection = mapping.protection;
      found = true;
      return false;
    }
    return true;
  });
  return found;
}

bool ProtectPage(std::uint32_t address, int protection) {
  return mprotect(reinterpret_cast<void*>(address & ~(kPageSize - 1)), kPageSize, protection) == 0;
}

}  // namespace

bool LiftPageProtection(std::uint32_t address, Protection& previous) {
  int protection = PROT_NONE;
  if (!ProtectionOf(address, protection)) return false;
  if (!ProtectPage(address, PROT_READ | PROT_WRITE | PROT_EXEC)) return false;
  previous = static_cast<Protection>(protection);
  return true;
}

bool SetPageProtection(std::uint32_t address, Protection protection) {
  return ProtectPage(address, static_cast<int>(protection));
}

std::uint32_t ReserveCodeMemory(std::size_t size) {
  void* const memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return memory == MAP_FAILED ? 0 : reinterpret_cast<std::uint32_t>(memory);
}

bool MakeCodeExecutable(std::uint32_t address, std::size_t size) {
  return mprotect(reinterpret_cast<void*>(address), size, PROT_READ | PROT_EXEC) == 0;
}

bool ReleaseCodeMemory(std::uint32_t address, std::size_t size) {
  return munmap(reinterpret_cast<void*>(address), size) == 0;
}

bool IsMapped(std::uint32_t address, std::size_t size) {
  std::uint64_t at = address;
  const std::uint64_t end = at + size;
  ForEachMapping([&](const Mapping& mapping) {
    if (mapping.end <= at) return true;
    if (mapping.begin > at) return false;  // a hole before the next mapping
    at = mapping.end;
    return at < end;
  });
  return at >= end;
}

std::uint32_t ExecutableImageBase() {
  if (zephrel_host_image_base != nullptr) return zephrel_host_image_base();
  // Without a game in the process the executable is a Linux program of its own: where its first segment lies.
  std::uint32_t base = 0;
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* data) {
        for (int i = 0; i < info->dlpi_phnum; ++i) {
          if (info->dlpi_phdr[i].p_type != PT_LOAD) continue;
          *static_cast<std::uint32_t*>(data) = info->dlpi_addr + (info->dlpi_phdr[i].p_vaddr & ~(kPageSize - 1));
          break;
        }
        return 1;  // the executable comes first
      },
      &base);
  return base;
}

bool ModuleOfAddress(const void* address, ModuleHandle& module) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fbase == nullptr) {
    module = nullptr;
    return false;
  }
  module = info.dli_fbase;
  return true;
}

bool ModulePath(ModuleHandle module, char* buffer, std::size_t size) {
  if (size == 0) return false;
  buffer[0] = '\0';
  char path[PATH_MAX];
  const char* name = path;
  Dl_info info{};
  if (module == nullptr) {
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return false;
    path[length] = '\0';
  } else if (dladdr(module, &info) != 0 && info.dli_fname != nullptr) {
    // dlopen keeps the name it was given, which may be relative to a directory since left.
    name = realpath(info.dli_fname, path) != nullptr ? path : info.dli_fname;
  } else {
    return false;
  }
  const int length = std::snprintf(buffer, size, "%s", name);
  if (length > 0 && static_cast<std::size_t>(length) < size) return true;
  buffer[0] = '\0';
  return false;
}

bool QueryFileStamp(const char* path, FileStamp& stamp) {
  // The 64-bit call: the plain one fails on a file whose inode number or size does not fit 32 bits.
  struct stat64 status {};
  if (stat64(path, &status) != 0 || !S_ISREG(status.st_mode)) return false;
  stamp.writeTime = static_cast<std::uint64_t>(status.st_mtim.tv_sec) * 1000000000u +
                    static_cast<std::uint64_t>(status.st_mtim.tv_nsec);
  stamp.size = static_cast<std::uint64_t>(status.st_size);
  return true;
}

void ShowErrorBox(const char* text, const char* caption, std::uint32_t style) {
  std::fprintf(stderr, "[%s] %s\n", caption, text);
  if (zephrel_host_error_box != nullptr) zephrel_host_error_box(text, caption, style);
}

}  // namespace platform
