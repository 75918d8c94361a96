#include "dng/dng_stream.h"

#include "dng/dng_abort_sniffer.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_memory.h"
#include "dng/dng_rational.h"
#include "dng/dng_tag_types.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {
constexpr uint64_t kBlockMask = ~uint64_t(dng_stream::kBlockSize - 1);

uint64_t CheckedEnd(uint64_t position, uint64_t count) {
    if (position > std::numeric_limits<uint64_t>::max() - count) ThrowEndOfFile();
    return position + count;
}
} // namespace

dng_stream::dng_stream(dng_abort_sniffer* sniffer, uint32_t bufferSize, int64_t offsetInOriginalFile)
    : fOffsetInOriginalFile(offsetInOriginalFile), fBufferSize(std::max(bufferSize, kDefaultBufferSize)),
      fBufferLimit(fBufferSize), fSniffer(sniffer) {
    fMemBlock.reset(gDefaultDNGMemoryAllocator.Allocate(fBufferSize));
    fBuffer = fMemBlock->Buffer_uint8();
}

dng_stream::dng_stream(const void* data, uint32_t count, int64_t offsetInOriginalFile)
    : fHaveLength(true), fLength(count), fOffsetInOriginalFile(offsetInOriginalFile),
      fBuffer(static_cast<uint8_t*>(const_cast<void*>(data))), fBufferSize(count), fBufferEnd(count),
      fBufferLimit(count) {}

dng_stream::~dng_stream() = default;

uint64_t dng_stream::DoGetLength() { ThrowProgramError(); }

void dng_stream::DoRead(void*, uint32_t, uint64_t) { ThrowProgramError(); }

void dng_stream::DoSetLength(uint64_t) { ThrowProgramError(); }

void dng_stream::DoWrite(const void*, uint32_t, uint64_t) { ThrowProgramError(); }

uint64_t dng_stream::Length() {
    if (!fHaveLength) {
        fLength = DoGetLength();
        fHaveLength = true;
    }
    return fLength;
}

int64_t dng_stream::PositionInOriginalFile() const {
    if (fOffsetInOriginalFile == kInvalidOffset) return kInvalidOffset;
    return fOffsetInOriginalFile + int64_t(fPosition);
}

void dng_stream::SetReadPosition(uint64_t offset) {
    fPosition = offset;
    if (offset > Length()) ThrowEndOfFile();
}

void dng_stream::ForgetWindow() {
    fBufferStart = 0;
    fBufferEnd = 0;
    fBufferLimit = fBufferSize;
}

void dng_stream::Get(void* data, uint32_t count) {
    auto* out = static_cast<uint8_t*>(data);
    while (count > 0) {
        if (fPosition >= fBufferStart) {
            if (CheckedEnd(fPosition, count) <= fBufferEnd) {
                std::memcpy(out, fBuffer + (fPosition - fBufferStart), count);
                fPosition += count;
                return;
            }
            if (fPosition < fBufferEnd) {
                const uint32_t block = uint32_t(fBufferEnd - fPosition);
                std::memcpy(out, fBuffer + (fPosition - fBufferStart), block);
                fPosition += block;
                out += block;
                count -= block;
            }
        }
        Flush();
        if (count > fBufferSize) {
            if (CheckedEnd(fPosition, count) > Length()) ThrowEndOfFile();
            DoRead(out, count, fPosition);
            fPosition += count;
            return;
        }
        const uint64_t start = fBufferSize >= kBlockSize ? (fPosition & kBlockMask) : fPosition;
        const uint64_t end = std::min(start + fBufferSize, Length());
        if (end <= fPosition) ThrowEndOfFile();
        dng_abort_sniffer::SniffForAbort(fSniffer);
        // An empty window while reading, so a failed read leaves no stale bytes claimed.
        ForgetWindow();
        DoRead(fBuffer, uint32_t(end - start), start);
        fBufferStart = start;
        fBufferEnd = end;
    }
}

void dng_stream::Put(const void* data, uint32_t count) {
    // A stream over the caller's bytes is only read.
    if (!fMemBlock) ThrowProgramError();
    const auto* in = static_cast<const uint8_t*>(data);
    const uint64_t end = CheckedEnd(fPosition, count);
    if (fBufferDirty && fPosition >= fBufferStart && fPosition <= fBufferEnd) {
        if (end <= fBufferLimit) {
            std::memcpy(fBuffer + (fPosition - fBufferStart), in, count);
            fBufferEnd = std::max(fBufferEnd, end);
            fPosition = end;
            fLength = std::max(Length(), end);
            return;
        }
        if (fBufferLimit > fPosition) {
            const uint32_t block = uint32_t(fBufferLimit - fPosition);
            std::memcpy(fBuffer + (fPosition - fBufferStart), in, block);
            fPosition = fBufferLimit;
            fBufferEnd = fBufferLimit;
            in += block;
            count -= block;
        }
    }
    Flush();
    // A clean window read earlier may cover what is written now.
    ForgetWindow();
    const uint64_t room = ((fPosition + fBufferSize) & kBlockMask) - fPosition;
    if (count > room) {
        const uint32_t direct = uint32_t(((fPosition + count) & kBlockMask) - fPosition);
        dng_abort_sniffer::SniffForAbort(fSniffer);
        DoWrite(in, direct, fPosition);
        fPosition += direct;
        in += direct;
        count -= direct;
    }
    if (count > 0) {
        std::memcpy(fBuffer, in, count);
        fBufferDirty = true;
        fBufferStart = fPosition;
        fBufferEnd = end;
        fBufferLimit = (fPosition + fBufferSize) & kBlockMask;
    }
    fPosition = end;
    fLength = std::max(Length(), end);
}

void dng_stream::Flush() {
    if (!fBufferDirty) return;
    dng_abort_sniffer::SniffForAbort(fSniffer);
    DoWrite(fBuffer, uint32_t(fBufferEnd - fBufferStart), fBufferStart);
    ForgetWindow();
    fBufferDirty = false;
}

void dng_stream::SetLength(uint64_t length) {
    Flush();
    if (Length() != length) {
        DoSetLength(length);
        fLength = length;
        ForgetWindow();
    }
}

uint8_t dng_stream::Get_uint8() {
    if (fPosition >= fBufferStart && fPosition < fBufferEnd) return fBuffer[fPosition++ - fBufferStart];
    uint8_t x;
    Get(&x, 1);
    return x;
}

void dng_stream::Put_uint8(uint8_t x) {
    if (fBufferDirty && fPosition >= fBufferStart && fPosition <= fBufferEnd && fPosition < fBufferLimit) {
        fBuffer[fPosition++ - fBufferStart] = x;
        fBufferEnd = std::max(fBufferEnd, fPosition);
        fLength = std::max(fLength, fPosition);
        return;
    }
    Put(&x, 1);
}

uint16_t dng_stream::Get_uint16() {
    uint16_t x;
    Get(&x, 2);
    return fSwapBytes ? __builtin_bswap16(x) : x;
}

uint32_t dng_stream::Get_uint32() {
    uint32_t x;
    Get(&x, 4);
    return fSwapBytes ? __builtin_bswap32(x) : x;
}

float dng_stream::Get_real32() {
    const uint32_t bits = Get_uint32();
    float x;
    std::memcpy(&x, &bits, 4);
    return x;
}

double dng_stream::Get_real64() {
    uint64_t bits;
    Get(&bits, 8);
    if (fSwapBytes) bits = __builtin_bswap64(bits);
    double x;
    std::memcpy(&x, &bits, 8);
    return x;
}

void dng_stream::Put_uint16(uint16_t x) {
    if (fSwapBytes) x = __builtin_bswap16(x);
    Put(&x, 2);
}

void dng_stream::Put_uint32(uint32_t x) {
    if (fSwapBytes) x = __builtin_bswap32(x);
    Put(&x, 4);
}

void dng_stream::Put_real32(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, 4);
    Put_uint32(bits);
}

void dng_stream::Put_real64(double x) {
    uint64_t bits;
    std::memcpy(&bits, &x, 8);
    if (fSwapBytes) bits = __builtin_bswap64(bits);
    Put(&bits, 8);
}

uint32_t dng_stream::TagValue_uint32(uint32_t tagType) {
    switch (tagType) {
    case ttByte:
        return Get_uint8();
    case ttShort:
        return Get_uint16();
    case ttLong:
    case ttIFD:
        return Get_uint32();
    default:
        break;
    }
    const double x = TagValue_real64(tagType);
    return dng_clamped_uint32(std::clamp(x, 0.0, 4294967295.0) + 0.5);
}

int32_t dng_stream::TagValue_int32(uint32_t tagType) {
    switch (tagType) {
    case ttSByte:
        return Get_int8();
    case ttSShort:
        return Get_int16();
    case ttSLong:
        return Get_int32();
    default:
        break;
    }
    const double x = TagValue_real64(tagType);
    return dng_clamped_int32(x < 0.0 ? x - 0.5 : x + 0.5);
}

double dng_stream::TagValue_real64(uint32_t tagType) {
    switch (tagType) {
    case ttByte:
    case ttShort:
    case ttLong:
    case ttIFD:
        return TagValue_uint32(tagType);
    case ttSByte:
    case ttSShort:
    case ttSLong:
        return TagValue_int32(tagType);
    case ttRational: {
        const uint32_t n = Get_uint32();
        const uint32_t d = Get_uint32();
        return d ? double(n) / double(d) : 0.0;
    }
    case ttSRational: {
        const int32_t n = Get_int32();
        const int32_t d = Get_int32();
        return d ? double(n) / double(d) : 0.0;
    }
    case ttFloat:
        return Get_real32();
    case ttDouble:
        return Get_real64();
    default:
        return 0.0;
    }
}

namespace {
// Scales x by 10 up to four times, while it stays small, to keep decimal fractions.
uint32_t DecimalDenominator(double& x, bool negative) {
    uint32_t d = 1;
    while (d < 10000 && (negative ? x > -1000000.0 : x < 1000000.0)) {
        d *= 10;
        x *= 10.0;
    }
    return d;
}
} // namespace

dng_urational dng_stream::TagValue_urational(uint32_t tagType) {
    switch (tagType) {
    case ttByte:
    case ttShort:
    case ttLong:
    case ttIFD:
        return dng_urational(TagValue_uint32(tagType), 1);
    case ttSByte:
    case ttSShort:
    case ttSLong:
        return dng_urational(uint32_t(std::max(TagValue_int32(tagType), 0)), 1);
    case ttRational: {
        const uint32_t n = Get_uint32();
        return dng_urational(n, Get_uint32());
    }
    case ttSRational: {
        const int32_t n = Get_int32();
        const int32_t d = Get_int32();
        if ((n < 0) != (d < 0)) return dng_urational(0, 1);
        // Negated as unsigned values, so the most negative one stays exact.
        if (n < 0) return dng_urational(0u - uint32_t(n), 0u - uint32_t(d));
        return dng_urational(uint32_t(n), uint32_t(d));
    }
    default:
        break;
    }
    double x = TagValue_real64(tagType);
    if (!(x > 0.0)) return dng_urational(0, 1);
    const uint32_t d = DecimalDenominator(x, false);
    // Values too large for the numerator saturate instead of wrapping.
    if (x + 0.5 >= 4294967296.0) return dng_urational(4294967295u, 1);
    return dng_urational(uint32_t(x + 0.5), d);
}

dng_srational dng_stream::TagValue_srational(uint32_t tagType) {
    if (tagType == ttSRational) {
        const int32_t n = Get_int32();
        return dng_srational(n, Get_int32());
    }
    double x = TagValue_real64(tagType);
    if (std::isnan(x)) x = 0.0;
    const bool positive = x > 0.0;
    const int32_t d = int32_t(DecimalDenominator(x, !positive));
    return dng_srational(dng_clamped_int32(positive ? x + 0.5 : x - 0.5), d);
}

std::unique_ptr<dng_memory_block> dng_stream::AsMemoryBlock(dng_memory_allocator& allocator) {
    Flush();
    const uint64_t length = Length();
    if (length > 0xFFFFFFFFu) ThrowProgramError();
    std::unique_ptr<dng_memory_block> block(allocator.Allocate(uint32_t(length)));
    if (length) {
        SetReadPosition(0);
        Get(block->Buffer(), uint32_t(length));
    }
    return block;
}

void dng_stream::CopyToStream(dng_stream& destination, uint64_t count) {
    if (count <= 1024) {
        uint8_t small[1024];
        Get(small, uint32_t(count));
        destination.Put(small, uint32_t(count));
        return;
    }
    const uint32_t pieceSize = uint32_t(std::min<uint64_t>(count, 65536));
    std::vector<uint8_t> piece = dng_guard_allocation([&] { return std::vector<uint8_t>(pieceSize); });
    while (count > 0) {
        const uint32_t n = uint32_t(std::min<uint64_t>(count, pieceSize));
        Get(piece.data(), n);
        destination.Put(piece.data(), n);
        count -= n;
    }
}

void dng_stream::SetBufferSize(dng_memory_allocator& allocator, uint32_t newSize) {
    const bool wholeStreamHeld = fBuffer && fBufferStart == 0 && fHaveLength && fBufferEnd == fLength;
    if (newSize == fBufferSize || newSize < kDefaultBufferSize || wholeStreamHeld || fBufferDirty) return;
    std::unique_ptr<dng_memory_block> block;
    try {
        block.reset(allocator.Allocate(newSize));
    } catch (const dng_exception&) {
        return;
    }
    fMemBlock = std::move(block);
    fBuffer = fMemBlock->Buffer_uint8();
    fBufferSize = newSize;
    ForgetWindow();
}

TempBigEndian::TempBigEndian(dng_stream& stream, bool bigEndian)
    : fStream(stream), fOldSwap(stream.SwapBytes()) {
    fStream.SetBigEndian(bigEndian);
}

TempBigEndian::~TempBigEndian() { fStream.SetSwapBytes(fOldSwap); }

TempStreamSniffer::TempStreamSniffer(dng_stream& stream, dng_abort_sniffer* sniffer)
    : fStream(stream), fOldSniffer(stream.Sniffer()) {
    fStream.SetSniffer(sniffer);
}

TempStreamSniffer::~TempStreamSniffer() { fStream.SetSniffer(fOldSniffer); }

TempStreamBufferSize::TempStreamBufferSize(dng_stream& stream, dng_memory_allocator& allocator,
                                           uint64_t offset, uint64_t count)
    : fStream(stream), fAllocator(allocator), fOldSize(stream.BufferSize()) {
    fStream.Flush();
    if (uint64_t(fOldSize) * 4 >= count) return;
    const uint64_t span =
        (count + (dng_stream::kBlockSize - 1) + offset % dng_stream::kBlockSize) & kBlockMask;
    const uint64_t piece = std::min<uint64_t>(dng_stream::kBigBufferSize, span);
    const uint64_t pieces = (span + piece - 1) / piece;
    const uint64_t size = (((span + pieces - 1) / pieces) + dng_stream::kBlockSize - 1) & kBlockMask;
    fStream.SetBufferSize(fAllocator, uint32_t(size));
}

TempStreamBufferSize::~TempStreamBufferSize() {
    try {
        fStream.SetBufferSize(fAllocator, fOldSize);
    } catch (...) {
        // A destructor must not throw; the larger buffer simply stays.
    }
}
