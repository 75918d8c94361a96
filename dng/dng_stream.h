#pragma once
// The byte stream of the DNG code: a subclass's four primitives plus one buffer window aligned
// to 4096-byte file blocks, a cached length, a byte order and typed access.
#include "dng/dng_rational.h"
#include "dng/dng_uncopyable.h"

#include <cstdint>
#include <memory>

class dng_abort_sniffer;
class dng_memory_allocator;
class dng_memory_block;

class dng_stream : private dng_uncopyable {
  public:
    static constexpr uint32_t kBlockSize = 4096;
    static constexpr uint32_t kDefaultBufferSize = 8192;
    static constexpr uint32_t kBigBufferSize = 1048576;
    static constexpr int64_t kInvalidOffset = -1;

    explicit dng_stream(dng_abort_sniffer* sniffer = nullptr, uint32_t bufferSize = kDefaultBufferSize,
                        int64_t offsetInOriginalFile = kInvalidOffset);
    // A read-only stream over the caller's bytes, which must outlive it.
    dng_stream(const void* data, uint32_t count, int64_t offsetInOriginalFile = kInvalidOffset);
    virtual ~dng_stream();

    bool SwapBytes() const { return fSwapBytes; }
    void SetSwapBytes(bool swap) { fSwapBytes = swap; }
    bool BigEndian() const { return fSwapBytes; }
    void SetBigEndian(bool bigEndian = true) { fSwapBytes = bigEndian; }
    bool LittleEndian() const { return !fSwapBytes; }
    void SetLittleEndian(bool littleEndian = true) { fSwapBytes = !littleEndian; }

    uint64_t Length();
    uint64_t Position() const { return fPosition; }
    int64_t OffsetInOriginalFile() const { return fOffsetInOriginalFile; }
    int64_t PositionInOriginalFile() const;

    void SetReadPosition(uint64_t offset);
    void SetWritePosition(uint64_t offset) { fPosition = offset; }
    void Skip(uint64_t delta) { SetReadPosition(fPosition + delta); }

    void Get(void* data, uint32_t count);
    void Put(const void* data, uint32_t count);
    void Flush();
    void SetLength(uint64_t length);

    uint8_t Get_uint8();
    int8_t Get_int8() { return int8_t(Get_uint8()); }
    uint16_t Get_uint16();
    int16_t Get_int16() { return int16_t(Get_uint16()); }
    uint32_t Get_uint32();
    int32_t Get_int32() { return int32_t(Get_uint32()); }
    float Get_real32();
    double Get_real64();

    void Put_uint8(uint8_t x);
    void Put_int8(int8_t x) { Put_uint8(uint8_t(x)); }
    void Put_uint16(uint16_t x);
    void Put_int16(int16_t x) { Put_uint16(uint16_t(x)); }
    void Put_uint32(uint32_t x);
    void Put_int32(int32_t x) { Put_uint32(uint32_t(x)); }
    void Put_real32(float x);
    void Put_real64(double x);

    // One value of the given TIFF field type, converted to the wanted type.
    uint32_t TagValue_uint32(uint32_t tagType);
    int32_t TagValue_int32(uint32_t tagType);
    double TagValue_real64(uint32_t tagType);
    dng_urational TagValue_urational(uint32_t tagType);
    dng_srational TagValue_srational(uint32_t tagType);

    // The whole stream in one block.
    std::unique_ptr<dng_memory_block> AsMemoryBlock(dng_memory_allocator& allocator);

    virtual void CopyToStream(dng_stream& destination, uint64_t count);

    uint32_t BufferSize() const { return fBufferSize; }
    // Keeps the current buffer when it cannot or need not change, or when allocation fails.
    void SetBufferSize(dng_memory_allocator& allocator, uint32_t newSize);

    dng_abort_sniffer* Sniffer() const { return fSniffer; }
    void SetSniffer(dng_abort_sniffer* sniffer) { fSniffer = sniffer; }

  protected:
    virtual uint64_t DoGetLength();
    virtual void DoRead(void* data, uint32_t count, uint64_t offset);
    virtual void DoSetLength(uint64_t length);
    virtual void DoWrite(const void* data, uint32_t count, uint64_t offset);

  private:
    void ForgetWindow();

    bool fSwapBytes = false;
    bool fHaveLength = false;
    uint64_t fLength = 0;
    int64_t fOffsetInOriginalFile;
    uint64_t fPosition = 0;
    std::unique_ptr<dng_memory_block> fMemBlock;
    uint8_t* fBuffer = nullptr;
    uint32_t fBufferSize = 0;
    uint64_t fBufferStart = 0;
    uint64_t fBufferEnd = 0;
    uint64_t fBufferLimit = 0;
    bool fBufferDirty = false;
    dng_abort_sniffer* fSniffer = nullptr;
};

class TempBigEndian {
  public:
    explicit TempBigEndian(dng_stream& stream, bool bigEndian = true);
    virtual ~TempBigEndian();
    TempBigEndian(const TempBigEndian&) = delete;
    TempBigEndian& operator=(const TempBigEndian&) = delete;

  private:
    dng_stream& fStream;
    bool fOldSwap;
};

class TempLittleEndian : public TempBigEndian {
  public:
    explicit TempLittleEndian(dng_stream& stream, bool littleEndian = true)
        : TempBigEndian(stream, !littleEndian) {}
};

class TempStreamSniffer {
  public:
    TempStreamSniffer(dng_stream& stream, dng_abort_sniffer* sniffer);
    ~TempStreamSniffer();
    TempStreamSniffer(const TempStreamSniffer&) = delete;
    TempStreamSniffer& operator=(const TempStreamSniffer&) = delete;

  private:
    dng_stream& fStream;
    dng_abort_sniffer* fOldSniffer;
};

// Enlarges the buffer for one long read of `count` bytes at `offset`, and restores it afterwards.
class TempStreamBufferSize {
  public:
    TempStreamBufferSize(dng_stream& stream, dng_memory_allocator& allocator, uint64_t offset,
                         uint64_t count);
    ~TempStreamBufferSize();
    TempStreamBufferSize(const TempStreamBufferSize&) = delete;
    TempStreamBufferSize& operator=(const TempStreamBufferSize&) = delete;

  private:
    dng_stream& fStream;
    dng_memory_allocator& fAllocator;
    uint32_t fOldSize;
};
