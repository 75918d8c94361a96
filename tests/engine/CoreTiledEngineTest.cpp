// The output stage: per-pixel tables, settings and rebuilds, and the tiles it serves.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "color/ColorHelper.h"
#include "color/ComputeMatrixAndLUT.h"
#include "color/ProfileManager.h"
#include "dng/CameraProfileManager.h"
#include "engine/core/BitmapImage.h"
#include "engine/stages/CoreTiledEngine.h"
#include "platform/UserDefaults.h"
#include "settings/Schema.h"
#include "tests/engine/StageSource.h"
#include "tests/support/DcpBuilder.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/TempHome.h"

using testsupport::TiffBuilder;

namespace {

using Settings = platform::Dictionary;

// A source that counts its tile work and hears every key handed up the chain.
class CountingSource : public StageSource {
  public:
    using StageSource::StageSource;
    void processTile(int32_t c0, int32_t c1, int32_t r0, int32_t r1, ImageBuffer* src, ImageBuffer* dest,
                     int32_t pass) override {
        ++tiles;
        StageSource::processTile(c0, c1, r0, r1, src, dest, pass);
    }
    void setParameters(const std::optional<std::string>& key, const platform::Dictionary& p) override {
        std::lock_guard<std::mutex> guard(lock);
        keys.push_back(key.value_or("<all>"));
        StageSource::setParameters(key, p);
    }
    std::atomic<int> tiles{0};
    std::mutex lock;
    std::vector<std::string> keys;
};

class CountingDelegate : public LumivarTiledEngineDelegate {
  public:
    void engineActiveRectDirty(TiledEngine&) override { ++asked; }
    std::atomic<int> asked{0};
};

StageSource::Pixel grey(uint16_t v) { return {v, v, v, 65535}; }

// A horizontal ramp over the whole 16-bit range with a little colour.
StageSource::Pixel ramp(int32_t x, int32_t y, int32_t width) {
    const auto v = uint16_t(uint32_t(x) * 65535u / uint32_t(width - 1));
    return {v, uint16_t(v * 0.9), uint16_t(std::min(65535, v / 2 + y)), 65535};
}

struct Chain {
    std::shared_ptr<CountingSource> source;
    std::shared_ptr<CoreTiledEngine> core;

    Chain(uint16_t width, uint16_t height, std::function<StageSource::Pixel(int32_t, int32_t)> paint,
          const Settings& settings = {}, bool knee = false) {
        source = std::make_shared<CountingSource>(width, height, paint);
        core = std::make_shared<CoreTiledEngine>(source, "", false);
        core->setEnableCinematic(knee);
        core->setCameraParameters(platform::Dictionary{});
        core->setParameters(std::nullopt, settings);
        render();
    }
    // As the render driver asks: the region of the whole image.
    void render() { core->runProcessToCompletion(core->mainMap().regionForRect(core->extent(), 0)); }
    // The tile of a top-left-origin rectangle, as the requests give it: bottom-left origin.
    std::shared_ptr<BitmapImage> tile(platform::Rect r, double scale = 1, bool* thumb = nullptr,
                                      bool f = false, std::shared_ptr<BufferProfile> dest = nullptr) {
        r.y = source->outputSize().height - r.y - r.height;
        return core->imageTile(0, scale, r, std::move(dest), thumb, f, 1);
    }
    std::shared_ptr<BitmapImage> whole(double scale = 1) { return tile(core->extent(), scale); }
};

// The source's lock is recursive: a request that must find it busy runs on another thread.
template <class F> auto onAnotherThread(F f) { return std::async(std::launch::async, f).get(); }

// Samples of a tile exactly as stored: 16-bit or float RGBA.
std::vector<double> samples(const BitmapImage& tile) {
    const auto& image = *tile.getImageRef();
    std::vector<double> out;
    for (size_t row = 0; row < image.height(); ++row) {
        const uint8_t* p = image.data() + row * image.bytesPerRow();
        for (size_t i = 0; i < image.width() * 4; ++i) {
            if (image.bitsPerComponent() == 32) {
                float v;
                std::memcpy(&v, p + 4 * i, 4);
                out.push_back(v);
            } else {
                uint16_t v;
                std::memcpy(&v, p + 2 * i, 2);
                out.push_back(v);
            }
        }
    }
    return out;
}

// Runs one pixel through the stage's processing into a float or 16-bit pixel.
std::array<double, 4> processPixel(CoreTiledEngine& core, StageSource::Pixel in, bool toFloat) {
    auto src = ImageBufferU16::create(1, 1);
    std::copy(in.begin(), in.end(), src->bufferU16ForRow(0));
    std::shared_ptr<ImageBuffer> dest =
        toFloat ? std::shared_ptr<ImageBuffer>(ImageBufferF32::create(1, 1)) : ImageBufferU16::create(1, 1);
    core.processTile(0, 1, 0, 1, src.get(), dest.get(), 0);
    std::array<double, 4> out{};
    for (int c = 0; c < 4; ++c)
        out[size_t(c)] = toFloat ? dest->bufferFloatForRow(0)[c] : dest->bufferU16ForRow(0)[c];
    return out;
}

// A profile of the settings whose tone curve halves every level, from a DCP in the profile folder.
platform::Value halvingProfile() {
    const auto folder = CameraProfileManager::profileDirectory();
    testsupport::writeFile(*folder, "Half.dcp", testsupport::BuildDcp([](TiffBuilder::Ifd& ifd) {
        ifd.srationals(50721, testsupport::Rationals({1, 0, 0, 0, 1, 0, 0, 0, 1}))
            .floats(50940, {0, 0, 0.5f, 0.25f, 1, 0.5f});
    }));
    return Settings{{"Class_of_serialized_Object", "DNGCameraProfileAbstract"}, {"FileName", "Half.dcp"}};
}

} // namespace

TEST(CoreTiledEngine, PixelTables) {
    testsupport::TempHome home;
    const Settings neutral;
    const Settings bright{{settings::EttrAdjust.c_str(), 1.0},
                          {settings::SceneReferred.c_str(), true},
                          {settings::CameraProfile.c_str(), halvingProfile()}};
    const struct Case {
        const char* what;
        Settings settings;
        StageSource::Pixel in;
        bool toFloat;
        double expected, tolerance;
    } cases[] = {
        {"65325 is 1.0", neutral, grey(65325), true, 1.0, 1e-6},
        {"1.0 is written as 65325", neutral, grey(65325), false, 65325, 1},
        {"black stays black", neutral, grey(0), false, 0, 0},
        {"tone index past the table uses its last entry",
         {{settings::EttrAdjust.c_str(), 2.0}},
         grey(65325),
         true,
         4.0,
         1e-5},
        {"16-bit output saturates", {{settings::EttrAdjust.c_str(), 2.0}}, grey(65325), false, 65535, 0},
        // 2 x 65535 x 65535 / 65325 x 16384 passes 2^31: a 32-bit sum would read fLut[0] = 0.
        {"gain index past the table uses fLut[65535]", bright, grey(65535), true, 2 * 65535.0 / 65325 * 0.5,
         1e-5},
        {"gain curve of the profile", bright, grey(16000), true, 2 * 16000.0 / 65325 * 0.5, 1e-6},
    };
    for (const Case& c : cases) {
        Chain chain(
            4, 4, [](int32_t, int32_t) { return grey(0); }, c.settings);
        const auto out = processPixel(*chain.core, c.in, c.toFloat);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(out[size_t(k)], c.expected, c.tolerance) << c.what << " channel " << k;
        EXPECT_EQ(out[3], c.toFloat ? 1.0 : 65535.0) << c.what;
    }
}

TEST(CoreTiledEngine, WithoutProfileThereIsNoGainStep) {
    testsupport::TempHome home;
    Chain chain(
        4, 4, [](int32_t, int32_t) { return grey(0); },
        {{settings::SceneReferred.c_str(), true}, {settings::CameraProfile.c_str(), halvingProfile()}});
    EXPECT_NEAR(processPixel(*chain.core, grey(20000), true)[0], 20000.0 / 65325 * 0.5, 1e-6);
    // The same stored form keeps the profile object: no file is read again.
    const auto profile = chain.core->cameraProfile();
    chain.core->setParameters(settings::InputEV.c_str(), {{settings::SceneReferred.c_str(), true},
                                                          {settings::CameraProfile.c_str(), halvingProfile()},
                                                          {settings::InputEV.c_str(), 0.5}});
    ASSERT_NE(chain.whole(), nullptr);
    EXPECT_EQ(chain.core->cameraProfile(), profile);
    chain.core->setParameters(settings::CameraProfile.c_str(), {{settings::SceneReferred.c_str(), true}});
    ASSERT_NE(chain.whole(), nullptr); // waits for the rebuild
    EXPECT_TRUE(chain.core->gainTable().empty());
    EXPECT_NEAR(processPixel(*chain.core, grey(20000), true)[0], 20000.0 / 65325, 1e-6);
}

TEST(CoreTiledEngine, WithoutToneTableNothingIsWritten) {
    auto source = std::make_shared<StageSource>(4, 4, [](int32_t, int32_t) { return grey(30000); });
    CoreTiledEngine core(source, "", false);
    core.setParameters(std::nullopt, {}); // no camera parameters: no table can be made
    EXPECT_TRUE(core.toneTable().empty());
    const auto out = processPixel(core, grey(30000), false);
    EXPECT_EQ(out, (std::array<double, 4>{0, 0, 0, 0}));
}

TEST(CoreTiledEngine, ZoomKeys) {
    const std::pair<double, float> cases[] = {{0.25, 25}, {0.5, 50}, {0.125, 12}, {1, 100}, {3, 100}};
    for (const auto& [scale, key] : cases)
        EXPECT_EQ(CoreTiledEngine::zoomKeyForScale(scale), key) << scale;
}

TEST(CoreTiledEngine, RectanglesAreClippedToTheImage) {
    Chain chain(100, 80, [](int32_t x, int32_t y) { return ramp(x, y, 100); });
    const auto clipped = chain.core->imageTile(0, 1, {90, 70, 20, 20}, nullptr, nullptr, false, 1);
    ASSERT_NE(clipped, nullptr);
    EXPECT_EQ(clipped->getWidth(), 10u);
    EXPECT_EQ(clipped->getHeight(), 10u);
    for (const platform::Rect outside :
         {platform::Rect{200, 0, 10, 10}, platform::Rect{0, -50, 10, 10}, platform::Rect{10, 10, 0.5, 10}})
        EXPECT_EQ(chain.core->imageTile(0, 1, outside, nullptr, nullptr, false, 1), nullptr) << outside.x;
}

// The knee works on the toned value: off, the output is the knee-less one exactly; on, it
// leaves the shadows and compresses the highlights, and the tone settings still count.
TEST(CoreTiledEngine, KneeActsOnTheTonedValue) {
    testsupport::TempHome home;
    const Settings knee{{settings::InputKneeLow.c_str(), 1.0}, {settings::InputKneeHigh.c_str(), 4.0}};
    Settings kneeAndContrast = knee;
    kneeAndContrast[settings::InputContrast.c_str()] = 0.5;
    const auto out = [](const Settings& s, bool cinematic, uint16_t v) {
        Chain chain(
            4, 4, [](int32_t, int32_t) { return grey(0); }, s, cinematic);
        return processPixel(*chain.core, grey(v), true)[0];
    };
    for (uint16_t v : {1000, 20000, 65325})
        EXPECT_EQ(out(knee, false, v), out({}, false, v)) << v;
    EXPECT_NEAR(out(knee, true, 2000), out({}, false, 2000), 1e-6) << "below the knee";
    // 2^4 x 18 % grey at ettr 0 needs a pixel past white: use the float value 1.0 (5.6 x grey).
    EXPECT_LT(out(knee, true, 65325), out({}, false, 65325) * 0.95) << "above the knee";
    EXPECT_NE(out(kneeAndContrast, true, 40000), out(knee, true, 40000)) << "contrast with the knee on";

    platform::UserDefaults::standard().setBool(true, "enableCinematic");
    EXPECT_TRUE(CoreTiledEngine(platform::Size{4, 4}, "", false).enableCinematic());
}

TEST(CoreTiledEngine, OwnSettingsRebuildWithoutUpstreamWork) {
    Chain chain(600, 300, [](int32_t x, int32_t y) { return ramp(x, y, 600); });
    chain.source->makeThumbnail(60, 30);
    const auto before = samples(*chain.whole());
    const auto processed = chain.core->getThumbnail(false);
    ASSERT_NE(processed, nullptr);
    const int tilesBefore = chain.source->tiles;

    chain.core->setParameters(settings::ArtifactFilter.c_str(), {{settings::ArtifactFilter.c_str(), 0.5}});
    EXPECT_EQ(chain.source->keys.back(), settings::ArtifactFilter.c_str()) << "passed up";
    ASSERT_NE(chain.whole(), nullptr);
    EXPECT_EQ(chain.core->getThumbnail(false), processed) << "not a key of this stage: no rebuild";

    chain.core->setParameters(settings::InputContrast.c_str(), {{settings::InputContrast.c_str(), -1.0}});
    chain.render();
    const auto after = samples(*chain.whole()); // waits for the queued rebuild
    EXPECT_GT(after[0], before[0] + 1000) << "negative contrast lifts black";
    EXPECT_EQ(chain.source->tiles, tilesBefore) << "nothing upstream ran again";
    EXPECT_EQ(chain.source->keys.back(), settings::InputContrast.c_str());
    EXPECT_NE(chain.core->getThumbnail(false), processed) << "the thumbnail is processed again";
}

TEST(CoreTiledEngine, LastQueuedRebuildWins) {
    Chain chain(64, 64, [](int32_t x, int32_t y) { return ramp(x, y, 64); });
    // The rebuilds wait behind the test's hold on the settings; they must finish in order.
    {
        const std::unique_lock hold(chain.core->settingsLock());
        for (double contrast : {1.0, 0.5, -1.0})
            chain.core->setParameters(settings::InputContrast.c_str(),
                                      {{settings::InputContrast.c_str(), contrast}});
    }
    ASSERT_NE(chain.whole(), nullptr); // waits for the queue

    ComputeMatrixAndLUT expected;
    expected.setCameraParameters(platform::Dictionary{});
    expected.setImageParameters(Settings{{settings::InputContrast.c_str(), -1.0}});
    auto lut = ImageBufferF32::create(4096, 1);
    float matrix[16], offset, kneeLow, kneeF;
    ASSERT_TRUE(expected.populateFloatLUTAndMatrix(lut.get(), matrix, &offset, &kneeLow, &kneeF));
    const float* px = lut->bufferFloatForRow(0);
    EXPECT_EQ(chain.core->toneTable(), std::vector<float>(px, px + 4 * 4096));
    EXPECT_EQ(chain.core->outputOffset(), offset);
}

// White balance: the as-shot temperature renders exactly as no balance at all; a changed
// temperature, handed in as the stage's own key, moves red and blue against each other and
// leaves a grey where it was.
TEST(CoreTiledEngine, TemperatureWeighsColoursAndKeepsGreys) {
    const StageSource::Pixel red{30000, 6000, 5000, 65535}, blue{5000, 7000, 30000, 65535};
    const auto grey16 = grey(20000);
    Chain chain(8, 8, [](int32_t, int32_t) { return grey(1000); });
    const auto none = [&](StageSource::Pixel p) { return processPixel(*chain.core, p, false)[0]; };
    const double redBefore = none(red), blueBefore = none(blue), greyBefore = none(grey16);

    const platform::Dictionary camera{{"asShotWhitex", 0.3457}, {"asShotWhitey", 0.3585}};
    ColorHelper asShot;
    asShot.setFromxyCoord(0.3457f, 0.3585f);
    chain.core->setCameraParameters(camera);
    const auto at = [&](double kelvin, double tint) {
        const Settings settings{{settings::InputTemperature.c_str(), kelvin},
                                {settings::InputTint.c_str(), tint}};
        chain.core->setParameters(settings::InputTemperature.c_str(), settings);
        EXPECT_NE(chain.whole(), nullptr); // waits for the queued rebuild
        return std::array<double, 3>{processPixel(*chain.core, red, false)[0],
                                     processPixel(*chain.core, blue, false)[0],
                                     processPixel(*chain.core, grey16, false)[0]};
    };
    const auto same = at(asShot.fTemperature(), asShot.fTint());
    EXPECT_EQ(same, (std::array<double, 3>{redBefore, blueBefore, greyBefore}));
    const auto cold = at(3000, 0), warm = at(9000, 0);
    EXPECT_GT(warm[0], cold[0] + 500) << "red";
    EXPECT_LT(warm[1], cold[1] - 500) << "blue";
    EXPECT_NEAR(warm[2], greyBefore, 1);
    EXPECT_NEAR(cold[2], greyBefore, 1);
}

TEST(CoreTiledEngine, BusySourceGivesTheDisplayTheThumbnailAndMakesExportWait) {
    Chain chain(600, 400, [](int32_t x, int32_t y) { return ramp(x, y, 600); });
    chain.source->makeThumbnail(150, 100);
    CountingDelegate delegate;
    chain.core->setDelegate(&delegate);
    const auto source = chain.core->tileSourceBuffer();
    source->lock(nullptr);

    bool thumb = false;
    const auto shown = onAnotherThread([&] { return chain.tile({0, 0, 200, 100}, 1, &thumb); });
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(thumb);
    EXPECT_EQ(shown->getWidth(), 50u) << "a crop of the thumbnail, a quarter of the size";
    EXPECT_EQ(delegate.asked, 0) << "no zoom image yet: the render under way will bring it";

    auto exported = std::async(std::launch::async, [&] { return chain.tile({0, 0, 200, 100}); });
    EXPECT_EQ(exported.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    source->unlock(nullptr);
    const auto tile = exported.get();
    ASSERT_NE(tile, nullptr);
    EXPECT_EQ(tile->getWidth(), 200u);
    chain.core->setDelegate(nullptr);
}

// While another request remakes a zoom image (the cache held for writing), a display
// request gets nothing at once, which the display asks again for, rather than sleep on a
// worker the resize's rows want; an export waits for the image.
TEST(CoreTiledEngine, ZoomImageBeingMadeSendsTheDisplayBackAndMakesExportWait) {
    Chain chain(600, 400, [](int32_t x, int32_t y) { return ramp(x, y, 600); });
    chain.source->makeThumbnail(150, 100);
    ASSERT_NE(chain.whole(0.25), nullptr); // the render's images are made: the cache is clean
    std::unique_lock remaking(chain.core->cacheLock());
    bool thumb = false;
    auto shown = std::async(std::launch::async, [&] { return chain.tile({0, 0, 200, 100}, 0.5, &thumb); });
    ASSERT_EQ(shown.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "the display waited";
    EXPECT_EQ(shown.get(), nullptr);
    auto exported = std::async(std::launch::async, [&] { return chain.tile({0, 0, 200, 100}, 0.5); });
    EXPECT_EQ(exported.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    remaking.unlock();
    const auto tile = exported.get();
    ASSERT_NE(tile, nullptr);
    EXPECT_EQ(tile->getWidth(), 100u);
    const auto again = chain.tile({0, 0, 200, 100}, 0.5, &thumb);
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(thumb);
}

TEST(CoreTiledEngine, ZoomImageThatMissesTheRectangleAsksForARender) {
    auto source =
        std::make_shared<StageSource>(1024, 600, [](int32_t x, int32_t y) { return ramp(x, y, 1024); });
    source->makeThumbnail(256, 150);
    auto core = std::make_shared<CoreTiledEngine>(source, "", false);
    core->setCameraParameters(platform::Dictionary{});
    core->setParameters(std::nullopt, {});
    core->runProcessToCompletion({0, 0, 0, 0, 0}); // only the first tile
    CountingDelegate delegate;
    core->setDelegate(&delegate);
    bool thumb = true;
    ASSERT_NE(core->imageTile(0, 1, {0, 600 - 100, 100, 100}, nullptr, &thumb, false, 1), nullptr);
    EXPECT_FALSE(thumb);
    EXPECT_EQ(delegate.asked, 0);
    ASSERT_NE(core->imageTile(0, 1, {700, 0, 100, 100}, nullptr, &thumb, false, 1), nullptr);
    EXPECT_TRUE(thumb);
    EXPECT_EQ(delegate.asked, 1);
    core->setDelegate(nullptr);
}

TEST(CoreTiledEngine, ConvertedThumbnailTileLeavesTheThumbnailAlone) {
    auto& profiles = ProfileManager::sharedManager();
    Chain chain(400, 200, [](int32_t x, int32_t y) { return ramp(x, y, 400); });
    chain.source->setProfile(profiles.getProPhotoGamma1_D65Profile());
    chain.source->makeThumbnail(100, 50);
    const auto thumbnail = chain.core->getThumbnail(false);
    ASSERT_NE(thumbnail, nullptr);
    const std::vector<uint8_t> before(thumbnail->pixelAddress(0, 0),
                                      thumbnail->pixelAddress(0, 0) + size_t(100) * 50 * 8);
    chain.core->tileSourceBuffer()->lock(nullptr);
    bool thumb = false;
    const auto plain = onAnotherThread([&] { return chain.tile({0, 0, 400, 200}, 1, &thumb); });
    const auto converted = onAnotherThread([&] {
        return chain.tile({0, 0, 400, 200}, 1, &thumb, false, profiles.getSRGBProfile());
    });
    chain.core->tileSourceBuffer()->unlock(nullptr);
    ASSERT_TRUE(plain && converted && thumb);
    EXPECT_NE(samples(*converted), samples(*plain)) << "converted to sRGB";
    EXPECT_EQ(chain.core->getThumbnail(false), thumbnail);
    EXPECT_EQ(std::memcmp(before.data(), thumbnail->pixelAddress(0, 0), before.size()), 0);
}

TEST(CoreTiledEngine, ProbeAveragesTheProcessedPatch) {
    Chain chain(64, 64, [](int32_t x, int32_t) { return grey(uint16_t(x * 1000)); });
    std::array<double, 4> values{};
    ASSERT_TRUE(chain.core->getPixelValues(10, 10, 3, values));
    const auto mid = processPixel(*chain.core, grey(10000), false);
    EXPECT_NEAR(values[0], mid[0] / 65535, 1.0 / 65535);
    EXPECT_NEAR(values[3], 1.0, 1e-9);
    EXPECT_FALSE(CoreTiledEngine(platform::Size{8, 8}, "", false).getPixelValues(1, 1, 1, values));
}

// Tiles served from many threads while the settings keep changing; clean under the sanitizers.
TEST(CoreTiledEngine, TilesWhileSettingsChange) {
    Chain chain(1100, 700, [](int32_t x, int32_t y) { return ramp(x, y, 1100); });
    std::atomic<bool> stop{false};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t)
        readers.emplace_back([&, t] {
            bool thumb = false;
            while (!stop)
                chain.tile({double(100 * t), 50, 512, 512}, t % 2 ? 1 : 0.5, &thumb, t == 3);
        });
    for (int n = 0; n < 20; ++n)
        chain.core->setParameters(settings::InputEV.c_str(), {{settings::InputEV.c_str(), 0.1 * n}});
    ASSERT_NE(chain.whole(), nullptr);
    stop = true;
    for (auto& r : readers)
        r.join();
    EXPECT_FLOAT_EQ(chain.core->matrix()[0], std::exp2(1.9f) / 3);
}
