#pragma once
// Counts the allocations of the whole program (allocation_counter.cpp replaces
// the global operator new), so that a benchmark can tell what a pass allocates.

#include <cstdint>

namespace bench {

uint64_t AllocationCount();

}  // namespace bench
