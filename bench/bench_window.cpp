// The editing window offscreen (1600 x 1000): opening a file to its first shown image (the
// bundled chart, the Pixel 7 sample when present, a 24 MP synthetic DNG), and on the 24 MP
// file a channel-mix change until the visible tiles are drawn again.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/core/MyDocument.h"
#include "app/ui/EditingWindow.h"
#include "display/MainQueuePump.h"
#include "display/TiledImageView.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/Notifications.h"
#include "settings/Schema.h"
#include "tests/support/SyntheticDng.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;

namespace {

QApplication& application() {
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "bench_window";
        static char* argv[] = {name, nullptr};
        auto* a = new QApplication(argc, argv);
        installMainQueuePump(*a);
        return a;
    }();
    return *app;
}

testsupport::TempHome& home() {
    static testsupport::TempHome h;
    return h;
}

bool waitFor(const std::function<bool()>& done, std::chrono::seconds timeout = std::chrono::seconds(120)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 1);
        platform::MainQueue::shared().drain();
    }
    return true;
}

bool drawn(EditingWindow* window) {
    return window->imageView()->isVisible() && window->spinner().counter() != 15 &&
           !window->imageView()->getDrawInProgress();
}

fs::path file(const std::string& which) {
    if (which == "chart") return fs::path(LUMIVAR_SOURCE_DIR) / "samples" / "lumivar-chart.dng";
    if (which == "pixel7") return fs::path(LUMIVAR_SAMPLES_DIR) / "Pixel7_small.dng";
    static const fs::path big = [] {
        testsupport::SyntheticDngSpec spec;
        spec.width = 6000;
        spec.height = 4000;
        const auto bytes = testsupport::buildSyntheticDng(spec);
        const fs::path path = home().path() / "synthetic-24mp.dng";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }();
    return big;
}

EditingWindow* open(const fs::path& path, std::shared_ptr<MyDocument>* document) {
    *document = MyDocument::create();
    if (!(*document)->read(path.string())) return nullptr;
    auto* window = EditingWindow::makeWindowControllers(*document);
    window->resize(1600, 1000);
    return window;
}

void openToFirstImage(benchmark::State& state, const std::string& which) {
    application();
    home();
    const fs::path path = file(which);
    if (!fs::exists(path)) {
        state.SkipWithError("sample not present");
        return;
    }
    for (auto _ : state) {
        std::shared_ptr<MyDocument> document;
        auto* window = open(path, &document);
        if (!window || !waitFor([window] { return drawn(window); })) {
            state.SkipWithError("no image");
            return;
        }
        state.PauseTiming();
        window->close();
        waitFor([] { return false; }, std::chrono::seconds(0));
        state.ResumeTiming();
    }
}

void BM_OpenChart(benchmark::State& state) { openToFirstImage(state, "chart"); }
void BM_OpenPixel7(benchmark::State& state) { openToFirstImage(state, "pixel7"); }
void BM_Open24MP(benchmark::State& state) { openToFirstImage(state, "24mp"); }

void BM_ChannelMixToRepaint24MP(benchmark::State& state) {
    application();
    std::shared_ptr<MyDocument> document;
    auto* window = open(file("24mp"), &document);
    if (!window || !waitFor([window] { return drawn(window); })) {
        state.SkipWithError("no image");
        return;
    }
    // Renders finished for this document.
    std::atomic<int> renders{0};
    const auto token = platform::NotificationCenter::defaultCenter().addObserver(
        platform::notification::NewProcessedImage, document.get(),
        [&renders](const platform::Notification&) { ++renders; });
    double red = 1.0;
    for (auto _ : state) {
        red = red == 1.0 ? 1.5 : 1.0;
        const int seen = renders;
        document->setValue(platform::Value(red), settings::MonochromeRed.c_str());
        // The render finishes, the view takes the new image and draws its visible tiles.
        waitFor([&] { return renders > seen; });
        waitFor([window] { return !window->imageView()->getDrawInProgress(); });
    }
    platform::NotificationCenter::defaultCenter().removeObserver(token);
    window->close();
}

} // namespace

BENCHMARK(BM_OpenChart)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_OpenPixel7)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Open24MP)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_ChannelMixToRepaint24MP)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
