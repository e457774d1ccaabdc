// Settings of the simulated Windows side and the lookup of stand-ins by DLL and function name.
#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "thread_block.h"
#include "win32.h"
#include "win32_internal.h"

namespace simhost::pe {
namespace {

struct HostSettings {
    uint32_t image_base = 0x400000;
    uint32_t image_size = 0xC98000 - 0x400000;
    std::string executable = "gta_sa.exe";
    std::filesystem::path folder;
    bool folder_is_ours = false;  // a temporary folder we made and remove at exit
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

std::filesystem::path to_host_path(std::string_view windows_path) {
    std::string prefix = windows_folder();
    std::string path(windows_path);
    std::replace(path.begin(), path.end(), '/', '\\');  // Windows takes either separator
    std::string_view rest = path;
    if (rest.size() >= prefix.size() && detail::iequals(rest.substr(0, prefix.size()), prefix))
        rest.remove_prefix(prefix.size());
    else if (rest.size() >= 2 && rest[1] == ':')
        return {};  // another folder or drive: not part of the simulated machine
    else if (!rest.empty() && rest[0] == '\\')
        return {};

    std::filesystem::path out = host_folder();
    while (!rest.empty()) {
        size_t cut = rest.find('\\');
        std::string part(rest.substr(0, cut));
        rest = cut == std::string_view::npos ? std::string_view{} : rest.substr(cut + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") return {};  // stays inside the folder
        std::error_code ec;
        if (!std::filesystem::exists(out / part, ec))
            for (const auto& entry : std::filesystem::directory_iterator(out, ec))
                if (detail::iequals(entry.path().filename().string(), part)) {
                    part = entry.path().filename().string();
                    break;
                }
        out /= part;
    }
    return out;
}

}  // namespace simhost::pe
