// msvcrt's files: the low-level descriptor functions and the stdio ones the DLL and its runtime import.
// Paths are Windows paths under the game folder (win32.h). Descriptors opened without 'b' are in text
// mode as msvcrt has it: CR LF reads as LF, a Ctrl-Z ends the input, LF is written as CR LF. The host's
// own console streams pass bytes through unchanged. Streams are unbuffered, so fflush has nothing to do.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "win32.h"
#include "win32_msvcrt.h"

namespace simhost::pe::detail {
namespace {

constexpr int kIoRead = 0x01, kIoWrite = 0x02, kIoEof = 0x10, kIoError = 0x20, kIoReadWrite = 0x80;

// msvcrt's FILE; _iob is the first entries of the array, stdin, stdout and stderr first.
struct MsvcrtFile {
  char* ptr;
  int cnt;
  char* base;
  int flag;
  int file;
  int charbuf;
  int bufsiz;
  char* tmpfname;
};
static_assert(sizeof(MsvcrtFile) == 32);

constexpr int kMaxFiles = 512;
MsvcrtFile iob[kMaxFiles] = {
    {nullptr, 0, nullptr, kIoRead, 0, 0, 0, nullptr},
    {nullptr, 0, nullptr, kIoWrite, 1, 0, 0, nullptr},
    {nullptr, 0, nullptr, kIoWrite, 2, 0, 0, nullptr},
};

struct Descriptor {
  bool text = false;
  bool ctrl_z_seen = false;  // text input ended
  int pending = -1;          // a byte read ahead from an unseekable descriptor
};
constexpr int kMaxDescriptors = 1024;
Descriptor descriptors[kMaxDescriptors];

Descriptor* descriptor(int fd) {
  if (fd < 0 || fd >= kMaxDescriptors) {
    set_errno(EBADF);
    return nullptr;
  }
  return &descriptors[fd];
}

MsvcrtFile* checked(MsvcrtFile* f) {
  auto index = f - iob;
  if (!f || index < 0 || index >= kMaxFiles || f->flag == 0) {
    set_errno(EINVAL);
    return nullptr;
  }
  return f;
}

struct Mode {
  int flags = 0;
  int stream_flag = 0;
  bool text = true;
  bool ok = false;
};

Mode parse_mode(const char* mode) {
  Mode m;
  if (!mode) return m;
  bool plus = std::strchr(mode, '+');
  switch (mode[0]) {
    case 'r':
      m.flags = plus ? O_RDWR : O_RDONLY;
      break;
    case 'w':
      m.flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
      break;
    case 'a':
      m.flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
      break;
    default:
      return m;
  }
  m.stream_flag = plus ? kIoReadWrite : mode[0] == 'r' ? kIoRead : kIoWrite;
  m.text = !std::strchr(mode, 'b');
  m.ok = true;
  return m;
}

MsvcrtFile* new_stream(int fd, const Mode& m) {
  for (int i = 3; i < kMaxFiles; ++i)
    if (iob[i].flag == 0) {
      iob[i] = MsvcrtFile{nullptr, 0, nullptr, m.stream_flag, fd, 0, 0, nullptr};
      descriptors[fd] = Descriptor{m.text};
      return &iob[i];
    }
  set_errno(EMFILE);
  return nullptr;
}

int raw_write(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      set_errno_from_host();
      return -1;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

// Text-mode input: CR LF becomes LF, a lone CR stays, Ctrl-Z ends the input for good.
int read_text(int fd, Descriptor& d, char* out, unsigned count) {
  if (d.ctrl_z_seen || count == 0) return 0;
  unsigned got = 0;
  if (d.pending >= 0) {
    out[got++] = static_cast<char>(d.pending);
    d.pending = -1;
  }
  ssize_t n = ::read(fd, out + got, count - got);
  if (n < 0) {
    set_errno_from_host();
    return -1;
  }
  unsigned end = got + static_cast<unsigned>(n), kept = 0;
  for (unsigned i = 0; i < end; ++i) {
    char c = out[i];
    if (c == 0x1A) {
      d.ctrl_z_seen = true;
      break;
    }
    if (c == '\r') {
      char next;
      if (i + 1 < end) {
        if (out[i + 1] == '\n') {
          c = '\n';
          ++i;
        }
      } else if (::read(fd, &next, 1) == 1) {
        if (next == '\n')
          c = '\n';
        else if (::lseek(fd, -1, SEEK_CUR) < 0)
          d.pending = static_cast<unsigned char>(next);
      }
    }
    out[kept++] = c;
  }
  return static_cast<int>(kept);
}

int write_out(int fd, const char* data, size_t size) {
  Descriptor* d = descriptor(fd);
  if (!d) return -1;
  if (!d->text) return raw_write(fd, data, size);
  std::string translated;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') translated += '\r';
    translated += data[i];
  }
  return raw_write(fd, translated.data(), translated.size());
}

int stream_write(MsvcrtFile* f, const char* data, size_t size) {
  if (!checked(f)) return -1;
  if (write_out(f->file, data, size) < 0) {
    f->flag |= kIoError;
    return -1;
  }
  return 0;
}

// --- printf with msvcrt's conversions --------------------------------------------------------------
// Each conversion is handed to the host's snprintf on its own, with the argument fetched at the width
// msvcrt gives it: I64 is 64 bits, L is plain double, l/w with s or c and S/C are UTF-16.
std::string format(const char* fmt, va_list ap) {
  std::string out;
  while (*fmt) {
    if (*fmt != '%') {
      out += *fmt++;
      continue;
    }
    std::string piece = "%";
    ++fmt;
    while (*fmt && std::strchr("-+ #0", *fmt)) piece += *fmt++;
    auto number = [&] {
      if (*fmt == '*') {
        piece += std::to_string(va_arg(ap, int));
        ++fmt;
      }
      while (*fmt >= '0' && *fmt <= '9') piece += *fmt++;
    };
    number();
    if (*fmt == '.') {
      piece += *fmt++;
      number();
    }
    enum { Int, Long, LongLong, Short, Char, Wide } size = Int;
    if (std::strncmp(fmt, "I64", 3) == 0)
      size = LongLong, fmt += 3;
    else if (std::strncmp(fmt, "I32", 3) == 0)
      fmt += 3;
    else if (std::strncmp(fmt, "ll", 2) == 0)
      size = LongLong, fmt += 2;
    else if (std::strncmp(fmt, "hh", 2) == 0)
      size = Char, fmt += 2;
    else if (*fmt == 'I' || *fmt == 'L' || *fmt == 'z' || *fmt == 't' || *fmt == 'j')
      ++fmt;
    else if (*fmt == 'l')
      size = Long, ++fmt;
    else if (*fmt == 'w')
      size = Wide, ++fmt;
    else if (*fmt == 'h')
      size = Short, ++fmt;
    char conv = *fmt ? *fmt++ : '\0';
    char buf[512];
    auto put = [&](auto value) {
      std::snprintf(buf, sizeof buf, piece.c_str(), value);
      out += buf;
    };
    switch (conv) {
      case 'd':
      case 'i':
      case 'u':
      case 'o':
      case 'x':
      case 'X':
        if (size == LongLong) {
          piece += "ll";
          piece += conv;
          put(va_arg(ap, long long));
        } else {
          piece += size == Short ? "h" : size == Char ? "hh" : "";
          piece += conv;
          put(va_arg(ap, int));
        }
        break;
      case 'c':
      case 'C': {
        int c = va_arg(ap, int);
        bool wide = conv == 'C' || size == Long || size == Wide;
        char16_t w[2] = {static_cast<char16_t>(c), 0};
        piece += 's';
        put(wide ? narrow(w).c_str() : std::string(1, static_cast<char>(c)).c_str());
        break;
      }
      case 's':
      case 'S': {
        const void* p = va_arg(ap, const void*);
        bool wide = conv == 'S' || size == Long || size == Wide;
        std::string s = !p ? "(null)" : wide ? narrow(static_cast<const WCHAR*>(p)) : static_cast<const char*>(p);
        piece += 's';
        put(s.c_str());
        break;
      }
      case 'p':
        std::snprintf(buf, sizeof buf, "%08X", reinterpret_cast<uint32_t>(va_arg(ap, void*)));
        out += buf;
        break;
      case 'e':
      case 'E':
      case 'f':
      case 'F':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        piece += conv;
        put(va_arg(ap, double));
        break;
      case 'n':
        *va_arg(ap, int*) = static_cast<int>(out.size());
        break;
      case '%':
        out += '%';
        break;
      default:  // unknown conversion: shown as written, as msvcrt does
        out += piece;
        if (conv) out += conv;
    }
  }
  return out;
}

// --- the stand-ins ---------------------------------------------------------------------------------

SHIM_CDECL int msvcrt_read(int fd, char* buffer, unsigned count) {
  Descriptor* d = descriptor(fd);
  if (!d) return -1;
  if (d->text) return read_text(fd, *d, buffer, count);
  ssize_t n = ::read(fd, buffer, count);
  if (n < 0) set_errno_from_host();
  return static_cast<int>(n);
}

SHIM_CDECL int msvcrt_write(int fd, const char* buffer, unsigned count) {
  return write_out(fd, buffer, count) < 0 ? -1 : static_cast<int>(count);
}

SHIM_CDECL int msvcrt_close(int fd) {
  Descriptor* d = descriptor(fd);
  if (!d) return -1;
  *d = Descriptor{};
  if (::close(fd) != 0) {
    set_errno_from_host();
    return -1;
  }
  return 0;
}

SHIM_CDECL int64_t msvcrt_lseeki64(int fd, int64_t offset, int origin) {
  Descriptor* d = descriptor(fd);
  if (!d) return -1;
  if (d->pending >= 0 && origin == SEEK_CUR) --offset;
  d->pending = -1;
  d->ctrl_z_seen = false;
  off64_t at = ::lseek64(fd, offset, origin);
  if (at < 0) set_errno_from_host();
  return at;
}

// msvcrt's struct _stat64.
struct Stat64 {
  uint32_t dev;
  uint16_t ino;
  uint16_t mode;
  int16_t nlink, uid, gid, pad0;
  uint32_t rdev;
  uint32_t pad1;
  int64_t size;
  int64_t atime, mtime, ctime;
};
static_assert(sizeof(Stat64) == 56 && offsetof(Stat64, rdev) == 16 && offsetof(Stat64, size) == 24 &&
              offsetof(Stat64, ctime) == 48);

SHIM_CDECL int msvcrt_fstat64(int fd, Stat64* out) {
  struct stat64 st;
  if (!descriptor(fd)) return -1;
  if (::fstat64(fd, &st) != 0) {
    set_errno_from_host();
    return -1;
  }
  Stat64 s{};
  s.dev = s.rdev = static_cast<uint32_t>(st.st_dev);
  // Type bits have the same values; Windows repeats the owner's permissions for group and others.
  unsigned owner = st.st_mode & 0700;
  s.mode = static_cast<uint16_t>((st.st_mode & S_IFMT) | owner | owner >> 3 | owner >> 6);
  s.nlink = static_cast<int16_t>(st.st_nlink);
  s.size = st.st_size;
  s.atime = st.st_atime;
  s.mtime = st.st_mtime;
  s.ctime = st.st_ctime;
  std::memcpy(out, &s, sizeof s);
  return 0;
}

// Built on first use: the simulated host resets it while it maps the image, before other static objects exist.
std::filesystem::path& held_file() {
  static std::filesystem::path file;
  return file;
}

long file_read_count = 0;

// Opens a path already mapped into the game folder (empty: not on the simulated machine).
MsvcrtFile* open_stream(const std::filesystem::path& real, const char* mode) {
  if (mode[0] == 'r') ++file_read_count;
  Mode m = parse_mode(mode);
  if (!m.ok) {
    set_errno(EINVAL);
    return nullptr;
  }
  if (real.empty()) {
    set_errno(ENOENT);
    return nullptr;
  }
  if (!held_file().empty() && real.lexically_normal() == held_file()) {
    set_errno(EACCES);  // msvcrt's answer to a sharing violation
    return nullptr;
  }
  int fd = ::open(real.c_str(), m.flags | O_CLOEXEC, 0666);
  if (fd < 0) {
    set_errno_from_host();
    return nullptr;
  }
  if (fd >= kMaxDescriptors) {
    ::close(fd);
    set_errno(EMFILE);
    return nullptr;
  }
  MsvcrtFile* f = new_stream(fd, m);
  if (!f) ::close(fd);
  return f;
}

// A narrow path is in the ANSI code page, as msvcrt hands it to CreateFileA.
SHIM_CDECL MsvcrtFile* msvcrt_fopen(const char* path, const char* mode) {
  if (!path || !mode) {
    set_errno(EINVAL);
    return nullptr;
  }
  return open_stream(ansi_to_host_path(path), mode);
}

SHIM_CDECL MsvcrtFile* msvcrt_wfopen(const WCHAR* path, const WCHAR* mode) {
  if (!path || !mode) {
    set_errno(EINVAL);
    return nullptr;
  }
  return open_stream(to_host_path(narrow(path)), narrow(mode).c_str());
}

SHIM_CDECL MsvcrtFile* msvcrt_fdopen(int fd, const char* mode) {
  Mode m = parse_mode(mode);
  if (!m.ok) {
    set_errno(EINVAL);
    return nullptr;
  }
  if (!descriptor(fd)) return nullptr;
  return new_stream(fd, m);
}

SHIM_CDECL int msvcrt_fclose(MsvcrtFile* f) {
  if (!checked(f)) return -1;
  int fd = f->file;
  *f = MsvcrtFile{};
  return msvcrt_close(fd);
}

SHIM_CDECL int msvcrt_fileno(MsvcrtFile* f) { return checked(f) ? f->file : -1; }
SHIM_CDECL int msvcrt_fflush(MsvcrtFile* f) { return !f || checked(f) ? 0 : -1; }
SHIM_CDECL int msvcrt_setvbuf(MsvcrtFile* f, char*, int, size_t) { return checked(f) ? 0 : -1; }

SHIM_CDECL int msvcrt_fputc(int c, MsvcrtFile* f) {
  char ch = static_cast<char>(c);
  return stream_write(f, &ch, 1) < 0 ? -1 : c & 0xFF;
}

SHIM_CDECL int msvcrt_fputs(const char* s, MsvcrtFile* f) { return stream_write(f, s, std::strlen(s)) < 0 ? -1 : 0; }

SHIM_CDECL size_t msvcrt_fwrite(const void* data, size_t size, size_t count, MsvcrtFile* f) {
  if (size == 0 || count == 0) return 0;
  if (count > SIZE_MAX / size) {
    set_errno(EINVAL);
    return 0;
  }
  return stream_write(f, static_cast<const char*>(data), size * count) < 0 ? 0 : count;
}

// The reads of the configuration: unbuffered like the rest, so a stream's position is its descriptor's, less a
// byte read ahead.
SHIM_CDECL size_t msvcrt_fread(void* data, size_t size, size_t count, MsvcrtFile* f) {
  if (!checked(f) || size == 0 || count == 0) return 0;
  if (count > SIZE_MAX / size) {
    set_errno(EINVAL);
    return 0;
  }
  const size_t total = size * count;
  size_t got = 0;
  while (got < total) {
    const unsigned chunk = static_cast<unsigned>(std::min<size_t>(total - got, 1u << 30));
    const int n = msvcrt_read(f->file, static_cast<char*>(data) + got, chunk);
    if (n <= 0) {
      f->flag |= n < 0 ? kIoError : kIoEof;
      break;
    }
    got += static_cast<size_t>(n);
  }
  return got / size;
}

SHIM_CDECL int msvcrt_fgetc(MsvcrtFile* f) {
  unsigned char c = 0;
  return msvcrt_fread(&c, 1, 1, f) == 1 ? c : EOF;
}

SHIM_CDECL int msvcrt_ferror(MsvcrtFile* f) { return checked(f) ? f->flag & kIoError : 0; }

SHIM_CDECL int msvcrt_fseek(MsvcrtFile* f, long offset, int origin) {
  if (!checked(f)) return -1;
  f->flag &= ~kIoEof;
  return msvcrt_lseeki64(f->file, offset, origin) < 0 ? -1 : 0;
}

// A position beyond what a long holds fails, as msvcrt's does.
SHIM_CDECL long msvcrt_ftell(MsvcrtFile* f) {
  if (!checked(f)) return -1;
  Descriptor* d = descriptor(f->file);
  off64_t at = ::lseek64(f->file, 0, SEEK_CUR);
  if (at < 0) {
    set_errno_from_host();
    return -1;
  }
  if (d->pending >= 0) --at;
  if (at > LONG_MAX) {
    set_errno(EINVAL);
    return -1;
  }
  return static_cast<long>(at);
}

SHIM_CDECL void msvcrt_rewind(MsvcrtFile* f) {
  if (msvcrt_fseek(f, 0, SEEK_SET) == 0) f->flag &= ~kIoError;
}

SHIM_CDECL int msvcrt_vfprintf(MsvcrtFile* f, const char* fmt, va_list ap) {
  std::string text = format(fmt, ap);
  return stream_write(f, text.data(), text.size()) < 0 ? -1 : static_cast<int>(text.size());
}

SHIM_CDECL int msvcrt_fprintf(MsvcrtFile* f, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = msvcrt_vfprintf(f, fmt, ap);
  va_end(ap);
  return n;
}

SHIM_CDECL int msvcrt_printf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = msvcrt_vfprintf(&iob[1], fmt, ap);
  va_end(ap);
  return n;
}

const Shim kShims[] = {
    {"_close", reinterpret_cast<void*>(&msvcrt_close)},
    {"_fdopen", reinterpret_cast<void*>(&msvcrt_fdopen)},
    {"_fileno", reinterpret_cast<void*>(&msvcrt_fileno)},
    {"_fstat64", reinterpret_cast<void*>(&msvcrt_fstat64)},
    {"_iob", static_cast<void*>(iob)},
    {"_lseeki64", reinterpret_cast<void*>(&msvcrt_lseeki64)},
    {"_read", reinterpret_cast<void*>(&msvcrt_read)},
    {"_wfopen", reinterpret_cast<void*>(&msvcrt_wfopen)},
    {"_write", reinterpret_cast<void*>(&msvcrt_write)},
    {"fclose", reinterpret_cast<void*>(&msvcrt_fclose)},
    {"ferror", reinterpret_cast<void*>(&msvcrt_ferror)},
    {"fflush", reinterpret_cast<void*>(&msvcrt_fflush)},
    {"fgetc", reinterpret_cast<void*>(&msvcrt_fgetc)},
    {"fopen", reinterpret_cast<void*>(&msvcrt_fopen)},
    {"fprintf", reinterpret_cast<void*>(&msvcrt_fprintf)},
    {"fputc", reinterpret_cast<void*>(&msvcrt_fputc)},
    {"fputs", reinterpret_cast<void*>(&msvcrt_fputs)},
    {"fread", reinterpret_cast<void*>(&msvcrt_fread)},
    {"fseek", reinterpret_cast<void*>(&msvcrt_fseek)},
    {"ftell", reinterpret_cast<void*>(&msvcrt_ftell)},
    {"fwrite", reinterpret_cast<void*>(&msvcrt_fwrite)},
    {"printf", reinterpret_cast<void*>(&msvcrt_printf)},
    {"rewind", reinterpret_cast<void*>(&msvcrt_rewind)},
    {"setvbuf", reinterpret_cast<void*>(&msvcrt_setvbuf)},
    {"vfprintf", reinterpret_cast<void*>(&msvcrt_vfprintf)},
};

}  // namespace

std::span<const Shim> msvcrt_io_shims() { return kShims; }

}  // namespace simhost::pe::detail

long simhost::pe::file_reads() { return detail::file_read_count; }

void simhost::pe::set_held_file(std::filesystem::path file) { detail::held_file() = file.lexically_normal(); }
