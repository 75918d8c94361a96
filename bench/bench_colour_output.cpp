// The last steps of the application's road on a 24-megapixel image: conversion to ProPhoto
// with its histogram, highlight blending, and the re-oriented copy into the caller's buffer.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "raw/core/BandRunner.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/develop/Highlights.h"
#include "raw/output/ColourOutput.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

std::vector<uint16_t> developedImage() {
    std::vector<uint16_t> samples(size_t(kWidth) * kHeight * 4);
    std::mt19937 rng(3);
    for (auto& v : samples)
        v = uint16_t(rng());
    return samples;
}

struct Road {
    std::unique_ptr<raw::DecoderState> s = std::make_unique<raw::DecoderState>();
    const std::vector<uint16_t> source = developedImage();

    Road() {
        s->use_file_backed_memory = false;
        s->colour_count = 3;
        s->output_space = 4;
        for (int i = 0; i < 3; ++i)
            s->rgb_from_camera[i][i] = 1;
        const float multipliers[4] = {0.8f, 0.5f, 0.7f, 0};
        std::memcpy(s->daylight_multipliers, multipliers, sizeof multipliers);
    }
    ~Road() {
        raw::file_backed_free(*s, s->pixel_image);
        raw::file_backed_free(*s, s->output_profile);
    }
    // A fresh copy of the image, as the previous step leaves it.
    void reset(int orientation) {
        raw::file_backed_free(*s, s->pixel_image);
        s->pixel_image =
            static_cast<uint16_t(*)[4]>(raw::file_backed_calloc(*s, uint64_t(kWidth) * kHeight, 8));
        std::memcpy(s->pixel_image, source.data(), source.size() * 2);
        s->visible_height = s->image_height = kHeight;
        s->visible_width = s->image_width = kWidth;
        s->colour_count = 3;
        s->camera_colour_output = 0;
        s->orientation_code = orientation;
    }
};

template <class Step> void runStep(benchmark::State& state, int orientation, Step step) {
    Road road;
    for (auto _ : state) {
        state.PauseTiming();
        road.reset(orientation);
        state.ResumeTiming();
        step(*road.s);
        benchmark::DoNotOptimize(road.s->pixel_image);
    }
    state.counters["MP/s"] =
        benchmark::Counter(double(kWidth) * kHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ConvertToProPhoto24MP(benchmark::State& state) { runStep(state, 0, raw::convert_to_rgb_threaded); }
void BM_BlendHighlights24MP(benchmark::State& state) { runStep(state, 0, raw::blend_highlights); }
void BM_ReorientIntoBuffer24MP(benchmark::State& state) {
    runStep(state, 6, [](raw::DecoderState& s) { raw::createCGImage(s, 0); });
}

BENCHMARK(BM_ConvertToProPhoto24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BlendHighlights24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReorientIntoBuffer24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
