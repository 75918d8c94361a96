#include <gtest/gtest.h>

#include <cmath>
#include <future>
#include <limits>
#include <thread>

#include "display/TileSublayer.h"
#include "display/TiledLayer.h"
#include "tests/display/DisplayTestSupport.h"
#include "tests/display/FakeTileEngine.h"

namespace {

using namespace displaytest;

FakeTileEngine::Pixel grey(int32_t, int32_t) { return {30000, 30000, 30000, 65535}; }

// An image layer over a fake engine, in a hosted view-sized root.
struct TiledFixture {
    HostedRoot host;
    std::shared_ptr<FakeTileEngine> engine;
    std::shared_ptr<TiledLayer> layer = std::make_shared<TiledLayer>();

    TiledFixture(double viewWidth, double viewHeight, uint16_t imageWidth, uint16_t imageHeight)
        : host(viewWidth, viewHeight),
          engine(std::make_shared<FakeTileEngine>(imageWidth, imageHeight, grey)) {
        layer->setUseTiledEngine(true);
        host.root->addSublayer(layer);
        layer->setImage(engine);
    }

    void setScale(double R) {
        layer->setTransform(QTransform::fromScale(R, R));
        layer->setNeedsDisplay();
    }
    std::shared_ptr<TileSublayer> tileAt(double x, double y) const {
        for (auto& s : layer->sublayers())
            if (s->frame().x() == x && s->frame().y() == y) return std::static_pointer_cast<TileSublayer>(s);
        return nullptr;
    }
    // Every tile that meets the visible area shows something.
    bool activeTilesLoaded() const {
        const QRectF area = layer->activeArea();
        for (auto& s : layer->sublayers())
            if (s->frame().intersects(area) && !s->hasContents()) return false;
        return true;
    }
    std::vector<Layer*> tiles() const {
        std::vector<Layer*> list;
        for (auto& s : layer->sublayers())
            list.push_back(s.get());
        return list;
    }
};

TEST(TiledLayer, CoversTheImageWithTilesAlignedToItsTopEdge) {
    TiledFixture f(1000, 600, 1000, 600);
    const double xs[] = {0, 256, 512, 768}, widths[] = {256, 256, 256, 231.99};
    const double ys[] = {344, 88, 0}, heights[] = {256, 256, 88};
    ASSERT_EQ(f.layer->sublayers().size(), 12u);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 3; ++r) {
            SCOPED_TRACE(testing::Message() << "column " << c << " row " << r);
            auto tile = f.tileAt(xs[c], ys[r]);
            ASSERT_TRUE(tile);
            EXPECT_NEAR(tile->frame().width(), widths[c], 1e-9);
            EXPECT_EQ(tile->frame().height(), heights[r]);
            EXPECT_EQ(tile->bounds(), tile->frame());
            EXPECT_EQ(tile->scale(), 1.0);
            EXPECT_EQ(tile->contentsScale(), 1.0);
        }
    EXPECT_EQ(f.layer->activeTileArea(), QRectF(0, 0, 999.99, 600));
}

TEST(TiledLayer, LevelOfDetailHalvesWithTheScale) {
    struct Case {
        double R;
        int32_t level;
    };
    for (const Case& c :
         {Case{8, 0}, Case{1, 0}, Case{0.5, 0}, Case{0.4, -1}, Case{0.25, -1}, Case{0.2, -2}}) {
        SCOPED_TRACE(c.R);
        TiledFixture f(1000, 600, 1000, 600);
        f.setScale(c.R);
        ASSERT_FALSE(f.layer->sublayers().empty());
        EXPECT_EQ(static_cast<TileSublayer&>(*f.layer->sublayers()[0]).resolution(), c.level);
    }
    // A layer that keeps its first levels of detail stops halving after them.
    EXPECT_EQ(TiledLayer::levelForScale(1e-6, 4), -5);
}

TEST(TiledLayer, RebuildsTheGridOnlyWhenTheZoomKeyChanges) {
    TiledFixture f(1000, 600, 1000, 600);
    const auto atFull = f.tiles();
    f.setScale(0.995); // floor(100 / R) is still 100
    EXPECT_EQ(f.tiles(), atFull);
    f.setScale(0.5);
    EXPECT_NE(f.tiles(), atFull);
    ASSERT_TRUE(f.tileAt(0, 88));
    EXPECT_EQ(f.tileAt(0, 88)->frame().size(), QSizeF(512, 512));
}

TEST(TiledLayer, ScalesWithoutAZoomShowNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN(),
                 inf = std::numeric_limits<double>::infinity();
    for (double R : {0.0, nan, inf}) {
        SCOPED_TRACE(R);
        TiledFixture f(1000, 600, 1000, 600);
        f.setScale(R);
        EXPECT_TRUE(f.layer->sublayers().empty());
        EXPECT_TRUE(f.layer->activeTileArea().isNull());
    }
    TiledFixture negative(1000, 600, 1000, 600);
    negative.layer->setContentsScale(-1);
    EXPECT_TRUE(negative.layer->sublayers().empty());
    TiledFixture tiny(1000, 600, 1000, 600);
    tiny.setScale(1e-12); // the zoom key stays in range: one tile covers the image
    EXPECT_EQ(tiny.layer->sublayers().size(), 1u);
}

TEST(TiledLayer, FetchesOnlyVisibleTilesAndDropsThoseThatLeave) {
    TiledFixture f(300, 300, 1000, 600);
    // Loaded, and the lanes done: a tile freed while its lane still looks at it would be
    // fetched again at once, as a tile dirtied during its request is.
    auto loaded = [&] {
        const bool done = runMainUntil([&] { return f.activeTilesLoaded(); });
        runMainFor(30ms);
        return done;
    };
    ASSERT_TRUE(loaded());
    EXPECT_EQ(f.engine->requestCount(), 4); // two columns of the rows at 0 and 88
    auto first = f.tileAt(0, 88);
    EXPECT_EQ(first->contents().size(), QSize(256, 256));

    f.layer->setPosition({-700, 0});
    f.layer->setNeedsDisplay();
    EXPECT_FALSE(first->hasContents());
    ASSERT_TRUE(loaded());
    EXPECT_EQ(f.engine->requestsAt(0, 88), 1);

    f.layer->setPosition({0, 0});
    f.layer->setNeedsDisplay();
    ASSERT_TRUE(runMainUntil([&] { return f.activeTilesLoaded(); }));
    EXPECT_EQ(f.engine->requestsAt(0, 88), 2);
    EXPECT_EQ(f.engine->requestsAt(512, 344), 0); // never visible
}

TEST(TiledLayer, AThumbnailAnswerIsReplacedByTheFullTile) {
    TiledFixture f(256, 256, 1000, 600);
    f.engine->fullImageReady = false;
    f.layer->setImage(f.engine);
    ASSERT_TRUE(runMainUntil([&] { return f.activeTilesLoaded(); }));
    auto tile = f.tileAt(0, 88);
    EXPECT_EQ(tile->magnificationFilter(), LayerFilter::Trilinear);
    EXPECT_EQ(tile->contents().size(), QSize(32, 32));

    // The window hands the layer the engine again when the render has finished.
    f.engine->fullImageReady = true;
    f.layer->setImage(f.engine);
    ASSERT_TRUE(runMainUntil([&] { return tile->magnificationFilter() == LayerFilter::Nearest; }));
    EXPECT_EQ(tile->contents().size(), QSize(256, 256));
}

TEST(TiledLayer, ATileDirtiedDuringItsRequestIsFetchedAgainByTheSamePass) {
    TiledFixture f(256, 256, 1000, 600);
    auto tile = f.tileAt(0, 88);
    ASSERT_TRUE(tile);
    std::atomic<bool> dirtied{false};
    f.engine->onRequest = [&](const FakeTileEngine::Request& r) {
        if (r.rect.x == 0 && r.rect.y == 88 && !dirtied.exchange(true)) tile->setContentIsDirty(true);
    };
    ASSERT_TRUE(runMainUntil([&] { return f.engine->requestCount() > 0; }));
    // No more main-queue turns: only the lane's own loop can ask again.
    for (int i = 0; i < 500 && f.engine->requestsAt(0, 88) < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(f.engine->requestsAt(0, 88), 2);
    ASSERT_TRUE(runMainUntil([&] { return tile->hasContents(); }));
    f.engine->onRequest = nullptr;
}

TEST(TiledLayer, ATileWithNothingYetAsksAgainShortlyAfter) {
    TiledFixture f(256, 256, 1000, 600);
    f.engine->nilAnswers = 3;
    ASSERT_TRUE(runMainUntil([&] { return f.activeTilesLoaded(); }));
    EXPECT_EQ(f.engine->requestCount(), 2 + 3); // two visible tiles, three answers of nothing
}

TEST(TiledLayer, RequestsOfAClosedViewNeverTouchItsTiles) {
    auto f = std::make_unique<TiledFixture>(300, 300, 1000, 600);
    auto engine = f->engine;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> entered{0};
    engine->nilAnswers = 1 << 20; // every answer asks for a retry
    engine->onRequest = [&](const FakeTileEngine::Request&) {
        ++entered;
        released.wait();
    };
    ASSERT_TRUE(runMainUntil([&] { return entered.load() > 0; }));
    std::weak_ptr<TiledLayer> layer = f->layer;
    f.reset(); // the window closes while requests wait on the lanes
    release.set_value();
    runMainFor(100ms);
    EXPECT_TRUE(layer.expired());
    const int settled = engine->requestCount();
    runMainFor(50ms);
    EXPECT_EQ(engine->requestCount(), settled);
    engine->onRequest = nullptr;
}

} // namespace
