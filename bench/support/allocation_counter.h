// Counts the heap allocations of the benchmark process.
#pragma once

#include <cstddef>

// Allocations made through operator new since the process started.
std::size_t heapAllocations();
