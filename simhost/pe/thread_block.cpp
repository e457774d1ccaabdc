#include "thread_block.h"

#include <asm/ldt.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "win32.h"

namespace simhost::pe {
namespace {

constexpr uint32_t kPage = 4096;

void* map_zeroed(uint32_t size) {
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) {
    std::perror("simhost pe: mapping a thread block");
    std::abort();
  }
  return p;
}

uint8_t* process_block() {
  static uint8_t* const block = [] {
    auto* p = static_cast<uint8_t*>(map_zeroed(kPage));
    auto word = [p](uint32_t off) -> uint32_t& { return *reinterpret_cast<uint32_t*>(p + off); };
    word(peb::kImageBase) = host_image_base();
    word(peb::kProcessHeap) = 0x00150000;  // only compared against null by code that looks
    word(peb::kNumberOfProcessors) = 1;
    word(peb::kOsMajorVersion) = 6;  // Windows 7 SP1, what the host game is commonly run on
    word(peb::kOsMinorVersion) = 1;
    *reinterpret_cast<uint16_t*>(p + peb::kOsBuildNumber) = 7601;
    word(peb::kOsPlatformId) = 2;
    return p;
  }();
  return block;
}

// One LDT entry per thread. Kernels built without modify_ldt still give every thread a few GDT entries
// of its own through set_thread_area; glibc takes one of them for gs, one is left for us.
uint16_t make_selector(uint32_t base) {
  static std::atomic<unsigned> next_entry{1};
  user_desc d{};
  d.entry_number = next_entry++;
  d.base_addr = base;
  d.limit = 2 * kPage - 1;
  d.seg_32bit = 1;
  d.useable = 1;
  if (syscall(SYS_modify_ldt, 1, &d, sizeof d) == 0)
    return static_cast<uint16_t>(d.entry_number << 3 | 4 | 3);  // LDT, ring 3

  d.entry_number = static_cast<unsigned>(-1);
  if (syscall(SYS_set_thread_area, &d) == 0) return static_cast<uint16_t>(d.entry_number << 3 | 3);
  std::perror("simhost pe: neither modify_ldt nor set_thread_area gives a segment for the TEB");
  std::abort();
}

}  // namespace

uint16_t current_fs() {
  uint16_t fs;
  asm volatile("movw %%fs, %0" : "=r"(fs));
  return fs;
}

ThreadBlock::ThreadBlock() {
  // Page 0 is the TEB, page 1 the array of implicit TLS blocks it points to; the segment covers both.
  teb_ = static_cast<uint8_t*>(map_zeroed(2 * kPage));
  peb_ = process_block();

  pthread_attr_t attr;
  void* stack_low = nullptr;
  size_t stack_size = 0;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    pthread_attr_getstack(&attr, &stack_low, &stack_size);
    pthread_attr_destroy(&attr);
  }
  auto low = reinterpret_cast<uint32_t>(stack_low);
  teb_word(teb::kExceptionList) = 0xFFFFFFFF;  // end of the SEH chain
  teb_word(teb::kStackBase) = low + static_cast<uint32_t>(stack_size);
  teb_word(teb::kStackLimit) = low;
  teb_word(teb::kSelf) = teb_address();
  teb_word(teb::kProcessId) = static_cast<uint32_t>(getpid());
  teb_word(teb::kThreadId) = static_cast<uint32_t>(gettid());
  teb_word(teb::kTlsPointer) = teb_address() + kPage;
  teb_word(teb::kPeb) = peb_address();

  selector_ = make_selector(teb_address());
  load_fs();
}

ThreadBlock& ThreadBlock::current() {
  // Its pages stay mapped, as DLL code may keep pointers into them; the object goes with its thread.
  thread_local ThreadBlock block;
  return block;
}

void ThreadBlock::load_fs() const { asm volatile("movw %0, %%fs" : : "r"(selector_)); }

void*& ThreadBlock::tls_slot(uint32_t index) {
  if (index >= teb::kTlsSlotCount) std::abort();
  return reinterpret_cast<void**>(teb_ + teb::kTlsSlots)[index];
}

void*& ThreadBlock::implicit_tls(uint32_t index) {
  if (index >= kImplicitTlsSlots) std::abort();
  return reinterpret_cast<void**>(teb_ + kPage)[index];
}

}  // namespace simhost::pe
