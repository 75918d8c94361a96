// Loader throughput: each loader unpacks a 24-megapixel (6000 x 4000) synthetic stream of
// its own format from memory into a raw buffer (or pixel image). Bytes per second count
// the stored stream; coded formats carry a smooth gradient with sensor-like noise.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "raw/core/DecoderState.h"
#include "raw/loaders/CanonCrwTables.h"
#include "raw/loaders/Loaders.h"
#include "tests/support/BitWriter.h"
#include "tests/support/LosslessJpegEncoder.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;
constexpr size_t kPixels = size_t(kWidth) * kHeight;

using testsupport::BitWriter;
using testsupport::HuffmanCode;

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> out(n);
    std::mt19937 rng(seed);
    for (auto& b : out)
        b = uint8_t(rng());
    return out;
}

// Photosite values: a gradient with noise, within `bits`.
std::vector<uint16_t> scene(int bits) {
    std::vector<uint16_t> v(kPixels);
    std::mt19937 rng(24);
    std::normal_distribution<float> noise(0, 20);
    const float top = float((1 << bits) - 1), scale = top / 16383.0f;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            v[size_t(y) * kWidth + x] =
                uint16_t(std::clamp((2000.0f + x * 0.5f + y * 0.25f) * scale + noise(rng), 0.0f, top));
    return v;
}

int bit_length(int d) {
    int n = 0;
    for (int a = d < 0 ? -d : d; a; a >>= 1)
        ++n;
    return n;
}

void put_difference(BitWriter& w, const HuffmanCode& code, int d) {
    w.put(code.code, code.length);
    const int len = bit_length(d);
    if (len) w.put(uint32_t(d > 0 ? d : d + (1 << len) - 1), len);
}

void put_le16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

// One input: the file's bytes, where the data starts, and how to set up the record.
struct Input {
    std::vector<uint8_t> bytes;
    long data_offset = 0;
    std::function<void(raw::DecoderState&)> setup;
    bool pixels = false;
};

// A 12-bit scene coded as differences from the previous sample of the same colour (the
// first two columns from the same column two rows up), each after its length's code.
void append_two_column_deltas(Input& in, const HuffmanCode* code_by_length, uint16_t first) {
    const std::vector<uint16_t> v = scene(12);
    BitWriter w;
    uint16_t vertical[2][2] = {{first, first}, {first, first}}, horizontal[2] = {};
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint16_t target = v[size_t(y) * kWidth + x];
            uint16_t& pred = x < 2 ? vertical[y & 1][x] : horizontal[x & 1];
            const int d = int(target) - int(pred);
            put_difference(w, code_by_length[bit_length(d)], d);
            pred = target;
            if (x < 2) horizontal[x] = target;
        }
    }
    const std::vector<uint8_t> stream = w.finish();
    in.bytes.insert(in.bytes.end(), stream.begin(), stream.end());
    in.setup = [](raw::DecoderState& s) { s.bits_per_sample = 12; };
}

Input nikon_compressed_input() {
    Input in;
    in.bytes = {0, 0}; // version: curve of its own length
    for (int i = 0; i < 4; ++i)
        put_le16(in.bytes, 2000);
    put_le16(in.bytes, 4096);
    for (int i = 0; i < 4096; ++i)
        put_le16(in.bytes, uint16_t(i));
    in.data_offset = long(in.bytes.size());
    const auto codes = testsupport::canonicalHuffmanCodes(
        {0, 1, 5, 1, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 5, 4, 3, 6, 2, 7, 1, 0, 8, 9, 11, 10, 12});
    append_two_column_deltas(in, codes.data(), 2000);
    return in;
}

Input canon_crw_input() {
    const auto first =
        testsupport::canonicalHuffmanCodes({raw::kCanonFirstTables[0], raw::kCanonFirstTables[0] + 29});
    const auto second =
        testsupport::canonicalHuffmanCodes({raw::kCanonSecondTables[0], raw::kCanonSecondTables[0] + 180});
    const std::vector<uint16_t> v = scene(10);
    BitWriter w(true);
    int carry = 0, base[2] = {512, 512};
    for (size_t block = 0; block < kPixels / 64; ++block) {
        int diff[64];
        for (int i = 0; i < 64; ++i) {
            const size_t n = block * 64 + size_t(i);
            if (n % kWidth == 0) base[0] = base[1] = 512;
            diff[i] = int(v[n]) - base[i & 1];
            base[i & 1] = v[n];
        }
        const int coded = diff[0] - carry;
        carry = diff[0];
        put_difference(w, first[bit_length(coded)], coded);
        int next = 1;
        for (int i = 1; i < 64; ++i) {
            if (!diff[i]) continue;
            for (; i - next > 15; next += 16)
                w.put(second[0xF0].code, second[0xF0].length);
            put_difference(w, second[(i - next) << 4 | bit_length(diff[i])], diff[i]);
            next = i + 1;
        }
        if (next < 64) w.put(second[0].code, second[0].length);
    }
    Input in;
    in.bytes.assign(540, 0);
    const std::vector<uint8_t> stream = w.finish();
    in.bytes.insert(in.bytes.end(), stream.begin(), stream.end());
    in.data_offset = 540;
    return in;
}

Input huffman_delta_input() {
    // Difference lengths 0..12 with a prefix code of 2 to 10 bits.
    const HuffmanCode codes[13] = {{0b00, 2},         {0b010, 3},     {0b011, 3},      {0b100, 3},
                                   {0b101, 3},        {0b110, 3},     {0b1110, 4},     {0b11110, 5},
                                   {0b111110, 6},     {0b1111110, 7}, {0b11111110, 8}, {0b111111110, 9},
                                   {0b1111111110, 10}};
    Input in;
    in.bytes.assign(2 + 12, 0); // a count word, then 12 bytes the loader skips
    in.bytes[0] = 1;            // (1 + 12) & 15 = 13 codes
    for (const HuffmanCode& c : codes)
        put_le16(in.bytes, uint16_t(c.code << (12 - c.length)));
    for (const HuffmanCode& c : codes)
        in.bytes.push_back(uint8_t(c.length));
    in.data_offset = long(in.bytes.size());
    append_two_column_deltas(in, codes, 0);
    return in;
}

Input sony_huffman_input() {
    const uint16_t list[18] = {0xF11, 0xF10, 0xE0F, 0xD0E, 0xC0D, 0xB0C, 0xA0B, 0x90A, 0x809,
                               0x708, 0x607, 0x506, 0x405, 0x304, 0x303, 0x300, 0x202, 0x201};
    HuffmanCode codes[32] = {};
    uint32_t index = 0;
    for (uint16_t e : list) {
        const int len = e >> 8;
        codes[e & 0xFF] = {index >> (15 - len), len};
        index += 32768u >> len;
    }
    const std::vector<uint16_t> v = scene(12);
    BitWriter w;
    int sum = 0;
    for (int x = kWidth - 1; x >= 0; --x) {
        for (int i = 0; i < kHeight; ++i) {
            const int y = i < kHeight / 2 ? 2 * i : 2 * (i - kHeight / 2) + 1;
            const int d = int(v[size_t(y) * kWidth + size_t(x)]) - sum;
            put_difference(w, codes[bit_length(d)], d);
            sum += d;
        }
    }
    Input in;
    in.bytes = w.finish();
    return in;
}

// Blocks of 14 samples with both flags set: 128 bits each, placed as the page reader
// takes them (backwards, in words at (position / 8) xor 0x3FF0 of 16 KiB pages). Rows
// restart the blocks, so the sensor is 5992 wide (428 blocks) to keep them aligned.
constexpr int kPanasonicWidth = 5992;

Input panasonic_input() {
    constexpr uint32_t kPage = 0x4000, kSplit = 8200;
    std::vector<uint8_t> pages;
    std::vector<uint8_t> page(kPage + 2, 0);
    uint32_t position = 0;
    bool started = false;
    auto put = [&](int n, uint32_t value) {
        if (position == 0 && started) {
            pages.insert(pages.end(), page.begin(), page.begin() + kPage);
            std::fill(page.begin(), page.end(), 0);
        }
        started = true;
        position = (position - uint32_t(n)) & 0x1FFFF;
        const uint32_t byte = (position >> 3) ^ 0x3FF0;
        const uint32_t word = (value & ((1u << n) - 1)) << (position & 7);
        page[byte] |= uint8_t(word);
        page[byte + 1] |= uint8_t(word >> 8);
    };
    std::mt19937 rng(5);
    for (size_t block = 0; block < size_t(kPanasonicWidth / 14) * kHeight; ++block) {
        put(8, 1 + rng() % 255);
        put(4, rng());
        put(8, 1 + rng() % 255);
        put(4, rng());
        for (int i = 2; i < 14; ++i) {
            if (i % 3 == 2) put(2, 3);
            put(8, rng() % 16);
        }
    }
    pages.insert(pages.end(), page.begin(), page.begin() + kPage);
    // The file holds each page rotated by the split point.
    Input in;
    in.bytes.reserve(pages.size());
    for (size_t p = 0; p < pages.size(); p += kPage) {
        in.bytes.insert(in.bytes.end(), pages.begin() + long(p + kSplit), pages.begin() + long(p + kPage));
        in.bytes.insert(in.bytes.end(), pages.begin() + long(p), pages.begin() + long(p + kSplit));
    }
    in.setup = [](raw::DecoderState& s) {
        s.loader_flags = kSplit;
        s.sensor_width = s.visible_width = kPanasonicWidth;
    };
    return in;
}

Input panasonic_blocks_input(int encoding) {
    Input in;
    const size_t per_block = encoding == 6 ? 11 : 9;
    in.bytes = random_bytes((kWidth + per_block - 1) / per_block * kHeight * 16 + 16384, uint32_t(encoding));
    in.setup = [encoding](raw::DecoderState& s) {
        s.panasonic_encoding = encoding;
        s.panasonic_bit_depth = 14;
    };
    return in;
}

Input ljpeg_2x2_input() {
    testsupport::LosslessJpegFrame f;
    f.width = kWidth / 2;
    f.height = kHeight / 2;
    f.components = 4;
    const std::vector<uint16_t> v = scene(12);
    f.samples.resize(kPixels);
    for (int j = 0; j < kHeight / 2; ++j)
        for (int x = 0; x < kWidth / 2; ++x)
            for (int c = 0; c < 4; ++c)
                f.samples[(size_t(j) * (kWidth / 2) + size_t(x)) * 4 + size_t(c)] =
                    v[size_t(2 * j + c / 2) * kWidth + size_t(2 * x + c % 2)];
    Input in;
    in.bytes = testsupport::encodeLosslessJpeg(f);
    in.setup = [](raw::DecoderState& s) {
        s.tiff_tile_width = kWidth;
        s.tiff_tile_length = 0x7FFFFFFF; // one untiled frame
    };
    return in;
}

void run_loader(benchmark::State& state, const Input& in, raw::Routine loader) {
    auto s = std::make_unique<raw::DecoderState>();
    std::iota(std::begin(s->tone_table), std::end(s->tone_table), uint16_t(0));
    std::vector<uint16_t> buffer(kPixels * (in.pixels ? 4 : 1) + 7 * kWidth);
    s->sensor_width = s->visible_width = s->image_width = kWidth;
    s->sensor_height = s->visible_height = s->image_height = kHeight;
    if (in.pixels)
        s->pixel_image = reinterpret_cast<uint16_t(*)[4]>(buffer.data());
    else
        s->raw_buffer = buffer.data();
    if (in.setup) in.setup(*s);
    const auto settings = std::make_unique<raw::DecoderState>(*s);
    for (auto _ : state) {
        FILE* file = fmemopen(const_cast<uint8_t*>(in.bytes.data()), in.bytes.size(), "rb");
        std::memcpy(static_cast<void*>(s.get()), settings.get(), sizeof *s); // loaders change levels
        s->input_file = file;
        s->sensor_data_offset = uint64_t(in.data_offset);
        std::fseek(file, in.data_offset, SEEK_SET);
        loader(*s);
        std::fclose(file);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.counters["data errors"] = s->data_error_count; // of the last run; coded streams decode cleanly
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.bytes.size()));
    const double pixels = double(settings->sensor_width) * settings->sensor_height;
    state.counters["Mpixel/s"] =
        benchmark::Counter(pixels * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}

// Each benchmark passes a lambda of its own, so each builds its input once.
template <typename Make> void bench(benchmark::State& state, Make make, raw::Routine loader) {
    static const Input in = make();
    run_loader(state, in, loader);
}

Input bytes_for(size_t bytes, uint32_t seed, std::function<void(raw::DecoderState&)> setup = {},
                bool pixels = false) {
    Input in;
    in.bytes = random_bytes(bytes, seed);
    in.setup = std::move(setup);
    in.pixels = pixels;
    return in;
}

void BM_PackedBits12(benchmark::State& st) {
    bench(
        st,
        [] { return bytes_for(kPixels * 3 / 2, 1, [](raw::DecoderState& s) { s.bits_per_sample = 12; }); },
        raw::packed_bits_load_raw);
}
void BM_PackedBits12Words32(benchmark::State& st) {
    bench(
        st,
        [] {
            return bytes_for(kPixels * 3 / 2, 2, [](raw::DecoderState& s) {
                s.bits_per_sample = 12;
                s.loader_flags = 24;
            });
        },
        raw::packed_bits_load_raw);
}
void BM_PlainWords(benchmark::State& st) {
    bench(
        st, [] { return bytes_for(kPixels * 2, 3, [](raw::DecoderState& s) { s.white_level = 0xFFFF; }); },
        raw::plain_words_load_raw);
}
void BM_EightBit(benchmark::State& st) {
    bench(
        st, [] { return bytes_for(kPixels, 4); }, raw::eight_bit_load_raw);
}
void BM_Split10Bit(benchmark::State& st) {
    bench(
        st, [] { return bytes_for(kPixels * 10 / 8, 5); }, raw::split_10bit_load_raw);
}
void BM_Nikon14Bit(benchmark::State& st) {
    bench(
        st, [] { return bytes_for(size_t(kWidth * 7 / 4 + 15) / 16 * 16 * kHeight, 6); },
        raw::nikon_14bit_load_raw);
}
void BM_YCbCr12Pair(benchmark::State& st) {
    bench(
        st,
        [] {
            return bytes_for(
                kPixels * 3, 7,
                [](raw::DecoderState& s) {
                    std::fill(s.as_shot_multipliers, s.as_shot_multipliers + 4, 1.0f);
                },
                true);
        },
        raw::ycbcr12_pair_load_raw);
}
void BM_SonyArw2(benchmark::State& st) {
    bench(
        st, [] { return bytes_for(kPixels, 8); }, raw::sony_arw2_load_raw);
}
void BM_NikonCompressed(benchmark::State& st) {
    bench(
        st, [] { return nikon_compressed_input(); }, raw::nikon_compressed_load_raw);
}
void BM_CanonCrw(benchmark::State& st) {
    bench(
        st, [] { return canon_crw_input(); }, raw::canon_crw_load_raw);
}
void BM_HuffmanDelta(benchmark::State& st) {
    bench(
        st, [] { return huffman_delta_input(); }, raw::huffman_delta_load_raw);
}
void BM_SonyHuffman(benchmark::State& st) {
    bench(
        st, [] { return sony_huffman_input(); }, raw::sony_huffman_load_raw);
}
void BM_PanasonicPages(benchmark::State& st) {
    bench(
        st, [] { return panasonic_input(); }, raw::panasonic_blocks_load_raw);
}
void BM_PanasonicEncoding5(benchmark::State& st) {
    bench(
        st, [] { return panasonic_blocks_input(5); }, raw::panasonic_blocks_load_raw);
}
void BM_PanasonicEncoding6(benchmark::State& st) {
    bench(
        st, [] { return panasonic_blocks_input(6); }, raw::panasonic_blocks_load_raw);
}
void BM_PanasonicEncoding7(benchmark::State& st) {
    bench(
        st, [] { return panasonic_blocks_input(7); }, raw::panasonic_blocks_load_raw);
}
void BM_Ljpeg2x2Tiles(benchmark::State& st) {
    bench(
        st, [] { return ljpeg_2x2_input(); }, raw::ljpeg_2x2_tiles_load_raw);
}

// The uncompressed 16-bit DNG as a decode meets it: the stream is a file on disk (in the
// page cache after the first run) and the raw buffer is fresh, so its pages are touched for
// the first time.
void BM_PackedDng16FromFile(benchmark::State& state) {
    const std::vector<uint8_t> bytes = random_bytes(kPixels * 2, 20);
    const auto path =
        std::filesystem::temp_directory_path() / ("lumivar-bench-dng16-" + std::to_string(getpid()) + ".raw");
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    auto s = std::make_unique<raw::DecoderState>();
    std::iota(std::begin(s->tone_table), std::end(s->tone_table), uint16_t(0));
    s->sensor_width = s->visible_width = kWidth;
    s->sensor_height = s->visible_height = kHeight;
    s->byte_order = 0x4949;
    s->bits_per_sample = 16;
    for (auto _ : state) {
        // calloc, as the decode allocates it: fresh pages, not yet touched.
        std::unique_ptr<uint16_t, decltype(&std::free)> buffer(
            static_cast<uint16_t*>(std::calloc(kPixels + 7 * kWidth, sizeof(uint16_t))), &std::free);
        FILE* file = std::fopen(path.c_str(), "rb");
        s->input_file = file;
        s->raw_buffer = buffer.get();
        raw::packed_dng_load_raw(*s);
        std::fclose(file);
        benchmark::DoNotOptimize(buffer.get());
    }
    std::filesystem::remove(path);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

} // namespace

BENCHMARK(BM_PackedDng16FromFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PackedBits12)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackedBits12Words32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWords)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EightBit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Split10Bit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Nikon14Bit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_YCbCr12Pair)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SonyArw2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NikonCompressed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CanonCrw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HuffmanDelta)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SonyHuffman)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PanasonicPages)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PanasonicEncoding5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PanasonicEncoding6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PanasonicEncoding7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ljpeg2x2Tiles)->Unit(benchmark::kMillisecond);
