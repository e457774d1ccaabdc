// What the probe DLL records for the tests, at a fixed address the test maps before loading it: the
// DLL needs no export for the test to find its results. Compiled by both compilers, so fixed-width
// fields only.
#pragma once

#include <cstdint>

namespace probe {

constexpr uint32_t kMailboxAddress = 0x00300000;              // below the host image at 0x400000
constexpr uint32_t kLockedPage = kMailboxAddress + 0x1000;    // mapped read-only by the test
constexpr uint32_t kUnmappedPage = kMailboxAddress + 0x2000;  // never mapped
constexpr uint32_t kMagic = 0x5A455048;

enum Event : uint32_t { kConstructed = 1, kAttached, kDetached, kDestroyed };

struct Mailbox {
  uint32_t magic;
  uint32_t refuse_attach;  // set by the test: DllMain answers FALSE
  uint32_t events[8];      // in the order they happened
  uint32_t event_count;
  uint32_t dllmain_instance;

  char caught[64];  // what() of the exception thrown and caught during attach
  int32_t function_result;
  int32_t local_static_inits;
  int32_t stoi_value;
  int32_t stoi_invalid_caught;
  int32_t stoi_range_caught;

  int32_t file_opened;
  uint32_t line_count;
  char lines[6][32];

  int32_t protect_ok;
  uint32_t old_protect;
  uint32_t restored_protect;
  int32_t protect_unmapped_ok;
  uint32_t protect_unmapped_error;
  uint32_t query_state;
  uint32_t query_protect;

  int32_t module_ok;
  uint32_t module_handle;
  uint32_t module_path_length;
  char module_path[128];
  uint32_t exe_handle;
  char exe_path[128];
  int32_t message_box_answer;
};

inline Mailbox* mailbox() { return reinterpret_cast<Mailbox*>(kMailboxAddress); }

inline void record(Event e) {
  Mailbox* m = mailbox();
  if (m->event_count < 8) m->events[m->event_count++] = e;
}

}  // namespace probe
