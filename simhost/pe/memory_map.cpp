#include "memory_map.h"

#include <sys/mman.h>

#include <cstdio>
#include <map>
#include <mutex>

#include "win32_internal.h"

namespace simhost::pe {

std::vector<MappedRange> memory_map() {
  std::vector<MappedRange> ranges;
  std::FILE* maps = std::fopen("/proc/self/maps", "r");
  if (!maps) return ranges;
  char line[512];
  while (std::fgets(line, sizeof line, maps)) {
    unsigned long long begin = 0, end = 0;
    char perms[5] = {};
    if (std::sscanf(line, "%llx-%llx %4s", &begin, &end, perms) != 3) continue;
    if (begin > UINT32_MAX) continue;  // the emulator's own view may list host ranges up there
    MappedRange r;
    r.begin = static_cast<uint32_t>(begin);
    r.end = static_cast<uint32_t>(end > UINT32_MAX ? 0 : end);
    r.prot = (perms[0] == 'r' ? PROT_READ : 0) | (perms[1] == 'w' ? PROT_WRITE : 0) | (perms[2] == 'x' ? PROT_EXEC : 0);
    if (!ranges.empty() && ranges.back().end == r.begin && ranges.back().prot == r.prot)
      ranges.back().end = r.end;
    else
      ranges.push_back(r);
  }
  std::fclose(maps);
  return ranges;
}

std::optional<MappedRange> mapping_at(uint32_t address) {
  for (const MappedRange& r : memory_map())
    if (address >= r.begin && (r.end == 0 || address < r.end)) return r;
  return std::nullopt;
}

bool range_is_free(uint32_t begin, uint32_t size) {
  uint64_t end = uint64_t{begin} + size;
  for (const MappedRange& r : memory_map()) {
    uint64_t r_end = r.end == 0 ? (uint64_t{1} << 32) : r.end;
    if (r.begin < end && begin < r_end) return false;
  }
  return true;
}

namespace {

std::mutex ledger_mutex;
std::map<uint32_t, int> ledger;  // page number -> PROT_*

// Whether the maps show the exec bit page by page: make a read-execute page next to a read-only one
// and look. True natively; false under qemu-i386, which shows both with the first page's flags.
bool maps_are_exact() {
  static const bool exact = [] {
    const detail::SystemWork own;
    void* p = mmap(nullptr, 0x2000, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return true;
    mprotect(p, 0x1000, PROT_READ | PROT_EXEC);
    std::optional<MappedRange> second = mapping_at(reinterpret_cast<uint32_t>(p) + 0x1000);
    munmap(p, 0x2000);
    return second && second->prot == PROT_READ;
  }();
  return exact;
}

}  // namespace

void remember_protection(uint32_t begin, uint32_t size, int prot) {
  if (maps_are_exact()) return;
  std::lock_guard lock(ledger_mutex);
  uint64_t end = (uint64_t{begin} + size + 0xFFF) >> 12;
  for (uint64_t page = begin >> 12; page < end; ++page) ledger[static_cast<uint32_t>(page)] = prot;
}

void forget_protection(uint32_t begin, uint32_t size) {
  std::lock_guard lock(ledger_mutex);
  uint64_t end = (uint64_t{begin} + size + 0xFFF) >> 12;
  ledger.erase(ledger.lower_bound(begin >> 12), ledger.lower_bound(static_cast<uint32_t>(end)));
}

int remembered_protection(uint32_t address, int shown) {
  std::lock_guard lock(ledger_mutex);
  auto it = ledger.find(address >> 12);
  // Read and write access the maps do show right; a page remembered otherwise was remapped since.
  constexpr int kReadWrite = PROT_READ | PROT_WRITE;
  if (it == ledger.end() || (it->second & kReadWrite) != (shown & kReadWrite)) return shown;
  return it->second;
}

std::optional<int> protection_at(uint32_t address) {
  std::optional<MappedRange> r = mapping_at(address);
  if (!r) return std::nullopt;
  return remembered_protection(address, r->prot);
}

}  // namespace simhost::pe
