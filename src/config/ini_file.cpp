#include "config/ini_file.h"

#include <fstream>
#include <new>
#include <stdexcept>
#include <utility>

#include "platform/platform.h"

namespace config {

std::string ResolveIniPath(std::string_view fileName) {
  // The lookup is not checked: with no module found the handle stays null, which names the executable, and
  // the reader looks in the host's directory instead. So it does when the module's path cannot be had whole
  // (a cut one names a parent folder); without the executable's either, the name stands alone.
  platform::ModuleHandle module = nullptr;
  platform::ModuleOfAddress(reinterpret_cast<const void*>(&ResolveIniPath), module);
  char modulePath[260];
  if (!platform::ModulePath(module, modulePath, sizeof modulePath)) {
    platform::ModulePath(nullptr, modulePath, sizeof modulePath);
  }
  return ResolveIniPathFrom(fileName, modulePath, platform::kPathSeparator);
}

IniText ReadIniText(const std::string& path, bool asBytes) {
  std::ifstream file(path, asBytes ? std::ios::in | std::ios::binary : std::ios::in);
  if (!file.is_open()) return {IniTextStatus::kUnreadable, {}};
  // The size from the position of the end, so that a file of gigabytes is never read to find it out.
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size > static_cast<std::streamoff>(kIniFileSizeLimit)) {
    // A directory opens on Linux and may tell a huge end; it fails at its first read.
    file.seekg(0, std::ios::beg);
    file.peek();
    return {file.bad() ? IniTextStatus::kUnreadable : IniTextStatus::kTooLarge, {}};
  }
  file.clear();
  file.seekg(0, std::ios::beg);
  // istream::read turns a failing read (a directory opens on Linux, then fails) into badbit, where a
  // streambuf iterator would let the library's exception through. The limit holds here too, for a runtime
  // that cannot tell where the end is and for a file that grows meanwhile.
  std::string text;
  char chunk[4096];
  while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
    const auto got = static_cast<std::size_t>(file.gcount());
    if (text.size() + got > kIniFileSizeLimit) return {IniTextStatus::kTooLarge, {}};
    text.append(chunk, got);
  }
  if (file.bad()) return {IniTextStatus::kUnreadable, {}};
  return {IniTextStatus::kRead, std::move(text)};
}

IniFile::IniFile(std::string_view fileName) : path_(ResolveIniPath(fileName)) {
  try {
    const IniText file = ReadIniText(path_);
    if (file.status == IniTextStatus::kRead) ParseIniText(file.text, sections_);
  } catch (const std::bad_alloc&) {
    sections_.clear();  // a file too large for the process's memory reads as no file
  } catch (const std::length_error&) {
    sections_.clear();
  }
}

IniFile::IniFile(std::string path, std::string_view text, const IniLineObserver& observe) : path_(std::move(path)) {
  ParseIniText(text, sections_, observe);
}

std::string IniFile::FindValue(const char* section, const char* key, const std::string& fallback) const {
  const std::string* value = FindIniValue(sections_, section, key);
  return value != nullptr ? *value : fallback;
}

bool IniFile::ReadBool(const char* section, const char* key, bool defaultValue) const {
  return ConvertBool(FindValue(section, key, std::string()), defaultValue);
}

// A missing key gives the caller's default as it is, not written out as text and read back, which would
// lose every digit after the sixth decimal.
float IniFile::ReadFloat(const char* section, const char* key, float defaultValue) const {
  const std::string* value = FindIniValue(sections_, section, key);
  return value != nullptr ? ConvertFloat(*value) : defaultValue;
}

std::int32_t IniFile::ReadInt(const char* section, const char* key, std::int32_t defaultValue) const {
  const std::string* value = FindIniValue(sections_, section, key);
  return value != nullptr ? ConvertInt(*value) : defaultValue;
}

}  // namespace config
