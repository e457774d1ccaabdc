// The Windows thread environment block (TEB) and process environment block (PEB) that DLL code reaches
// through the fs segment. Each thread that runs DLL code gets its own TEB behind an LDT entry; glibc on
// i386 keeps its own thread pointer in gs, so fs is ours.
#pragma once

#include <cstdint>

namespace simhost::pe {

namespace teb {
constexpr uint32_t kExceptionList = 0x00;
constexpr uint32_t kStackBase = 0x04;
constexpr uint32_t kStackLimit = 0x08;
constexpr uint32_t kSelf = 0x18;
constexpr uint32_t kProcessId = 0x20;
constexpr uint32_t kThreadId = 0x24;
constexpr uint32_t kTlsPointer = 0x2C;  // array of per-module implicit TLS blocks
constexpr uint32_t kPeb = 0x30;
constexpr uint32_t kLastError = 0x34;
constexpr uint32_t kTlsSlots = 0xE10;  // TlsAlloc/TlsGetValue values
constexpr uint32_t kTlsSlotCount = 64;
}  // namespace teb

namespace peb {
constexpr uint32_t kBeingDebugged = 0x02;
constexpr uint32_t kImageBase = 0x08;
constexpr uint32_t kProcessHeap = 0x18;
constexpr uint32_t kNumberOfProcessors = 0x64;
constexpr uint32_t kOsMajorVersion = 0xA4;
constexpr uint32_t kOsMinorVersion = 0xA8;
constexpr uint32_t kOsBuildNumber = 0xAC;
constexpr uint32_t kOsPlatformId = 0xB0;
}  // namespace peb

constexpr uint32_t kImplicitTlsSlots = 64;

class ThreadBlock {
 public:
  // The calling thread's block; made and loaded into fs on first use.
  static ThreadBlock& current();

  uint32_t teb_address() const { return reinterpret_cast<uint32_t>(teb_); }
  uint32_t peb_address() const { return reinterpret_cast<uint32_t>(peb_); }
  uint16_t selector() const { return selector_; }
  // fs again, for callers that cannot know whether something else reloaded it.
  void load_fs() const;

  uint32_t& teb_word(uint32_t offset) { return *reinterpret_cast<uint32_t*>(teb_ + offset); }
  uint32_t& peb_word(uint32_t offset) { return *reinterpret_cast<uint32_t*>(peb_ + offset); }
  void*& tls_slot(uint32_t index);      // index < teb::kTlsSlotCount
  void*& implicit_tls(uint32_t index);  // index < kImplicitTlsSlots

 private:
  ThreadBlock();
  uint8_t* teb_ = nullptr;
  uint8_t* peb_ = nullptr;
  uint16_t selector_ = 0;
};

// fs as the calling thread has it now (0 before any DLL code ran on it).
uint16_t current_fs();

}  // namespace simhost::pe
