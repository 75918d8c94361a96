// The decoder's own interpolations and green matching on a 12-megapixel mosaic. VNG is what
// every four-colour file goes through, twice per document.
#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <random>
#include <vector>

#include "raw/core/DecoderState.h"
#include "raw/develop/Demosaic.h"
#include "raw/develop/GreenMatch.h"

namespace {

constexpr int kHeight = 3000, kWidth = 4000;

struct Image {
    std::unique_ptr<raw::DecoderState> state = std::make_unique<raw::DecoderState>();
    std::vector<std::array<uint16_t, 4>> pixels;
    std::vector<std::array<uint16_t, 4>> mosaic;
    uint32_t pattern;

    Image(uint32_t pattern_word, int colours) : pattern(pattern_word) {
        state->image_height = kHeight;
        state->image_width = kWidth;
        state->cfa_pattern = pattern;
        state->colour_count = colours;
        mosaic.assign(size_t(kHeight) * kWidth, {});
        std::mt19937 rng(11);
        for (int r = 0; r < kHeight; ++r)
            for (int c = 0; c < kWidth; ++c) {
                const int colour = int(pattern >> ((((r << 1) & 14) | (c & 1)) << 1)) & 3;
                mosaic[size_t(r) * kWidth + c][colour] = uint16_t(2000 + rng() % 4000);
            }
    }
    // Every run starts from the same unprocessed mosaic.
    void reset() {
        pixels = mosaic;
        state->pixel_image = reinterpret_cast<uint16_t(*)[4]>(pixels.data());
        state->cfa_pattern = pattern; // green matching folds it
    }
};

template <void (*Step)(raw::DecoderState&)> void run(benchmark::State& bench, uint32_t pattern, int colours) {
    Image image(pattern, colours);
    for (auto _ : bench) {
        bench.PauseTiming();
        image.reset();
        bench.ResumeTiming();
        Step(*image.state);
    }
    bench.SetItemsProcessed(bench.iterations() * int64_t(kHeight) * kWidth);
}

void match_greens(raw::DecoderState& s) { raw::green_channel_match_threaded(s, 512); }

void BM_VngFourColour(benchmark::State& b) { run<raw::vng_interpolate>(b, 0xE4E4E4E4, 4); }
void BM_VngThreaded(benchmark::State& b) { run<raw::vng_interpolate_threaded>(b, 0xE4E4E4E4, 4); }
void BM_BilinearThreaded(benchmark::State& b) { run<raw::bilinear_interpolate_threaded>(b, 0x94949494, 3); }
void BM_Ppg(benchmark::State& b) { run<raw::ppg_demosaic>(b, 0x94949494, 3); }
void BM_GreenMatch(benchmark::State& b) { run<match_greens>(b, 0xB4B4B4B4, 3); }

} // namespace

BENCHMARK(BM_VngFourColour)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VngThreaded)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BilinearThreaded)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Ppg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GreenMatch)->Unit(benchmark::kMillisecond)->UseRealTime();
