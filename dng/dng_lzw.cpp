#include "dng/dng_lzw.h"

#include "dng/dng_exceptions.h"

#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kClearCode = 256;
constexpr uint32_t kEndCode = 257;
constexpr uint32_t kFirstFreeCode = 258;
// Past this many entries the encoder clears: the next one would take the decoder to 13 bits.
constexpr uint32_t kTableLimit = 4092;
constexpr uint32_t kMaxCodes = 4096;

// The width of the next code when the encoder's next free code is `nextCode`: the decoder
// lags one entry behind and widens when its own next free code reaches 511, 1023 or 2047.
uint32_t EncoderWidth(uint32_t nextCode) {
    return nextCode <= 511 ? 9 : nextCode <= 1023 ? 10 : nextCode <= 2047 ? 11 : 12;
}

uint32_t DecoderWidth(uint32_t nextFree) {
    return nextFree < 511 ? 9 : nextFree < 1023 ? 10 : nextFree < 2047 ? 11 : 12;
}

class BitWriter {
  public:
    BitWriter(uint8_t* out, uint32_t capacity) : fOut(out), fCapacity(capacity) {}

    void Put(uint32_t code, uint32_t width) {
        fBits = (fBits << width) | code;
        fCount += width;
        while (fCount >= 8) {
            fCount -= 8;
            Byte(uint8_t(fBits >> fCount));
        }
    }

    uint32_t Finish() {
        if (fCount) Byte(uint8_t(fBits << (8 - fCount)));
        fCount = 0;
        return fUsed;
    }

  private:
    void Byte(uint8_t b) {
        if (fUsed >= fCapacity) Throw_dng_error(dng_error_overflow, "Compression output buffer overflow");
        fOut[fUsed++] = b;
    }

    uint8_t* fOut;
    uint32_t fCapacity;
    uint32_t fUsed = 0;
    uint64_t fBits = 0;
    uint32_t fCount = 0;
};

// Strings as (prefix code, next byte) pairs, found by open addressing.
class StringTable {
  public:
    StringTable() : fKeys(kSlots), fCodes(kSlots) {}

    void Clear() { std::fill(fKeys.begin(), fKeys.end(), 0u); }

    // The code of prefix + byte, or 0 when the table has no such string.
    uint32_t Find(uint32_t key) const {
        for (uint32_t slot = Hash(key);; slot = (slot + 1) & (kSlots - 1)) {
            if (fKeys[slot] == 0) return 0;
            if (fKeys[slot] == key + 1) return fCodes[slot];
        }
    }

    void Add(uint32_t key, uint32_t code) {
        uint32_t slot = Hash(key);
        while (fKeys[slot] != 0)
            slot = (slot + 1) & (kSlots - 1);
        fKeys[slot] = key + 1;
        fCodes[slot] = uint16_t(code);
    }

  private:
    static constexpr uint32_t kSlots = 8192;
    static uint32_t Hash(uint32_t key) { return (key * 2654435761u) >> 19; }

    std::vector<uint32_t> fKeys;
    std::vector<uint16_t> fCodes;
};

} // namespace

uint32_t EncodeLZW(const uint8_t* data, uint32_t size, uint8_t* out, uint32_t capacity) {
    BitWriter writer(out, capacity);
    StringTable table;
    uint32_t nextCode = kFirstFreeCode;
    writer.Put(kClearCode, 9);
    if (size == 0) {
        writer.Put(kEndCode, 9);
        return writer.Finish();
    }
    uint32_t prefix = data[0];
    bool firstAfterClear = true;
    for (uint32_t i = 1; i < size; ++i) {
        const uint32_t key = (prefix << 8) | data[i];
        if (const uint32_t code = table.Find(key)) {
            prefix = code;
            continue;
        }
        writer.Put(prefix, EncoderWidth(nextCode));
        firstAfterClear = false;
        table.Add(key, nextCode++);
        if (nextCode > kTableLimit) {
            writer.Put(kClearCode, EncoderWidth(nextCode));
            table.Clear();
            nextCode = kFirstFreeCode;
            firstAfterClear = true;
        }
        prefix = data[i];
    }
    writer.Put(prefix, EncoderWidth(nextCode));
    // Reading that code the decoder adds an entry (unless it is the first after a clear), so
    // the end code goes out at the width the decoder then expects.
    if (!firstAfterClear) ++nextCode;
    writer.Put(kEndCode, EncoderWidth(nextCode));
    return writer.Finish();
}

uint64_t DecodeLZW(const uint8_t* data, uint64_t size, uint8_t* out, uint64_t outSize) {
    std::vector<uint16_t> prefix(kMaxCodes);
    std::vector<uint8_t> suffix(kMaxCodes);
    std::vector<uint8_t> first(kMaxCodes);
    std::vector<uint16_t> length(kMaxCodes);
    for (uint32_t c = 0; c < 256; ++c) {
        suffix[c] = first[c] = uint8_t(c);
        length[c] = 1;
    }

    uint64_t inByte = 0;
    uint64_t bits = 0;
    uint32_t count = 0;
    auto next = [&](uint32_t width) -> int64_t {
        while (count < width) {
            if (inByte >= size) return -1;
            bits = (bits << 8) | data[inByte++];
            count += 8;
        }
        count -= width;
        return int64_t((bits >> count) & ((1u << width) - 1));
    };
    // Writes the string of `code`, cut off at the output's end.
    uint64_t pos = 0;
    auto emit = [&](uint32_t code) {
        const uint32_t len = length[code];
        for (uint32_t i = len, c = code; i-- > 0; c = prefix[c])
            if (pos + i < outSize) out[pos + i] = suffix[c];
        pos += len;
    };

    uint32_t nextFree = kFirstFreeCode;
    int64_t previous = -1;
    while (pos < outSize) {
        const int64_t read = next(DecoderWidth(nextFree));
        if (read < 0) ThrowBadFormat("LZW data ends before its tile is full");
        const uint32_t code = uint32_t(read);
        if (code == kEndCode) break;
        if (code == kClearCode) {
            nextFree = kFirstFreeCode;
            previous = -1;
            continue;
        }
        if (previous < 0) {
            if (code > 255) ThrowBadFormat("LZW string before the table holds it");
            emit(code);
            previous = code;
            continue;
        }
        if (code > nextFree) ThrowBadFormat("LZW code beyond the table");
        // A code not yet in the table is the previous string plus its own first byte.
        const uint8_t head = code < nextFree ? first[code] : first[uint32_t(previous)];
        if (nextFree < kMaxCodes) {
            prefix[nextFree] = uint16_t(previous);
            suffix[nextFree] = head;
            first[nextFree] = first[uint32_t(previous)];
            length[nextFree] = uint16_t(length[uint32_t(previous)] + 1);
            ++nextFree;
        }
        if (code >= nextFree) ThrowBadFormat("LZW code beyond the table");
        emit(code);
        previous = code;
    }
    return pos < outSize ? pos : outSize;
}
