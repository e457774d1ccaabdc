// Loading real mingw-w64 DLLs: start-up of their C++ runtime, what they see of the host, relocation,
// unloading, and imports nobody provides.
#include <sys/mman.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mailbox.h"
#include "memory_map.h"
#include "pe_loader.h"
#include "pe_test_support.h"
#include "win32.h"

namespace {

using simhost::pe::LoadError;
using simhost::pe::Module;
using simhost::pe::PeImage;

constexpr uint32_t kPageReadOnly = 0x02, kPageReadWrite = 0x04;
constexpr uint32_t kMemCommit = 0x1000;
constexpr uint32_t kErrorInvalidAddress = 487;

std::vector<uint32_t> events(const probe::Mailbox* m) { return {m->events, m->events + m->event_count}; }

class ProbeDll : public ::testing::Test {
 protected:
  void SetUp() override {
    mailbox_ = pe_test::map_fixed(probe::kMailboxAddress, 0x1000, PROT_READ | PROT_WRITE);
    locked_ = pe_test::map_fixed(probe::kLockedPage, 0x1000, PROT_READ);
    ASSERT_NE(mailbox_, MAP_FAILED);
    ASSERT_NE(locked_, MAP_FAILED);
    ASSERT_TRUE(simhost::pe::range_is_free(probe::kUnmappedPage, 0x1000));
    folder_.write("data/probe_lines.txt",
                  "alpha\r\nbeta\r\n\r\nlone\rcr\r\ngamma\x1A"
                  "after ctrl-z\r\n");
    simhost::pe::set_active_window(0x000A0B0C);
    simhost::pe::clear_message_boxes();
  }

  void TearDown() override {
    if (mailbox_ != MAP_FAILED) munmap(mailbox_, 0x1000);
    if (locked_ != MAP_FAILED) munmap(locked_, 0x1000);
  }

  probe::Mailbox* mailbox() const { return probe::mailbox(); }

  void* mailbox_ = MAP_FAILED;
  void* locked_ = MAP_FAILED;
  pe_test::HostFolder folder_;
  std::filesystem::path dll_ = pe_test::dll_path("pe_probe.dll");
};

TEST_F(ProbeDll, LoadsAtItsPreferredBaseAndItsRuntimeStartsAndStops) {
  PeImage image = PeImage::read(dll_);
  ASSERT_TRUE(simhost::pe::range_is_free(image.preferred_base(), image.size_of_image()));

  auto dll = Module::load(dll_);
  EXPECT_EQ(dll->base(), image.preferred_base());
  EXPECT_FALSE(dll->relocated());
  EXPECT_TRUE(dll->trapped_imports().empty());

  const probe::Mailbox* m = mailbox();
  EXPECT_EQ(m->magic, probe::kMagic);
  EXPECT_EQ(events(m), (std::vector<uint32_t>{probe::kConstructed, probe::kAttached}));
  EXPECT_EQ(m->dllmain_instance, dll->base());

  EXPECT_STREQ(m->caught, "thrown inside the DLL");
  EXPECT_EQ(m->function_result, 42);
  EXPECT_EQ(m->local_static_inits, 1);
  EXPECT_EQ(m->stoi_value, -17);
  EXPECT_EQ(m->stoi_invalid_caught, 1);
  EXPECT_EQ(m->stoi_range_caught, 1);

  EXPECT_EQ(m->file_opened, 1);
  std::vector<std::string> lines(m->lines, m->lines + m->line_count);
  EXPECT_EQ(lines, (std::vector<std::string>{"alpha", "beta", "", "lone\rcr", "gamma"}));

  EXPECT_EQ(m->protect_ok, 1);
  EXPECT_EQ(m->old_protect, kPageReadOnly);
  EXPECT_EQ(m->restored_protect, kPageReadWrite);
  EXPECT_EQ(*static_cast<uint32_t*>(locked_), 0xC0FFEEu);
  EXPECT_EQ(simhost::pe::protection_at(probe::kLockedPage), PROT_READ);
  EXPECT_EQ(m->protect_unmapped_ok, 0);
  EXPECT_EQ(m->protect_unmapped_error, kErrorInvalidAddress);
  EXPECT_EQ(m->query_state, kMemCommit);
  EXPECT_EQ(m->query_protect, kPageReadOnly);

  EXPECT_EQ(m->module_ok, 1);
  EXPECT_EQ(m->module_handle, dll->base());
  EXPECT_STREQ(m->module_path, "C:\\Games\\Host\\pe_probe.dll");
  EXPECT_EQ(m->module_path_length, std::strlen(m->module_path));
  EXPECT_EQ(m->exe_handle, simhost::pe::host_image_base());
  EXPECT_STREQ(m->exe_path, "C:\\Games\\Host\\game.exe");

  ASSERT_EQ(simhost::pe::message_boxes().size(), 1u);
  const simhost::pe::MessageBoxRecord& box = simhost::pe::message_boxes()[0];
  EXPECT_EQ(box.owner, 0x000A0B0Cu);
  EXPECT_EQ(box.text, "C:\\Games\\Host\\pe_probe.dll");
  EXPECT_EQ(box.caption, "Probe");
  EXPECT_EQ(box.style, 0x40u);  // MB_OK | MB_ICONINFORMATION
  EXPECT_EQ(m->message_box_answer, 1);

  EXPECT_EQ(simhost::pe::module_containing(dll->base() + 0x1234), dll.get());
  EXPECT_EQ(simhost::pe::module_named("PE_PROBE"), dll.get());

  uint32_t base = dll->base(), size = dll->size();
  dll->unload();
  EXPECT_EQ(events(m),
            (std::vector<uint32_t>{probe::kConstructed, probe::kAttached, probe::kDetached, probe::kDestroyed}));
  EXPECT_TRUE(simhost::pe::range_is_free(base, size));
  EXPECT_EQ(simhost::pe::module_containing(base + 0x1234), nullptr);
}

TEST_F(ProbeDll, RelocatesWhenItsPreferredRangeIsTaken) {
  PeImage image = PeImage::read(dll_);
  ASSERT_TRUE(image.has_relocations());
  void* squatter = pe_test::map_fixed(image.preferred_base() + 0x10000, 0x1000, PROT_READ);
  ASSERT_NE(squatter, MAP_FAILED);

  auto dll = Module::load(dll_);
  EXPECT_TRUE(dll->relocated());
  EXPECT_NE(dll->base(), image.preferred_base());
  EXPECT_EQ(simhost::pe::protection_at(image.preferred_base() + 0x10000), PROT_READ);

  // Static constructors, exception tables and vtables all go through relocated addresses.
  const probe::Mailbox* m = mailbox();
  EXPECT_EQ(events(m), (std::vector<uint32_t>{probe::kConstructed, probe::kAttached}));
  EXPECT_STREQ(m->caught, "thrown inside the DLL");
  EXPECT_EQ(m->function_result, 42);
  EXPECT_EQ(m->stoi_invalid_caught, 1);
  EXPECT_EQ(m->line_count, 5u);
  EXPECT_EQ(m->module_handle, dll->base());

  dll.reset();
  EXPECT_EQ(m->event_count, 4u);
  munmap(squatter, 0x1000);
}

TEST_F(ProbeDll, ItsExportIsFoundAndCallableFromTheHost) {
  auto dll = Module::load(dll_);
  using Parse = int (*)(const char*);
  auto parse = reinterpret_cast<Parse>(dll->find_export("probe_parse"));
  ASSERT_NE(parse, nullptr);
  EXPECT_EQ(dll->find_export(uint16_t{1}), reinterpret_cast<void*>(parse));
  EXPECT_EQ(dll->find_export("DllMain"), nullptr);

  EXPECT_EQ(parse("1234"), 1234);
  EXPECT_EQ(parse("oops"), -1);  // std::invalid_argument thrown and caught inside, on a call from here
}

TEST_F(ProbeDll, ItsSectionsHaveTheirOwnProtections) {
  auto dll = Module::load(dll_);
  using VirtualProtectFn = int(__attribute__((stdcall))*)(uint32_t, uint32_t, uint32_t, uint32_t*);
  using VirtualQueryFn = uint32_t(__attribute__((stdcall))*)(uint32_t, uint32_t*, uint32_t);
  auto protect = reinterpret_cast<VirtualProtectFn>(simhost::pe::find_shim("KERNEL32.dll", "VirtualProtect"));
  auto query = reinterpret_cast<VirtualQueryFn>(simhost::pe::find_shim("KERNEL32.dll", "VirtualQuery"));

  uint32_t code = dll->base() + dll->image().entry_rva();
  uint32_t info[7] = {};  // BaseAddress, AllocationBase, AllocationProtect, RegionSize, State, Protect, Type
  ASSERT_EQ(query(code, info, sizeof info), 28u);
  EXPECT_EQ(info[1], dll->base());
  EXPECT_EQ(info[5], 0x20u);       // PAGE_EXECUTE_READ
  EXPECT_EQ(info[6], 0x1000000u);  // MEM_IMAGE
  ASSERT_EQ(query(dll->base(), info, sizeof info), 28u);
  EXPECT_EQ(info[5], kPageReadOnly);  // the headers
  EXPECT_EQ(info[3], 0x1000u);

  // As the plug-in patches code: lift, write, put back what was there. The page after the read-only
  // headers is where qemu-i386's maps alone would report the wrong protection.
  uint32_t first_code_page = dll->base() + 0x1000, old = 0, lifted = 0;
  ASSERT_TRUE(protect(first_code_page, 5, 0x40, &old));
  EXPECT_EQ(old, 0x20u);
  ASSERT_TRUE(protect(first_code_page, 5, old, &lifted));
  EXPECT_EQ(lifted, 0x40u);
  EXPECT_EQ(simhost::pe::protection_at(first_code_page), PROT_READ | PROT_EXEC);
}

TEST_F(ProbeDll, AttachRefusedByDllMainUnloadsAndReports) {
  mailbox()->refuse_attach = 1;
  PeImage image = PeImage::read(dll_);
  try {
    Module::load(dll_);
    FAIL() << "load should have failed";
  } catch (const LoadError& e) {
    EXPECT_NE(std::string(e.what()).find("pe_probe.dll: DllMain refused"), std::string::npos) << e.what();
  }
  EXPECT_EQ(events(mailbox()),
            (std::vector<uint32_t>{probe::kConstructed, probe::kAttached, probe::kDetached, probe::kDestroyed}));
  EXPECT_TRUE(simhost::pe::range_is_free(image.preferred_base(), image.size_of_image()));
  EXPECT_EQ(simhost::pe::module_named("pe_probe.dll"), nullptr);
}

TEST_F(ProbeDll, LoadsAgainAfterUnloadWithFreshState) {
  for (int round = 0; round < 3; ++round) {
    std::memset(mailbox(), 0, sizeof(probe::Mailbox));
    auto dll = Module::load(dll_);
    EXPECT_EQ(mailbox()->local_static_inits, 1) << "round " << round;
    EXPECT_EQ(mailbox()->line_count, 5u) << "round " << round;
  }
}

TEST_F(ProbeDll, ReportsTheNameAndFolderGivenByTheHost) {
  const struct {
    simhost::pe::LoadOptions options;
    const char* path;
  } cases[] = {
      {{.name = "Zephrel.dll"}, "C:\\Games\\Host\\Zephrel.dll"},
      {{.name = "Zephrel.dll", .folder = "scripts\\asi\\"}, "C:\\Games\\Host\\scripts\\asi\\Zephrel.dll"},
  };
  for (const auto& c : cases) {
    auto dll = Module::load(dll_, c.options);
    EXPECT_EQ(dll->windows_path(), c.path);
    EXPECT_STREQ(mailbox()->module_path, c.path);
    EXPECT_EQ(simhost::pe::module_named("zephrel"), dll.get()) << "found by its name alone, as on Windows";
  }
}

TEST(PeImports, EveryImportOfTheProbeDllHasAStandIn) {
  PeImage image = PeImage::read(pe_test::dll_path("pe_probe.dll"));
  ASSERT_GT(image.imports().size(), 100u);
  std::vector<std::string> missing;
  for (const simhost::pe::ImportRef& ref : image.imports()) {
    std::printf("  %s\n", ref.display().c_str());
    if (!simhost::pe::find_shim(ref.dll, ref.function)) missing.push_back(ref.display());
  }
  EXPECT_TRUE(missing.empty()) << ::testing::PrintToString(missing);
}

TEST(PeImports, UnprovidedImportBecomesATrapThatNamesIt) {
  PeImage image = PeImage::read(pe_test::dll_path("pe_trap.dll"));
  std::vector<std::string> missing;
  for (const simhost::pe::ImportRef& ref : image.imports())
    if (!simhost::pe::find_shim(ref.dll, ref.function)) missing.push_back(ref.display());
  EXPECT_EQ(missing, std::vector<std::string>{"KERNEL32.dll!Beep"});

  EXPECT_DEATH(Module::load(pe_test::dll_path("pe_trap.dll")),
               "pe_trap.dll called KERNEL32.dll!Beep, which the simulated host does not provide");
}

TEST(PeImports, StandInsAreFoundCaseInsensitivelyByDll) {
  EXPECT_NE(simhost::pe::find_shim("kernel32.DLL", "VirtualProtect"), nullptr);
  EXPECT_EQ(simhost::pe::find_shim("kernel32.DLL", "virtualprotect"), nullptr);  // function names are exact
  EXPECT_EQ(simhost::pe::find_shim("ntdll.dll", "VirtualProtect"), nullptr);
}

}  // namespace
