// The document's DNG and TIFF export of a 24 MP (6000 x 4000) linear 16-bit RGB image through
// dngWrapper: the DNG with its 256-pixel preview and lossless JPEG tiles, the TIFF rendered to
// 16-bit ProPhoto in one strip; each written to a file in the temporary folder.
#include "dng/dng_host.h"
#include "dng/dng_ifd.h"
#include "dng/dng_memory_stream.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_simple_image.h"
#include "dng/dng_tag_types.h"
#include "export/dngWrapper.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <unistd.h>
#include <vector>

namespace {
constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

const std::vector<uint16_t>& Image() {
    static const std::vector<uint16_t> pixels = [] {
        std::vector<uint16_t> v(size_t(kWidth) * kHeight * 3);
        std::mt19937 rng(2);
        for (int r = 0; r < kHeight; ++r)
            for (int c = 0; c < kWidth; ++c)
                for (int k = 0; k < 3; ++k)
                    v[(size_t(r) * kWidth + c) * 3 + k] =
                        uint16_t(3000 + (r * 5 + c * 3 + k * 7000) % 40000 + rng() % 64);
        return v;
    }();
    return pixels;
}

void Export(benchmark::State& state, const char* type, const char* name) {
    const auto path = std::filesystem::temp_directory_path() / (std::to_string(getpid()) + name);
    Image(); // made once, outside the timing
    for (auto _ : state) {
        dngWrapper wrapper(kWidth, kHeight);
        platform::Error error;
        if (!wrapper.writeToFile(Image().data(), 0, path, {}, platform::Value(), type, &error))
            state.SkipWithError(error.failureReason.c_str());
    }
    std::filesystem::remove(path);
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 6);
}

void BM_ExportDng(benchmark::State& state) { Export(state, "com.adobe.raw-image.dng", "-bench.dng"); }
void BM_ExportTiff(benchmark::State& state) { Export(state, "public.tiff", "-bench.tif"); }
BENCHMARK(BM_ExportDng)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportTiff)->Unit(benchmark::kMillisecond)->UseRealTime();
} // namespace

namespace {
// The part of both exports that only builds the negative from the buffer.
void BM_ExportSetImage(benchmark::State& state) {
    Image();
    for (auto _ : state) {
        DngTiffWriter writer(kWidth, kHeight);
        benchmark::DoNotOptimize(writer.setImage(Image().data(), 1));
    }
}
BENCHMARK(BM_ExportSetImage)->Unit(benchmark::kMillisecond)->UseRealTime();
} // namespace

namespace {
// The negative's stage-1 image as the directory road makes it: the buffer becomes a stream,
// a one-strip uncompressed directory describes it, and the image reader fills the image.
// `copy` puts the samples into a memory stream of 64 KiB pages first; otherwise the stream
// reads the caller's buffer in place.
void BM_SetImageThroughReader(benchmark::State& state) {
    const bool copy = state.range(0) != 0;
    Image();
    for (auto _ : state) {
        dng_host host;
        const uint32_t bytes = uint32_t(Image().size() * 2);
        std::unique_ptr<dng_stream> stream;
        if (copy) {
            auto memory = std::make_unique<dng_memory_stream>(host.Allocator(), nullptr, 65536);
            memory->Put(Image().data(), bytes);
            memory->Flush();
            stream = std::move(memory);
        } else {
            stream = std::make_unique<dng_stream>(Image().data(), bytes);
        }
        dng_simple_image image(dng_rect(kHeight, kWidth), 3, ttShort, host.Allocator());
        dng_ifd ifd;
        ifd.fImageWidth = kWidth;
        ifd.fImageLength = kHeight;
        ifd.fSamplesPerPixel = 3;
        for (uint32_t& b : ifd.fBitsPerSample)
            b = 16;
        ifd.fPhotometricInterpretation = 34892;
        ifd.SetSingleStrip();
        ifd.fTileOffsetsType = ttLong;
        ifd.ReadImage(host, *stream, image);
        benchmark::DoNotOptimize(image.Buffer().data);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 6);
}
BENCHMARK(BM_SetImageThroughReader)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The direct copy setImage makes, alone: the same image filled from the caller's rows.
void BM_SetImageDirect(benchmark::State& state) {
    Image();
    for (auto _ : state) {
        dng_host host;
        dng_simple_image image(dng_rect(kHeight, kWidth), 3, ttShort, host.Allocator());
        const dng_pixel_buffer source(image.Bounds(), 0, 3, ttShort, dng_pixel_buffer::interleaved,
                                      const_cast<uint16_t*>(Image().data()));
        image.Put(source);
        benchmark::DoNotOptimize(image.Buffer().data);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 6);
}
BENCHMARK(BM_SetImageDirect)->Unit(benchmark::kMillisecond)->UseRealTime();
} // namespace
