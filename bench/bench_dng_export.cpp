// The document's DNG and TIFF export of a 24 MP (6000 x 4000) linear 16-bit RGB image through
// dngWrapper: the DNG with its 256-pixel preview and lossless JPEG tiles, the TIFF rendered to
// 16-bit ProPhoto in one strip; each written to a file in the temporary folder.
#include "export/dngWrapper.h"

#include <benchmark/benchmark.h>

#include <filesystem>
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
        const int code = wrapper.writeToFile(Image().data(), 0, path, {}, platform::Value(), type);
        if (code) state.SkipWithError(wrapper.errorStringForCode(code).c_str());
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
        pcdToDNG writer(kWidth, kHeight);
        benchmark::DoNotOptimize(writer.setImage(Image().data(), 1));
    }
}
BENCHMARK(BM_ExportSetImage)->Unit(benchmark::kMillisecond)->UseRealTime();
} // namespace
