#pragma once
// A growable stream held in pages from an allocator.
#include "dng/dng_stream.h"

class dng_memory_stream : public dng_stream {
  public:
    explicit dng_memory_stream(dng_memory_allocator& allocator, dng_abort_sniffer* sniffer = nullptr,
                               uint32_t pageSize = 65536);
    ~dng_memory_stream() override;

    void CopyToStream(dng_stream& destination, uint64_t count) override;
    // 0 means no limit; growing beyond it is an end-of-file error.
    void SetLengthLimit(uint64_t limit) { fLengthLimit = limit; }

  protected:
    uint64_t DoGetLength() override { return fMemoryStreamLength; }
    void DoRead(void* data, uint32_t count, uint64_t offset) override;
    void DoSetLength(uint64_t length) override;
    void DoWrite(const void* data, uint32_t count, uint64_t offset) override;

  private:
    void AddPage();
    // Calls visit(pagePointer, byteCount) for each page piece of [offset, offset + count).
    template <typename Visit> void ForEachPiece(uint64_t offset, uint64_t count, Visit visit);

    dng_memory_allocator& fAllocator;
    uint32_t fPageSize;
    uint32_t fPageCount = 0;
    uint32_t fPagesAllocated = 0;
    dng_memory_block** fPageList = nullptr;
    uint64_t fMemoryStreamLength = 0;
    uint64_t fLengthLimit = 0;
};
