#include "dng/dng_exceptions.h"
#include "dng/dng_lossless_jpeg.h"
#include "dng/dng_memory.h"
#include "dng/dng_memory_stream.h"
#include "raw/loaders/LosslessJpeg.h"
#include "tests/raw/LosslessJpegFixture.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Encode(const std::vector<uint16_t>& samples, uint32_t rows, uint32_t cols,
                            uint32_t channels, uint32_t bits) {
    dng_memory_stream stream(gDefaultDNGMemoryAllocator);
    EncodeLosslessJpeg(samples.data(), rows, cols, channels, bits, int32_t(cols * channels),
                       int32_t(channels), stream);
    std::vector<uint8_t> bytes(stream.Length());
    stream.SetReadPosition(0);
    stream.Get(bytes.data(), uint32_t(bytes.size()));
    return bytes;
}

// Decoded by the raw decoder's lossless JPEG reader, as a DNG 1.4 tile.
std::vector<uint16_t> Decode(const std::vector<uint8_t>& bytes, int* components = nullptr) {
    ljpegtest::StreamState st(bytes);
    st.s->dng_version_word = 0x01040000;
    raw::ljpeg_header jh;
    if (raw::ljpeg_start(*st.s, jh, false) != 1) return {};
    if (components) *components = jh.components;
    std::vector<uint16_t> out;
    for (int r = 0; r < jh.high; ++r) {
        const uint16_t* row = raw::ljpeg_decode_row(*st.s, r, jh);
        out.insert(out.end(), row, row + size_t(jh.wide) * jh.components);
    }
    EXPECT_EQ(st.s->data_error_count, 0);
    return out;
}

// The Huffman table of channel `k`: its code counts and values.
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> Table(const std::vector<uint8_t>& bytes, uint8_t k) {
    for (size_t i = 2; i + 4 < bytes.size();) {
        const size_t length = size_t(bytes[i + 2]) << 8 | bytes[i + 3];
        if (bytes[i + 1] == 0xC4 && bytes[i + 4] == k) {
            std::vector<uint8_t> bits(bytes.begin() + long(i) + 5, bytes.begin() + long(i) + 21);
            size_t codes = 0;
            for (uint8_t b : bits)
                codes += b;
            return {bits,
                    std::vector<uint8_t>(bytes.begin() + long(i) + 21, bytes.begin() + long(i + 21 + codes))};
        }
        i += 2 + length;
    }
    return {};
}

} // namespace

TEST(LosslessJpegEncoder, RoundTripsThroughTheDecoder) {
    struct Case {
        uint32_t rows, cols, channels, bits;
    } cases[] = {{1, 1, 1, 16},  {7, 13, 1, 8},   {16, 16, 2, 12}, {5, 33, 3, 14},
                 {9, 17, 4, 16}, {64, 31, 2, 16}, {3, 1, 4, 10},   {1, 257, 1, 9}};
    uint32_t seed = 1;
    for (const Case& c : cases) {
        const std::vector<uint16_t> random =
            ljpegtest::randomSamples(size_t(c.rows) * c.cols * c.channels, int(c.bits), seed++);
        std::vector<uint16_t> smooth(random.size());
        for (size_t i = 0; i < smooth.size(); ++i)
            smooth[i] = uint16_t(((i / c.channels) * 7 + (i % c.channels) * 300 + random[i] % 8) &
                                 ((1u << c.bits) - 1));
        for (const std::vector<uint16_t>* samples :
             {&random, static_cast<const std::vector<uint16_t>*>(&smooth)}) {
            int components = 0;
            const std::string what = std::to_string(c.rows) + "x" + std::to_string(c.cols) + "x" +
                                     std::to_string(c.channels) + " bits " + std::to_string(c.bits);
            EXPECT_EQ(Decode(Encode(*samples, c.rows, c.cols, c.channels, c.bits), &components), *samples)
                << what;
            EXPECT_EQ(components, int(c.channels)) << what;
        }
    }
}

TEST(LosslessJpegEncoder, ExtremeDifferencesAndByteStuffing) {
    // 0 then 32768 then 0: differences of -32768 and +32768 (category 16, no extra bits),
    // among random full-range samples that make 0xFF bytes in the scan.
    std::vector<uint16_t> samples = {0, 32768, 0, 65535, 0, 1, 65534};
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; ++i)
        samples.push_back(uint16_t(rng()));
    const uint32_t cols = uint32_t(samples.size());
    const std::vector<uint8_t> bytes = Encode(samples, 1, cols, 1, 16);
    EXPECT_EQ(Decode(bytes), samples);

    // Past the scan header every 0xFF is followed by 0x00, except the end-of-image marker.
    size_t scan = 0;
    for (size_t i = 2; i + 3 < bytes.size(); i += 2 + (size_t(bytes[i + 2]) << 8 | bytes[i + 3]))
        if (bytes[i + 1] == 0xDA) {
            scan = i + 2 + (size_t(bytes[i + 2]) << 8 | bytes[i + 3]);
            break;
        }
    ASSERT_GT(scan, 0u);
    for (size_t i = scan; i + 2 < bytes.size(); ++i)
        if (bytes[i] == 0xFF) {
            EXPECT_EQ(bytes[i + 1], 0x00) << i;
        }
    EXPECT_EQ(bytes[bytes.size() - 2], 0xFF);
    EXPECT_EQ(bytes.back(), 0xD9);
}

TEST(LosslessJpegEncoder, TablesOfSmallTiles) {
    // One sample: a single code of length 1 once the reserved symbol is gone.
    const std::vector<uint8_t> single = Encode({40000}, 1, 1, 1, 16);
    const auto [bits, values] = Table(single, 0);
    EXPECT_EQ(bits[0], 1);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0], 13); // 40000 - 32768 = 7232 needs 13 bits
    EXPECT_EQ(Decode(single), std::vector<uint16_t>{40000});

    // A constant tile: category 0 and that of the first difference.
    const std::vector<uint8_t> constant = Encode(std::vector<uint16_t>(64, 100), 8, 8, 1, 12);
    EXPECT_EQ(Table(constant, 0).second.size(), 2u);
}

TEST(LosslessJpegEncoder, SkewedCountsFallBackToTheFlatTable) {
    // Category counts growing like Fibonacci numbers would need codes longer than 16 bits.
    std::vector<uint16_t> samples;
    uint32_t a = 1, b = 1;
    for (uint32_t category = 0; category <= 16 && samples.size() < 60000; ++category) {
        const int32_t diff = category == 0 ? 0 : int32_t(1u << (category - 1));
        for (uint32_t i = 0; i < a && samples.size() < 60000; ++i) {
            samples.push_back(0);
            samples.push_back(uint16_t(diff));
        }
        const uint32_t next = a + b;
        b = a;
        a = next;
    }
    const std::vector<uint8_t> bytes = Encode(samples, 1, uint32_t(samples.size()), 1, 16);
    const auto [bits, values] = Table(bytes, 0);
    EXPECT_EQ(values.size(), 17u);
    for (uint8_t v = 0; v <= 16; ++v)
        EXPECT_EQ(values[v], v) << int(v);
    EXPECT_EQ(Decode(bytes), samples);
}

TEST(LosslessJpegEncoder, RefusesWhatItCannotCode) {
    dng_memory_stream stream(gDefaultDNGMemoryAllocator);
    const uint16_t sample = 0;
    EXPECT_THROW(EncodeLosslessJpeg(&sample, 1, 1, 5, 16, 5, 5, stream), dng_exception);
    EXPECT_THROW(EncodeLosslessJpeg(&sample, 1, 1, 1, 17, 1, 1, stream), dng_exception);
}
