// A DLL built exactly like the plug-in, exercising what its runtime needs from the simulated host.
// It reports into the mailbox the test maps (mailbox.h).
#include <windows.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>

#include "mailbox.h"

namespace {

struct Lifetime {
  Lifetime() {
    probe::mailbox()->magic = probe::kMagic;
    probe::record(probe::kConstructed);
  }
  ~Lifetime() { probe::record(probe::kDestroyed); }
};
Lifetime lifetime;

int& local_static() {
  static int value = ++probe::mailbox()->local_static_inits;
  return value;
}

void copy(char* to, size_t size, const std::string& from) {
  std::strncpy(to, from.c_str(), size - 1);
  to[size - 1] = '\0';
}

void exercise_runtime(probe::Mailbox* m) {
  try {
    throw std::runtime_error("thrown inside the DLL");
  } catch (const std::exception& e) {
    copy(m->caught, sizeof m->caught, e.what());
  }

  std::function<int(int)> add = [base = 40](int x) { return base + x; };
  m->function_result = add(2);

  local_static();
  local_static();

  m->stoi_value = std::stoi("  -17");
  try {
    std::stoi("not a number");
  } catch (const std::invalid_argument&) {
    m->stoi_invalid_caught = 1;
  }
  try {
    std::stoi("99999999999");
  } catch (const std::out_of_range&) {
    m->stoi_range_caught = 1;
  }
}

void read_lines(probe::Mailbox* m) {
  // Other case and separators than on disk, as a Windows user would write them.
  std::ifstream in("C:\\Games\\Host\\Data\\PROBE_LINES.TXT");
  m->file_opened = in.is_open();
  std::string line;
  while (m->line_count < 6 && std::getline(in, line)) copy(m->lines[m->line_count++], 32, line);
}

void change_protection(probe::Mailbox* m) {
  auto* page = reinterpret_cast<volatile uint32_t*>(probe::kLockedPage);
  DWORD old = 0, restored = 0;
  m->protect_ok = VirtualProtect((void*)page, 4096, PAGE_READWRITE, &old);
  if (m->protect_ok) {
    *page = 0xC0FFEE;
    VirtualProtect((void*)page, 4096, old, &restored);
  }
  m->old_protect = old;
  m->restored_protect = restored;

  SetLastError(0);
  m->protect_unmapped_ok = VirtualProtect((void*)probe::kUnmappedPage, 16, PAGE_READWRITE, &old);
  m->protect_unmapped_error = GetLastError();

  MEMORY_BASIC_INFORMATION info{};
  VirtualQuery((void*)probe::kLockedPage, &info, sizeof info);
  m->query_state = info.State;
  m->query_protect = info.Protect;
}

void find_own_module(probe::Mailbox* m) {
  HMODULE self = nullptr;
  m->module_ok =
      GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&find_own_module), &self);
  m->module_handle = reinterpret_cast<uint32_t>(self);
  m->module_path_length = GetModuleFileNameA(self, m->module_path, sizeof m->module_path);
  m->exe_handle = reinterpret_cast<uint32_t>(GetModuleHandleA(nullptr));
  GetModuleFileNameA(nullptr, m->exe_path, sizeof m->exe_path);
  m->message_box_answer = MessageBoxA(GetActiveWindow(), m->module_path, "Probe", MB_OK | MB_ICONINFORMATION);
}

}  // namespace

// The one export, to show the loader finds exports too; the plug-in itself has none.
extern "C" __declspec(dllexport) int probe_parse(const char* text) {
  try {
    return std::stoi(text);
  } catch (const std::exception&) {
    return -1;
  }
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  probe::Mailbox* m = probe::mailbox();
  if (reason == DLL_PROCESS_ATTACH) {
    probe::record(probe::kAttached);
    m->dllmain_instance = reinterpret_cast<uint32_t>(instance);
    if (m->refuse_attach) return FALSE;
    exercise_runtime(m);
    read_lines(m);
    change_protection(m);
    find_own_module(m);
  } else if (reason == DLL_PROCESS_DETACH) {
    probe::record(probe::kDetached);
  }
  return TRUE;
}
