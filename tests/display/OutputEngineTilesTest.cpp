#include <gtest/gtest.h>

#include "display/DisplayImage.h"
#include "display/TiledLayer.h"
#include "dng/DNGCameraProfileAbstract.h"
#include "engine/core/BitmapImage.h"
#include "engine/stages/CoreTiledEngine.h"
#include "settings/Schema.h"
#include "tests/display/DisplayTestSupport.h"
#include "tests/engine/StageSource.h"

namespace {

using namespace displaytest;

// The tiled layer over the real output stage shows what an export of the whole image holds,
// at the same places: rows counted from the top in the image, from the bottom in the layer.
TEST(OutputEngineTiles, TheLayerShowsTheOutputStagesImageUpright) {
    const uint16_t W = 600, H = 400;
    auto source = std::make_shared<StageSource>(W, H, [](int32_t x, int32_t y) {
        const auto v = uint16_t(60 * y + 40 * x); // brighter downwards and to the right
        return StageSource::Pixel{v, v, v, 65535};
    });
    auto engine = std::make_shared<CoreTiledEngine>(source, "", false);
    engine->setCameraParameters(platform::Dictionary{});
    engine->setParameters(std::nullopt,
                          {{settings::CameraProfile.c_str(),
                            DNGCameraProfileAbstract::createAsAutoProfile()->objectSerializeForPList()}});
    engine->runProcessToCompletion(engine->mainMap().regionForRect(engine->extent(), 0));
    const auto whole = engine->imageTile(0, 1, engine->extent(), nullptr, nullptr, false, 0);
    ASSERT_TRUE(whole);
    const QImage exported = displayImage(*whole->getImageRef());

    HostedRoot host(W, H);
    auto layer = std::make_shared<TiledLayer>();
    layer->setUseTiledEngine(true);
    host.root->addSublayer(layer);
    layer->setImage(engine);
    ASSERT_TRUE(runMainUntil([&] {
        for (auto& tile : layer->sublayers())
            if (!tile->hasContents() || tile->magnificationFilter() != LayerFilter::Nearest) return false;
        return true;
    }));
    const QImage shown = renderTree(*host.root);
    for (QPoint p : {QPoint(10, 10), QPoint(300, 20), QPoint(590, 390), QPoint(100, 300), QPoint(513, 87)}) {
        SCOPED_TRACE(testing::Message() << p.x() << "," << p.y());
        EXPECT_EQ(pixelUp(shown, p.x(), H - 1 - p.y()), exported.pixelColor(p));
    }
    EXPECT_LT(exported.pixelColor(300, 20).red(), exported.pixelColor(300, 380).red());
}

} // namespace
