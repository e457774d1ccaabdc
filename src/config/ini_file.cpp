#include "config/ini_file.h"

#include <cstdio>
#include <memory>
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

namespace {

IniText ReadOpenIniText(std::FILE* file) {
  // The size from the position of the end, so that a file of gigabytes is never read to find it out. One too
  // large for a long cannot tell its end at all, and is too large as well.
  const bool sized = std::fseek(file, 0, SEEK_END) == 0;
  const long size = sized ? std::ftell(file) : -1;
  if (size < 0 || static_cast<unsigned long>(size) > kIniFileSizeLimit) {
    // A directory opens on Linux and may tell a huge end; it fails at its first read.
    std::rewind(file);
    return {std::fgetc(file) == EOF && std::ferror(file) ? IniTextStatus::kUnreadable : IniTextStatus::kTooLarge, {}};
  }
  std::rewind(file);
  // The limit holds here too, for a runtime that cannot tell where the end is and for a file that grows
  // meanwhile.
  std::string text;
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
    if (text.size() + got > kIniFileSizeLimit) return {IniTextStatus::kTooLarge, {}};
    text.append(chunk, got);
  }
  if (std::ferror(file)) return {IniTextStatus::kUnreadable, {}};
  return {IniTextStatus::kRead, std::move(text)};
}

}  // namespace

IniText ReadIniText(const std::string& path, bool asBytes) {
  // C stdio, not a file stream: the same runtime text mode (on Windows msvcrt's: CR LF reads as LF, a byte
  // 0x1A ends the text), without the C++ library's stream and locale machinery in the DLL. Closed also when
  // memory runs out while reading.
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), asBytes ? "rb" : "r"),
                                                             &std::fclose);
  if (file == nullptr) return {IniTextStatus::kUnreadable, {}};
  return ReadOpenIniText(file.get());
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
