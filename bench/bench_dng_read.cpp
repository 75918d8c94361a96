// The DNG reading road over a 24 MP (6000 x 4000) synthetic-camera file: reading the stage-1
// image (uncompressed strips and one lossless JPEG tile), linearization, demosaicing, and a
// 256-pixel preview render from the stage-3 image.
#include "dng/dng_host.h"
#include "dng/dng_image.h"
#include "dng/dng_info.h"
#include "dng/dng_memory.h"
#include "dng/dng_memory_stream.h"
#include "dng/dng_negative.h"
#include "dng/dng_render.h"
#include "tests/support/SyntheticDng.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {
constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

const std::vector<uint8_t>& File(bool losslessJpeg) {
    static std::map<bool, std::vector<uint8_t>> files;
    auto it = files.find(losslessJpeg);
    if (it != files.end()) return it->second;
    testsupport::SyntheticDngSpec spec;
    spec.width = kWidth;
    spec.height = kHeight;
    spec.losslessJpeg = losslessJpeg;
    // A smooth scene keeps the generator quick; the reader's work does not depend on it.
    spec.scene = [](int x, int y) {
        return testsupport::LinearRgb{x / double(kWidth), y / double(kHeight), 0.5};
    };
    return files[losslessJpeg] = testsupport::buildSyntheticDng(spec);
}

std::unique_ptr<dng_memory_stream> Stream(const std::vector<uint8_t>& bytes) {
    auto stream = std::make_unique<dng_memory_stream>(gDefaultDNGMemoryAllocator);
    stream->Put(bytes.data(), uint32_t(bytes.size()));
    stream->Flush();
    return stream;
}

std::unique_ptr<dng_negative> Negative(dng_host& host, dng_stream& stream) {
    stream.SetReadPosition(0);
    dng_info info;
    info.Parse(host, stream);
    return info.BuildNegative(host, stream, true);
}

template <bool kLosslessJpeg> void BM_ReadStage1(benchmark::State& state) {
    auto stream = Stream(File(kLosslessJpeg));
    dng_host host;
    for (auto _ : state)
        benchmark::DoNotOptimize(Negative(host, *stream));
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 2);
}
BENCHMARK(BM_ReadStage1<false>)->Name("BM_ReadStage1/strips")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadStage1<true>)
    ->Name("BM_ReadStage1/lossless_jpeg")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Stage2And3(benchmark::State& state) {
    auto stream = Stream(File(false));
    dng_host host;
    for (auto _ : state) {
        state.PauseTiming();
        auto negative = Negative(host, *stream);
        state.ResumeTiming();
        negative->BuildStage2Image(host);
        negative->BuildStage3Image(host);
        benchmark::DoNotOptimize(negative->Stage3Image());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_Stage2And3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RenderPreview(benchmark::State& state) {
    auto stream = Stream(File(false));
    dng_host host;
    auto negative = Negative(host, *stream);
    negative->BuildStage2Image(host);
    negative->BuildStage3Image(host);
    for (auto _ : state) {
        dng_render render(host, *negative);
        render.SetMaximumSize(256);
        std::unique_ptr<dng_image> image(render.Render());
        benchmark::DoNotOptimize(image.get());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_RenderPreview)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
