#pragma once
// 16-byte MD5 digests that identify data; all zero means none.
#include "dng/dng_stream.h"

#include <cstdint>

class dng_fingerprint {
  public:
    uint8_t data[16] = {};

    bool IsNull() const;
    bool IsValid() const { return !IsNull(); }
    bool operator==(const dng_fingerprint& other) const;
    bool operator!=(const dng_fingerprint& other) const { return !(*this == other); }

    // 32 upper-case hex digits and a NUL.
    void ToHexString(char result[33]) const;
    // False at the first character that is not a hex digit; the bytes before it stay set.
    bool FromHexString(const char hex[33]);
};

// MD5 as in RFC 1321.
class dng_md5_printer {
  public:
    dng_md5_printer();
    virtual ~dng_md5_printer() = default;

    void Process(const void* data, uint32_t length);
    // Pads and finishes on the first call; every call returns the same digest.
    const dng_fingerprint& Result();

  private:
    void Transform(const uint8_t block[64]);

    uint32_t fState[4];
    uint32_t fCount[2] = {0, 0};
    uint8_t fBuffer[64] = {};
    bool fFinal = false;
    dng_fingerprint fResult;
};

// A write-only stream whose bytes, written strictly in order, feed an MD5 digest.
class dng_md5_printer_stream : public dng_stream, private dng_md5_printer {
  public:
    dng_md5_printer_stream();

    const dng_fingerprint& Result();

  protected:
    uint64_t DoGetLength() override { return fNextOffset; }
    void DoRead(void* data, uint32_t count, uint64_t offset) override;
    void DoSetLength(uint64_t length) override;
    void DoWrite(const void* data, uint32_t count, uint64_t offset) override;

  private:
    uint64_t fNextOffset = 0;
};
