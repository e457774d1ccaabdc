// KERNEL32 stand-ins. Memory protection, module lookup and the clocks are real; threads, events and
// semaphores are single-threaded stand-ins, since the simulated host runs DLL code on one thread: a
// wait that nothing could ever end stops the test instead of hanging it.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "memory_map.h"
#include "pe_loader.h"
#include "thread_block.h"
#include "win32.h"
#include "win32_internal.h"

namespace simhost::pe {
namespace detail {

int system_work = 0;

SystemWork::SystemWork() { ++system_work; }
SystemWork::~SystemWork() { --system_work; }

void set_last_error(DWORD error) { ThreadBlock::current().teb_word(teb::kLastError) = error; }
DWORD last_error() { return ThreadBlock::current().teb_word(teb::kLastError); }

}  // namespace detail

using namespace detail;

namespace {

constexpr DWORD kErrorBadLength = 24;
constexpr DWORD kErrorTooManyPosts = 298;
constexpr DWORD kErrorNoAccess = 998;
constexpr DWORD kErrorNoUnicodeTranslation = 1113;

constexpr DWORD kInfinite = 0xFFFFFFFF;
constexpr DWORD kWaitObject0 = 0;
constexpr DWORD kWaitTimeout = 0x102;
constexpr DWORD kWaitFailed = 0xFFFFFFFF;

const auto kCurrentProcess = reinterpret_cast<HANDLE>(-1);
const auto kCurrentThread = reinterpret_cast<HANDLE>(-2);

uint32_t module_lookup_failure = 0;
long file_attribute_query_count = 0;

// Sets the thread's last error and gives back what the failing function returns.
template <class T>
T failed(DWORD error, T result) {
  set_last_error(error);
  return result;
}

// --- system DLLs -----------------------------------------------------------------------------------
// Handles for the DLLs the stand-ins play, so GetModuleHandleA("kernel32.dll") + GetProcAddress works.
struct SystemDll {
  const char* name;
  uint32_t handle;
};
constexpr SystemDll kSystemDlls[] = {
    {"KERNEL32.dll", 0x7C800000},
    {"USER32.dll", 0x7E410000},
    {"msvcrt.dll", 0x77C10000},
};

const SystemDll* system_dll_named(std::string_view name) {
  for (const SystemDll& d : kSystemDlls) {
    std::string_view n = d.name;
    if (iequals(name, n) || iequals(name, n.substr(0, n.size() - 4))) return &d;
  }
  return nullptr;
}

const SystemDll* system_dll_at(uint32_t handle) {
  for (const SystemDll& d : kSystemDlls)
    if (d.handle == handle) return &d;
  return nullptr;
}

uint32_t module_handle_named(std::string_view name) {
  if (const Module* m = module_named(name)) return m->base();
  if (const SystemDll* d = system_dll_named(name)) return d->handle;
  std::string exe = host_executable_path().substr(windows_folder().size());
  if (iequals(name, exe) || iequals(name, host_executable_path())) return host_image_base();
  return 0;
}

// --- handles ---------------------------------------------------------------------------------------
struct Object {
  enum Kind { Event, Semaphore, Thread, Process } kind;
  bool manual_reset = false;
  bool signalled = false;
  LONG count = 0;
  LONG maximum = 0;
};

std::mutex handles_mutex;
std::map<uint32_t, std::shared_ptr<Object>> handles;
uint32_t next_handle = 0x100;

HANDLE new_handle(std::shared_ptr<Object> object) {
  std::lock_guard lock(handles_mutex);
  uint32_t h = next_handle;
  next_handle += 4;
  handles[h] = std::move(object);
  return reinterpret_cast<HANDLE>(h);
}

std::shared_ptr<Object> object_of(HANDLE h) {
  std::lock_guard lock(handles_mutex);
  auto it = handles.find(reinterpret_cast<uint32_t>(h));
  return it == handles.end() ? nullptr : it->second;
}

// Takes the object if it is signalled now (auto-reset events and semaphores are consumed).
bool try_acquire(Object& o) {
  switch (o.kind) {
    case Object::Event:
      if (!o.signalled) return false;
      if (!o.manual_reset) o.signalled = false;
      return true;
    case Object::Semaphore:
      if (o.count == 0) return false;
      --o.count;
      return true;
    default:
      return false;  // the only threads and processes are the running ones: never ended
  }
}

DWORD wait_out(DWORD milliseconds) {
  if (milliseconds == kInfinite) {
    std::fprintf(stderr, "simhost pe: DLL waits forever for an object that nothing can signal\n");
    std::abort();
  }
  timespec t{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000};
  nanosleep(&t, nullptr);
  return kWaitTimeout;
}

// --- TLS slots -------------------------------------------------------------------------------------
std::array<uint32_t, teb::kTlsSlotCount> slot_owner{};  // module base, or 1 for the host itself
std::array<bool, teb::kTlsSlotCount> slot_used{};

// --- memory ----------------------------------------------------------------------------------------
constexpr DWORD kPageNoAccess = 0x01, kPageReadOnly = 0x02, kPageReadWrite = 0x04, kPageWriteCopy = 0x08,
                kPageExecute = 0x10, kPageExecuteRead = 0x20, kPageExecuteReadWrite = 0x40,
                kPageExecuteWriteCopy = 0x80;
constexpr DWORD kMemCommit = 0x1000, kMemFree = 0x10000, kMemPrivate = 0x20000, kMemImage = 0x1000000;

int prot_from_page(DWORD page, bool& ok) {
  ok = true;
  switch (page & 0xFF) {
    case kPageNoAccess:
      return PROT_NONE;
    case kPageReadOnly:
      return PROT_READ;
    case kPageReadWrite:
    case kPageWriteCopy:
      return PROT_READ | PROT_WRITE;
    case kPageExecute:
      return PROT_EXEC;
    case kPageExecuteRead:
      return PROT_READ | PROT_EXEC;
    case kPageExecuteReadWrite:
    case kPageExecuteWriteCopy:
      return PROT_READ | PROT_WRITE | PROT_EXEC;
    default:
      ok = false;
      return PROT_NONE;
  }
}

DWORD page_from_prot(int prot) {
  bool x = prot & PROT_EXEC, w = prot & PROT_WRITE, r = prot & PROT_READ;
  if (x) return w ? kPageExecuteReadWrite : r ? kPageExecuteRead : kPageExecute;
  return w ? kPageReadWrite : r ? kPageReadOnly : kPageNoAccess;
}

struct MemoryBasicInformation {
  uint32_t BaseAddress, AllocationBase, AllocationProtect, RegionSize, State, Protect, Type;
};
static_assert(sizeof(MemoryBasicInformation) == 28);

// The image (a loaded module or the host executable) that holds address, as [begin, end).
bool image_range(uint32_t address, uint32_t& begin, uint32_t& end) {
  if (const Module* m = module_containing(address)) {
    begin = m->base(), end = m->base() + m->size();
    return true;
  }
  if (address - host_image_base() < host_image_size()) {
    begin = host_image_base(), end = host_image_base() + host_image_size();
    return true;
  }
  return false;
}

// --- text conversion -------------------------------------------------------------------------------
constexpr UINT kCpAcp = 0;
constexpr UINT kCpUtf8 = 65001;
// Windows-1252 0x80..0x9F; the rest of the code page is Latin-1.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

UINT resolved(UINT cp) { return cp == kCpAcp ? ansi_code_page() : cp; }

// A few of the look-alikes Windows' best-fit table for Windows-1252 has: fullwidth ASCII and some Latin
// letters with marks the code page lacks. 0 for none.
char16_t best_fit_of(char16_t c) {
  if (c >= 0xFF01 && c <= 0xFF5E) return static_cast<char16_t>(c - 0xFEE0);
  switch (c) {
    case 0x0100:
    case 0x0102:
    case 0x0104:
      return u'A';
    case 0x0101:
    case 0x0103:
    case 0x0105:
      return u'a';
    case 0x0141:
      return u'L';
    case 0x0142:
      return u'l';
    default:
      return 0;
  }
}

bool is_high_surrogate(char16_t c) { return c >= 0xD800 && c < 0xDC00; }
bool is_low_surrogate(char16_t c) { return c >= 0xDC00 && c < 0xE000; }

}  // namespace

namespace detail {

bool decode(UINT cp, const char* src, int len, std::u16string& out) {
  cp = resolved(cp);
  auto* s = reinterpret_cast<const unsigned char*>(src);
  for (int i = 0; i < len;) {
    unsigned char b = s[i];
    if (cp != kCpUtf8) {
      out += b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
      ++i;
      continue;
    }
    int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || i + extra >= len) return false;
    static constexpr uint8_t kLeadMask[] = {0x7F, 0x1F, 0x0F, 0x07};
    uint32_t c = b & kLeadMask[extra];
    for (int k = 1; k <= extra; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
      c = c << 6 | (s[i + k] & 0x3F);
    }
    i += extra + 1;
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return true;
}

std::string encode(UINT cp, const WCHAR* src, int len, bool& used_default, char default_char, bool best_fit) {
  if (resolved(cp) == kCpUtf8) return narrow(std::u16string(src, static_cast<size_t>(len)).c_str());
  std::string out;
  for (int i = 0; i < len; ++i) {
    char16_t c = src[i];
    int byte = c < 0x80 || (c >= 0xA0 && c < 0x100) ? c : -1;
    for (int k = 0; byte < 0 && k < 32; ++k)
      if (kCp1252High[k] == c) byte = 0x80 + k;
    if (byte < 0 && best_fit && best_fit_of(c)) byte = best_fit_of(c);
    if (byte < 0) used_default = true;
    out += byte < 0 ? default_char : static_cast<char>(byte);
  }
  return out;
}

}  // namespace detail

namespace {

// The Windows path of a module (UTF-8); false for a handle that names none.
bool module_path_of(HMODULE h, std::string& path) {
  auto handle = reinterpret_cast<uint32_t>(h);
  if (handle == 0 || handle == host_image_base())
    path = host_executable_path();
  else if (const Module* m = module_at_base(handle))
    path = m->windows_path();
  else if (const SystemDll* d = system_dll_at(handle))
    path = std::string("C:\\Windows\\system32\\") + d->name;
  else
    return false;
  return true;
}

// Copies `text` and its terminator into a buffer of `size` characters, as GetModuleFileName does from Vista
// on: a name that does not fit is cut to size - 1 characters and terminated, and the call returns size.
template <class Char>
DWORD copy_module_name(const std::basic_string<Char>& text, Char* buffer, DWORD size) {
  if (size == 0 || !buffer) return failed(kErrorInsufficientBuffer, 0);
  if (text.size() >= size) {
    std::memcpy(buffer, text.data(), (size - 1) * sizeof(Char));
    buffer[size - 1] = 0;
    set_last_error(kErrorInsufficientBuffer);
    return size;
  }
  std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(Char));
  set_last_error(0);
  return static_cast<DWORD>(text.size());
}

std::u16string widen(const std::string& utf8) {
  std::u16string wide;
  decode(kCpUtf8, utf8.data(), static_cast<int>(utf8.size()), wide);
  return wide;
}

// --- the stand-ins ---------------------------------------------------------------------------------

SHIM_WINAPI void* AddVectoredExceptionHandler(uint32_t, void* handler) {
  // Nothing raises Windows exceptions here; keep the handler's identity as its handle.
  return handler;
}

SHIM_WINAPI uint32_t RemoveVectoredExceptionHandler(void* handle) { return handle != nullptr; }

SHIM_WINAPI BOOL CloseHandle(HANDLE h) {
  if (h == kCurrentProcess || h == kCurrentThread) return 1;
  std::lock_guard lock(handles_mutex);
  if (handles.erase(reinterpret_cast<uint32_t>(h)) == 0) {
    set_last_error(kErrorInvalidHandle);
    return 0;
  }
  return 1;
}

SHIM_WINAPI HANDLE CreateEventA(void*, BOOL manual_reset, BOOL initial_state, const char*) {
  auto o = std::make_shared<Object>(Object{Object::Event});
  o->manual_reset = manual_reset;
  o->signalled = initial_state;
  set_last_error(0);
  return new_handle(o);
}

SHIM_WINAPI HANDLE CreateSemaphoreA(void*, LONG initial, LONG maximum, const char*) {
  if (maximum <= 0 || initial < 0 || initial > maximum) {
    set_last_error(kErrorInvalidParameter);
    return nullptr;
  }
  auto o = std::make_shared<Object>(Object{Object::Semaphore});
  o->count = initial;
  o->maximum = maximum;
  set_last_error(0);
  return new_handle(o);
}

SHIM_WINAPI BOOL DuplicateHandle(HANDLE, HANDLE source, HANDLE, HANDLE* target, DWORD, BOOL, DWORD options) {
  std::shared_ptr<Object> o;
  if (source == kCurrentThread)
    o = std::make_shared<Object>(Object{Object::Thread});
  else if (source == kCurrentProcess)
    o = std::make_shared<Object>(Object{Object::Process});
  else
    o = object_of(source);
  if (!o || !target) {
    set_last_error(o ? kErrorInvalidParameter : kErrorInvalidHandle);
    return 0;
  }
  *target = new_handle(o);
  if (options & 1) CloseHandle(source);  // DUPLICATE_CLOSE_SOURCE
  return 1;
}

SHIM_WINAPI BOOL GetHandleInformation(HANDLE h, DWORD* flags) {
  if (h != kCurrentProcess && h != kCurrentThread && !object_of(h)) {
    set_last_error(kErrorInvalidHandle);
    return 0;
  }
  if (flags) *flags = 0;
  return 1;
}

SHIM_WINAPI BOOL SetEvent(HANDLE h) {
  auto o = object_of(h);
  if (!o || o->kind != Object::Event) return failed(kErrorInvalidHandle, 0);
  o->signalled = true;
  return 1;
}

SHIM_WINAPI BOOL ResetEvent(HANDLE h) {
  auto o = object_of(h);
  if (!o || o->kind != Object::Event) return failed(kErrorInvalidHandle, 0);
  o->signalled = false;
  return 1;
}

SHIM_WINAPI BOOL ReleaseSemaphore(HANDLE h, LONG release, LONG* previous) {
  auto o = object_of(h);
  if (!o || o->kind != Object::Semaphore) return failed(kErrorInvalidHandle, 0);
  if (release <= 0 || release > o->maximum - o->count) return failed(kErrorTooManyPosts, 0);
  if (previous) *previous = o->count;
  o->count += release;
  return 1;
}

SHIM_WINAPI DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds) {
  std::shared_ptr<Object> o = h == kCurrentThread || h == kCurrentProcess ? nullptr : object_of(h);
  if (!o && h != kCurrentThread && h != kCurrentProcess) return failed(kErrorInvalidHandle, kWaitFailed);
  if (o && try_acquire(*o)) return kWaitObject0;
  return wait_out(milliseconds);
}

SHIM_WINAPI DWORD WaitForMultipleObjects(DWORD count, const HANDLE* hs, BOOL wait_all, DWORD milliseconds) {
  if (count == 0 || count > 64 || !hs) return failed(kErrorInvalidParameter, kWaitFailed);
  std::vector<std::shared_ptr<Object>> objects;
  for (DWORD i = 0; i < count; ++i) {
    objects.push_back(object_of(hs[i]));
    if (!objects.back() && hs[i] != kCurrentThread && hs[i] != kCurrentProcess)
      return failed(kErrorInvalidHandle, kWaitFailed);
  }
  auto ready = [](const std::shared_ptr<Object>& o) {
    return o && ((o->kind == Object::Event && o->signalled) || (o->kind == Object::Semaphore && o->count > 0));
  };
  if (wait_all) {
    if (std::all_of(objects.begin(), objects.end(), ready)) {
      for (auto& o : objects) try_acquire(*o);
      return kWaitObject0;
    }
  } else {
    for (DWORD i = 0; i < count; ++i)
      if (objects[i] && try_acquire(*objects[i])) return kWaitObject0 + i;
  }
  return wait_out(milliseconds);
}

// Recursive locks on the Windows layout (DebugInfo, LockCount, RecursionCount, OwningThread, ...).
struct CriticalSection {
  void* debug_info;
  LONG lock_count;  // -1 free, 0 taken
  LONG recursion;
  uint32_t owner;
  HANDLE semaphore;
  uint32_t spin_count;
};
static_assert(sizeof(CriticalSection) == 24);

SHIM_WINAPI void InitializeCriticalSection(CriticalSection* cs) {
  *cs = CriticalSection{nullptr, -1, 0, 0, nullptr, 0};
}
SHIM_WINAPI void DeleteCriticalSection(CriticalSection* cs) { InitializeCriticalSection(cs); }

SHIM_WINAPI BOOL TryEnterCriticalSection(CriticalSection* cs) {
  auto me = static_cast<uint32_t>(gettid());
  if (__atomic_load_n(&cs->owner, __ATOMIC_ACQUIRE) == me) {
    ++cs->recursion;
    return 1;
  }
  LONG expected = -1;
  if (!__atomic_compare_exchange_n(&cs->lock_count, &expected, 0, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED)) return 0;
  __atomic_store_n(&cs->owner, me, __ATOMIC_RELEASE);
  cs->recursion = 1;
  return 1;
}

SHIM_WINAPI void EnterCriticalSection(CriticalSection* cs) {
  while (!TryEnterCriticalSection(cs)) sched_yield();
}

SHIM_WINAPI void LeaveCriticalSection(CriticalSection* cs) {
  if (cs->recursion <= 0 || --cs->recursion > 0) return;
  __atomic_store_n(&cs->owner, 0u, __ATOMIC_RELAXED);
  __atomic_store_n(&cs->lock_count, -1, __ATOMIC_RELEASE);
}

SHIM_WINAPI DWORD FormatMessageA(DWORD flags, const void* source, DWORD id, DWORD, char* buffer, DWORD size, void*) {
  constexpr DWORD kAllocate = 0x100, kFromString = 0x400;
  std::string text =
      flags & kFromString ? static_cast<const char*>(source) : "Win32 error " + std::to_string(id) + "\r\n";
  if (!buffer) return failed(kErrorInvalidParameter, 0);
  if (flags & kAllocate) {
    char* p = static_cast<char*>(std::malloc(text.size() + 1));
    if (!p) return 0;
    std::memcpy(p, text.c_str(), text.size() + 1);
    *reinterpret_cast<char**>(buffer) = p;
  } else {
    if (size <= text.size()) return failed(kErrorInsufficientBuffer, 0);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
  }
  return static_cast<DWORD>(text.size());
}

SHIM_WINAPI void* LocalFree(void* memory) {
  std::free(memory);  // only FormatMessageA hands out local memory here
  return nullptr;
}

SHIM_WINAPI HMODULE LoadLibraryA(const char* name) {
  uint32_t h = name ? module_handle_named(name) : 0;
  if (!h) set_last_error(kErrorModNotFound);
  return reinterpret_cast<HMODULE>(h);
}

SHIM_WINAPI HMODULE LoadLibraryW(const WCHAR* name) { return LoadLibraryA(name ? narrow(name).c_str() : nullptr); }

SHIM_WINAPI BOOL FreeLibrary(HMODULE h) {
  auto handle = reinterpret_cast<uint32_t>(h);
  if (module_at_base(handle) || system_dll_at(handle)) return 1;
  set_last_error(kErrorInvalidHandle);
  return 0;
}

SHIM_WINAPI HANDLE GetCurrentProcess() { return kCurrentProcess; }
SHIM_WINAPI HANDLE GetCurrentThread() { return kCurrentThread; }
SHIM_WINAPI DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }
SHIM_WINAPI DWORD GetCurrentThreadId() { return static_cast<DWORD>(gettid()); }

SHIM_WINAPI HANDLE OpenProcess(DWORD, BOOL, DWORD pid) {
  if (pid != static_cast<DWORD>(getpid())) return failed(kErrorInvalidParameter, nullptr);
  return new_handle(std::make_shared<Object>(Object{Object::Process}));
}

SHIM_WINAPI DWORD GetLastError() { return last_error(); }
SHIM_WINAPI void SetLastError(DWORD error) { set_last_error(error); }

// The A functions speak the ANSI code page, best fit included: a character it lacks becomes a look-alike or '?'.
SHIM_WINAPI DWORD GetModuleFileNameA(HMODULE h, char* buffer, DWORD size) {
  std::string path;
  if (!module_path_of(h, path)) return failed(kErrorModNotFound, 0);
  std::u16string wide = widen(path);
  bool used_default = false;
  std::string ansi = encode(kCpAcp, wide.data(), static_cast<int>(wide.size()), used_default, '?', true);
  return copy_module_name(ansi, buffer, size);
}

SHIM_WINAPI DWORD GetModuleFileNameW(HMODULE h, WCHAR* buffer, DWORD size) {
  std::string path;
  if (!module_path_of(h, path)) return failed(kErrorModNotFound, 0);
  return copy_module_name(widen(path), buffer, size);
}

SHIM_WINAPI DWORD GetShortPathNameW(const WCHAR* long_path, WCHAR* buffer, DWORD size) {
  if (!long_path) return failed(kErrorInvalidParameter, 0);
  std::string short_path;
  if (!short_windows_path(narrow(long_path), short_path)) return failed(kErrorFileNotFound, 0);
  std::u16string wide = widen(short_path);
  if (!buffer || size <= wide.size()) return static_cast<DWORD>(wide.size() + 1);  // the size needed
  std::memcpy(buffer, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
  return static_cast<DWORD>(wide.size());
}

// With GetFileExInfoStandard (0): WIN32_FILE_ATTRIBUTE_DATA of a file or folder in the game folder, its times
// all the last write's, as FILETIMEs (100 ns steps since 1601).
SHIM_WINAPI BOOL GetFileAttributesExW(const WCHAR* name, int level, void* info) {
  struct AttributeData {
    DWORD attributes;
    DWORD creation[2], access[2], write[2];
    DWORD size_high, size_low;
  };
  static_assert(sizeof(AttributeData) == 36);
  constexpr DWORD kErrorPathNotFound = 3, kReadOnly = 0x01, kDirectory = 0x10, kArchive = 0x20;
  const SystemWork own;
  ++file_attribute_query_count;
  if (!name || level != 0 || !info) return failed(kErrorInvalidParameter, 0);
  const std::filesystem::path file = to_host_path(narrow(name));
  struct stat64 status {};
  if (file.empty() || fstatat64(AT_FDCWD, file.c_str(), &status, 0) != 0)
    return failed(errno == ENOENT && !file.empty() ? kErrorFileNotFound : kErrorPathNotFound, 0);
  constexpr uint64_t kUnixEpochIn1601 = 116444736000000000ull;
  const uint64_t written = static_cast<uint64_t>(status.st_mtim.tv_sec) * 10000000u +
                           static_cast<uint64_t>(status.st_mtim.tv_nsec) / 100 + kUnixEpochIn1601;
  const auto size = static_cast<uint64_t>(status.st_size);
  AttributeData data{};
  data.attributes = (S_ISDIR(status.st_mode) ? kDirectory : kArchive) | ((status.st_mode & S_IWUSR) ? 0 : kReadOnly);
  for (DWORD* time : {data.creation, data.access, data.write}) {
    time[0] = static_cast<DWORD>(written);
    time[1] = static_cast<DWORD>(written >> 32);
  }
  data.size_high = S_ISDIR(status.st_mode) ? 0 : static_cast<DWORD>(size >> 32);
  data.size_low = S_ISDIR(status.st_mode) ? 0 : static_cast<DWORD>(size);
  std::memcpy(info, &data, sizeof data);
  return 1;
}

SHIM_WINAPI UINT GetACP() { return ansi_code_page(); }

SHIM_WINAPI HMODULE GetModuleHandleA(const char* name) {
  uint32_t h = name ? module_handle_named(name) : host_image_base();
  if (!h) set_last_error(kErrorModNotFound);
  return reinterpret_cast<HMODULE>(h);
}

SHIM_WINAPI HMODULE GetModuleHandleW(const WCHAR* name) {
  return GetModuleHandleA(name ? narrow(name).c_str() : nullptr);
}

SHIM_WINAPI BOOL GetModuleHandleExA(DWORD flags, const char* name, HMODULE* out) {
  constexpr DWORD kPin = 1, kUnchangedRefcount = 2, kFromAddress = 4;
  if (!out) return failed(kErrorInvalidParameter, 0);
  *out = nullptr;
  if ((flags & ~(kPin | kUnchangedRefcount | kFromAddress)) ||
      (flags & (kPin | kUnchangedRefcount)) == (kPin | kUnchangedRefcount))
    return failed(kErrorInvalidParameter, 0);
  if (module_lookup_failure) return failed(module_lookup_failure, 0);
  uint32_t h = 0;
  if (flags & kFromAddress) {
    uint32_t begin, end;
    if (image_range(reinterpret_cast<uint32_t>(name), begin, end)) h = begin;
  } else {
    h = name ? module_handle_named(name) : host_image_base();
  }
  if (!h) return failed(kErrorModNotFound, 0);
  *out = reinterpret_cast<HMODULE>(h);
  return 1;
}

SHIM_WINAPI void* GetProcAddress(HMODULE h, const char* name) {
  auto handle = reinterpret_cast<uint32_t>(h);
  bool by_ordinal = reinterpret_cast<uint32_t>(name) < 0x10000;
  void* found = nullptr;
  if (const Module* m = module_at_base(handle))
    found = by_ordinal ? m->find_export(static_cast<uint16_t>(reinterpret_cast<uint32_t>(name))) : m->find_export(name);
  else if (const SystemDll* d = system_dll_at(handle); d && !by_ordinal)
    found = find_shim(d->name, name);
  else if (!system_dll_at(handle))
    return failed(kErrorModNotFound, nullptr);
  if (!found) set_last_error(kErrorProcNotFound);
  return found;
}

SHIM_WINAPI BOOL GetProcessAffinityMask(HANDLE, uint32_t* process_mask, uint32_t* system_mask) {
  if (process_mask) *process_mask = 1;
  if (system_mask) *system_mask = 1;
  return 1;
}

SHIM_WINAPI BOOL SetProcessAffinityMask(HANDLE, uint32_t mask) { return mask != 0; }

uint64_t now_ns(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

SHIM_WINAPI void GetSystemTimeAsFileTime(uint32_t* filetime) {
  constexpr uint64_t kUnixEpochIn1601 = 116444736000000000ull;  // in 100 ns steps
  uint64_t t = now_ns(CLOCK_REALTIME) / 100 + kUnixEpochIn1601;
  filetime[0] = static_cast<uint32_t>(t);
  filetime[1] = static_cast<uint32_t>(t >> 32);
}

SHIM_WINAPI uint64_t GetTickCount64() { return now_ns(CLOCK_MONOTONIC) / 1000000; }
SHIM_WINAPI DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

SHIM_WINAPI BOOL QueryPerformanceFrequency(int64_t* frequency) {
  *frequency = 10000000;
  return 1;
}

SHIM_WINAPI BOOL QueryPerformanceCounter(int64_t* counter) {
  *counter = static_cast<int64_t>(now_ns(CLOCK_MONOTONIC) / 100);
  return 1;
}

SHIM_WINAPI BOOL GetThreadContext(HANDLE, void*) { return failed(kErrorNotSupported, 0); }
SHIM_WINAPI BOOL SetThreadContext(HANDLE, const void*) { return failed(kErrorNotSupported, 0); }
SHIM_WINAPI DWORD SuspendThread(HANDLE) { return failed(kErrorNotSupported, 0xFFFFFFFF); }
SHIM_WINAPI DWORD ResumeThread(HANDLE) { return failed(kErrorNotSupported, 0xFFFFFFFF); }
SHIM_WINAPI int GetThreadPriority(HANDLE) { return 0; }
SHIM_WINAPI BOOL SetThreadPriority(HANDLE, int) { return 1; }

SHIM_WINAPI BOOL IsDBCSLeadByteEx(UINT, uint8_t) { return 0; }  // single-byte code pages only
SHIM_WINAPI BOOL IsDebuggerPresent() { return 0; }

SHIM_WINAPI int MultiByteToWideChar(UINT cp, DWORD flags, const char* src, int src_len, WCHAR* dst, int dst_len) {
  const SystemWork own;
  constexpr DWORD kErrInvalidChars = 8;
  if (!src || src_len == 0 || dst_len < 0) return failed(kErrorInvalidParameter, 0);
  int len = src_len < 0 ? static_cast<int>(std::strlen(src)) + 1 : src_len;
  std::u16string out;
  if (!decode(cp, src, len, out)) {
    if (flags & kErrInvalidChars) return failed(kErrorNoUnicodeTranslation, 0);
    out.clear();  // lenient: every undecodable byte becomes U+FFFD
    for (int i = 0; i < len; ++i) {
      std::u16string one;
      out += decode(cp, src + i, 1, one) ? one : u"\uFFFD";
    }
  }
  auto n = static_cast<int>(out.size());
  if (dst_len == 0) return n;
  if (n > dst_len) return failed(kErrorInsufficientBuffer, 0);
  std::memcpy(dst, out.data(), out.size() * sizeof(WCHAR));
  return n;
}

SHIM_WINAPI int WideCharToMultiByte(UINT cp, DWORD flags, const WCHAR* src, int src_len, char* dst, int dst_len,
                                    const char* default_char, BOOL* used_default) {
  constexpr DWORD kErrInvalidChars = 0x80, kNoBestFitChars = 0x400;
  constexpr DWORD kErrorInvalidFlags = 1004;
  if (!src || src_len == 0 || dst_len < 0) return failed(kErrorInvalidParameter, 0);
  int len = src_len;
  if (len < 0)
    for (len = 0; src[len];) ++len;
  bool used = false;
  std::string out;
  if (resolved(cp) == kCpUtf8) {
    // UTF-8 has no default character to report and takes no flag but WC_ERR_INVALID_CHARS.
    if (default_char || used_default) return failed(kErrorInvalidParameter, 0);
    if (flags & ~kErrInvalidChars) return failed(kErrorInvalidFlags, 0);
    std::u16string text(src, static_cast<size_t>(len));
    for (size_t i = 0; i < text.size(); ++i) {
      bool paired = is_high_surrogate(text[i]) ? i + 1 < text.size() && is_low_surrogate(text[i + 1])
                                               : is_low_surrogate(text[i]) && i > 0 && is_high_surrogate(text[i - 1]);
      if (!paired && (is_high_surrogate(text[i]) || is_low_surrogate(text[i]))) {
        if (flags & kErrInvalidChars) return failed(kErrorNoUnicodeTranslation, 0);
        text[i] = 0xFFFD;
      }
    }
    out = narrow(text.c_str());
  } else {
    if (flags & kErrInvalidChars) return failed(kErrorInvalidFlags, 0);
    out = encode(cp, src, len, used, default_char ? *default_char : '?', !(flags & kNoBestFitChars));
  }
  if (src_len < 0) out += '\0';
  if (used_default) *used_default = used;
  auto n = static_cast<int>(out.size());
  if (dst_len == 0) return n;
  if (n > dst_len) return failed(kErrorInsufficientBuffer, 0);
  std::memcpy(dst, out.data(), out.size());
  return n;
}

SHIM_WINAPI void OutputDebugStringA(const char* text) {
  std::fprintf(stderr, "simhost pe: debug: %s\n", text ? text : "");
}

[[noreturn]] SHIM_WINAPI void RaiseException(DWORD code, DWORD, DWORD, const uint32_t*) {
  std::fprintf(stderr, "simhost pe: DLL raised Windows exception 0x%08x, which nothing here dispatches\n", code);
  std::fflush(stderr);
  std::abort();
}

SHIM_WINAPI void Sleep(DWORD milliseconds) {
  timespec t{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000};
  nanosleep(&t, nullptr);
}

SHIM_WINAPI DWORD TlsAlloc() {
  auto caller = reinterpret_cast<uint32_t>(__builtin_return_address(0));
  const Module* m = module_containing(caller);
  for (DWORD i = 0; i < teb::kTlsSlotCount; ++i)
    if (!slot_used[i]) {
      slot_used[i] = true;
      slot_owner[i] = m ? m->base() : 1;
      ThreadBlock::current().tls_slot(i) = nullptr;
      return i;
    }
  set_last_error(kErrorNoMoreItems);
  return 0xFFFFFFFF;  // TLS_OUT_OF_INDEXES
}

SHIM_WINAPI BOOL TlsFree(DWORD index) {
  if (index >= teb::kTlsSlotCount || !slot_used[index]) return failed(kErrorInvalidParameter, 0);
  slot_used[index] = false;
  ThreadBlock::current().tls_slot(index) = nullptr;
  return 1;
}

SHIM_WINAPI void* TlsGetValue(DWORD index) {
  if (index >= teb::kTlsSlotCount) return failed(kErrorInvalidParameter, nullptr);
  set_last_error(0);  // callers tell a stored null from a failure by this
  return ThreadBlock::current().tls_slot(index);
}

SHIM_WINAPI BOOL TlsSetValue(DWORD index, void* value) {
  if (index >= teb::kTlsSlotCount || !slot_used[index]) return failed(kErrorInvalidParameter, 0);
  ThreadBlock::current().tls_slot(index) = value;
  return 1;
}

SHIM_WINAPI BOOL VirtualProtect(void* address, uint32_t size, DWORD protect, DWORD* old_protect) {
  bool ok;
  int prot = prot_from_page(protect, ok);
  if (!ok) return failed(kErrorInvalidParameter, 0);
  if (!old_protect) return failed(kErrorNoAccess, 0);
  auto begin = reinterpret_cast<uint32_t>(address) & ~0xFFFu;
  uint64_t end = (uint64_t{reinterpret_cast<uint32_t>(address)} + (size ? size : 1) + 0xFFF) & ~uint64_t{0xFFF};
  // Every page must be mapped: Windows changes nothing then, where mprotect would stop half way.
  std::optional<int> old;
  uint64_t covered = begin;
  for (const MappedRange& r : memory_map()) {
    uint64_t r_end = r.end ? r.end : uint64_t{1} << 32;
    if (r.begin <= covered && covered < r_end) {
      if (!old) old = remembered_protection(begin, r.prot);
      covered = r_end;
    }
  }
  if (covered < end) return failed(kErrorInvalidAddress, 0);
  auto length = static_cast<uint32_t>(end - begin);
  if (mprotect(reinterpret_cast<void*>(begin), length, prot) != 0) return failed(kErrorInvalidParameter, 0);
  remember_protection(begin, length, prot);
  *old_protect = page_from_prot(*old);
  return 1;
}

SHIM_WINAPI uint32_t VirtualQuery(const void* address, MemoryBasicInformation* info, uint32_t length) {
  if (!info || length < sizeof(MemoryBasicInformation)) return failed(kErrorBadLength, 0);
  auto page = reinterpret_cast<uint32_t>(address) & ~0xFFFu;
  if (page >= 0xFFFF0000u) return failed(kErrorInvalidParameter, 0);
  MemoryBasicInformation mbi{};
  mbi.BaseAddress = page;
  uint64_t limit = 0xFFFF0000u;  // end of the region reported
  std::optional<MappedRange> hit;
  for (const MappedRange& r : memory_map()) {
    uint64_t r_end = r.end ? r.end : uint64_t{1} << 32;
    if (r.begin <= page && page < r_end) hit = r, limit = r_end;
    if (!hit && r.begin > page) {
      limit = r.begin;
      break;
    }
  }
  if (hit) {
    uint32_t image_begin, image_end;
    bool image = image_range(page, image_begin, image_end);
    if (image && image_end != 0 && image_end < limit) limit = image_end;
    // The region ends where the protection changes.
    int prot = remembered_protection(page, hit->prot);
    uint64_t next = page + uint64_t{0x1000};
    while (next < limit && remembered_protection(static_cast<uint32_t>(next), hit->prot) == prot) next += 0x1000;
    limit = next;
    mbi.AllocationBase = image ? image_begin : hit->begin;
    mbi.State = kMemCommit;
    mbi.Protect = page_from_prot(prot);
    mbi.AllocationProtect = image ? kPageExecuteWriteCopy : mbi.Protect;
    mbi.Type = image ? kMemImage : kMemPrivate;
  } else {
    mbi.State = kMemFree;
    mbi.Protect = kPageNoAccess;
  }
  mbi.RegionSize = static_cast<uint32_t>(limit - page);
  std::memcpy(info, &mbi, sizeof mbi);
  return sizeof mbi;
}

// What VirtualAlloc handed out, by base: VirtualFree gives back a whole reservation at once.
std::map<uint32_t, uint32_t> allocations;  // base -> size in bytes, whole pages

constexpr DWORD kMemReserve = 0x2000, kMemRelease = 0x8000;
constexpr DWORD kErrorNotEnoughMemory = 8;

// Fresh memory anywhere, reserved and committed at once, as the DLL asks for it; other requests are not played.
SHIM_WINAPI void* VirtualAlloc(void* address, uint32_t size, DWORD type, DWORD protect) {
  bool ok;
  int prot = prot_from_page(protect, ok);
  if (!ok || address != nullptr || size == 0 || type != (kMemCommit | kMemReserve))
    return failed(kErrorInvalidParameter, nullptr);
  uint32_t length = (size + 0xFFF) & ~0xFFFu;
  if (length < size) return failed(kErrorNotEnoughMemory, nullptr);
  void* p = mmap(nullptr, length, prot, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return failed(kErrorNotEnoughMemory, nullptr);
  auto base = reinterpret_cast<uint32_t>(p);
  remember_protection(base, length, prot);
  allocations[base] = length;
  return p;
}

// A release takes the base VirtualAlloc returned and size 0; decommitting is not played.
SHIM_WINAPI BOOL VirtualFree(void* address, uint32_t size, DWORD type) {
  auto found = allocations.find(reinterpret_cast<uint32_t>(address));
  if (type != kMemRelease || size != 0 || found == allocations.end()) return failed(kErrorInvalidParameter, 0);
  munmap(address, found->second);
  forget_protection(found->first, found->second);
  allocations.erase(found);
  return 1;
}

// x86 keeps its caches coherent: only the handle is checked.
SHIM_WINAPI BOOL FlushInstructionCache(HANDLE process, const void*, uint32_t) {
  return process == kCurrentProcess ? 1 : failed(kErrorInvalidHandle, 0);
}

const Shim kShims[] = {
    {"AddVectoredExceptionHandler", reinterpret_cast<void*>(&AddVectoredExceptionHandler)},
    {"CloseHandle", reinterpret_cast<void*>(&CloseHandle)},
    {"CreateEventA", reinterpret_cast<void*>(&CreateEventA)},
    {"CreateSemaphoreA", reinterpret_cast<void*>(&CreateSemaphoreA)},
    {"DeleteCriticalSection", reinterpret_cast<void*>(&DeleteCriticalSection)},
    {"DuplicateHandle", reinterpret_cast<void*>(&DuplicateHandle)},
    {"EnterCriticalSection", reinterpret_cast<void*>(&EnterCriticalSection)},
    {"FlushInstructionCache", reinterpret_cast<void*>(&FlushInstructionCache)},
    {"FormatMessageA", reinterpret_cast<void*>(&FormatMessageA)},
    {"FreeLibrary", reinterpret_cast<void*>(&FreeLibrary)},
    {"GetACP", reinterpret_cast<void*>(&GetACP)},
    {"GetCurrentProcess", reinterpret_cast<void*>(&GetCurrentProcess)},
    {"GetCurrentProcessId", reinterpret_cast<void*>(&GetCurrentProcessId)},
    {"GetCurrentThread", reinterpret_cast<void*>(&GetCurrentThread)},
    {"GetCurrentThreadId", reinterpret_cast<void*>(&GetCurrentThreadId)},
    {"GetFileAttributesExW", reinterpret_cast<void*>(&GetFileAttributesExW)},
    {"GetHandleInformation", reinterpret_cast<void*>(&GetHandleInformation)},
    {"GetLastError", reinterpret_cast<void*>(&GetLastError)},
    {"GetModuleFileNameA", reinterpret_cast<void*>(&GetModuleFileNameA)},
    {"GetModuleFileNameW", reinterpret_cast<void*>(&GetModuleFileNameW)},
    {"GetModuleHandleA", reinterpret_cast<void*>(&GetModuleHandleA)},
    {"GetModuleHandleExA", reinterpret_cast<void*>(&GetModuleHandleExA)},
    {"GetModuleHandleW", reinterpret_cast<void*>(&GetModuleHandleW)},
    {"GetProcAddress", reinterpret_cast<void*>(&GetProcAddress)},
    {"GetProcessAffinityMask", reinterpret_cast<void*>(&GetProcessAffinityMask)},
    {"GetShortPathNameW", reinterpret_cast<void*>(&GetShortPathNameW)},
    {"GetSystemTimeAsFileTime", reinterpret_cast<void*>(&GetSystemTimeAsFileTime)},
    {"GetThreadContext", reinterpret_cast<void*>(&GetThreadContext)},
    {"GetThreadPriority", reinterpret_cast<void*>(&GetThreadPriority)},
    {"GetTickCount", reinterpret_cast<void*>(&GetTickCount)},
    {"GetTickCount64", reinterpret_cast<void*>(&GetTickCount64)},
    {"InitializeCriticalSection", reinterpret_cast<void*>(&InitializeCriticalSection)},
    {"IsDBCSLeadByteEx", reinterpret_cast<void*>(&IsDBCSLeadByteEx)},
    {"IsDebuggerPresent", reinterpret_cast<void*>(&IsDebuggerPresent)},
    {"LeaveCriticalSection", reinterpret_cast<void*>(&LeaveCriticalSection)},
    {"LoadLibraryA", reinterpret_cast<void*>(&LoadLibraryA)},
    {"LoadLibraryW", reinterpret_cast<void*>(&LoadLibraryW)},
    {"LocalFree", reinterpret_cast<void*>(&LocalFree)},
    {"MultiByteToWideChar", reinterpret_cast<void*>(&MultiByteToWideChar)},
    {"OpenProcess", reinterpret_cast<void*>(&OpenProcess)},
    {"OutputDebugStringA", reinterpret_cast<void*>(&OutputDebugStringA)},
    {"QueryPerformanceCounter", reinterpret_cast<void*>(&QueryPerformanceCounter)},
    {"QueryPerformanceFrequency", reinterpret_cast<void*>(&QueryPerformanceFrequency)},
    {"RaiseException", reinterpret_cast<void*>(&RaiseException)},
    {"ReleaseSemaphore", reinterpret_cast<void*>(&ReleaseSemaphore)},
    {"RemoveVectoredExceptionHandler", reinterpret_cast<void*>(&RemoveVectoredExceptionHandler)},
    {"ResetEvent", reinterpret_cast<void*>(&ResetEvent)},
    {"ResumeThread", reinterpret_cast<void*>(&ResumeThread)},
    {"SetEvent", reinterpret_cast<void*>(&SetEvent)},
    {"SetLastError", reinterpret_cast<void*>(&SetLastError)},
    {"SetProcessAffinityMask", reinterpret_cast<void*>(&SetProcessAffinityMask)},
    {"SetThreadContext", reinterpret_cast<void*>(&SetThreadContext)},
    {"SetThreadPriority", reinterpret_cast<void*>(&SetThreadPriority)},
    {"Sleep", reinterpret_cast<void*>(&Sleep)},
    {"SuspendThread", reinterpret_cast<void*>(&SuspendThread)},
    {"TlsAlloc", reinterpret_cast<void*>(&TlsAlloc)},
    {"TlsFree", reinterpret_cast<void*>(&TlsFree)},
    {"TlsGetValue", reinterpret_cast<void*>(&TlsGetValue)},
    {"TlsSetValue", reinterpret_cast<void*>(&TlsSetValue)},
    {"TryEnterCriticalSection", reinterpret_cast<void*>(&TryEnterCriticalSection)},
    {"VirtualAlloc", reinterpret_cast<void*>(&VirtualAlloc)},
    {"VirtualFree", reinterpret_cast<void*>(&VirtualFree)},
    {"VirtualProtect", reinterpret_cast<void*>(&VirtualProtect)},
    {"VirtualQuery", reinterpret_cast<void*>(&VirtualQuery)},
    {"WaitForMultipleObjects", reinterpret_cast<void*>(&WaitForMultipleObjects)},
    {"WaitForSingleObject", reinterpret_cast<void*>(&WaitForSingleObject)},
    {"WideCharToMultiByte", reinterpret_cast<void*>(&WideCharToMultiByte)},
};

}  // namespace

void set_module_lookup_failure(uint32_t error) { module_lookup_failure = error; }
long file_attribute_queries() { return file_attribute_query_count; }
bool inside_system_work() { return detail::system_work != 0; }

namespace detail {

std::span<const Shim> kernel32_shims() { return kShims; }

void release_tls_slots_of(uint32_t module_base) {
  for (DWORD i = 0; i < teb::kTlsSlotCount; ++i)
    if (slot_used[i] && slot_owner[i] == module_base) {
      slot_used[i] = false;
      ThreadBlock::current().tls_slot(i) = nullptr;
    }
}

}  // namespace detail
}  // namespace simhost::pe
