// Counts the heap allocations of the benchmark process by replacing the global operator new.
// Kept in its own file so the compiler never sees a replaced new and delete inlined together.
#include "allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> allocations{0};
}  // namespace

std::size_t heapAllocations() {
    return allocations.load(std::memory_order_relaxed);
}

// The replacement is the one place that handles raw memory, by definition.
// NOLINTBEGIN(cppcoreguidelines-owning-memory,cppcoreguidelines-no-malloc)
void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
// NOLINTEND(cppcoreguidelines-owning-memory,cppcoreguidelines-no-malloc)
