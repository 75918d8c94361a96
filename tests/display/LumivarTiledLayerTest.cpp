#include <gtest/gtest.h>

#include <cmath>

#include "display/LumivarTiledLayer.h"
#include "display/TiledLayer.h"
#include "tests/display/DisplayTestSupport.h"
#include "tests/display/FakeTileEngine.h"

namespace {

using namespace displaytest;

// Colour patches of 50 x 40 pixels, a different colour in each.
FakeTileEngine::Pixel chart(int32_t x, int32_t y) {
    const int column = x / 50, row = y / 40;
    return {uint16_t((column * 5000) % 65536), uint16_t((row * 9000) % 65536),
            uint16_t(((column + row) * 7000) % 65536), 65535};
}

TEST(LumivarTiledLayer, DrawsAtThePowerOfTwoAboveTheZoom) {
    struct Case {
        double scale;
        int32_t level;
    };
    for (const Case& c : {Case{1, 0}, Case{0.75, 0}, Case{0.74, -1}, Case{0.5, -1}, Case{1.6, 1}, Case{2, 1},
                          Case{3, 2}, Case{6, 3}, Case{20, 3}, Case{0.1, -3}}) {
        SCOPED_TRACE(c.scale);
        EXPECT_EQ(LumivarTiledLayer::levelForScale(c.scale), c.level);
    }
    for (double none : {0.0, -1.0, std::nan(""), double(INFINITY)})
        EXPECT_FALSE(LumivarTiledLayer::levelForScale(none));
}

TEST(LumivarTiledLayer, PaintsTheChartAtScaleOneAsTheTiledLayerDoes) {
    auto engine = std::make_shared<FakeTileEngine>(600, 400, chart);
    HostedRoot tiledHost(600, 400), lumivarHost(600, 400);
    auto tiled = std::make_shared<TiledLayer>();
    tiled->setUseTiledEngine(true);
    tiledHost.root->addSublayer(tiled);
    tiled->setImage(engine);
    auto lumivar = std::make_shared<LumivarTiledLayer>();
    lumivarHost.root->addSublayer(lumivar);
    lumivar->setImage(engine);
    ASSERT_TRUE(runMainUntil([&] {
        for (auto& tile : tiled->sublayers())
            if (!tile->hasContents()) return false;
        return !lumivar->sublayers().empty();
    }));
    const QImage a = renderTree(*tiledHost.root), b = renderTree(*lumivarHost.root);
    int differing = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 599; ++x) // the tiled layer's last column stops 0.01 short
            differing += a.pixel(x, y) != b.pixel(x, y);
    EXPECT_EQ(differing, 0);
    // And it is the chart: a patch's colour at its place (row 0 at the top).
    const QColor patch = pixelUp(b, 125, 400 - 1 - 45);
    EXPECT_NEAR(patch.red(), 10000 / 257, 1);
    EXPECT_NEAR(patch.green(), 9000 / 257, 1);
    EXPECT_NEAR(patch.blue(), 21000 / 257, 1);
}

struct CountingDelegate : LumivarTiledLayerDelegate {
    int updates = 0;
    void LumivarTiledLayerHasUpdated(LumivarTiledLayer&) override { ++updates; }
};

TEST(LumivarTiledLayer, TellsItsDelegateOnceTheLastDrawEnds) {
    auto engine = std::make_shared<FakeTileEngine>(600, 400, chart);
    auto layer = std::make_shared<LumivarTiledLayer>();
    CountingDelegate delegate;
    layer->setImage(engine);
    layer->setTiledLayerDelegate(&delegate);
    layer->startTileDraw();
    layer->startTileDraw();
    layer->endTileDraw();
    EXPECT_EQ(delegate.updates, 0); // another draw is still going on
    layer->endTileDraw();
    EXPECT_EQ(delegate.updates, 1);
    EXPECT_EQ(layer->tiledLayerDelegate(), nullptr);
}

} // namespace
