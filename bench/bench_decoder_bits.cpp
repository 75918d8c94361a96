// Throughput of the decoder's bit reader: plain reads and Huffman-table decoding, the
// inner loop of every compressed loader.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "raw/core/BitReader.h"
#include "raw/core/FileBackedMemory.h"

namespace {

// A JPEG-style table: codes of 2 to 9 bits for 13 symbols.
const std::vector<uint8_t> kSource = {0, 1, 5, 1, 1, 1, 1, 1, 2, 0, 0, 0,  0,  0, 0,
                                      0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

constexpr int kSymbols = 1 << 20;

// Random symbols in their canonical codes (symbol i is the i-th code), unstuffed.
std::vector<uint8_t> encodedStream() {
    uint32_t codes[13];
    int lengths[13];
    uint32_t code = 0;
    for (int len = 1, sym = 0; len <= 16; ++len, code <<= 1)
        for (int i = 0; i < kSource[len - 1]; ++i, ++sym)
            codes[sym] = code++, lengths[sym] = len;
    std::mt19937 rng(7);
    std::vector<uint8_t> out;
    uint64_t acc = 0;
    int bits = 0;
    for (int i = 0; i < kSymbols; ++i) {
        int sym = int(rng() % 13);
        acc = (acc << lengths[sym]) | codes[sym];
        for (bits += lengths[sym]; bits >= 8; bits -= 8)
            out.push_back(uint8_t(acc >> (bits - 8)));
    }
    out.resize(out.size() + 4, 0);
    return out;
}

struct MemoryInput {
    explicit MemoryInput(std::vector<uint8_t>& bytes) : file(fmemopen(bytes.data(), bytes.size(), "rb")) {}
    ~MemoryInput() { std::fclose(file); }
    FILE* file;
};

void BM_HuffmanDecode(benchmark::State& state) {
    std::vector<uint8_t> stream = encodedStream();
    auto s = std::make_unique<raw::DecoderState>();
    const uint8_t* cursor = kSource.data();
    uint16_t* table = raw::make_decoder(*s, cursor, kSource.data() + kSource.size());
    for (auto _ : state) {
        MemoryInput in(stream);
        s->input_file = in.file;
        raw::read_bits(*s, -1);
        uint32_t sum = 0;
        for (int i = 0; i < kSymbols; ++i)
            sum += raw::read_bits(*s, table[0], table + 1);
        benchmark::DoNotOptimize(sum);
    }
    raw::file_backed_free(*s, table);
    state.SetItemsProcessed(state.iterations() * kSymbols);
}
BENCHMARK(BM_HuffmanDecode)->Unit(benchmark::kMillisecond);

void BM_PlainBits(benchmark::State& state) {
    std::vector<uint8_t> stream(3 * kSymbols / 2, 0x5A);
    auto s = std::make_unique<raw::DecoderState>();
    for (auto _ : state) {
        MemoryInput in(stream);
        s->input_file = in.file;
        raw::read_bits(*s, -1);
        uint32_t sum = 0;
        for (int i = 0; i < kSymbols; ++i)
            sum += raw::read_bits(*s, 12);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kSymbols);
}
BENCHMARK(BM_PlainBits)->Unit(benchmark::kMillisecond);

} // namespace
