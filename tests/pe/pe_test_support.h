// Helpers shared by the PE loader tests.
#pragma once

#include <sys/mman.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/own_folder.h"
#include "win32.h"

namespace pe_test {

inline std::filesystem::path dll_path(const char* name) { return std::filesystem::path(PE_TEST_DLL_DIR) / name; }

// Maps size bytes at exactly address; fails the test otherwise (qemu-i386 takes NOREPLACE as a hint).
inline void* map_fixed(uint32_t address, uint32_t size, int prot) {
  void* p =
      mmap(reinterpret_cast<void*>(address), size, prot, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  if (p != MAP_FAILED && p != reinterpret_cast<void*>(address)) {
    munmap(p, size);
    p = MAP_FAILED;
  }
  EXPECT_NE(p, MAP_FAILED) << "cannot map 0x" << std::hex << address;
  return p;
}

// A fresh game folder behind C:\Games\Host\ for each test.
class HostFolder {
 public:
  HostFolder() : path_(own_.path()) { simhost::pe::set_host_folder(path_); }

  const std::filesystem::path& path() const { return path_; }

  void write(const std::string& relative, const std::string& bytes) const {
    std::filesystem::path file = path_ / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
  }

  std::string read(const std::string& relative) const {
    std::ifstream in(path_ / relative, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

 private:
  testing_support::OwnFolder own_;
  std::filesystem::path path_;
};

}  // namespace pe_test
