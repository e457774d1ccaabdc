#include "patching/trampolines.h"

#include <atomic>
#include <cstring>

#include "platform/platform.h"

namespace patching {

namespace {

// One block of two pages: the trampolines' code, eight bytes each (FF 25 and the address of its cell, then two
// int3), then their cells.
constexpr std::uint32_t kSlotSize = 8;
constexpr std::uint32_t kBlockSize = 2 * platform::kPageSize;
static_assert(kTrampolineCapacity * kSlotSize <= platform::kPageSize);
static_assert(kTrampolineCapacity * sizeof(std::uint32_t) <= platform::kPageSize);

enum class Slot : std::uint8_t { kFree, kInUse, kLeft };

// Zero until the first trampoline is made, and constant-initialised: the call sites are hooked while the library
// loads, before any constructor of this file could run.
std::uint32_t block = 0;
Slot slots[kTrampolineCapacity];
std::size_t inUse = 0;
bool anyLeft = false;

std::uint32_t CodeOf(std::size_t slot) { return block + static_cast<std::uint32_t>(slot) * kSlotSize; }

std::uint32_t& CellOf(std::size_t slot) { return reinterpret_cast<std::uint32_t*>(block + platform::kPageSize)[slot]; }

// The slot of a trampoline this file made; kTrampolineCapacity for any other address.
std::size_t SlotOf(std::uint32_t trampoline) {
  const std::uint32_t offset = trampoline - block;
  if (block == 0 || offset >= kTrampolineCapacity * kSlotSize || offset % kSlotSize != 0) return kTrampolineCapacity;
  return offset / kSlotSize;
}

// A call site may run its trampoline at any moment: the cell changes in one store.
void Point(std::size_t slot, std::uint32_t destination) {
  std::atomic_ref<std::uint32_t>(CellOf(slot)).store(destination, std::memory_order_release);
}

// Reserves the block and writes every trampoline's code at once, so that its page never has to be writable again.
bool MakeBlock() {
  const std::uint32_t memory = platform::ReserveCodeMemory(kBlockSize);
  if (memory == 0) return false;
  block = memory;
  for (std::size_t slot = 0; slot < kTrampolineCapacity; ++slot) {
    const std::uint32_t cell = reinterpret_cast<std::uint32_t>(&CellOf(slot));
    std::uint8_t code[kSlotSize] = {0xFF, 0x25, 0, 0, 0, 0, 0xCC, 0xCC};
    std::memcpy(code + 2, &cell, sizeof cell);
    std::memcpy(reinterpret_cast<void*>(CodeOf(slot)), code, sizeof code);
  }
  if (platform::MakeCodeExecutable(memory, platform::kPageSize)) return true;
  platform::ReleaseCodeMemory(memory, kBlockSize);
  block = 0;
  return false;
}

}  // namespace

std::uint32_t MakeTrampoline(std::uint32_t destination) {
  if (block == 0 && !MakeBlock()) return 0;
  for (std::size_t slot = 0; slot < kTrampolineCapacity; ++slot) {
    if (slots[slot] != Slot::kFree) continue;
    slots[slot] = Slot::kInUse;
    ++inUse;
    Point(slot, destination);
    return CodeOf(slot);
  }
  return 0;
}

void ReleaseTrampoline(std::uint32_t trampoline) {
  const std::size_t slot = SlotOf(trampoline);
  if (slot == kTrampolineCapacity || slots[slot] != Slot::kInUse) return;
  slots[slot] = Slot::kFree;
  Point(slot, 0);
  if (--inUse > 0 || anyLeft) return;
  // When the memory cannot be given back it stays as it is, out of use.
  platform::ReleaseCodeMemory(block, kBlockSize);
  block = 0;
}

void LeaveTrampoline(std::uint32_t trampoline, std::uint32_t destination) {
  const std::size_t slot = SlotOf(trampoline);
  if (slot == kTrampolineCapacity || slots[slot] != Slot::kInUse) return;
  Point(slot, destination);
  slots[slot] = Slot::kLeft;
  --inUse;
  anyLeft = true;
}

}  // namespace patching
