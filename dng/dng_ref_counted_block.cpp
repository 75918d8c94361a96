#include "dng/dng_ref_counted_block.h"

#include "dng/dng_exceptions.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

struct dng_ref_counted_block::Header {
    std::mutex mutex;
    uint32_t refCount = 1;
    uint32_t size = 0;

    uint8_t* Data() { return reinterpret_cast<uint8_t*>(this + 1); }
};

dng_ref_counted_block::Header* dng_ref_counted_block::NewHeader(uint32_t size) {
    void* memory = std::malloc(sizeof(Header) + uint64_t(size));
    if (!memory) ThrowMemoryFull();
    Header* header = new (memory) Header;
    header->size = size;
    return header;
}

dng_ref_counted_block::dng_ref_counted_block(uint32_t size) { Allocate(size); }

dng_ref_counted_block::dng_ref_counted_block(const dng_ref_counted_block& other) { Share(other.fHeader); }

dng_ref_counted_block& dng_ref_counted_block::operator=(const dng_ref_counted_block& other) {
    if (this != &other) {
        Clear();
        Share(other.fHeader);
    }
    return *this;
}

dng_ref_counted_block::~dng_ref_counted_block() { Clear(); }

void dng_ref_counted_block::Share(Header* header) {
    if (header) {
        std::lock_guard<std::mutex> lock(header->mutex);
        ++header->refCount;
    }
    fHeader = header;
}

void dng_ref_counted_block::Allocate(uint32_t size) {
    Clear();
    if (size) fHeader = NewHeader(size);
}

void dng_ref_counted_block::Clear() {
    if (!fHeader) return;
    bool last;
    {
        std::lock_guard<std::mutex> lock(fHeader->mutex);
        last = --fHeader->refCount == 0;
    }
    if (last) {
        fHeader->~Header();
        std::free(fHeader);
    }
    fHeader = nullptr;
}

void dng_ref_counted_block::EnsureWriteable() {
    if (!fHeader) return;
    Header* old = fHeader;
    std::lock_guard<std::mutex> lock(old->mutex);
    if (old->refCount > 1) {
        Header* fresh = NewHeader(old->size);
        std::memcpy(fresh->Data(), old->Data(), old->size);
        --old->refCount;
        fHeader = fresh;
    }
}

void* dng_ref_counted_block::Buffer() { return fHeader ? fHeader->Data() : nullptr; }

const void* dng_ref_counted_block::Buffer() const { return fHeader ? fHeader->Data() : nullptr; }

uint32_t dng_ref_counted_block::LogicalSize() const { return fHeader ? fHeader->size : 0; }
