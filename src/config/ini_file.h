#pragma once
// The reader of INI-style configuration files. Constructing one finds the file next to the plug-in's own
// module, reads it whole, parses it (ini_parser.h) and lets the file go; the typed queries then answer with a
// caller's default for whatever is missing. A reader never writes and never reloads: a changed file is seen
// by a new reader only.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/ini_parser.h"

namespace config {

class IniFile {
 public:
  // Reads `fileName` as ResolveIniPath resolves it. Never fails for reasons of the file: one that is missing,
  // cannot be opened or is empty leaves the reader without sections, so every query gives its default.
  explicit IniFile(std::string_view fileName);

  // A reader over text already read from `path`, for tools that explain a file line by line.
  IniFile(std::string path, std::string_view text, const IniLineObserver& observe = nullptr);

  const std::string& path() const { return path_; }
  const IniSections& sections() const { return sections_; }

  // The stored value, even an empty one, or `fallback` when the section or the key is missing.
  std::string FindValue(const char* section, const char* key, const std::string& fallback) const;

  bool ReadBool(const char* section, const char* key, bool defaultValue) const;
  float ReadFloat(const char* section, const char* key, float defaultValue) const;
  // Throws NotAnInteger or IntegerOutOfRange (ini_parser.h) for a present value that does not convert.
  std::int32_t ReadInt(const char* section, const char* key, std::int32_t defaultValue) const;

 private:
  std::string path_;
  IniSections sections_;
};

// The path IniFile(fileName) reads, for the module that holds this code: on Windows the plug-in DLL, in a
// program linking the reader the program itself. See ResolveIniPathFrom for the rules. When that module's
// path cannot be had whole, the executable's serves; when neither can, the name stands alone.
std::string ResolveIniPath(std::string_view fileName);

// A larger file is no configuration (a log or a disk image under the wrong name): it is not read at all,
// and every setting keeps its default, as for a missing file.
inline constexpr std::size_t kIniFileSizeLimit = 1024 * 1024;

enum class IniTextStatus { kRead, kUnreadable, kTooLarge };

struct IniText {
  IniTextStatus status;
  std::string text;  // the content when read, else empty
};

// The whole file at `path`, read as the plug-in reads it: in text mode, where on Windows CR LF reads as LF
// and a byte 0x1A (Ctrl-Z) ends the text; with `asBytes`, the bytes as they are. Its size is looked at
// before anything is read.
IniText ReadIniText(const std::string& path, bool asBytes = false);

}  // namespace config
