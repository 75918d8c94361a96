#include "dng/dng_lossless_jpeg.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_stream.h"

#include <array>
#include <cstring>

namespace {

constexpr uint32_t kMaxChannels = 4;
constexpr uint32_t kSymbols = 257; // categories 0 to 16 and the reserved symbol 256

struct HuffmanTable {
    uint8_t bits[17] = {};
    uint8_t values[256] = {};
    uint16_t code[256] = {};
    uint8_t size[256] = {};
};

struct CategoryTable {
    uint8_t bits[256];
    constexpr CategoryTable() : bits() {
        for (uint32_t v = 1; v < 256; ++v) {
            uint8_t n = 0;
            for (uint32_t x = v; x; x >>= 1)
                ++n;
            bits[v] = n;
        }
    }
};
constexpr CategoryTable kCategories;

inline uint32_t Category(uint16_t diff) {
    const int16_t d = int16_t(diff);
    const uint32_t m = uint16_t(d < 0 ? -int32_t(d) : d); // -32768 gives 32768
    return m < 256 ? kCategories.bits[m] : kCategories.bits[m >> 8] + 8u;
}

// Optimal code lengths of at most 16 bits; any other outcome throws.
void BuildOptimalTable(HuffmanTable& table, const uint32_t counts[kSymbols]) {
    uint32_t freq[kSymbols];
    std::memcpy(freq, counts, sizeof(freq));
    freq[256] = 1; // no code may be all 1-bits
    uint32_t codeSize[kSymbols] = {};
    int32_t others[kSymbols];
    for (int32_t& o : others)
        o = -1;
    for (;;) {
        int32_t c1 = -1, c2 = -1;
        uint32_t v = 0xFFFFFFFF;
        for (int32_t i = 0; i < int32_t(kSymbols); ++i)
            if (freq[i] && freq[i] <= v) {
                v = freq[i];
                c1 = i;
            }
        v = 0xFFFFFFFF;
        for (int32_t i = 0; i < int32_t(kSymbols); ++i)
            if (freq[i] && freq[i] <= v && i != c1) {
                v = freq[i];
                c2 = i;
            }
        if (c2 < 0) break;
        freq[c1] += freq[c2];
        freq[c2] = 0;
        ++codeSize[c1];
        while (others[c1] >= 0) {
            c1 = others[c1];
            ++codeSize[c1];
        }
        others[c1] = c2;
        ++codeSize[c2];
        while (others[c2] >= 0) {
            c2 = others[c2];
            ++codeSize[c2];
        }
    }
    uint32_t bitsCount[33] = {};
    for (uint32_t i = 0; i < kSymbols; ++i)
        if (codeSize[i]) {
            if (codeSize[i] > 32) Throw_dng_error(dng_error_overflow, "Huffman code size table overflow");
            ++bitsCount[codeSize[i]];
        }
    for (uint32_t i = 17; i <= 32; ++i)
        if (bitsCount[i]) ThrowProgramError("Huffman code longer than 16 bits");
    uint32_t longest = 16;
    while (longest > 0 && bitsCount[longest] == 0)
        --longest;
    if (longest > 0) --bitsCount[longest];

    std::memset(table.bits, 0, sizeof(table.bits));
    for (uint32_t i = 1; i <= 16; ++i)
        table.bits[i] = uint8_t(bitsCount[i]);
    uint32_t p = 0;
    for (uint32_t len = 1; len <= 32; ++len)
        for (uint32_t sym = 0; sym < 256; ++sym)
            if (codeSize[sym] == len) table.values[p++] = uint8_t(sym);
}

// Canonical codes from bits and values.
void DeriveCodes(HuffmanTable& table) {
    std::memset(table.size, 0, sizeof(table.size));
    uint32_t code = 0;
    uint32_t index = 0;
    for (uint32_t len = 1; len <= 16; ++len) {
        for (uint32_t i = 0; i < table.bits[len]; ++i) {
            if (index >= 256) ThrowBadFormat();
            const uint8_t value = table.values[index++];
            table.code[value] = uint16_t(code);
            table.size[value] = uint8_t(len);
            ++code;
        }
        // Every code of this length must still fit in it.
        if (code > (1u << len)) ThrowBadFormat();
        code <<= 1;
    }
}

// Entropy-coded bytes collect in a small buffer that goes to the stream in one piece.
class BitWriter {
  public:
    explicit BitWriter(dng_stream& stream) : fStream(stream) {}
    ~BitWriter() = default;

    void Put(uint32_t bits, uint32_t count) {
        if (count == 0) return;
        fAccumulator = (fAccumulator << count) | (bits & ((1u << count) - 1));
        fPending += count;
        while (fPending >= 8) {
            fPending -= 8;
            const uint8_t byte = uint8_t(fAccumulator >> fPending);
            Emit(byte);
            if (byte == 0xFF) Emit(0);
        }
    }
    // Completes the last byte with 1-bits and hands every byte to the stream.
    void Flush() {
        Put(0x7F, 7);
        fAccumulator = 0;
        fPending = 0;
        Drain();
    }

  private:
    void Emit(uint8_t byte) {
        if (fUsed == sizeof(fBytes)) Drain();
        fBytes[fUsed++] = byte;
    }
    void Drain() {
        fStream.Put(fBytes, fUsed);
        fUsed = 0;
    }

    dng_stream& fStream;
    uint32_t fAccumulator = 0;
    uint32_t fPending = 0;
    uint32_t fUsed = 0;
    uint8_t fBytes[8192];
};

void PutMarker(dng_stream& stream, uint8_t marker) {
    stream.Put_uint8(0xFF);
    stream.Put_uint8(marker);
}

void Put16(dng_stream& stream, uint32_t value) {
    stream.Put_uint8(uint8_t(value >> 8));
    stream.Put_uint8(uint8_t(value));
}

// Calls visit(channel, difference) for every sample in scan order.
template <typename Visit>
void ForEachDifference(const uint16_t* samples, uint32_t rows, uint32_t cols, uint32_t channels,
                       uint32_t bitDepth, int32_t rowStep, int32_t colStep, Visit&& visit) {
    const uint16_t initial = uint16_t(1u << (bitDepth - 1));
    uint16_t predictor[kMaxChannels];
    for (uint32_t row = 0; row < rows; ++row) {
        const uint16_t* rowStart = samples + int64_t(row) * rowStep;
        for (uint32_t k = 0; k < channels; ++k)
            predictor[k] = row == 0 ? initial : rowStart[k - int64_t(rowStep)];
        const uint16_t* pixel = rowStart;
        for (uint32_t col = 0; col < cols; ++col, pixel += colStep)
            for (uint32_t k = 0; k < channels; ++k) {
                const uint16_t sample = pixel[k];
                visit(k, uint16_t(sample - predictor[k]));
                predictor[k] = sample;
            }
    }
}

} // namespace

void EncodeLosslessJpeg(const uint16_t* samples, uint32_t rows, uint32_t cols, uint32_t channels,
                        uint32_t bitDepth, int32_t rowStep, int32_t colStep, dng_stream& stream) {
    if (channels == 0 || channels > kMaxChannels || bitDepth < 1 || bitDepth > 16 || rows == 0 || cols == 0 ||
        rows > 0xFFFF || cols > 0xFFFF)
        ThrowProgramError("Bad arguments to EncodeLosslessJpeg");

    uint32_t counts[kMaxChannels][kSymbols] = {};
    ForEachDifference(samples, rows, cols, channels, bitDepth, rowStep, colStep,
                      [&](uint32_t k, uint16_t diff) { ++counts[k][Category(diff)]; });

    std::array<HuffmanTable, kMaxChannels> tables;
    for (uint32_t k = 0; k < channels; ++k) {
        try {
            BuildOptimalTable(tables[k], counts[k]);
        } catch (const dng_exception&) {
            uint32_t flat[kSymbols] = {};
            for (uint32_t c = 0; c <= 16; ++c)
                flat[c] = 1;
            BuildOptimalTable(tables[k], flat);
        }
        DeriveCodes(tables[k]);
    }

    PutMarker(stream, 0xD8);
    PutMarker(stream, 0xC3);
    Put16(stream, 8 + 3 * channels);
    stream.Put_uint8(uint8_t(bitDepth));
    Put16(stream, rows);
    Put16(stream, cols);
    stream.Put_uint8(uint8_t(channels));
    for (uint32_t k = 0; k < channels; ++k) {
        stream.Put_uint8(uint8_t(k));
        stream.Put_uint8(0x11);
        stream.Put_uint8(0);
    }
    for (uint32_t k = 0; k < channels; ++k) {
        const HuffmanTable& table = tables[k];
        uint32_t codes = 0;
        for (uint32_t len = 1; len <= 16; ++len)
            codes += table.bits[len];
        PutMarker(stream, 0xC4);
        Put16(stream, 19 + codes);
        stream.Put_uint8(uint8_t(k));
        for (uint32_t len = 1; len <= 16; ++len)
            stream.Put_uint8(table.bits[len]);
        for (uint32_t i = 0; i < codes; ++i)
            stream.Put_uint8(table.values[i]);
    }
    PutMarker(stream, 0xDA);
    Put16(stream, 6 + 2 * channels);
    stream.Put_uint8(uint8_t(channels));
    for (uint32_t k = 0; k < channels; ++k) {
        stream.Put_uint8(uint8_t(k));
        stream.Put_uint8(uint8_t(k << 4));
    }
    stream.Put_uint8(1);
    stream.Put_uint8(0);
    stream.Put_uint8(0);

    BitWriter writer(stream);
    ForEachDifference(samples, rows, cols, channels, bitDepth, rowStep, colStep,
                      [&](uint32_t k, uint16_t diff) {
                          const HuffmanTable& table = tables[k];
                          const uint32_t category = Category(diff);
                          writer.Put(table.code[category], table.size[category]);
                          if (category != 0 && category != 16) {
                              const int32_t d = int16_t(diff);
                              writer.Put(uint32_t(d < 0 ? d - 1 : d), category);
                          }
                      });
    writer.Flush();
    PutMarker(stream, 0xD9);
}
