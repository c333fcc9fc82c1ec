#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace {

thread_local std::uint64_t tAllocations = 0;

}  // namespace

std::uint64_t allocationsOnThisThread() {
    return tAllocations;
}

// The replaceable global allocation functions, counting. Kept in a file of their own so that
// the compiler does not pair them inline with the library's own operator new.
void* operator new(std::size_t size) {
    ++tAllocations;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}
