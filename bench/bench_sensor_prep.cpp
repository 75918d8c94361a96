// Sensor preparation on a 24-megapixel Bayer frame: the active-area crop and the colour
// scaling, the two passes every decode runs over the whole sensor; argument 1 runs the
// bands on threads, 0 inline (the cost of one core).
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "raw/core/BandRunner.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/develop/SensorPrep.h"

namespace {

constexpr int kHeight = 4000, kWidth = 6000, kMargin = 16;

struct Frame {
    std::unique_ptr<raw::DecoderState> state = std::make_unique<raw::DecoderState>();
    raw::DecoderState& s = *state;

    Frame() {
        s.use_file_backed_memory = false;
        s.cfa_pattern = 0xB4B4B4B4;
        s.colour_count = 3;
        s.visible_height = s.image_height = kHeight;
        s.visible_width = s.image_width = kWidth;
        s.sensor_height = kHeight + kMargin;
        s.sensor_width = kWidth + kMargin;
        s.margin_top = s.margin_left = kMargin;
        s.masked_areas[0][2] = s.sensor_height;
        s.masked_areas[0][3] = kMargin;
        s.white_level = 16383;
        s.pixel_image =
            static_cast<uint16_t(*)[4]>(raw::file_backed_calloc(s, uint64_t(kHeight) * kWidth, 8));
        const uint64_t values = uint64_t(s.sensor_height + 7) * s.sensor_width;
        s.raw_buffer = static_cast<uint16_t*>(raw::file_backed_calloc(s, values, 2));
        std::mt19937 rng(1);
        for (uint64_t i = 0; i < values; ++i)
            s.raw_buffer[i] = uint16_t(512 + rng() % 12000);
    }
    ~Frame() {
        raw::file_backed_free(s, s.pixel_image);
        raw::file_backed_free(s, s.raw_buffer);
    }
};

void BM_ActiveAreaCrop(benchmark::State& state) {
    raw::set_band_threads_enabled(state.range(0) != 0);
    Frame f;
    for (auto _ : state)
        raw::crop_active_area(f.s);
    state.SetItemsProcessed(state.iterations() * int64_t(kHeight) * kWidth);
}
BENCHMARK(BM_ActiveAreaCrop)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// As a decode meets it: the pixel image is fresh, so the crop also pays its first touch of
// every page.
void BM_ActiveAreaCropFreshImage(benchmark::State& state) {
    raw::set_band_threads_enabled(true);
    Frame f;
    for (auto _ : state) {
        state.PauseTiming();
        raw::file_backed_free(f.s, f.s.pixel_image);
        f.s.pixel_image =
            static_cast<uint16_t(*)[4]>(raw::file_backed_calloc(f.s, uint64_t(kHeight) * kWidth, 8));
        state.ResumeTiming();
        raw::crop_active_area(f.s);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kHeight) * kWidth);
}
BENCHMARK(BM_ActiveAreaCropFreshImage)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScaleColors(benchmark::State& state) {
    raw::set_band_threads_enabled(state.range(0) != 0);
    Frame f;
    raw::crop_active_area(f.s);
    for (auto _ : state) {
        f.s.white_level = 16383;
        f.s.daylight_multipliers[0] = 2.1f, f.s.daylight_multipliers[1] = 1,
        f.s.daylight_multipliers[2] = 1.6f;
        raw::scale_colors(f.s);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kHeight) * kWidth);
}
BENCHMARK(BM_ScaleColors)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
