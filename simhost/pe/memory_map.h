// The process's own mappings, read from /proc/self/maps, and the protections this process set itself.
//
// Natively /proc/self/maps is exact. qemu-i386 shows its guest view there, but prints each host mapping
// with the flags of its first guest page, and it maps executable guest pages without host exec, so a
// read-execute page next to a read-only one can be shown with the neighbour's flags. Protections set
// through the loader or VirtualProtect are therefore remembered per page there, and supply the exec bit.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace simhost::pe {

struct MappedRange {
  uint32_t begin = 0;
  uint32_t end = 0;  // exclusive; 0 when the range reaches the top of the address space
  int prot = 0;      // PROT_READ | PROT_WRITE | PROT_EXEC
};

// Sorted by address; neighbouring lines with the same protection are merged.
std::vector<MappedRange> memory_map();

// The mapping that holds address, if any, as /proc/self/maps shows it.
std::optional<MappedRange> mapping_at(uint32_t address);

// True if no byte of [begin, begin + size) is mapped.
bool range_is_free(uint32_t begin, uint32_t size);

// Code that mprotects pages on its own and wants exact answers under qemu tells it here.
void remember_protection(uint32_t begin, uint32_t size, int prot);
void forget_protection(uint32_t begin, uint32_t size);
// PROT_* of the page holding address: remembered if known, else `shown` (what the maps say).
int remembered_protection(uint32_t address, int shown);
// The same for an address looked up in the maps; nullopt if unmapped.
std::optional<int> protection_at(uint32_t address);

}  // namespace simhost::pe
