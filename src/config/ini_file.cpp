#include "config/ini_file.h"

#include <cstdio>
#include <memory>
#include <utility>

namespace config {

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
  text.reserve(static_cast<std::size_t>(size));
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

std::string_view IniTextOf(std::string_view bytes) { return bytes.substr(0, bytes.find('\x1A')); }

std::string_view IniTextOf(const IniText& file) {
  return file.status == IniTextStatus::kRead ? IniTextOf(file.text) : std::string_view();
}

}  // namespace config
