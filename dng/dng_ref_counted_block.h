#pragma once
// A shared, copy-on-write block of bytes with its own lock.
#include <cstdint>

class dng_ref_counted_block {
  public:
    dng_ref_counted_block() = default;
    explicit dng_ref_counted_block(uint32_t size);
    dng_ref_counted_block(const dng_ref_counted_block& other);
    dng_ref_counted_block& operator=(const dng_ref_counted_block& other);
    ~dng_ref_counted_block();

    void Allocate(uint32_t size);
    void Clear();
    // Gives this object a private copy when others share the data; call before writing.
    void EnsureWriteable();

    void* Buffer();
    const void* Buffer() const;
    uint32_t LogicalSize() const;

  private:
    struct Header;
    static Header* NewHeader(uint32_t size);
    void Share(Header* header);

    Header* fHeader = nullptr;
};
