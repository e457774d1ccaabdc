// The table of entries of the browser preview (callconv.h): which function stands for each host entry address.
// The page's game fills it before the plug-in's first step; a lookup walks it, as the page's game plays a few
// dozen entries at the most.

#include <cstddef>
#include <cstdint>

#include "host/callconv.h"

namespace host {
namespace {

struct EntryRow {
  std::uint32_t address;
  std::uintptr_t function;
};

constexpr std::size_t kEntryCapacity = 32;
EntryRow rows[kEntryCapacity];
std::size_t rowCount = 0;

}  // namespace

std::uintptr_t EntryFunction(std::uint32_t address) {
  for (std::size_t i = 0; i < rowCount; ++i) {
    if (rows[i].address == address) return rows[i].function;
  }
  return 0;
}

bool SetEntryFunction(std::uint32_t address, std::uintptr_t function) {
  for (std::size_t i = 0; i < rowCount; ++i) {
    if (rows[i].address == address) {
      rows[i].function = function;
      return true;
    }
  }
  if (rowCount == kEntryCapacity) return false;
  rows[rowCount++] = {address, function};
  return true;
}

}  // namespace host
