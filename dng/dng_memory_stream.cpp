#include "dng/dng_memory_stream.h"

#include "dng/KernelSuite.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_memory.h"
#include "dng/dng_safe_arithmetic.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
const char* const kPageListOverflow = "Arithmetic overflow in DoSetLength";
}

dng_memory_stream::dng_memory_stream(dng_memory_allocator& allocator, dng_abort_sniffer* sniffer,
                                     uint32_t pageSize)
    : dng_stream(sniffer, kDefaultBufferSize, kInvalidOffset), fAllocator(allocator),
      fPageSize(std::max(pageSize, 1u)) {}

dng_memory_stream::~dng_memory_stream() {
    for (uint32_t i = 0; i < fPageCount; ++i)
        delete fPageList[i];
    std::free(fPageList);
}

template <typename Visit> void dng_memory_stream::ForEachPiece(uint64_t offset, uint64_t count, Visit visit) {
    while (count > 0) {
        const uint64_t page = offset / fPageSize;
        const uint32_t inPage = uint32_t(offset % fPageSize);
        const uint32_t piece = uint32_t(std::min<uint64_t>(count, fPageSize - inPage));
        visit(fPageList[page]->Buffer_uint8() + inPage, piece);
        offset += piece;
        count -= piece;
    }
}

void dng_memory_stream::DoRead(void* data, uint32_t count, uint64_t offset) {
    if (offset > fMemoryStreamLength || count > fMemoryStreamLength - offset) ThrowEndOfFile();
    auto* out = static_cast<uint8_t*>(data);
    ForEachPiece(offset, count, [&](uint8_t* page, uint32_t n) {
        gKernelSuite.SuiteCopyBytes(page, out, n);
        out += n;
    });
}

void dng_memory_stream::AddPage() {
    if (fPageCount == fPagesAllocated) {
        uint32_t grown, doubled, capacity, bytes;
        if (!SafeUint32AddChecked(fPageCount, 32, &grown) ||
            !SafeUint32MultChecked(fPagesAllocated, 2, &doubled))
            ThrowOverflow(kPageListOverflow);
        capacity = std::max(grown, doubled);
        if (!SafeUint32MultChecked(capacity, uint32_t(sizeof(dng_memory_block*)), &bytes))
            ThrowOverflow(kPageListOverflow);
        auto** list = static_cast<dng_memory_block**>(std::malloc(bytes));
        if (!list) ThrowMemoryFull();
        if (fPageCount) std::memcpy(list, fPageList, fPageCount * sizeof(dng_memory_block*));
        std::free(fPageList);
        fPageList = list;
        fPagesAllocated = capacity;
    }
    fPageList[fPageCount] = fAllocator.Allocate(fPageSize);
    ++fPageCount;
}

void dng_memory_stream::DoSetLength(uint64_t length) {
    if (fLengthLimit && length > fLengthLimit)
        Throw_dng_error(dng_error_end_of_file, "dng_memory_stream::fLengthLimit");
    while (uint64_t(fPageCount) * fPageSize < length)
        AddPage();
    fMemoryStreamLength = length;
}

void dng_memory_stream::DoWrite(const void* data, uint32_t count, uint64_t offset) {
    if (offset > UINT64_MAX - count) ThrowOverflow(kPageListOverflow);
    DoSetLength(std::max(fMemoryStreamLength, offset + count));
    const auto* in = static_cast<const uint8_t*>(data);
    ForEachPiece(offset, count, [&](uint8_t* page, uint32_t n) {
        gKernelSuite.SuiteCopyBytes(in, page, n);
        in += n;
    });
}

void dng_memory_stream::CopyToStream(dng_stream& destination, uint64_t count) {
    if (count < 65536) {
        dng_stream::CopyToStream(destination, count);
        return;
    }
    Flush();
    const uint64_t start = Position();
    if (start > Length() || count > Length() - start) ThrowEndOfFile();
    ForEachPiece(start, count, [&](uint8_t* page, uint32_t n) { destination.Put(page, n); });
    SetReadPosition(start + count);
}
