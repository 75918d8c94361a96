// The colour-matching stage converts its source's whole output.
#include <gtest/gtest.h>

#include "color/ColorMatchTiledEngine.h"
#include "color/ColorMatchTransform.h"
#include "color/ProfileManager.h"
#include "tests/engine/StageSource.h"

namespace {

StageSource::Pixel colours(int32_t x, int32_t y) {
    return {uint16_t(x * 9000), uint16_t(60000 - y * 7000), uint16_t((x + y) * 3000), 4321};
}

} // namespace

TEST(ColorMatchTiledEngine, ConvertsTheSourceResultLikeTheTransform) {
    auto& manager = ProfileManager::sharedManager();
    auto rec709 = manager.getRec709Gamma1Profile(), proPhoto = manager.getProPhotoGamma1_D65Profile();
    auto source = std::make_shared<StageSource>(7, 5, colours);
    auto expected = ImageBufferU16::createWithCopyFrom(source->picture());
    ASSERT_TRUE(ColorMatchTransform::convertBuffer(*expected, rec709, proPhoto));

    ColorMatchTiledEngine stage(source, "", false);
    stage.setSrcProfile(rec709);
    stage.setDestProfile(proPhoto);
    auto process = stage.runProcessToCompletion(TileRegion::null());
    ASSERT_TRUE(process && process->buffer);
    EXPECT_EQ(process->buffer, source->localOutputBuffer()); // the source's own result
    EXPECT_EQ(process->buffer->bufferProfile(), proPhoto);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 7; ++x)
            EXPECT_EQ(pixelAt(*process->buffer, x, y), pixelAt(*expected, x, y)) << x << "," << y;
    EXPECT_EQ(stage.engineName().rfind("LumivarRawColorMatchEngine_0x", 0), 0u);
}

TEST(ColorMatchTiledEngine, MissingProfilesLeaveTheResultAlone) {
    auto source = std::make_shared<StageSource>(4, 4, colours);
    ColorMatchTiledEngine stage(source, "", false);
    stage.setSrcProfile(ProfileManager::sharedManager().getSRGBProfile());
    auto process = stage.runProcessToCompletion(TileRegion::null());
    ASSERT_TRUE(process && process->buffer);
    EXPECT_EQ(process->buffer->bufferProfile(), nullptr);
    EXPECT_EQ(pixelAt(*process->buffer, 3, 2), colours(3, 2));

    ColorMatchTiledEngine orphan(platform::Size{4, 4}, "", false);
    EXPECT_EQ(orphan.runProcessToCompletion(TileRegion::null()), nullptr);
}
