// The browser's costs a user waits for: a thumbnail from a raw file's embedded preview
// (identify reads the headers under the decoder lock, the preview is decoded at 1/8 scale or
// what reaches 128 pixels), one from the sensor data of a file without a preview (developed
// at half size), and listing a folder of 1,000 files.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

#include "app/browser/FSNodeInfo.h"
#include "app/browser/Thumbnailer.h"
#include "tests/support/Samples.h"

namespace fs = std::filesystem;

namespace {

void ensureApplication() {
    static int argc = 1;
    static char name[] = "bench_browser";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static QGuiApplication app(argc, argv);
    }
}

void BM_EmbeddedPreviewThumbnail(benchmark::State& state, const char* sample) {
    const fs::path file = testsupport::samplePath(sample);
    if (!fs::exists(file)) {
        state.SkipWithError("sample missing");
        return;
    }
    for (auto _ : state) {
        QImage thumb = browser::embeddedPreviewThumbnail(file, 128);
        if (thumb.isNull()) state.SkipWithError("no preview");
        benchmark::DoNotOptimize(thumb);
    }
}
BENCHMARK_CAPTURE(BM_EmbeddedPreviewThumbnail, Pixel7_7KB, "Pixel7_small.dng")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EmbeddedPreviewThumbnail, PowerShotG2_28KB, "PowerShotG2_CRW_0304.CRW")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EmbeddedPreviewThumbnail, D7100_98KB, "D7100_truncated.NEF")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EmbeddedPreviewThumbnail, EOS_D30_282KB, "EOS_D30.CRW")->Unit(benchmark::kMillisecond);

// A raw file without a preview: its sensor data developed at half size, then fitted to the cell.
void BM_ReducedDecodeThumbnail(benchmark::State& state, const char* sample) {
    const fs::path file = testsupport::samplePath(sample);
    if (!fs::exists(file)) {
        state.SkipWithError("sample missing");
        return;
    }
    for (auto _ : state) {
        QImage thumb = browser::DefaultThumbnailer().thumbnail(file, QSize(128, 128));
        if (thumb.isNull()) state.SkipWithError("no thumbnail");
        benchmark::DoNotOptimize(thumb);
    }
}
BENCHMARK_CAPTURE(BM_ReducedDecodeThumbnail, DC50_KDC, "DC50_DC0008L.KDC")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReducedDecodeThumbnail, DC120_KDC, "DC120_P003908_uncompressed.KDC")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReducedDecodeThumbnail, BMPCC_DNG, "BMPCC_cinemadng_frame.dng")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReducedDecodeThumbnail, Synthetic_1MP_DNG, "synthetic_1024_rggb_uncompressed.dng")
    ->Unit(benchmark::kMillisecond);

void BM_ListFolderOf1000(benchmark::State& state) {
    ensureApplication();
    const fs::path folder =
        fs::temp_directory_path() / ("lumivar-bench-browser-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    static const char* const kExtensions[] = {".dng", ".CR2", ".jpg", ".txt", ".nef"};
    for (int i = 0; i < 1000; ++i)
        std::ofstream(folder / ("IMG_" + std::to_string(1000 + i) + kExtensions[i % 5])) << "x";
    for (auto _ : state) {
        const auto root = browser::FSNodeInfo::create(folder, {browser::picturesFolder()});
        benchmark::DoNotOptimize(root->subNodes().size());
    }
    fs::remove_all(folder);
}
BENCHMARK(BM_ListFolderOf1000)->Unit(benchmark::kMillisecond);

} // namespace
