// Converting a whole rendered image between profiles is what an export waits for when its
// rendering space differs from the working space. Each case runs once through our
// conversion and once through a plain Little CMS transform of the same profiles (what the
// conversion was before the matrix/shaper tables), under the same load.
#include <benchmark/benchmark.h>
#include <lcms2.h>
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <cstring>

#include "color/ColorMatchTransform.h"
#include "color/ProfileManager.h"
#include "engine/core/ImageBufferF32.h"
#include "engine/core/ImageBufferU16.h"

namespace {

constexpr uint16_t kWidth = 6000, kHeight = 4000; // 24 MP

// A colour gradient, or (grey) the monochrome image every render is.
template <class Buffer> std::shared_ptr<Buffer> gradient(bool grey) {
    auto buffer = Buffer::create(kWidth, kHeight);
    for (size_t r = 0; r < kHeight; ++r)
        for (size_t c = 0; c < kWidth; ++c) {
            const double level = double((r + c) % 1000) / 1000;
            const double v[4] = {grey ? level : double(c) / kWidth, grey ? level : double(r) / kHeight, level,
                                 1.0};
            for (int i = 0; i < 4; ++i) {
                if constexpr (std::is_same_v<Buffer, ImageBufferF32>)
                    buffer->bufferFloatForRow(r, c)[i] = float(v[i]);
                else
                    buffer->bufferU16ForRow(r, c)[i] = uint16_t(v[i] * 65535);
            }
        }
    return buffer;
}

enum class Output { SRGB, LinearProPhoto };
enum class Engine { Ours, LittleCMS };

std::shared_ptr<ColorSyncProfileWrap> outputProfile(Output output) {
    auto& manager = ProfileManager::sharedManager();
    return output == Output::SRGB ? manager.getSRGBProfile() : manager.getProPhotoGamma1Profile();
}

struct Lcms {
    cmsHPROFILE src = nullptr, dest = nullptr;
    cmsHTRANSFORM transform = nullptr;
    Lcms(ColorSyncProfileWrap& source, ColorSyncProfileWrap& destination, bool isFloat) {
        auto s = source.csRef(), d = destination.csRef();
        src = cmsOpenProfileFromMem(s->data(), cmsUInt32Number(s->size()));
        dest = cmsOpenProfileFromMem(d->data(), cmsUInt32Number(d->size()));
        const cmsUInt32Number format = isFloat ? TYPE_RGBA_FLT : TYPE_RGBA_16;
        transform = cmsCreateTransform(src, format, dest, format, source.renderingIntent(),
                                       cmsFLAGS_NOCACHE | cmsFLAGS_COPY_ALPHA);
    }
    ~Lcms() {
        if (transform) cmsDeleteTransform(transform);
        cmsCloseProfile(src);
        cmsCloseProfile(dest);
    }
    void convert(uint8_t* first, size_t rowBytes) const {
        tbb::parallel_for(
            tbb::blocked_range<size_t>(0, kHeight, 16), [&](const tbb::blocked_range<size_t>& rows) {
                cmsDoTransformLineStride(
                    transform, first + rows.begin() * rowBytes, first + rows.begin() * rowBytes, kWidth,
                    cmsUInt32Number(rows.size()), cmsUInt32Number(rowBytes), cmsUInt32Number(rowBytes), 0, 0);
            });
    }
};

template <class Buffer>
void convertImage(benchmark::State& state, Output output, Engine engine, bool grey = false) {
    constexpr bool isFloat = std::is_same_v<Buffer, ImageBufferF32>;
    auto working = ProfileManager::sharedManager().getProPhotoGamma1_D65Profile();
    auto destination = outputProfile(output);
    auto buffer = gradient<Buffer>(grey);
    auto transform = ColorMatchTransform::create(*working, *destination,
                                                 isFloat ? ColorMatchTransform::Depth::Float32
                                                         : ColorMatchTransform::Depth::UInt16);
    Lcms lcms(*working, *destination, isFloat);
    if (!transform || !lcms.transform) {
        state.SkipWithError("no transform");
        return;
    }
    auto copy = Buffer::createWithCopyFrom(*buffer);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(copy->pixelAddress(0, 0), buffer->pixelAddress(0, 0), buffer->rowStepInBytes() * kHeight);
        state.ResumeTiming();
        if (engine == Engine::Ours)
            transform->convert(copy->pixelAddress(0, 0), kWidth, kHeight, copy->rowStepInBytes());
        else
            lcms.convert(copy->pixelAddress(0, 0), copy->rowStepInBytes());
        benchmark::DoNotOptimize(copy->pixelAddress(0, 0));
    }
    state.counters["matrixShaper"] = engine == Engine::Ours && transform->usesMatrixShaper();
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}

#define COLOR_MATCH_CASE(name, Buffer, output, engine)                                                       \
    void name(benchmark::State& state) { convertImage<Buffer>(state, output, engine); }                      \
    BENCHMARK(name)->Unit(benchmark::kMillisecond)->UseRealTime()

COLOR_MATCH_CASE(BM_ConvertFloat24MP, ImageBufferF32, Output::SRGB, Engine::Ours);
COLOR_MATCH_CASE(BM_ConvertFloat24MP_LittleCMS, ImageBufferF32, Output::SRGB, Engine::LittleCMS);
COLOR_MATCH_CASE(BM_ConvertU16_24MP, ImageBufferU16, Output::SRGB, Engine::Ours);
COLOR_MATCH_CASE(BM_ConvertU16_24MP_LittleCMS, ImageBufferU16, Output::SRGB, Engine::LittleCMS);
COLOR_MATCH_CASE(BM_ConvertFloatToLinearProPhoto24MP, ImageBufferF32, Output::LinearProPhoto, Engine::Ours);
COLOR_MATCH_CASE(BM_ConvertFloatToLinearProPhoto24MP_LittleCMS, ImageBufferF32, Output::LinearProPhoto,
                 Engine::LittleCMS);
COLOR_MATCH_CASE(BM_ConvertU16ToLinearProPhoto24MP, ImageBufferU16, Output::LinearProPhoto, Engine::Ours);
COLOR_MATCH_CASE(BM_ConvertU16ToLinearProPhoto24MP_LittleCMS, ImageBufferU16, Output::LinearProPhoto,
                 Engine::LittleCMS);

// The renders are monochrome: a grey converts its green alone and copies it.
#define GREY_CASE(name, Buffer, output, engine)                                                              \
    void name(benchmark::State& state) { convertImage<Buffer>(state, output, engine, true); }                \
    BENCHMARK(name)->Unit(benchmark::kMillisecond)->UseRealTime()

GREY_CASE(BM_ConvertGreyU16_24MP, ImageBufferU16, Output::SRGB, Engine::Ours);
GREY_CASE(BM_ConvertGreyU16_24MP_LittleCMS, ImageBufferU16, Output::SRGB, Engine::LittleCMS);
GREY_CASE(BM_ConvertGreyFloat24MP, ImageBufferF32, Output::SRGB, Engine::Ours);
GREY_CASE(BM_ConvertGreyFloat24MP_LittleCMS, ImageBufferF32, Output::SRGB, Engine::LittleCMS);

// Each converted buffer makes its transform (tables and the check against Little CMS); the
// JPEG export's is the 16-bit one to sRGB.
void BM_CreateTransform(benchmark::State& state) {
    auto working = ProfileManager::sharedManager().getProPhotoGamma1_D65Profile();
    auto destination = outputProfile(state.range(0) ? Output::SRGB : Output::LinearProPhoto);
    const auto depth =
        state.range(1) ? ColorMatchTransform::Depth::UInt16 : ColorMatchTransform::Depth::Float32;
    for (auto _ : state)
        benchmark::DoNotOptimize(ColorMatchTransform::create(*working, *destination, depth));
}
BENCHMARK(BM_CreateTransform)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"sRGB", "u16"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
