// Settings of the simulated Windows side and the lookup of stand-ins by DLL and function name.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "thread_block.h"
#include "win32.h"
#include "win32_internal.h"

namespace simhost::pe {
namespace {

struct HostSettings {
  uint32_t image_base = 0x400000;
  uint32_t image_size = 0xC98000 - 0x400000;
  std::string executable = "game.exe";
  std::filesystem::path folder;
  bool folder_is_ours = false;  // a temporary folder we made and remove at exit
  uint32_t ansi_code_page = 1252;
  bool short_names = true;
};

HostSettings& settings() {
  static HostSettings s;
  return s;
}

void remove_our_folder() {
  if (settings().folder_is_ours) {
    std::error_code ec;
    std::filesystem::remove_all(settings().folder, ec);
  }
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// --- short names -----------------------------------------------------------------------------------
bool short_name_char(char c) {
  c = upper(c);
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || (c != '\0' && std::strchr("!#$%&'()-@^_`{}~", c));
}

bool is_short_name(std::string_view name) {
  size_t dot = name.find('.');
  std::string_view base = name.substr(0, dot);
  std::string_view ext = dot == std::string_view::npos ? std::string_view{} : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3 || (dot != std::string_view::npos && ext.empty())) return false;
  return std::all_of(base.begin(), base.end(), short_name_char) && std::all_of(ext.begin(), ext.end(), short_name_char);
}

// The short-name characters of `text`, upper-cased, at most `limit` of them.
std::string short_chars(std::string_view text, size_t limit) {
  std::string out;
  for (char c : text)
    if (out.size() < limit && short_name_char(c)) out += upper(c);
  return out;
}

// "STEM~.EXT" of a name that needs a short name, the number left out.
std::pair<std::string, std::string> alias_parts(std::string_view name) {
  size_t dot = name.rfind('.');
  if (dot == 0) dot = std::string_view::npos;
  std::string stem = short_chars(name.substr(0, dot), 6);
  std::string ext = dot == std::string_view::npos ? "" : short_chars(name.substr(dot + 1), 3);
  if (stem.empty()) {
    uint32_t sum = 0;
    for (unsigned char c : name) sum = sum * 31 + c;
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", sum & 0xFFFF);
    stem = hex;
  }
  return {stem, ext};
}

// The short name of the entry `name` of `directory`.
std::string short_name_in(const std::filesystem::path& directory, const std::string& name) {
  if (!settings().short_names || is_short_name(name)) return name;
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(directory, ec))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  auto parts = alias_parts(name);
  int number = 0;
  for (const std::string& other : names) {
    if (!is_short_name(other) && alias_parts(other) == parts) ++number;
    if (other == name) break;
  }
  return parts.first + "~" + std::to_string(number) + (parts.second.empty() ? "" : "." + parts.second);
}

// The entry of `directory` that `part` names: itself, one differing only in case, or one whose short name
// it is. Empty when there is none.
std::string entry_named(const std::filesystem::path& directory, const std::string& part) {
  std::error_code ec;
  if (std::filesystem::exists(directory / part, ec)) return part;
  for (const auto& entry : std::filesystem::directory_iterator(directory, ec)) {
    std::string name = entry.path().filename().string();
    if (detail::iequals(name, part) || detail::iequals(short_name_in(directory, name), part)) return name;
  }
  return {};
}

// Walks a Windows path (UTF-8) into the game folder: the real path, and with `short_path` the path with
// each component in its short name (every one must exist then). Empty when the path leaves the folder.
std::filesystem::path walk(std::string_view windows_path, std::string* short_path) {
  std::string prefix = windows_folder();
  std::string path(windows_path);
  std::replace(path.begin(), path.end(), '/', '\\');  // Windows takes either separator
  std::string_view rest = path;
  if (rest.size() >= prefix.size() && detail::iequals(rest.substr(0, prefix.size()), prefix)) {
    rest.remove_prefix(prefix.size());
    if (short_path) *short_path = prefix;
  } else if (rest.size() >= 2 && rest[1] == ':') {
    return {};  // another folder or drive: not part of the simulated machine
  } else if (!rest.empty() && rest[0] == '\\') {
    return {};
  }

  std::filesystem::path out = host_folder();
  while (!rest.empty()) {
    size_t cut = rest.find('\\');
    std::string part(rest.substr(0, cut));
    rest = cut == std::string_view::npos ? std::string_view{} : rest.substr(cut + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") return {};  // stays inside the folder
    if (std::string found = entry_named(out, part); !found.empty()) {
      part = found;
    } else if (short_path) {
      return {};
    }
    if (short_path)
      *short_path += short_name_in(out, part) + (rest.empty() && cut == std::string_view::npos ? "" : "\\");
    out /= part;
  }
  return out;
}

}  // namespace

namespace detail {

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

std::string narrow(const WCHAR* text) {
  std::string out;
  for (; text && *text; ++text) {
    uint32_t c = *text;
    if (c >= 0xD800 && c < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(*++text) - 0xDC00);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace detail

void* find_shim(std::string_view dll, std::string_view function) {
  std::span<const detail::Shim> table;
  if (detail::iequals(dll, "KERNEL32.dll"))
    table = detail::kernel32_shims();
  else if (detail::iequals(dll, "USER32.dll"))
    table = detail::user32_shims();
  else if (detail::iequals(dll, "msvcrt.dll"))
    table = detail::msvcrt_shims();
  for (const detail::Shim& s : table)
    if (function == s.name) return s.address;
  return nullptr;
}

void set_host_image(uint32_t base, uint32_t size) {
  settings().image_base = base;
  settings().image_size = size;
  ThreadBlock::current().peb_word(peb::kImageBase) = base;
}

uint32_t host_image_base() { return settings().image_base; }
uint32_t host_image_size() { return settings().image_size; }
void set_host_executable_name(std::string name) { settings().executable = std::move(name); }

void set_host_folder(const std::filesystem::path& directory) {
  remove_our_folder();
  settings().folder = directory;
  settings().folder_is_ours = false;
}

const std::filesystem::path& host_folder() {
  HostSettings& s = settings();
  if (s.folder.empty()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "simhost-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    s.folder = pattern;
    s.folder_is_ours = true;
    std::atexit(remove_our_folder);
  }
  return s.folder;
}

std::string windows_folder() { return "C:\\Games\\Host\\"; }
std::string host_executable_path() { return windows_folder() + settings().executable; }

std::filesystem::path to_host_path(std::string_view windows_path) { return walk(windows_path, nullptr); }

std::filesystem::path ansi_to_host_path(std::string_view ansi_path) {
  std::u16string wide;
  if (!detail::decode(0, ansi_path.data(), static_cast<int>(ansi_path.size()), wide)) return {};
  return to_host_path(detail::narrow(wide.c_str()));
}

void set_ansi_code_page(uint32_t code_page) { settings().ansi_code_page = code_page; }
uint32_t ansi_code_page() { return settings().ansi_code_page; }
void set_short_names(bool kept) { settings().short_names = kept; }

namespace detail {

bool short_windows_path(std::string_view windows_path, std::string& short_path) {
  short_path.clear();
  return !walk(windows_path, &short_path).empty();
}

}  // namespace detail

}  // namespace simhost::pe
