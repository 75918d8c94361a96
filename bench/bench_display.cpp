// The display over a 24 MP image through the output stage: filling a 1920 x 1080 viewport
// with tiles at zoom 1 (the tile requests on the display queue, the output stage's colour
// and tone work for each tile, the conversion to the screen's sRGB and the contents set on
// the main queue), and one paint of the cached tiles at 1:1 offscreen.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <memory>

#include "display/TileSublayer.h"
#include "display/TiledLayer.h"
#include "dng/DNGCameraProfileAbstract.h"
#include "engine/stages/CoreTiledEngine.h"
#include "platform/MainQueue.h"
#include "settings/Schema.h"
#include "tests/engine/StageSource.h"

namespace {

constexpr int kViewWidth = 1920, kViewHeight = 1080;
constexpr int32_t kWidth = 6000, kHeight = 4000;

// A rendered chain over a colour gradient, with the camera profile's gain curve, contrast
// and exposure set, and its zoom-1 image made.
std::shared_ptr<CoreTiledEngine> outputEngine() {
    static std::shared_ptr<CoreTiledEngine> core = [] {
        auto source = std::make_shared<StageSource>(kWidth, kHeight, [](int32_t x, int32_t y) {
            return StageSource::Pixel{uint16_t(x * 65535 / kWidth), uint16_t(y * 65535 / kHeight),
                                      uint16_t((x + y) * 32767 / (kWidth + kHeight)), 65535};
        });
        auto c = std::make_shared<CoreTiledEngine>(source, "", false);
        c->setCameraParameters(platform::Dictionary{});
        c->setParameters(std::nullopt,
                         {{settings::CameraProfile.c_str(),
                           DNGCameraProfileAbstract::createAsAutoProfile()->objectSerializeForPList()},
                          {settings::SceneReferred.c_str(), true},
                          {settings::InputContrast.c_str(), 0.2},
                          {settings::InputEV.c_str(), 0.5}});
        c->runProcessToCompletion(c->mainMap().regionForRect(c->extent(), 0));
        c->imageTile(0, 1, {0, 0, 1, 1}, nullptr, nullptr, false, 0);
        return c;
    }();
    return core;
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
    std::shared_ptr<CoreTiledEngine> engine = outputEngine();
    std::shared_ptr<TiledLayer> layer = std::make_shared<TiledLayer>();

    Viewport() {
        ensureApplication();
        root->setAnchorPoint({0, 0});
        root->setBounds(QRectF(0, 0, kViewWidth, kViewHeight));
        root->setMasksToBounds(true);
        root->setRepaintHandler([] {});
        layer->setUseTiledEngine(true);
        root->addSublayer(layer);
        layer->setImage(engine);
        layer->setPosition({(kViewWidth - kWidth) / 2.0, (kViewHeight - kHeight) / 2.0});
    }
    // Every visible tile shows the full image, not a thumbnail.
    bool filled() const {
        const QRectF area = layer->activeArea();
        for (auto& tile : layer->sublayers())
            if (tile->frame().intersects(area) &&
                (!tile->hasContents() || tile->magnificationFilter() != LayerFilter::Nearest))
                return false;
        return true;
    }
    bool fill() {
        for (auto& tile : layer->sublayers()) // nothing shown, so the wait is for new tiles
            static_cast<TileSublayer&>(*tile).freeVRAM();
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
