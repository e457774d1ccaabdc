#include "memory_map.h"

#include <sys/mman.h>

#include <cinttypes>
#include <cstdio>

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
        r.prot = (perms[0] == 'r' ? PROT_READ : 0) | (perms[1] == 'w' ? PROT_WRITE : 0) |
                 (perms[2] == 'x' ? PROT_EXEC : 0);
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

}  // namespace simhost::pe
