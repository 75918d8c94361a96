// The raw-image digests of a negative over a 24 MP (6000 x 4000) 16-bit mosaic: the classic
// digest streams 16-row bands, the tiled one digests 256 x 256 tiles.
#include "dng/dng_host.h"
#include "dng/dng_memory.h"
#include "dng/dng_negative.h"
#include "dng/dng_simple_image.h"
#include "dng/dng_tag_types.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {
constexpr uint32_t kWidth = 6000;
constexpr uint32_t kHeight = 4000;

std::unique_ptr<dng_negative> MosaicNegative(dng_host& host) {
    std::unique_ptr<dng_negative> negative(host.MakeNegative());
    auto image =
        std::make_unique<dng_simple_image>(dng_rect(kHeight, kWidth), 1, ttShort, gDefaultDNGMemoryAllocator);
    dng_pixel_buffer buffer = image->Buffer();
    for (uint32_t r = 0; r < kHeight; ++r)
        for (uint32_t c = 0; c < kWidth; ++c)
            *buffer.DirtyPixelAs<uint16_t>(int32_t(r), int32_t(c)) = uint16_t(r * 31 + c * 17);
    negative->SetStage1Image(std::move(image));
    return negative;
}

template <bool kTiled> void BM_RawImageDigest(benchmark::State& state) {
    dng_host host;
    std::unique_ptr<dng_negative> negative = MosaicNegative(host);
    for (auto _ : state) {
        negative->ClearRawImageDigest();
        if (kTiled)
            negative->FindNewRawImageDigest(host);
        else
            negative->FindRawImageDigest(host);
        benchmark::DoNotOptimize(negative->RawImageDigest());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 2);
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
} // namespace

BENCHMARK_TEMPLATE(BM_RawImageDigest, false)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_RawImageDigest, true)->Unit(benchmark::kMillisecond);
