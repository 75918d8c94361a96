// A JPEG export of a 24-megapixel render: the 16-to-8-bit rounding and the coder (in one
// call and in bands on the shared queue), and the whole destination with its metadata and
// the file put in place. Then whole
// exports from a document of a 24-megapixel DNG, once it has been developed.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include <fstream>

#include "app/core/AppTables.h"
#include "app/core/MyDocument.h"
#include "export/JpegDestination.h"
#include "export/JpegEncoder.h"
#include "platform/ImageProperties.h"
#include "tests/support/SyntheticDng.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TempHome.h"

namespace {

constexpr size_t kWidth = 6000, kHeight = 4000;
namespace bi = platform::bitmap_info;

// A monochrome render, as the output stage gives: a gradient with a fine grain, so the coder
// has detail to spend bits on.
std::shared_ptr<platform::Bitmap> render() {
    static const auto image = [] {
        platform::BitmapLayout layout{kWidth, kHeight,    16,
                                      64,     kWidth * 8, bi::kByteOrder16Little | bi::kAlphaLast};
        auto b = platform::Bitmap::createOwned(layout, platform::ColorSpace::sRGB());
        auto* px = reinterpret_cast<uint16_t*>(b->mutableData());
        uint32_t seed = 12345;
        for (size_t y = 0; y < kHeight; ++y) {
            for (size_t x = 0; x < kWidth; ++x, px += 4) {
                seed = seed * 1664525u + 1013904223u;
                uint32_t v = uint32_t(8000 + x * 40000 / kWidth + y * 10000 / kHeight) + (seed >> 22);
                px[0] = px[1] = px[2] = uint16_t(v);
                px[3] = 65535;
            }
        }
        return b;
    }();
    return image;
}

void setPixels(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth * kHeight));
}

void BM_JpegRounding24MP(benchmark::State& state) {
    auto image = render();
    for (auto _ : state)
        benchmark::DoNotOptimize(rgb8Pixels(image));
    setPixels(state);
}
BENCHMARK(BM_JpegRounding24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

// Rounding and coding, at quality 100 (the default 10 / 10) and 70.
void BM_JpegEncode24MP(benchmark::State& state) {
    auto image = render();
    for (auto _ : state) {
        auto rgb = rgb8Pixels(image);
        auto jpeg = encodeJpeg(rgb.get(), kWidth, kHeight, int(state.range(0)));
        if (!jpeg) state.SkipWithError("the coder failed");
        benchmark::DoNotOptimize(jpeg);
    }
    setPixels(state);
}
BENCHMARK(BM_JpegEncode24MP)->Arg(100)->Arg(70)->Unit(benchmark::kMillisecond)->UseRealTime();

// The coder alone on rounded pixels, at quality 100 and 70: in one call (1), in as many bands
// as given, or in the bands encodeJpeg chooses (0).
void BM_JpegCoding24MP(benchmark::State& state) {
    static const auto rgb = rgb8Pixels(render());
    const size_t bands = size_t(state.range(1));
    for (auto _ : state) {
        auto jpeg = bands ? encodeJpegInBands(rgb.get(), kWidth, kHeight, int(state.range(0)),
                                              (kHeight + bands - 1) / bands)
                          : encodeJpeg(rgb.get(), kWidth, kHeight, int(state.range(0)));
        if (!jpeg) state.SkipWithError("the coder failed");
        benchmark::DoNotOptimize(jpeg);
    }
    setPixels(state);
}
BENCHMARK(BM_JpegCoding24MP)->ArgsProduct({{100, 70}, {1, 0}})->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole destination, with an EXIF block and the sRGB profile, into the temporary folder
// (the file is flushed to disk before it replaces the last one).
void BM_JpegDestination24MP(benchmark::State& state) {
    auto image = render();
    const auto path = std::filesystem::temp_directory_path() / "lumivar-bench-export.jpg";
    platform::Dictionary properties{
        {platform::kCGImagePropertyTIFFDictionary,
         platform::Value(platform::Dictionary{{platform::kCGImagePropertyTIFFMake, "Acme"}})}};
    for (auto _ : state) {
        auto destination = JpegDestination::create(path);
        destination->addImage(image, properties, 1.0, platform::ColorSpace::sRGB());
        if (!destination->finalize()) state.SkipWithError("the export failed");
    }
    std::filesystem::remove(path);
    setPixels(state);
}
BENCHMARK(BM_JpegDestination24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

// A document of a 6000 x 4000 synthetic DNG, developed by a first export.
struct DevelopedDocument {
    testsupport::TempHome home;
    testsupport::TempFolder folder;
    std::shared_ptr<MyDocument> document = MyDocument::create();
    bool ready = false;

    DevelopedDocument() {
        testsupport::SyntheticDngSpec spec;
        spec.width = int(kWidth);
        spec.height = int(kHeight);
        const auto bytes = testsupport::buildSyntheticDng(spec);
        const auto path = folder / "IMG_24MP.dng";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        ready = document->read(path.string()) &&
                document->exportToURL(folder / "first.jpg", app::kTypeJPEG, {0, 0, 0, 0}, true);
    }
};

DevelopedDocument& developed() {
    static DevelopedDocument document;
    return document;
}

// Index into the export menu: 0 JPEG, 1 TIFF, 3 EXR (half RGBA).
void BM_DocumentExport24MP(benchmark::State& state) {
    DevelopedDocument& d = developed();
    if (!d.ready) return state.SkipWithError("the synthetic DNG did not develop");
    const auto& type = app::kExportTypes[size_t(state.range(0))];
    const auto to = d.folder / ("export." + std::string(type.extension));
    platform::Error error;
    for (auto _ : state)
        if (!d.document->exportToURL(to, type.typeIdentifier, {0, 0, 0, 0}, true, &error))
            return state.SkipWithError(error.failureReason.c_str());
    setPixels(state);
}
BENCHMARK(BM_DocumentExport24MP)
    ->Arg(0)
    ->Arg(1)
    ->Arg(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

} // namespace
