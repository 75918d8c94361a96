// Writing a 24 MP (6000 x 4000) 16-bit mosaic as a DNG with lossless JPEG tiles, into memory,
// with 1 and 8 threads encoding tiles (written in index order either way).
#include "dng/dng_camera_profile.h"
#include "dng/dng_image_writer.h"
#include "dng/dng_memory.h"
#include "dng/dng_memory_stream.h"
#include "dng/dng_negative.h"
#include "dng/dng_simple_image.h"
#include "dng/dng_tag_types.h"
#include "dng/dng_threaded_host.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

namespace {
constexpr uint32_t kWidth = 6000;
constexpr uint32_t kHeight = 4000;

std::unique_ptr<dng_negative> MosaicNegative(dng_host& host) {
    std::unique_ptr<dng_negative> negative(host.MakeNegative());
    negative->SetModelName("Benchmark");
    negative->SetColorChannels(3);
    negative->SetColorKeys(0, 1, 2);
    negative->SetBayerMosaic(1);
    negative->SetWhiteLevel(65535);
    negative->SetDefaultCropSize(kWidth, kHeight);
    auto image =
        std::make_unique<dng_simple_image>(dng_rect(kHeight, kWidth), 1, ttShort, gDefaultDNGMemoryAllocator);
    dng_pixel_buffer buffer = image->Buffer();
    std::mt19937 rng(1);
    // A smooth scene with a few bits of noise, as a sensor gives.
    for (uint32_t r = 0; r < kHeight; ++r)
        for (uint32_t c = 0; c < kWidth; ++c)
            *buffer.DirtyPixelAs<uint16_t>(int32_t(r), int32_t(c)) =
                uint16_t(4000 + (r * 3 + c * 2) % 20000 + (c & 1) * 3000 + rng() % 128);
    negative->SetStage1Image(std::move(image));
    return negative;
}

void BM_WriteLosslessCfaDng(benchmark::State& state) {
    dng_threaded_host host(uint32_t(state.range(0)));
    std::unique_ptr<dng_negative> negative = MosaicNegative(host);
    dng_image_writer writer;
    for (auto _ : state) {
        dng_memory_stream stream(host.Allocator());
        writer.WriteDNG(host, stream, *negative, nullptr, 7, false);
        benchmark::DoNotOptimize(stream.Length());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 2);
}
BENCHMARK(BM_WriteLosslessCfaDng)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
} // namespace
