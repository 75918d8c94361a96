// CRX band decoding in megasamples per second: a lossless (predicted) band and a wavelet
// high band of a 24-megapixel frame's plane tile, over a stream of busy residuals.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "raw/core/DecoderError.h"
#include "raw/cr3/Cr3Crx.h"

namespace {

constexpr uint32_t kWidth = 1572, kHeight = 2028; // one plane of half a 6288 x 4056 frame

// Pseudo-random bytes: short prefixes and busy residuals, no flat context to run over.
std::vector<uint8_t> stream() {
    std::vector<uint8_t> bytes(uint64_t(kWidth) * kHeight * 4);
    uint32_t x = 2463534242u;
    for (uint8_t& b : bytes) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b = uint8_t(x) | 0x11;
    }
    return bytes;
}

void decode(benchmark::State& state, bool high) {
    const std::vector<uint8_t> data = stream();
    raw::crx::Subband band;
    band.size = data.size();
    band.width = kWidth;
    band.height = kHeight;
    std::vector<int32_t> out(uint64_t(kWidth) * kHeight);
    for (auto _ : state) {
        try {
            raw::crx::decode_band(data.data(), band, {high, 0}, out.data());
        } catch (const raw::DecoderText& t) {
            state.SkipWithError(t.text);
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["Msamples/s"] = benchmark::Counter(
        double(kWidth) * kHeight * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

void BM_CrxPredictedBand(benchmark::State& state) { decode(state, false); }
void BM_CrxHighBand(benchmark::State& state) { decode(state, true); }

} // namespace

BENCHMARK(BM_CrxPredictedBand)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CrxHighBand)->Unit(benchmark::kMillisecond);
