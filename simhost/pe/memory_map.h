// The process's own mappings, read from /proc/self/maps (qemu-i386 shows the guest's view there).
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

// The mapping that holds address, if any.
std::optional<MappedRange> mapping_at(uint32_t address);

// True if no byte of [begin, begin + size) is mapped.
bool range_is_free(uint32_t begin, uint32_t size);

}  // namespace simhost::pe
