#include "failing_allocation.h"

#include <cstdlib>
#include <new>

namespace {

thread_local std::size_t armedSize = 0;

void* allocate(std::size_t size) {
    if (armedSize != 0 && size == armedSize) {
        armedSize = 0;
        throw std::bad_alloc();
    }
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

}  // namespace

namespace testhook {

void failNextAllocationOfSize(std::size_t size) { armedSize = size; }

bool allocationFailureUnused() {
    const bool unused = armedSize != 0;
    armedSize = 0;
    return unused;
}

}  // namespace testhook

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
