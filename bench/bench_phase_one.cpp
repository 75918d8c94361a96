// Throughput of the medium-format compressed loader and its calibration: a back's frame
// is tens of millions of photosites, each through the word-based bit reader.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "raw/loaders/Loaders.h"
#include "tests/raw/WordStream.h"
#include "tests/support/MemoryFile.h"

namespace {

constexpr uint32_t kWidth = 2048, kHeight = 1536;

// Strip table, then rows whose groups of eight use lengths 8 and 7 with small random steps.
std::vector<uint8_t> compressedFrame() {
    std::mt19937 rng(11);
    std::vector<uint8_t> file(4 * kHeight);
    for (uint32_t row = 0; row < kHeight; ++row) {
        const uint32_t at = uint32_t(file.size() - 4 * kHeight);
        for (int k = 0; k < 4; ++k)
            file[4 * row + k] = uint8_t(at >> (8 * k));
        testsupport::BitWriter w;
        for (uint32_t col = 0; col < kWidth; col += 8) {
            w.put(0b010, 3).put(0b011, 3);
            for (int c = 0; c < 8; ++c)
                w.put(c % 2 ? 63 + rng() % 5 - 2 : 127 + rng() % 5 - 2, c % 2 ? 7 : 8);
        }
        const std::vector<uint8_t> words = testsupport::littleEndianWords(w);
        file.insert(file.end(), words.begin(), words.end());
    }
    return file;
}

struct Frame {
    Frame() : file(compressedFrame()), raw(size_t(kWidth) * kHeight) {
        s->input_file = file.get();
        s->byte_order = 0x4949;
        s->sensor_width = s->visible_width = kWidth;
        s->sensor_height = s->visible_height = kHeight;
        s->raw_buffer = raw.data();
        s->phase_one_format = 3;
        s->phase_one_split_column = kWidth / 2;
        s->phase_one_split_row = kHeight / 2;
        s->sensor_data_offset = 4 * kHeight;
    }
    testsupport::MemoryFile file;
    std::unique_ptr<raw::DecoderState> s = std::make_unique<raw::DecoderState>();
    std::vector<uint16_t> raw;
};

void BM_PhaseOneCompressed(benchmark::State& state) {
    Frame f;
    for (auto _ : state) {
        raw::phase_one_load_raw_c(*f.s);
        benchmark::DoNotOptimize(f.raw.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_PhaseOneCompressed)->Unit(benchmark::kMillisecond);

} // namespace
