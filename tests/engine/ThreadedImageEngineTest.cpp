// The render driver over a fake image wrapper whose decode a test can hold, fail or leave
// empty, and a delegate that records what the engine tells it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "color/ProfileManager.h"
#include "dng/DNGCameraProfileAbstract.h"
#include "engine/core/BitmapImage.h"
#include "engine/stages/CoreTiledEngine.h"
#include "engine/stages/RawCombineTiledEngine.h"
#include "engine/stages/ThreadedImageEngine.h"
#include "platform/NotificationCenter.h"
#include "platform/Notifications.h"
#include "tests/support/Gate.h"

namespace {

using namespace std::chrono_literals;
using Keys = std::vector<std::string>;

constexpr auto kPatience = 30s;

// Waits for a condition that another thread makes true; false after kPatience.
template <class Condition> bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A grey ramp of 600 x 520: four tiles, two of them edge tiles.
class FakeWrapper : public ImageWrapper, public DemosaicedRenderings {
  public:
    enum class Outcome { image, error, nothing };
    static constexpr uint16_t kWidth = 600, kHeight = 520;

    FakeWrapper() : ImageWrapper("/nonexistent/fake.dng", "fake-uuid", false) {
        imageWidth_ = kWidth;
        imageHeight_ = kHeight;
        auto pixels = std::shared_ptr<uint16_t[]>(new uint16_t[size_t(kWidth) * kHeight * 3]);
        for (size_t y = 0; y < kHeight; ++y)
            for (size_t x = 0; x < kWidth; ++x)
                for (size_t c = 0; c < 3; ++c)
                    pixels[(y * kWidth + x) * 3 + c] = uint16_t(1000 + 20 * x + 10 * y);
        pixels_ = std::move(pixels);
    }

    std::shared_ptr<const uint16_t[]> masterImageBytes() override {
        note("master");
        gate_.pass();
        std::lock_guard<std::mutex> lock(outcomeLock_);
        if (outcome_ == Outcome::error)
            setError(platform::Error{"RawOpenErrorDomain", -5, "Fake decode failed"});
        return outcome_ == Outcome::image ? pixels_ : nullptr;
    }
    std::optional<platform::Dictionary> getParameters() override {
        return platform::Dictionary{{"width", int64_t(kWidth)}, {"height", int64_t(kHeight)}};
    }
    std::shared_ptr<ColorSyncProfileWrap> bufferProfile() override {
        return ProfileManager::sharedManager().getProPhotoGamma1_D65Profile();
    }
    Held holdRenderings() override {
        note("both");
        return {kWidth, kHeight, pixels_, pixels_};
    }
    // A master developed only in its frame: zeros inside, which a reader would show.
    Held holdRenderingsWithMasterFrame(uint16_t frame) override {
        if (!frame) return holdRenderings();
        note(("frame " + std::to_string(frame)).c_str());
        std::shared_ptr<uint16_t[]> framed(new uint16_t[size_t(kWidth) * kHeight * 3]);
        for (size_t y = 0; y < kHeight; ++y)
            for (size_t x = 0; x < kWidth; ++x) {
                const bool inFrame = x < frame || y < frame || x + frame >= kWidth || y + frame >= kHeight;
                for (size_t c = 0; c < 3; ++c)
                    framed[(y * kWidth + x) * 3 + c] = inFrame ? pixels_[(y * kWidth + x) * 3 + c] : 0;
            }
        return {kWidth, kHeight, framed, pixels_, frame};
    }
    std::shared_ptr<BufferProfile> renderingsProfile() override { return bufferProfile(); }

    // What was asked for, in order: "master" alone, "both" renderings, or both with the
    // master's "frame N" only.
    std::vector<std::string> requests() {
        std::lock_guard<std::mutex> lock(outcomeLock_);
        return requests_;
    }
    void setOutcome(Outcome outcome) {
        std::lock_guard<std::mutex> lock(outcomeLock_);
        outcome_ = outcome;
    }
    void hold() { gate_.close(); }
    void release() { gate_.open(); }
    // Until a decode has reached the gate `count` times in all.
    bool waitForCalls(int count) { return gate_.waitForArrivals(count, kPatience); }
    int calls() { return gate_.arrivals(); }
    uint16_t pixel(size_t x, size_t y) const { return pixels_[(y * kWidth + x) * 3]; }

  private:
    void note(const char* request) {
        std::lock_guard<std::mutex> lock(outcomeLock_);
        requests_.push_back(request);
    }

    testsupport::Gate gate_;
    std::mutex outcomeLock_;
    std::vector<std::string> requests_;
    Outcome outcome_ = Outcome::image;
    std::shared_ptr<const uint16_t[]> pixels_;
};

class RecordingDelegate : public ThreadedImageEngineDelegate {
  public:
    struct Counts {
        int started = 0, metadata = 0, finished = 0;
        bool operator==(const Counts&) const = default;
    };

    void CIImageEngineDidStart(ThreadedImageEngine&) override { note("start"); }
    void CIImageEngineNewMetaData(ThreadedImageEngine&) override { note("metadata"); }
    void CIImageEngineDidFinish(ThreadedImageEngine& engine) override {
        if (onFinish) onFinish(engine);
        note("finish");
    }
    void CIImageEngineDidUpdateActiveArea(ThreadedImageEngine&) override { note("area"); }

    Counts counts() {
        std::lock_guard<std::mutex> lock(lock_);
        Counts c;
        for (const auto& e : events_)
            c.started += e == "start", c.metadata += e == "metadata", c.finished += e == "finish";
        return c;
    }
    std::vector<std::string> events() {
        std::lock_guard<std::mutex> lock(lock_);
        return events_;
    }
    bool waitForFinishes(int count) {
        return eventually([&] { return counts().finished >= count; });
    }
    void note(const std::string& event) {
        std::lock_guard<std::mutex> lock(lock_);
        events_.push_back(event);
        threads_.push_back(std::this_thread::get_id());
    }
    std::vector<std::thread::id> threads() {
        std::lock_guard<std::mutex> lock(lock_);
        return threads_;
    }

    std::function<void(ThreadedImageEngine&)> onFinish; // set before the first request

  private:
    std::mutex lock_;
    std::vector<std::string> events_;
    std::vector<std::thread::id> threads_;
};

// The grey of the rendered pixel (x, y) from the top, asked for as export asks.
uint16_t renderedGrey(ThreadedImageEngine& engine, int x, int y) {
    const auto output = engine.outputImage();
    if (!output) return 0;
    const double height = output->outputSize().height;
    const auto tile =
        output->imageTile(0, 1, platform::Rect{double(x), height - y - 1, 1, 1}, nullptr, nullptr, false, 1);
    if (!tile) return 0;
    uint16_t grey = 0;
    std::memcpy(&grey, tile->getImageRef()->data(), sizeof grey);
    return grey;
}

// Stages 1 to 3 clean over the whole image: the render is done.
bool wholeImageRendered(ThreadedImageEngine& engine) {
    const auto output = engine.outputImage();
    return output && output->sourceBuf() && output->sourceBuf()->mainMap().isClean() &&
           engine.demosaicedImage() && engine.demosaicedImage()->mainMap().isClean();
}

class ThreadedEngine : public testing::Test {
  protected:
    void SetUp() override {
        wrapper = std::make_shared<FakeWrapper>();
        engine = ThreadedImageEngine::create(wrapper, false);
        delegate = std::make_shared<RecordingDelegate>();
    }
    // What the document does when it shows the image: delegate, display space, first render.
    void display() {
        engine->setDelegate(delegate);
        engine->configureRenderingSpaceForType(std::nullopt, false);
        engine->invalidateImageStage(std::nullopt, settings);
    }
    void displayed() {
        display();
        ASSERT_TRUE(delegate->waitForFinishes(1));
        ASSERT_TRUE(eventually([&] { return !engine->isRunning(); }));
    }
    void change(const std::string& key, platform::Value value) {
        settings[key] = std::move(value);
        engine->invalidateImageStage(Keys{key}, settings);
    }
    void idle() {
        ASSERT_TRUE(eventually([&] { return !engine->isRunning(); }));
    }

    platform::Dictionary settings{{"Lumivar_Filter_inputEV", 0.0}};
    std::shared_ptr<FakeWrapper> wrapper;
    std::shared_ptr<ThreadedImageEngine> engine;
    std::shared_ptr<RecordingDelegate> delegate;
};

} // namespace

TEST(ThreadedEngineKeys, EachKeyInvalidatesItsStage) {
    const std::vector<std::pair<std::vector<const char*>, int32_t>> table = {
        {{"Lumivar_Filter_inputRadius", "Lumivar_Filter_inputIntensity"}, 3},
        {{"Lumivar_Filter_inputEV",
          "Lumivar_Filter_inputContrast",
          "Lumivar_Filter_inputBrightness",
          "Lumivar_Filter_inputFillLight",
          "Lumivar_Filter_inputHighLight",
          "Lumivar_Filter_inputKneeLow",
          "Lumivar_Filter_inputKneeHigh",
          "Lumivar_Filter_inputSaturation",
          "Lumivar_Filter_inputAngle",
          "Lumivar_Filter_monochromeRed",
          "Lumivar_Filter_monochromeYellow",
          "Lumivar_Filter_monochromeGreen",
          "Lumivar_Filter_monochromeCyan",
          "Lumivar_Filter_monochromeBlue",
          "Lumivar_IRUVSensor",
          "Lumivar_ettrAdjust",
          "Lumivar_SceneReferred",
          "Lumivar_toneCurveAdjust",
          "Lumivar_Filter_inputTemperature",
          "Lumivar_Filter_inputTint"},
         4},
        {{"Lumivar_CameraProfile", "Lumivar_iccProfile", "Lumivar_MonochromeSensor",
          "Lumivar_MaintainWhites"},
         0},
        {{"Lumivar_ArtifactSuppression", "Lumivar_ChromaArtifactSuppression"}, 1},
        {{"Lumivar_ArtifactFilter", "Lumivar_KodakProcessing"}, 2},
        {{"Lumivar_ExportFileType", "Lumivar_JPEGQuality", "Lumivar_PresetUUID", "displayName"}, -1},
    };
    size_t listed = 0;
    for (const auto& [keys, stage] : table)
        for (const char* key : keys) {
            EXPECT_EQ(ThreadedImageEngine::invalidatedStageForKey(std::string(key)), stage) << key;
            ++listed;
        }
    EXPECT_EQ(listed, 34u);
    // Keys outside the table (matched exactly, case and all) mean a full decode.
    for (const char* key : {"Lumivar_CropRect_x", "Lumivar_ActiveRectDirty", "lumivar_filter_inputev", ""})
        EXPECT_EQ(ThreadedImageEngine::invalidatedStageForKey(std::string(key)), 0) << key;
    EXPECT_EQ(ThreadedImageEngine::invalidatedStageForKey(std::nullopt), 0);
}

TEST(ThreadedEngineKeys, RenderingSpaceByType) {
    auto& profiles = ProfileManager::sharedManager();
    const auto engine = ThreadedImageEngine::create();
    const std::vector<std::tuple<std::optional<std::string>, bool, std::shared_ptr<ColorSyncProfileWrap>>>
        table = {
            {std::nullopt, false, profiles.getProPhotoGamma1_D65Profile()},
            {"com.adobe.dng", false, profiles.getProPhotoGamma1Profile()},
            {"public.tiff", true, profiles.getProPhotoGamma1Profile()},
            {"com.ilm.openexr-image", true, profiles.getProPhotoGamma1Profile()},
            {"com.ilm.openexr-image", false, profiles.getRec709Gamma1Profile()},
            {"public.jpeg", true, profiles.getSRGBProfile()},
        };
    for (const auto& [type, wide, expected] : table) {
        engine->configureRenderingSpaceForType(type, wide);
        ASSERT_NE(expected, nullptr);
        EXPECT_EQ(engine->renderingSpace(), expected) << type.value_or("display") << " " << wide;
    }
}

TEST_F(ThreadedEngine, FirstRenderDecodesAnnouncesAndFinishesOnTheLoopThread) {
    std::atomic<int> posted{0};
    std::atomic<bool> afterMetadata{false};
    const auto token = platform::NotificationCenter::defaultCenter().addObserver(
        platform::notification::NewImageMetadata, dynamic_cast<const void*>(delegate.get()),
        [&](const platform::Notification&) {
            ++posted;
            afterMetadata = delegate->counts().metadata == 1;
        });
    displayed();
    platform::NotificationCenter::defaultCenter().removeObserver(token);

    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"start", "metadata", "finish"}));
    EXPECT_EQ(posted.load(), 1);
    EXPECT_TRUE(afterMetadata.load());
    for (const auto& thread : delegate->threads())
        EXPECT_NE(thread, std::this_thread::get_id());
    EXPECT_EQ(engine->statistics().decodes, 1);
    // The combine gives the alternate no weight: the decode makes the master alone.
    ASSERT_FALSE(wrapper->requests().empty());
    EXPECT_EQ(wrapper->requests().front(), "master");
    EXPECT_FALSE(engine->stage0IsDirty() || engine->stagenIsDirty() || engine->activeAreaIsDirty());
    EXPECT_TRUE(wholeImageRendered(*engine));
    EXPECT_EQ(engine->cameraParameters()->at("width").intValue(), FakeWrapper::kWidth);
    // Neutral settings render the ramp's grey.
    const uint16_t grey = renderedGrey(*engine, 300, 200);
    EXPECT_NEAR(grey, wrapper->pixel(300, 200), 0.02 * wrapper->pixel(300, 200));
    std::array<double, 4> probe{};
    EXPECT_TRUE(engine->getPixelValues(300, 200, probe));
    EXPECT_GT(probe[0], 0);
    EXPECT_FALSE(engine->getPixelValues(FakeWrapper::kWidth + 10, 10, probe));
}

TEST_F(ThreadedEngine, OutputOnlyChangeWhileIdleSetsNoFlagAndFinishesOnce) {
    displayed();
    const uint16_t before = renderedGrey(*engine, 300, 200);
    const auto statistics = engine->statistics();
    std::atomic<uint16_t> atFinish{0};
    delegate->onFinish = [&](ThreadedImageEngine& e) { atFinish = renderedGrey(e, 300, 200); };

    change("Lumivar_Filter_inputEV", 1.0);
    EXPECT_FALSE(engine->stage0IsDirty() || engine->stagenIsDirty() || engine->activeAreaIsDirty());
    ASSERT_TRUE(delegate->waitForFinishes(2));
    idle();
    EXPECT_EQ(delegate->counts(), (RecordingDelegate::Counts{1, 1, 2})) << "no pass, one finish";
    EXPECT_EQ(engine->statistics().passes, statistics.passes);
    EXPECT_EQ(engine->statistics().stageTiles[1], statistics.stageTiles[1]);
    EXPECT_EQ(engine->statistics().stageTiles[3], statistics.stageTiles[3]);
    // The output stage had the new exposure when the delegate heard of the finish.
    EXPECT_NEAR(atFinish.load(), 2 * before, 0.01 * 2 * before);
    EXPECT_EQ(engine->imageParameters()->at("Lumivar_Filter_inputEV").doubleValue(), 1.0);
}

TEST_F(ThreadedEngine, KeysOfNoEffectChangeNothing) {
    displayed();
    const auto kept = engine->imageParameters();
    settings["Lumivar_JPEGQuality"] = int64_t(7);
    engine->invalidateImageStage(Keys{"Lumivar_JPEGQuality", "displayName"}, settings);
    EXPECT_EQ(engine->imageParameters(), kept);
    // A later request's loop runs after anything the first one queued.
    change("Lumivar_Filter_inputEV", 0.5);
    ASSERT_TRUE(delegate->waitForFinishes(2));
    idle();
    EXPECT_EQ(delegate->counts().finished, 2);
    EXPECT_EQ(engine->statistics().passes, 1);
}

TEST_F(ThreadedEngine, ArtifactSuppressionPullsUpstreamWithoutDecoding) {
    displayed();
    const auto before = engine->statistics();
    change("Lumivar_ArtifactSuppression", 0.5);
    ASSERT_TRUE(delegate->waitForFinishes(2));
    idle();
    const auto after = engine->statistics();
    EXPECT_EQ(after.decodes, before.decodes);
    EXPECT_EQ(after.passes, before.passes + 1);
    EXPECT_GT(after.stageTiles[1], before.stageTiles[1]);
    EXPECT_GT(after.stageTiles[3], before.stageTiles[3]);
    EXPECT_FLOAT_EQ(engine->demosaicedImage()->artifactSuppression(), 0.5f);
    EXPECT_TRUE(wholeImageRendered(*engine));
    EXPECT_EQ(delegate->counts(), (RecordingDelegate::Counts{2, 1, 2}));
}

// A combine that will read the alternate has the decode make both renderings at once, so a
// raw file is unpacked once for the two.
TEST_F(ThreadedEngine, TheDecodeMakesBothRenderingsWhenTheAlternateWeighs) {
    settings["Lumivar_ChromaArtifactSuppression"] = 1.0;
    displayed();
    EXPECT_EQ(engine->statistics().decodes, 1);
    const auto requests = wrapper->requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front(), "both");
    EXPECT_TRUE(wholeImageRendered(*engine));
}

// Whole weights take the alternate everywhere but in the border strips: the decode makes
// only the master's frame, and the image renders as from the whole master.
TEST_F(ThreadedEngine, WholeWeightsDecodeOnlyTheMastersFrame) {
    settings["Lumivar_ArtifactSuppression"] = 1.0;
    settings["Lumivar_ChromaArtifactSuppression"] = 1.0;
    displayed();
    const auto requests = wrapper->requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front(), "frame 8");
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "both"), 0);
    EXPECT_TRUE(wholeImageRendered(*engine));
    for (const auto& [x, y] : {std::pair{0, 0}, {4, 300}, {300, 200}, {599, 519}})
        EXPECT_NEAR(renderedGrey(*engine, x, y), wrapper->pixel(x, y), 0.02 * wrapper->pixel(x, y))
            << x << "," << y;
}

TEST_F(ThreadedEngine, UnknownAndNilKeysDecodeAgain) {
    displayed();
    change("Lumivar_CropRect_x", 10.0);
    ASSERT_TRUE(delegate->waitForFinishes(2));
    idle();
    EXPECT_EQ(engine->statistics().decodes, 2);
    engine->invalidateImageStage(std::nullopt, settings);
    ASSERT_TRUE(delegate->waitForFinishes(3));
    idle();
    EXPECT_EQ(engine->statistics().decodes, 3);
    EXPECT_EQ(delegate->counts().metadata, 3);
    EXPECT_TRUE(wholeImageRendered(*engine));
    // The area key alone renders, but neither decodes nor replaces the settings.
    const auto kept = engine->imageParameters();
    engine->invalidateImageStage(Keys{"lumivar_activerectdirty"}, platform::Dictionary{{"other", 1.0}});
    ASSERT_TRUE(delegate->waitForFinishes(4));
    idle();
    EXPECT_EQ(engine->statistics().decodes, 3);
    EXPECT_EQ(engine->imageParameters(), kept);
}

TEST_F(ThreadedEngine, DecodeSettingsReachTheWrapperFromTheirStoredForms) {
    settings["Lumivar_CameraProfile"] =
        DNGCameraProfileAbstract::createAsAutoProfile()->objectSerializeForPList();
    const auto listed = ProfileManager::sharedManager().arrayOfAllProfiles(false);
    ASSERT_FALSE(listed.empty());
    settings["Lumivar_iccProfile"] = listed.front()->objectSerializeForPList();
    settings["Lumivar_MonochromeSensor"] = true;
    settings["Lumivar_MaintainWhites"] = true;
    displayed();
    // The wrapper keeps the automatic profile as none.
    EXPECT_TRUE(!wrapper->cameraProfile() || wrapper->cameraProfile()->isAutoProfile());
    ASSERT_TRUE(wrapper->scannerProfile());
    EXPECT_EQ(wrapper->scannerProfile()->description(), listed.front()->description());
    EXPECT_TRUE(wrapper->processAsMonchromeSensor());
    EXPECT_TRUE(wrapper->maintainHighlights());
    // Taken away, they are taken away from the wrapper too.
    settings.erase("Lumivar_iccProfile");
    change("Lumivar_MonochromeSensor", false);
    ASSERT_TRUE(delegate->waitForFinishes(2));
    idle();
    EXPECT_FALSE(wrapper->processAsMonchromeSensor());
    EXPECT_FALSE(wrapper->scannerProfile());
}

TEST_F(ThreadedEngine, RequestsDuringAPassGiveOneMorePass) {
    wrapper->hold();
    display();
    ASSERT_TRUE(wrapper->waitForCalls(1));
    EXPECT_TRUE(engine->isRunning());
    change("Lumivar_CropRect_x", 1.0);
    change("Lumivar_CropRect_y", 2.0);
    wrapper->release();
    ASSERT_TRUE(delegate->waitForFinishes(2));
    idle();
    EXPECT_EQ(delegate->counts(), (RecordingDelegate::Counts{2, 2, 2}));
    EXPECT_EQ(engine->statistics().passes, 2);
    EXPECT_EQ(engine->statistics().decodes, 2);
    EXPECT_EQ(engine->imageParameters()->at("Lumivar_CropRect_y").doubleValue(), 2.0);
}

TEST_F(ThreadedEngine, WithoutDelegateTheCallReturnsWithTheRenderDone) {
    engine->configureRenderingSpaceForType("public.tiff", false);
    engine->engineActiveRectDirty();
    EXPECT_TRUE(wholeImageRendered(*engine));
    EXPECT_FALSE(engine->isRunning());
    EXPECT_EQ(engine->statistics().passes, 1);
    EXPECT_EQ(delegate->counts(), RecordingDelegate::Counts{});
    // A second export renders nothing new but still makes its pass.
    const auto tiles = engine->statistics().stageTiles[1];
    engine->engineActiveRectDirty();
    EXPECT_EQ(engine->statistics().passes, 2);
    EXPECT_EQ(engine->statistics().stageTiles[1], tiles);
    // Output-only and no-effect keys set no flag: no pass, but the output stage has the value.
    const uint16_t before = renderedGrey(*engine, 300, 200);
    change("Lumivar_JPEGQuality", int64_t(8));
    change("Lumivar_Filter_inputEV", 1.0);
    EXPECT_EQ(engine->statistics().passes, 2);
    EXPECT_NEAR(renderedGrey(*engine, 300, 200), 2 * before, 0.01 * 2 * before);
}

TEST_F(ThreadedEngine, AnExportDuringADisplayPassWaitsForIt) {
    wrapper->hold();
    display();
    ASSERT_TRUE(wrapper->waitForCalls(1));
    engine->setDelegate(nullptr);
    auto exported = std::async(std::launch::async, [&] {
        engine->engineActiveRectDirty();
        return wholeImageRendered(*engine);
    });
    EXPECT_EQ(exported.wait_for(200ms), std::future_status::timeout) << "the export ran beside the pass";
    wrapper->release();
    EXPECT_TRUE(exported.get());
    idle();
    EXPECT_EQ(engine->statistics().decodes, 1);
}

TEST_F(ThreadedEngine, AFailingDecodeEndsTheLoopWithOneFinish) {
    wrapper->setOutcome(FakeWrapper::Outcome::error);
    display();
    ASSERT_TRUE(delegate->waitForFinishes(1));
    idle();
    EXPECT_EQ(delegate->counts(), (RecordingDelegate::Counts{1, 0, 1}));
    EXPECT_EQ(engine->outputImage(), nullptr);
    EXPECT_TRUE(engine->stage0IsDirty());
    // Further requests find the error and only report a finish.
    change("Lumivar_CropRect_x", 3.0);
    ASSERT_TRUE(delegate->waitForFinishes(2));
    idle();
    EXPECT_EQ(delegate->counts(), (RecordingDelegate::Counts{1, 0, 2}));
    EXPECT_EQ(engine->statistics().decodes, 1);
}

TEST_F(ThreadedEngine, AnEmptyDecodeIsTriedOnceMorePerRequest) {
    wrapper->setOutcome(FakeWrapper::Outcome::nothing);
    display();
    ASSERT_TRUE(delegate->waitForFinishes(2));
    idle();
    EXPECT_EQ(engine->statistics().decodes, 2);
    EXPECT_EQ(delegate->counts().finished, 2);
    EXPECT_TRUE(engine->stage0IsDirty());
    EXPECT_EQ(engine->outputImage(), nullptr);
    // The next request tries again; once the file yields an image, it renders.
    wrapper->setOutcome(FakeWrapper::Outcome::image);
    engine->engineActiveRectDirty();
    ASSERT_TRUE(delegate->waitForFinishes(3));
    idle();
    EXPECT_EQ(engine->statistics().decodes, 3);
    EXPECT_TRUE(wholeImageRendered(*engine));
}

TEST_F(ThreadedEngine, DroppingTheDocumentMidPassIsClean) {
    wrapper->hold();
    display();
    ASSERT_TRUE(wrapper->waitForCalls(1));
    // The output stage may outlive the engine in a display's hands.
    std::weak_ptr<ThreadedImageEngine> gone = engine;
    delegate.reset();
    engine.reset();
    wrapper->release();
    ASSERT_TRUE(eventually([&] { return gone.expired(); }));
    ASSERT_TRUE(eventually([&] { return wrapper.use_count() == 1; }));
}

TEST_F(ThreadedEngine, TheOutputStageOutlivesTheEngineSafely) {
    displayed();
    const auto output = engine->outputImage();
    engine->setDelegate(nullptr);
    engine.reset();
    // A display request for a zoom not made yet asks the gone engine for a render.
    bool thumbnail = false;
    output->imageTile(0, 0.5, output->extent(), nullptr, &thumbnail, false, 1);
    output->imageTile(0, 0.25, output->extent(), nullptr, &thumbnail, false, 1);
    SUCCEED();
}
