#pragma once
// Heap allocations made by the whole test program, counted by its own global operator new.

#include <cstddef>

namespace testing_support {
std::size_t AllocationCount();
}  // namespace testing_support
