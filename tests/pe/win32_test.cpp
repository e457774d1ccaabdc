// The Win32 stand-ins, called the way DLL code calls them: through the addresses the loader binds,
// with stdcall for KERNEL32/USER32 and cdecl for msvcrt.
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "memory_map.h"
#include "pe_test_support.h"
#include "thread_block.h"
#include "win32.h"

namespace {

using simhost::pe::find_shim;

#define STDCALL __attribute__((stdcall))

template <class F>
F kernel32(const char* name) {
  void* p = find_shim("KERNEL32.dll", name);
  if (!p) throw std::runtime_error(name);
  return reinterpret_cast<F>(p);
}

template <class F>
F msvcrt(const char* name) {
  void* p = find_shim("msvcrt.dll", name);
  if (!p) throw std::runtime_error(name);
  return reinterpret_cast<F>(p);
}

using Handle = void*;
const auto GetLastError = kernel32<uint32_t(STDCALL*)()>("GetLastError");
const auto SetLastError = kernel32<void(STDCALL*)(uint32_t)>("SetLastError");

uint32_t fs_word(uint32_t offset) {
  uint32_t v;
  asm volatile("movl %%fs:(%1), %0" : "=r"(v) : "r"(offset));
  return v;
}

constexpr uint32_t kPageNoAccess = 0x01, kPageReadOnly = 0x02, kPageReadWrite = 0x04, kPageExecuteRead = 0x20,
                   kPageExecuteReadWrite = 0x40;

// --- the thread environment block ------------------------------------------------------------------

TEST(ThreadBlock, DllCodeFindsItThroughFs) {
  simhost::pe::ThreadBlock& block = simhost::pe::ThreadBlock::current();
  ASSERT_EQ(simhost::pe::current_fs(), block.selector());
  EXPECT_EQ(fs_word(0x18), block.teb_address());
  EXPECT_EQ(fs_word(0x00), 0xFFFFFFFFu);
  int on_stack = 0;
  auto here = reinterpret_cast<uint32_t>(&on_stack);
  EXPECT_LT(here, fs_word(0x04));
  EXPECT_GE(here, fs_word(0x08));
  EXPECT_EQ(fs_word(0x24), static_cast<uint32_t>(gettid()));

  uint32_t peb = fs_word(0x30);
  EXPECT_EQ(peb, block.peb_address());
  EXPECT_EQ(*reinterpret_cast<uint32_t*>(peb + 0x08), simhost::pe::host_image_base());
}

TEST(ThreadBlock, LastErrorAndTlsSlotsLiveInIt) {
  SetLastError(1234);
  EXPECT_EQ(fs_word(0x34), 1234u);
  EXPECT_EQ(GetLastError(), 1234u);

  auto TlsAlloc = kernel32<uint32_t(STDCALL*)()>("TlsAlloc");
  auto TlsSetValue = kernel32<int(STDCALL*)(uint32_t, void*)>("TlsSetValue");
  auto TlsGetValue = kernel32<void*(STDCALL*)(uint32_t)>("TlsGetValue");
  auto TlsFree = kernel32<int(STDCALL*)(uint32_t)>("TlsFree");
  uint32_t slot = TlsAlloc();
  ASSERT_LT(slot, 64u);
  int value = 0;
  EXPECT_TRUE(TlsSetValue(slot, &value));
  EXPECT_EQ(fs_word(0xE10 + 4 * slot), reinterpret_cast<uint32_t>(&value));
  SetLastError(99);
  EXPECT_EQ(TlsGetValue(slot), &value);
  EXPECT_EQ(GetLastError(), 0u);  // how callers tell a stored null from a failure
  EXPECT_TRUE(TlsFree(slot));
  EXPECT_FALSE(TlsSetValue(slot, &value));
}

TEST(ThreadBlock, EachThreadHasItsOwn) {
  uint32_t main_teb = simhost::pe::ThreadBlock::current().teb_address();
  uint32_t other_teb = 0, other_self = 0;
  std::thread([&] {
    other_teb = simhost::pe::ThreadBlock::current().teb_address();
    other_self = fs_word(0x18);
  }).join();
  EXPECT_NE(other_teb, main_teb);
  EXPECT_EQ(other_self, other_teb);
  EXPECT_EQ(fs_word(0x18), main_teb);
}

// --- memory ----------------------------------------------------------------------------------------

const auto VirtualProtect = kernel32<int(STDCALL*)(void*, uint32_t, uint32_t, uint32_t*)>("VirtualProtect");

struct ProtectCase {
  int initial;            // PROT_* of the three test pages
  uint32_t offset, size;  // the range asked for, from the first page
  uint32_t protect;
  bool ok;
  uint32_t old_or_error;  // the previous protection, or the last error
  int after;              // PROT_* of the first page afterwards
};

class VirtualProtectCases : public ::testing::TestWithParam<ProtectCase> {};

TEST_P(VirtualProtectCases, ChangesRealProtection) {
  const ProtectCase& c = GetParam();
  SetLastError(0);  // first, so that the thread block it may map cannot land in the hole below
  void* pages = mmap(nullptr, 0x3000, c.initial, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(pages, MAP_FAILED);
  munmap(static_cast<char*>(pages) + 0x2000, 0x1000);  // the third page is a hole
  uint32_t old = 0xDEAD;
  int ok = VirtualProtect(static_cast<char*>(pages) + c.offset, c.size, c.protect, &old);
  EXPECT_EQ(ok != 0, c.ok);
  EXPECT_EQ(c.ok ? old : GetLastError(), c.old_or_error);
  EXPECT_EQ(simhost::pe::protection_at(reinterpret_cast<uint32_t>(pages)), c.after);
  munmap(pages, 0x2000);
}

constexpr int R = PROT_READ, W = PROT_WRITE, X = PROT_EXEC;
INSTANTIATE_TEST_SUITE_P(
    Kernel32, VirtualProtectCases,
    ::testing::Values(ProtectCase{R | W, 0, 0x1000, kPageReadOnly, true, kPageReadWrite, R},
                      ProtectCase{R, 0x10, 8, kPageExecuteReadWrite, true, kPageReadOnly, R | W | X},
                      ProtectCase{R | X, 0xFFF, 2, kPageReadWrite, true, kPageExecuteRead, R | W},
                      ProtectCase{R | W, 0, 0x1000, kPageNoAccess, true, kPageReadWrite, 0},
                      ProtectCase{R | W, 0x1000, 0x1001, kPageReadOnly, false, 487, R | W},  // into the hole
                      ProtectCase{R | W, 0, 0x1000, 0x03, false, 87, R | W}));               // no such value

TEST(VirtualProtect, NeedsSomewhereToPutTheOldProtection) {
  void* page = mmap(nullptr, 0x1000, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  EXPECT_FALSE(VirtualProtect(page, 0x1000, kPageReadWrite, nullptr));
  EXPECT_EQ(GetLastError(), 998u);  // ERROR_NOACCESS
  munmap(page, 0x1000);
}

struct MemoryBasicInformation {
  uint32_t base, allocation_base, allocation_protect, region_size, state, protect, type;
};
const auto VirtualQuery = kernel32<uint32_t(STDCALL*)(const void*, MemoryBasicInformation*, uint32_t)>("VirtualQuery");

TEST(VirtualQuery, ReportsCommittedRegionsAndFreeOnes) {
  auto* pages = static_cast<char*>(mmap(nullptr, 0x4000, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  mprotect(pages + 0x2000, 0x1000, PROT_READ);
  munmap(pages + 0x3000, 0x1000);

  MemoryBasicInformation info{};
  ASSERT_EQ(VirtualQuery(pages + 0x10, &info, sizeof info), sizeof info);
  EXPECT_EQ(info.base, reinterpret_cast<uint32_t>(pages));
  EXPECT_EQ(info.state, 0x1000u);  // MEM_COMMIT
  EXPECT_EQ(info.protect, kPageReadWrite);
  EXPECT_GE(info.region_size, 0x2000u);  // at least the two read-write pages, up to the read-only one
  EXPECT_EQ(info.base + info.region_size, reinterpret_cast<uint32_t>(pages + 0x2000));

  ASSERT_EQ(VirtualQuery(pages + 0x2000, &info, sizeof info), sizeof info);
  EXPECT_EQ(info.protect, kPageReadOnly);
  EXPECT_EQ(info.region_size, 0x1000u);

  ASSERT_EQ(VirtualQuery(pages + 0x3004, &info, sizeof info), sizeof info);
  EXPECT_EQ(info.state, 0x10000u);  // MEM_FREE
  EXPECT_EQ(info.protect, kPageNoAccess);
  EXPECT_GE(info.region_size, 0x1000u);

  EXPECT_EQ(VirtualQuery(pages, &info, 8), 0u);
  munmap(pages, 0x3000);
}

const auto VirtualAlloc = kernel32<void*(STDCALL*)(void*, uint32_t, uint32_t, uint32_t)>("VirtualAlloc");
const auto VirtualFree = kernel32<int(STDCALL*)(void*, uint32_t, uint32_t)>("VirtualFree");
constexpr uint32_t kMemCommitReserve = 0x3000, kMemRelease = 0x8000;

TEST(VirtualAlloc, GivesFreshPagesWithTheProtectionAskedAndTakesThemBackWhole) {
  auto* memory = static_cast<char*>(VirtualAlloc(nullptr, 0x1800, kMemCommitReserve, kPageReadWrite));
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(reinterpret_cast<uint32_t>(memory) % 0x1000, 0u);
  memory[0x17FF] = 1;  // whole pages: the second is there too
  EXPECT_EQ(simhost::pe::protection_at(reinterpret_cast<uint32_t>(memory) + 0x1000), PROT_READ | PROT_WRITE);
  uint32_t old = 0;
  EXPECT_TRUE(VirtualProtect(memory, 0x1000, kPageExecuteRead, &old));
  EXPECT_EQ(old, kPageReadWrite);

  struct Case {
    const char* name;
    void* address;
    uint32_t size, type;
  };
  for (const Case& c :
       {Case{"not the base", memory + 0x1000, 0, kMemRelease},
        Case{"a size with a release", memory, 0x1000, kMemRelease}, Case{"a decommit", memory, 0x1000, 0x4000}}) {
    SCOPED_TRACE(c.name);
    SetLastError(0);
    EXPECT_FALSE(VirtualFree(c.address, c.size, c.type));
    EXPECT_EQ(GetLastError(), 87u);
    EXPECT_EQ(memory[0x17FF], 1);
  }
  EXPECT_TRUE(VirtualFree(memory, 0, kMemRelease));
  EXPECT_FALSE(simhost::pe::protection_at(reinterpret_cast<uint32_t>(memory)).has_value());
  EXPECT_FALSE(VirtualFree(memory, 0, kMemRelease)) << "released once";
}

TEST(VirtualAlloc, PlaysOnlyAFreshReservationCommittedAtOnce) {
  struct Case {
    const char* name;
    void* address;
    uint32_t size, type, protect, error;
  };
  for (const Case& c :
       {Case{"no size", nullptr, 0, kMemCommitReserve, kPageReadWrite, 87},
        Case{"at an address", reinterpret_cast<void*>(0x10000000), 0x1000, kMemCommitReserve, kPageReadWrite, 87},
        Case{"reserved only", nullptr, 0x1000, 0x2000, kPageReadWrite, 87},
        Case{"no such protection", nullptr, 0x1000, kMemCommitReserve, 0x03, 87},
        Case{"more than the address space", nullptr, 0xFFFFF001, kMemCommitReserve, kPageReadWrite, 8}}) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(VirtualAlloc(c.address, c.size, c.type, c.protect), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
  const auto FlushInstructionCache = kernel32<int(STDCALL*)(Handle, const void*, uint32_t)>("FlushInstructionCache");
  EXPECT_TRUE(FlushInstructionCache(reinterpret_cast<Handle>(-1), nullptr, 0));
  EXPECT_FALSE(FlushInstructionCache(reinterpret_cast<Handle>(0x1234), nullptr, 0));
  EXPECT_EQ(GetLastError(), 6u);  // ERROR_INVALID_HANDLE
}

// --- modules ---------------------------------------------------------------------------------------

const auto GetModuleHandleA = kernel32<Handle(STDCALL*)(const char*)>("GetModuleHandleA");
const auto GetModuleHandleExA = kernel32<int(STDCALL*)(uint32_t, const void*, Handle*)>("GetModuleHandleExA");
const auto GetModuleFileNameA = kernel32<uint32_t(STDCALL*)(Handle, char*, uint32_t)>("GetModuleFileNameA");
const auto GetProcAddress = kernel32<void*(STDCALL*)(Handle, const char*)>("GetProcAddress");

TEST(Modules, TheNullHandleIsTheHostExecutable) {
  EXPECT_EQ(GetModuleHandleA(nullptr), reinterpret_cast<Handle>(0x400000));
  simhost::pe::set_host_image(0x500000, 0x1000);
  EXPECT_EQ(GetModuleHandleA(nullptr), reinterpret_cast<Handle>(0x500000));
  EXPECT_EQ(fs_word(0x30) ? *reinterpret_cast<uint32_t*>(fs_word(0x30) + 8) : 0, 0x500000u);
  simhost::pe::set_host_image(0x400000, 0xC98000 - 0x400000);

  char path[64];
  EXPECT_EQ(GetModuleFileNameA(nullptr, path, sizeof path), 22u);
  EXPECT_STREQ(path, "C:\\Games\\Host\\game.exe");
  EXPECT_EQ(GetModuleHandleA("game.exe"), reinterpret_cast<Handle>(0x400000));
}

TEST(Modules, FileNameIsTruncatedLikeWindowsDoes) {
  char path[8];
  std::memset(path, 'x', sizeof path);
  EXPECT_EQ(GetModuleFileNameA(nullptr, path, sizeof path), 8u);
  EXPECT_STREQ(path, "C:\\Game");
  EXPECT_EQ(GetLastError(), 122u);  // ERROR_INSUFFICIENT_BUFFER
  EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<Handle>(0x1234000), path, sizeof path), 0u);
  EXPECT_EQ(GetLastError(), 126u);  // ERROR_MOD_NOT_FOUND

  auto GetModuleFileNameW = kernel32<uint32_t(STDCALL*)(Handle, char16_t*, uint32_t)>("GetModuleFileNameW");
  char16_t wide[8];
  EXPECT_EQ(GetModuleFileNameW(nullptr, wide, 8), 8u);
  EXPECT_EQ(std::u16string(wide), u"C:\\Game");
  EXPECT_EQ(GetLastError(), 122u);
}

struct LookupCase {
  const char* what;
  uint32_t flags;
  uint32_t address;
  uint32_t injected;  // failure injected for the call, 0 for none
  bool ok;
  uint32_t handle_or_error;
};

class ModuleFromAddress : public ::testing::TestWithParam<LookupCase> {};

TEST_P(ModuleFromAddress, FindsTheImageThatHoldsIt) {
  const LookupCase& c = GetParam();
  simhost::pe::set_module_lookup_failure(c.injected);
  Handle h = reinterpret_cast<Handle>(0x1);
  int ok = GetModuleHandleExA(c.flags, reinterpret_cast<const void*>(c.address), &h);
  simhost::pe::set_module_lookup_failure(0);
  EXPECT_EQ(ok != 0, c.ok);
  if (c.ok) {
    EXPECT_EQ(reinterpret_cast<uint32_t>(h), c.handle_or_error);
  } else {
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(GetLastError(), c.handle_or_error);
  }
}

INSTANTIATE_TEST_SUITE_P(Kernel32, ModuleFromAddress,
                         ::testing::Values(LookupCase{"HostCode", 6, 0x7174F0, 0, true, 0x400000},
                                           LookupCase{"HostData", 6, 0xC97B28, 0, true, 0x400000},
                                           LookupCase{"PastTheHost", 6, 0xC98000, 0, false, 126},
                                           LookupCase{"Nowhere", 6, 0x100, 0, false, 126},
                                           LookupCase{"Injected", 6, 0x7174F0, 31, false, 31},
                                           LookupCase{"PinAndUnchanged", 7, 0x7174F0, 0, false, 87}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST(Modules, SystemDllsHaveHandlesThatLeadToTheStandIns) {
  Handle k32 = GetModuleHandleA("kernel32.dll");
  ASSERT_NE(k32, nullptr);
  EXPECT_EQ(GetModuleHandleA("KERNEL32"), k32);
  EXPECT_EQ(GetProcAddress(k32, "GetLastError"), find_shim("KERNEL32.dll", "GetLastError"));
  EXPECT_EQ(GetProcAddress(k32, "Beep"), nullptr);
  EXPECT_EQ(GetLastError(), 127u);  // ERROR_PROC_NOT_FOUND

  // The mingw runtime asks for a shared libgcc first, and must be told there is none.
  EXPECT_EQ(GetModuleHandleA("libgcc_s_dw2-1.dll"), nullptr);
  EXPECT_EQ(GetLastError(), 126u);
}

// --- files -----------------------------------------------------------------------------------------

struct File;
const auto fopen = msvcrt<File* (*)(const char*, const char*)>("fopen");
const auto fclose = msvcrt<int (*)(File*)>("fclose");
const auto fileno_ = msvcrt<int (*)(File*)>("_fileno");
const auto read_ = msvcrt<int (*)(int, char*, unsigned)>("_read");
const auto write_ = msvcrt<int (*)(int, const char*, unsigned)>("_write");
const auto lseeki64 = msvcrt<int64_t (*)(int, int64_t, int)>("_lseeki64");
const auto fprintf_ = msvcrt<int (*)(File*, const char*, ...)>("fprintf");
const auto errno_ = msvcrt<int* (*)()>("_errno");

std::string read_all(File* f, unsigned chunk) {
  std::string out;
  std::vector<char> buf(chunk);
  for (int n; (n = read_(fileno_(f), buf.data(), chunk)) > 0;) out.append(buf.data(), static_cast<size_t>(n));
  return out;
}

struct TextCase {
  std::string on_disk;
  std::string text_mode;  // what a reader without 'b' gets
};

class TextMode : public ::testing::TestWithParam<TextCase> {
 protected:
  pe_test::HostFolder folder_;
};

TEST_P(TextMode, ReadsLikeMsvcrtWhateverTheChunkSize) {
  folder_.write("in.txt", GetParam().on_disk);
  for (unsigned chunk : {1u, 2u, 3u, 7u, 4096u}) {
    File* f = fopen("C:\\Games\\Host\\in.txt", "r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(read_all(f, chunk), GetParam().text_mode) << "chunk " << chunk;
    fclose(f);
    f = fopen("C:\\Games\\Host\\in.txt", "rb");
    EXPECT_EQ(read_all(f, chunk), GetParam().on_disk) << "binary, chunk " << chunk;
    fclose(f);
  }
}

INSTANTIATE_TEST_SUITE_P(Msvcrt, TextMode,
                         ::testing::Values(TextCase{"a\r\nb\r\n", "a\nb\n"}, TextCase{"\r\n\r\n\r\n", "\n\n\n"},
                                           TextCase{"lone\rcr\r", "lone\rcr\r"}, TextCase{"x\r\r\ny", "x\r\ny"},
                                           TextCase{"unix\nline", "unix\nline"},
                                           TextCase{"end\x1A"
                                                    "after",
                                                    "end"},
                                           TextCase{"", ""}));

TEST(Files, SeekingBackAfterCtrlZReadsAgain) {
  pe_test::HostFolder folder;
  folder.write("z.txt",
               "ab\x1A"
               "cd");
  File* f = fopen("C:\\Games\\Host\\z.txt", "rt");
  EXPECT_EQ(read_all(f, 16), "ab");
  EXPECT_EQ(lseeki64(fileno_(f), 0, SEEK_SET), 0);
  EXPECT_EQ(read_all(f, 1), "ab");
  fclose(f);
}

// The configuration reader's way: the size from the end, back to the start, then the text.
TEST(Files, StdioReadsSizeTheFileAndFoldTextMode) {
  const auto fread_ = msvcrt<size_t (*)(void*, size_t, size_t, File*)>("fread");
  const auto fseek_ = msvcrt<int (*)(File*, long, int)>("fseek");
  const auto ftell_ = msvcrt<long (*)(File*)>("ftell");
  const auto rewind_ = msvcrt<void (*)(File*)>("rewind");
  const auto fgetc_ = msvcrt<int (*)(File*)>("fgetc");
  const auto ferror_ = msvcrt<int (*)(File*)>("ferror");
  pe_test::HostFolder folder;
  folder.write("z.ini",
               "a\r\nb\x1A"
               "cd");
  for (const char* mode : {"r", "rb"}) {
    File* f = fopen("C:\\Games\\Host\\z.ini", mode);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(fseek_(f, 0, SEEK_END), 0);
    EXPECT_EQ(ftell_(f), 7) << "the size on disk, in " << mode;
    rewind_(f);
    EXPECT_EQ(fgetc_(f), 'a');
    rewind_(f);
    char text[16] = {};
    const size_t got = fread_(text, 1, sizeof text, f);
    EXPECT_EQ(std::string(text, got), *mode == 'r' && mode[1] == '\0' ? std::string("a\nb")
                                                                      : "a\r\nb\x1A"
                                                                        "cd");
    EXPECT_EQ(fgetc_(f), EOF);
    EXPECT_EQ(ferror_(f), 0);
    fclose(f);
  }
}

TEST(Files, TextModeWritesCrLf) {
  pe_test::HostFolder folder;
  File* text = fopen("C:\\Games\\Host\\out.txt", "w");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(write_(fileno_(text), "a\nb\n", 4), 4);
  fclose(text);
  EXPECT_EQ(folder.read("out.txt"), "a\r\nb\r\n");

  File* binary = fopen("C:\\Games\\Host\\out.bin", "wb");
  EXPECT_EQ(write_(fileno_(binary), "a\nb\n", 4), 4);
  fclose(binary);
  EXPECT_EQ(folder.read("out.bin"), "a\nb\n");
}

TEST(Files, PathsOutsideTheGameFolderDoNotExist) {
  pe_test::HostFolder folder;
  *errno_() = 0;
  EXPECT_EQ(fopen("D:\\elsewhere.txt", "r"), nullptr);
  EXPECT_EQ(*errno_(), 2);  // ENOENT
  EXPECT_EQ(fopen("C:\\Games\\Host\\missing.txt", "r"), nullptr);
  EXPECT_EQ(*errno_(), 2);
  EXPECT_EQ(fopen("C:\\Games\\Host\\x.txt", "q"), nullptr);
  EXPECT_EQ(*errno_(), 22);  // EINVAL
}

struct PathCase {
  const char* windows;
  const char* host;  // relative to the folder; nullptr: not on the simulated machine
};

class PathMapping : public ::testing::TestWithParam<PathCase> {};

TEST_P(PathMapping, FollowsWindowsRules) {
  pe_test::HostFolder folder;
  folder.write("models/banner.txd", "x");
  folder.write("Zephrel.ini", "x");
  folder.write("My Mods/a.txt", "x");
  folder.write("My Mods 2/a.txt", "x");
  std::filesystem::path got = simhost::pe::to_host_path(GetParam().windows);
  if (!GetParam().host)
    EXPECT_TRUE(got.empty()) << got;
  else
    EXPECT_EQ(got, folder.path() / GetParam().host);
}

INSTANTIATE_TEST_SUITE_P(Host, PathMapping,
                         ::testing::Values(PathCase{"C:\\Games\\Host\\Zephrel.ini", "Zephrel.ini"},
                                           PathCase{"c:\\games\\HOST\\zephrel.INI", "Zephrel.ini"},
                                           PathCase{"C:\\Games\\Host\\MODELS\\BANNER.TXD", "models/banner.txd"},
                                           PathCase{"MODELS\\BANNER.TXD", "models/banner.txd"},
                                           PathCase{"C:\\Games\\Host\\new\\file.txt", "new/file.txt"},
                                           PathCase{"C:/Games/Host/models/banner.txd", "models/banner.txd"},
                                           PathCase{"D:\\Games\\Host\\Zephrel.ini", nullptr},
                                           PathCase{"\\Zephrel.ini", nullptr},
                                           PathCase{"C:\\Games\\Host\\..\\Zephrel.ini", nullptr},
                                           PathCase{"C:\\Games\\Host\\my mods\\a.txt", "My Mods/a.txt"},
                                           PathCase{"C:\\Games\\Host\\MYMODS~1\\a.txt", "My Mods/a.txt"},
                                           PathCase{"C:\\Games\\Host\\mymods~2\\a.txt", "My Mods 2/a.txt"}));

// A file's attributes: its size, and its last write as a FILETIME that moves when the file is written.
TEST(Files, AttributesGiveSizeAndLastWriteAndAFolderIsMarked) {
  pe_test::HostFolder folder;
  folder.write("Zephrel.ini", "[MAIN]\n");
  folder.write("MODELS/BANNER.TXD", "x");
  auto GetFileAttributesExW = kernel32<int(STDCALL*)(const char16_t*, int, std::uint32_t*)>("GetFileAttributesExW");
  std::uint32_t data[9] = {};  // attributes, three FILETIMEs, size high and low
  ASSERT_EQ(GetFileAttributesExW(u"c:\\games\\host\\ZEPHREL.INI", 0, data), 1);
  EXPECT_EQ(data[0] & 0x10, 0u);
  EXPECT_EQ(data[7], 0u);
  EXPECT_EQ(data[8], 7u);
  const std::uint64_t written = std::uint64_t{data[6]} << 32 | data[5];
  EXPECT_GT(written, 116444736000000000ull);  // after 1970
  std::filesystem::last_write_time(
      folder.path() / "Zephrel.ini",
      std::filesystem::last_write_time(folder.path() / "Zephrel.ini") + std::chrono::seconds(3));
  ASSERT_EQ(GetFileAttributesExW(u"C:\\Games\\Host\\Zephrel.ini", 0, data), 1);
  EXPECT_EQ((std::uint64_t{data[6]} << 32 | data[5]) - written, 30000000u);
  ASSERT_EQ(GetFileAttributesExW(u"C:\\Games\\Host\\MODELS", 0, data), 1);
  EXPECT_NE(data[0] & 0x10, 0u);
  EXPECT_EQ(GetFileAttributesExW(u"C:\\Games\\Host\\missing.ini", 0, data), 0);
  EXPECT_EQ(GetLastError(), 2u);  // ERROR_FILE_NOT_FOUND
}

// Short names as NTFS keeps them: an entry whose name is no valid 8.3 name has an ASCII alias (a checksum when
// the name has no ASCII to take); the A functions' paths take them like long names.
TEST(Files, ShortNamesLeadToTheSameFiles) {
  pe_test::HostFolder folder;
  folder.write("My Mods/a.txt", "x");
  folder.write("\u30b2\u30fc\u30e0/Caf\u00e9 au lait.text", "x");
  auto GetShortPathNameW = kernel32<uint32_t(STDCALL*)(const char16_t*, char16_t*, uint32_t)>("GetShortPathNameW");
  const char16_t* long_path = u"C:\\Games\\Host\\\u30b2\u30fc\u30e0\\Caf\u00e9 au lait.text";
  const std::u16string expected = u"C:\\Games\\Host\\" + std::u16string(u"60B7~1\\CAFAUL~1.TEX");
  char16_t short_path[64];
  EXPECT_EQ(GetShortPathNameW(long_path, short_path, 8), expected.size() + 1);  // the size needed
  ASSERT_EQ(GetShortPathNameW(long_path, short_path, 64), expected.size());
  EXPECT_EQ(std::u16string(short_path), expected);
  EXPECT_EQ(GetShortPathNameW(u"C:\\Games\\Host\\missing.txt", short_path, 64), 0u);
  EXPECT_EQ(GetLastError(), 2u);  // ERROR_FILE_NOT_FOUND
  EXPECT_EQ(simhost::pe::ansi_to_host_path("C:\\Games\\Host\\60b7~1\\Caf\xE9 au lait.text"),
            folder.path() / "\u30b2\u30fc\u30e0/Caf\u00e9 au lait.text");

  simhost::pe::set_short_names(false);
  ASSERT_EQ(GetShortPathNameW(long_path, short_path, 64), std::u16string(long_path).size());
  EXPECT_EQ(std::u16string(short_path), long_path);
  EXPECT_TRUE(simhost::pe::to_host_path("C:\\Games\\Host\\MYMODS~1\\a.txt") == folder.path() / "MYMODS~1/a.txt");
  simhost::pe::set_short_names(true);
}

std::string printed(const char* fmt, ...) {
  pe_test::HostFolder folder;
  File* f = fopen("C:\\Games\\Host\\p.txt", "wb");
  va_list ap;
  va_start(ap, fmt);
  auto vfprintf_ = msvcrt<int (*)(File*, const char*, va_list)>("vfprintf");
  int n = vfprintf_(f, fmt, ap);
  va_end(ap);
  fclose(f);
  std::string out = folder.read("p.txt");
  EXPECT_EQ(n, static_cast<int>(out.size()));
  return out;
}

TEST(Printf, UsesMsvcrtConversions) {
  EXPECT_EQ(printed("%d|%5s|%-3c|%x|%%", -7, "ab", 'z', 255u), "-7|   ab|z  |ff|%");
  EXPECT_EQ(printed("%I64d %I64x %lld", int64_t{-5000000000}, uint64_t{0x123456789}, 42ll), "-5000000000 123456789 42");
  EXPECT_EQ(printed("%ls|%S|%hs|%wc", u"wide", u"\u00e9t\u00e9", "narrow", u'\u20ac'),
            "wide|\u00e9t\u00e9|narrow|\u20ac");
  EXPECT_EQ(printed("%.2f %e %*d %-*.*s|", 3.14159, 1.0, 4, 7, 5, 2, "abc"), "3.14 1.000000e+00    7 ab   |");
  EXPECT_EQ(printed("%p %s", reinterpret_cast<void*>(0xABCD), static_cast<const char*>(nullptr)), "0000ABCD (null)");
}

TEST(Printf, FprintfReachesTheFile) {
  pe_test::HostFolder folder;
  File* f = fopen("C:\\Games\\Host\\log.txt", "w");
  EXPECT_EQ(fprintf_(f, "%s=%d\n", "x", 5), 4);
  fclose(f);
  EXPECT_EQ(folder.read("log.txt"), "x=5\r\n");
}

// --- numbers and text ------------------------------------------------------------------------------

TEST(Msvcrt, StrtolReportsRangeErrorsThroughItsOwnErrno) {
  auto strtol_ = msvcrt<long (*)(const char*, char**, int)>("strtol");
  *errno_() = 0;
  EXPECT_EQ(strtol_("99999999999", nullptr, 10), 2147483647L);
  EXPECT_EQ(*errno_(), 34);  // ERANGE
  *errno_() = 0;
  char* end = nullptr;
  const char* text = "  -0x1fz";
  EXPECT_EQ(strtol_(text, &end, 16), -31L);
  EXPECT_EQ(end, text + 7);
  EXPECT_EQ(*errno_(), 0);

  auto ultoa = msvcrt<char* (*)(unsigned long, char*, int)>("_ultoa");
  char buf[40];
  EXPECT_STREQ(ultoa(4294967295ul, buf, 16), "ffffffff");
  EXPECT_STREQ(ultoa(5, buf, 2), "101");
  EXPECT_STREQ(ultoa(0, buf, 36), "0");
}

const auto MultiByteToWideChar =
    kernel32<int(STDCALL*)(uint32_t, uint32_t, const char*, int, char16_t*, int)>("MultiByteToWideChar");
const auto WideCharToMultiByte =
    kernel32<int(STDCALL*)(uint32_t, uint32_t, const char16_t*, int, char*, int, const char*, int*)>(
        "WideCharToMultiByte");

TEST(CodePages, Utf8AndWindows1252RoundTrip) {
  char16_t wide[16];
  EXPECT_EQ(MultiByteToWideChar(65001, 0,
                                "Gr\xC3\xBC\xC3\x9F"
                                "e",
                                -1, nullptr, 0),
            6);
  ASSERT_EQ(MultiByteToWideChar(65001, 0,
                                "Gr\xC3\xBC\xC3\x9F"
                                "e",
                                -1, wide, 16),
            6);
  EXPECT_EQ(std::u16string(wide), u"Gr\u00fc\u00dfe");

  char narrow[16];
  ASSERT_EQ(WideCharToMultiByte(65001, 0, wide, -1, narrow, 16, nullptr, nullptr), 8);
  EXPECT_STREQ(narrow,
               "Gr\xC3\xBC\xC3\x9F"
               "e");

  ASSERT_EQ(MultiByteToWideChar(0, 0, "\x80\xE9", 2, wide, 16), 2);
  EXPECT_EQ(wide[0], u'\u20ac');
  EXPECT_EQ(wide[1], u'\u00e9');
  int used_default = 0;
  EXPECT_EQ(WideCharToMultiByte(1252, 0, u"\u20ac\u4e2d", 2, narrow, 16, nullptr, &used_default), 2);
  EXPECT_EQ(std::string(narrow, 2), "\x80?");
  EXPECT_TRUE(used_default);

  EXPECT_EQ(MultiByteToWideChar(65001, 0, "abcdef", 6, wide, 3), 0);
  EXPECT_EQ(GetLastError(), 122u);
  EXPECT_EQ(MultiByteToWideChar(65001, 8, "\xC3", 1, wide, 3), 0);  // MB_ERR_INVALID_CHARS
  EXPECT_EQ(GetLastError(), 1113u);
}

// Without WC_NO_BEST_FIT_CHARS a character the code page lacks may become a look-alike, unreported; UTF-8 takes
// neither a default character nor other flags than WC_ERR_INVALID_CHARS.
TEST(CodePages, BestFitAndTheUtf8Rules) {
  constexpr uint32_t kNoBestFit = 0x400, kErrInvalidChars = 0x80;
  struct Case {
    uint32_t code_page, flags;
    const char16_t* text;
    bool ask_used_default;
    int result;
    const char* out;  // the bytes, or the error code as text
    bool used_default;
  };
  const Case cases[] = {
      {1252, 0, u"\uff4d\u0142\u4e2d", true, 4, "ml?", true},
      {1252, 0, u"\uff4d\u0142", true, 3, "ml", false},
      {1252, kNoBestFit, u"\uff4d\u0142", true, 3, "??", true},
      {0, kNoBestFit, u"\u00e9", true, 2, "\xE9", false},
      {65001, 0, u"\u00e9", true, 0, "87", false},
      {65001, kNoBestFit, u"\u00e9", false, 0, "1004", false},
      {65001, kErrInvalidChars, u"a\xD800", false, 0, "1113", false},
      {65001, 0, u"a\xD800", false, 5, "a\xEF\xBF\xBD", false},
      {1252, kErrInvalidChars, u"a", true, 0, "1004", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.code_page << " " << c.flags << " " << c.out);
    char out[16] = {};
    int used = 0;
    const int n =
        WideCharToMultiByte(c.code_page, c.flags, c.text, -1, out, 16, nullptr, c.ask_used_default ? &used : nullptr);
    EXPECT_EQ(n, c.result);
    if (n > 0)
      EXPECT_STREQ(out, c.out);
    else
      EXPECT_EQ(std::to_string(GetLastError()), c.out);
    EXPECT_EQ(used != 0, c.used_default);
  }
}

// --- synchronisation -------------------------------------------------------------------------------

TEST(Sync, CriticalSectionsAreRecursiveAndExclusive) {
  struct alignas(4) {
    uint8_t bytes[24];
  } cs;
  auto Init = kernel32<void(STDCALL*)(void*)>("InitializeCriticalSection");
  auto Enter = kernel32<void(STDCALL*)(void*)>("EnterCriticalSection");
  auto TryEnter = kernel32<int(STDCALL*)(void*)>("TryEnterCriticalSection");
  auto Leave = kernel32<void(STDCALL*)(void*)>("LeaveCriticalSection");
  Init(&cs);
  Enter(&cs);
  EXPECT_TRUE(TryEnter(&cs));
  int other = -1;
  std::thread([&] { other = TryEnter(&cs); }).join();
  EXPECT_EQ(other, 0);
  Leave(&cs);
  Leave(&cs);
  std::thread([&] {
    other = TryEnter(&cs);
    if (other) Leave(&cs);
  }).join();
  EXPECT_EQ(other, 1);
}

const auto CreateEventA = kernel32<Handle(STDCALL*)(void*, int, int, const char*)>("CreateEventA");
const auto CreateSemaphoreA = kernel32<Handle(STDCALL*)(void*, int32_t, int32_t, const char*)>("CreateSemaphoreA");
const auto WaitForSingleObject = kernel32<uint32_t(STDCALL*)(Handle, uint32_t)>("WaitForSingleObject");
const auto SetEvent = kernel32<int(STDCALL*)(Handle)>("SetEvent");
const auto CloseHandle = kernel32<int(STDCALL*)(Handle)>("CloseHandle");

TEST(Sync, EventsAndSemaphoresCountSignals) {
  constexpr uint32_t kSignalled = 0, kTimeout = 0x102;
  Handle automatic = CreateEventA(nullptr, 0, 1, nullptr);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), kSignalled);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), kTimeout);  // consumed
  SetEvent(automatic);
  EXPECT_EQ(WaitForSingleObject(automatic, 5), kSignalled);

  Handle manual = CreateEventA(nullptr, 1, 0, nullptr);
  SetEvent(manual);
  EXPECT_EQ(WaitForSingleObject(manual, 0), kSignalled);
  EXPECT_EQ(WaitForSingleObject(manual, 0), kSignalled);

  Handle sem = CreateSemaphoreA(nullptr, 1, 2, nullptr);
  auto Release = kernel32<int(STDCALL*)(Handle, int32_t, int32_t*)>("ReleaseSemaphore");
  int32_t previous = -1;
  EXPECT_TRUE(Release(sem, 1, &previous));
  EXPECT_EQ(previous, 1);
  EXPECT_FALSE(Release(sem, 1, nullptr));
  EXPECT_EQ(GetLastError(), 298u);  // ERROR_TOO_MANY_POSTS
  EXPECT_EQ(WaitForSingleObject(sem, 0), kSignalled);
  EXPECT_EQ(WaitForSingleObject(sem, 0), kSignalled);
  EXPECT_EQ(WaitForSingleObject(sem, 0), kTimeout);

  for (Handle h : {automatic, manual, sem}) EXPECT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(sem));
  EXPECT_EQ(WaitForSingleObject(sem, 0), 0xFFFFFFFFu);
}

TEST(SyncDeathTest, WaitingForeverOnNothingStopsTheTest) {
  Handle never = CreateEventA(nullptr, 1, 0, nullptr);
  EXPECT_DEATH(WaitForSingleObject(never, 0xFFFFFFFF), "waits forever");
  CloseHandle(never);
}

// --- setjmp/longjmp on msvcrt's jump buffer --------------------------------------------------------

const auto setjmp3 = msvcrt<int (*)(uint32_t*, int)>("_setjmp3");
const auto longjmp_ = msvcrt<void (*)(uint32_t*, int)>("longjmp");

__attribute__((noinline)) void jump_back(uint32_t* buffer) { longjmp_(buffer, 0); }

__attribute__((noinline)) int jump_round_trip() {
  uint32_t buffer[16] = {};
  volatile int passes = 0;
  int value = setjmp3(buffer, 0);
  passes = passes + 1;
  if (passes == 1) jump_back(buffer);
  return value * 10 + passes;
}

TEST(Msvcrt, LongjmpReturnsToSetjmpWithANonZeroValue) {
  simhost::pe::ThreadBlock::current();  // the jump buffer keeps fs:0, as DLL code has it
  EXPECT_EQ(jump_round_trip(), 12);
}

// --- USER32 ----------------------------------------------------------------------------------------

TEST(User32, MessageBoxesAreRecordedWithTheirOwner) {
  auto GetActiveWindow = reinterpret_cast<uint32_t(STDCALL*)()>(find_shim("USER32.dll", "GetActiveWindow"));
  auto MessageBoxA = reinterpret_cast<int(STDCALL*)(uint32_t, const char*, const char*, uint32_t)>(
      find_shim("USER32.dll", "MessageBoxA"));
  simhost::pe::set_active_window(0x42);
  simhost::pe::set_message_box_answer(7);  // IDNO
  simhost::pe::clear_message_boxes();
  EXPECT_EQ(MessageBoxA(GetActiveWindow(), "Bad line 3", "Zephrel", 0x10), 7);
  simhost::pe::set_message_box_answer(1);
  ASSERT_EQ(simhost::pe::message_boxes().size(), 1u);
  EXPECT_EQ(simhost::pe::message_boxes()[0].owner, 0x42u);
  EXPECT_EQ(simhost::pe::message_boxes()[0].text, "Bad line 3");
  EXPECT_EQ(simhost::pe::message_boxes()[0].caption, "Zephrel");
  EXPECT_EQ(simhost::pe::message_boxes()[0].style, 0x10u);
}

}  // namespace
