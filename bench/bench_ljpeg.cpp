// Lossless JPEG decoding speed: a 24-megapixel (6000 x 4000) 14-bit mosaic coded as
// 3000 columns of two components per line, decoded by the sensor loader into a raw
// buffer. Bytes per second count the compressed stream.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

#include "raw/core/DecoderState.h"
#include "raw/loaders/Loaders.h"
#include "tests/support/LosslessJpegEncoder.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

// A smooth gradient with sensor-like noise, so differences take 5 to 8 bits.
std::vector<uint8_t>& stream24mp() {
    static std::vector<uint8_t> bytes = [] {
        testsupport::LosslessJpegFrame f;
        f.precision = 14;
        f.width = kWidth / 2;
        f.components = 2;
        f.height = kHeight;
        f.samples.resize(size_t(kWidth) * kHeight);
        std::mt19937 rng(24);
        std::normal_distribution<float> noise(0, 40);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                f.samples[size_t(y) * kWidth + x] =
                    uint16_t(std::clamp(2000.0f + x * 0.5f + y * 0.25f + noise(rng), 0.0f, 16383.0f));
        return testsupport::encodeLosslessJpeg(f);
    }();
    return bytes;
}

void BM_LjpegSensor24MP(benchmark::State& state) {
    std::vector<uint8_t>& bytes = stream24mp();
    auto s = std::make_unique<raw::DecoderState>();
    std::iota(std::begin(s->tone_table), std::end(s->tone_table), uint16_t(0));
    std::vector<uint16_t> sensor(size_t(kWidth) * (kHeight + 7));
    s->raw_buffer = sensor.data();
    s->sensor_width = kWidth;
    s->sensor_height = kHeight;
    for (auto _ : state) {
        FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
        s->input_file = file;
        raw::ljpeg_sensor_load_raw(*s);
        std::fclose(file);
        benchmark::DoNotOptimize(sensor.data());
    }
    if (s->data_error_count) state.SkipWithError("the stream did not decode cleanly");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    state.counters["Mpixel/s"] =
        benchmark::Counter(double(kWidth) * kHeight * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LjpegSensor24MP)->Unit(benchmark::kMillisecond);

} // namespace
