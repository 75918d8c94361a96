#pragma once
// Heap owners of the DNG code: a plain owned buffer, aligned blocks and their allocator.
#include "dng/dng_uncopyable.h"

#include <cstddef>
#include <cstdint>

class dng_memory_allocator;

// Typed views of an owner's Buffer(), shared by the buffer classes below.
template <typename Owner> class dng_typed_buffer_access {
  public:
    char* Buffer_char() { return static_cast<char*>(Self().Buffer()); }
    const char* Buffer_char() const { return static_cast<const char*>(Self().Buffer()); }
    uint8_t* Buffer_uint8() { return static_cast<uint8_t*>(Self().Buffer()); }
    const uint8_t* Buffer_uint8() const { return static_cast<const uint8_t*>(Self().Buffer()); }
    uint16_t* Buffer_uint16() { return static_cast<uint16_t*>(Self().Buffer()); }
    const uint16_t* Buffer_uint16() const { return static_cast<const uint16_t*>(Self().Buffer()); }
    int16_t* Buffer_int16() { return static_cast<int16_t*>(Self().Buffer()); }
    const int16_t* Buffer_int16() const { return static_cast<const int16_t*>(Self().Buffer()); }
    uint32_t* Buffer_uint32() { return static_cast<uint32_t*>(Self().Buffer()); }
    const uint32_t* Buffer_uint32() const { return static_cast<const uint32_t*>(Self().Buffer()); }
    float* Buffer_real32() { return static_cast<float*>(Self().Buffer()); }
    const float* Buffer_real32() const { return static_cast<const float*>(Self().Buffer()); }
    double* Buffer_real64() { return static_cast<double*>(Self().Buffer()); }
    const double* Buffer_real64() const { return static_cast<const double*>(Self().Buffer()); }

  private:
    Owner& Self() { return static_cast<Owner&>(*this); }
    const Owner& Self() const { return static_cast<const Owner&>(*this); }
};

// A malloc'ed buffer owned by one object.
class dng_memory_data : private dng_uncopyable, public dng_typed_buffer_access<dng_memory_data> {
  public:
    dng_memory_data() = default;
    explicit dng_memory_data(uint32_t size);
    dng_memory_data(uint32_t count, std::size_t elementSize);
    ~dng_memory_data();

    void Allocate(uint32_t size);
    void Allocate(uint32_t count, std::size_t elementSize);
    void Clear();

    void* Buffer() { return fBuffer; }
    const void* Buffer() const { return fBuffer; }

  private:
    void* fBuffer = nullptr;
};

// A block of usable bytes whose start is 32-byte aligned.
class dng_memory_block : private dng_uncopyable, public dng_typed_buffer_access<dng_memory_block> {
  public:
    virtual ~dng_memory_block() = default;

    uint32_t LogicalSize() const { return fLogicalSize; }
    void* Buffer() { return fBuffer; }
    const void* Buffer() const { return fBuffer; }

    // A new block of the same size and content from the given allocator.
    dng_memory_block* Clone(dng_memory_allocator& allocator) const;

  protected:
    explicit dng_memory_block(uint32_t logicalSize) : fLogicalSize(logicalSize) {}
    void SetBuffer(void* p) { fBuffer = p; }

  private:
    uint32_t fLogicalSize;
    void* fBuffer = nullptr;
};

// The allocator's concrete block: spare bytes after the logical size let kernels overrun a little.
class dng_malloc_block : public dng_memory_block {
  public:
    explicit dng_malloc_block(uint32_t logicalSize);
    ~dng_malloc_block() override;

  private:
    void* fMalloc = nullptr;
};

class dng_memory_allocator {
  public:
    virtual ~dng_memory_allocator() = default;
    // The caller owns the returned block.
    virtual dng_memory_block* Allocate(uint32_t size);
    virtual void* Malloc(std::size_t size);
    virtual void Free(void* p);
};

// The process-wide allocator of every host and stream without one of their own.
extern dng_memory_allocator& gDefaultDNGMemoryAllocator;
