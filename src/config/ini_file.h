#pragma once
// Reading a configuration file: its whole text, found too large or unreadable before anything is parsed. What the
// text means is ini_parser.h's, and what the settings make of it settings.h's.

#include <cstddef>
#include <string>
#include <string_view>

namespace config {

// A larger file is no configuration (a log or a disk image under the wrong name): it is not read at all, and every
// setting keeps its default, as for a missing file. In mebibytes, as the players' messages give it.
inline constexpr unsigned kIniFileSizeLimitMiB = 1;
inline constexpr std::size_t kIniFileSizeLimit = std::size_t{kIniFileSizeLimitMiB} * 1024 * 1024;

enum class IniTextStatus { kRead, kUnreadable, kTooLarge };

struct IniText {
  IniTextStatus status;
  std::string text;  // the content when read, else empty
};

// The whole file at `path`, read as the plug-in reads it: in text mode, where on Windows CR LF reads as LF
// and a byte 0x1A (Ctrl-Z) ends the text; with `asBytes`, the bytes as they are. Its size is looked at
// before anything is read. Throws only when memory runs out.
IniText ReadIniText(const std::string& path, bool asBytes = false);

// The text the plug-in reads of a file whose bytes are `bytes`: all of it up to the first byte 0x1A (Ctrl-Z),
// where the text mode of Windows ends a file.
std::string_view IniTextOf(std::string_view bytes);

// The same of a file as ReadIniText gave it, in bytes or not; nothing when it was not read.
std::string_view IniTextOf(const IniText& file);

}  // namespace config
