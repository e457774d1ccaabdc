#pragma once
// A folder of the running test's own for the files it writes. ctest runs each test in a process of its own and
// many of them at once, in any order: a file name shared by two tests (or by the same test in two runs side by
// side) lets one read what the other wrote.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace testing_support {

// The running test's name as a file name: "Suite.Test" with every character that is not a letter, a digit, '.',
// '-' or '_' as '_' (a parameterised test's name holds '/'), cut short enough to leave room for the rest.
inline std::string TestFileName() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "outside-a-test";
  for (char& c : name) {
    const bool plain =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
    if (!plain) c = '_';
  }
  return name.substr(0, 120);
}

// <temporary folder>/zephrel-<process id>-<test name>, made when the object is and removed, with all it holds, when
// it goes. A second folder in the same test, or a folder left by an earlier process of the same id, gets "-2",
// "-3"...: a folder is only ever made anew, never taken over.
class OwnFolder {
 public:
  OwnFolder() {
    const std::string stem =
        (std::filesystem::temp_directory_path() / ("zephrel-" + std::to_string(getpid()) + "-" + TestFileName()))
            .string();
    for (int n = 1;; ++n) {
      const std::string candidate = n == 1 ? stem : stem + "-" + std::to_string(n);
      std::error_code error;
      if (std::filesystem::create_directory(candidate, error)) {
        path_ = candidate;
        return;
      }
      if (error) {
        std::fprintf(stderr, "cannot make %s: %s\n", candidate.c_str(), error.message().c_str());
        std::abort();
      }
    }
  }
  ~OwnFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  OwnFolder(const OwnFolder&) = delete;
  OwnFolder& operator=(const OwnFolder&) = delete;

  const std::string& path() const { return path_; }
  // The path of `name` in the folder.
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Writes `content` as `name` in the folder, its folders made as needed; returns its path.
  std::string Write(const std::string& name, const std::string& content) const {
    const std::string file = File(name);
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    std::ofstream(file, std::ios::binary) << content;
    return file;
  }

 private:
  std::string path_;
};

}  // namespace testing_support
