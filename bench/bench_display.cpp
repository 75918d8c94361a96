// The display over a 24 MP image: filling a 1920 x 1080 viewport with tiles at zoom 1 (the
// tile requests on the display queue, the colour work of each tile, the conversion to the
// screen's sRGB and the contents set on the main queue), and one paint of the cached tiles
// at 1:1 offscreen. The output engine is the test fake with per-pixel colour work of about
// the output stage's cost.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <memory>

#include "display/VQTileSublayer.h"
#include "display/VQTiledLayer.h"
#include "platform/MainQueue.h"
#include "tests/display/FakeTileEngine.h"

namespace {

constexpr int kViewWidth = 1920, kViewHeight = 1080;

FakeTileEngine::Pixel gradient(int32_t x, int32_t y) {
    return {uint16_t(x * 10), uint16_t(y * 16), uint16_t((x + y) * 6), 65535};
}

void ensureApplication() {
    static std::unique_ptr<QGuiApplication> application = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "bench_display";
        static char* argv[] = {name, nullptr};
        return std::make_unique<QGuiApplication>(argc, argv);
    }();
}

// A 1920 x 1080 view of the middle of a 6000 x 4000 image at zoom 1.
struct Viewport {
    std::shared_ptr<Layer> root = std::make_shared<Layer>();
    std::shared_ptr<FakeTileEngine> engine;
    std::shared_ptr<VQTiledLayer> layer = std::make_shared<VQTiledLayer>();

    Viewport() {
        ensureApplication();
        static auto picture = std::make_shared<FakeTileEngine>(6000, 4000, gradient);
        engine = picture;
        engine->processTiles = true;
        root->setAnchorPoint({0, 0});
        root->setBounds(QRectF(0, 0, kViewWidth, kViewHeight));
        root->setMasksToBounds(true);
        root->setRepaintHandler([] {});
        layer->setUseTiledEngine(true);
        root->addSublayer(layer);
        layer->setImage(engine);
        layer->setPosition({kViewWidth / 2.0 - 3000, kViewHeight / 2.0 - 2000});
    }
    bool filled() const {
        const QRectF area = layer->activeArea();
        for (auto& tile : layer->sublayers())
            if (tile->frame().intersects(area) && !tile->hasContents()) return false;
        return true;
    }
    bool fill() {
        for (auto& tile : layer->sublayers()) // nothing shown, so the wait is for new tiles
            static_cast<VQTileSublayer&>(*tile).freeVRAM();
        layer->setImage(engine); // every tile dirty, as after a new render
        return platform::MainQueue::shared().runUntil([&] { return filled(); }, std::chrono::seconds(30));
    }
};

void BM_FillViewportAtZoom1(benchmark::State& state) {
    Viewport view;
    if (!view.fill()) state.SkipWithError("tiles did not arrive");
    for (auto _ : state)
        if (!view.fill()) state.SkipWithError("tiles did not arrive");
    state.SetItemsProcessed(state.iterations() * kViewWidth * kViewHeight);
}
BENCHMARK(BM_FillViewportAtZoom1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PaintCachedTilesAt1to1(benchmark::State& state) {
    Viewport view;
    if (!view.fill()) state.SkipWithError("tiles did not arrive");
    QImage screen(kViewWidth, kViewHeight, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&screen);
        painter.fillRect(screen.rect(), Qt::black);
        painter.translate(0, kViewHeight);
        painter.scale(1, -1);
        view.root->render(painter);
        painter.end();
        benchmark::DoNotOptimize(screen.constBits());
    }
    state.SetItemsProcessed(state.iterations() * kViewWidth * kViewHeight);
}
BENCHMARK(BM_PaintCachedTilesAt1to1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
