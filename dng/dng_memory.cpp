#include "dng/dng_memory.h"

#include "dng/KernelSuite.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_safe_arithmetic.h"

#include <cstdlib>

dng_memory_data::dng_memory_data(uint32_t size) { Allocate(size); }

dng_memory_data::dng_memory_data(uint32_t count, std::size_t elementSize) { Allocate(count, elementSize); }

dng_memory_data::~dng_memory_data() { Clear(); }

void dng_memory_data::Clear() {
    std::free(fBuffer);
    fBuffer = nullptr;
}

void dng_memory_data::Allocate(uint32_t size) {
    Clear();
    if (size == 0) return;
    fBuffer = std::malloc(size);
    if (!fBuffer) ThrowMemoryFull();
}

void dng_memory_data::Allocate(uint32_t count, std::size_t elementSize) {
    if (elementSize > UINT32_MAX) ThrowOverflow("elementSize overflow");
    Allocate(SafeUint32Mult(count, uint32_t(elementSize)));
}

dng_memory_block* dng_memory_block::Clone(dng_memory_allocator& allocator) const {
    dng_memory_block* copy = allocator.Allocate(fLogicalSize);
    gKernelSuite.SuiteCopyBytes(fBuffer, copy->Buffer(), fLogicalSize);
    return copy;
}

namespace {
constexpr uint32_t kBlockPadding = 160;
constexpr uintptr_t kBlockAlignment = 32;
} // namespace

dng_malloc_block::dng_malloc_block(uint32_t logicalSize) : dng_memory_block(logicalSize) {
    fMalloc = std::malloc(SafeUint32Add(logicalSize, kBlockPadding));
    if (!fMalloc) ThrowMemoryFull();
    const uintptr_t raw = reinterpret_cast<uintptr_t>(fMalloc);
    SetBuffer(reinterpret_cast<void*>((raw + kBlockAlignment - 1) & ~(kBlockAlignment - 1)));
}

dng_malloc_block::~dng_malloc_block() { std::free(fMalloc); }

dng_memory_block* dng_memory_allocator::Allocate(uint32_t size) {
    return dng_guard_allocation([size]() -> dng_memory_block* { return new dng_malloc_block(size); });
}

void* dng_memory_allocator::Malloc(std::size_t size) { return std::malloc(size); }

void dng_memory_allocator::Free(void* p) { std::free(p); }

namespace {
// Constant-initialised and never destroyed: static objects may release blocks during exit.
union NeverDestroyedAllocator {
    dng_memory_allocator allocator;
    constexpr NeverDestroyedAllocator() : allocator() {}
    ~NeverDestroyedAllocator() {}
};
constinit NeverDestroyedAllocator gDefaultAllocatorStorage;
} // namespace

dng_memory_allocator& gDefaultDNGMemoryAllocator = gDefaultAllocatorStorage.allocator;
