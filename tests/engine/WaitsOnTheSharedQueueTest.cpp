// Work that waits on the shared queue while it holds a lock, with tasks queued meanwhile
// that want the same lock, as the window queues its exports: every wait ends, and an
// export still finds the chain the display pass before it built.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "color/ProfileManager.h"
#include "engine/core/BitmapImage.h"
#include "engine/core/QueueEngine.h"
#include "engine/stages/CoreTiledEngine.h"
#include "engine/stages/RawCombineTiledEngine.h"
#include "engine/stages/ThreadedImageEngine.h"
#include "settings/Schema.h"
#include "tests/engine/StageSource.h"
#include "tests/support/OccupiedPool.h"
#include "tests/support/Watchdog.h"

namespace {

using namespace std::chrono_literals;

// A flat grey image of a camera's size, served without a decode.
class GreyWrapper : public ImageWrapper, public DemosaicedRenderings {
  public:
    GreyWrapper(uint16_t width, uint16_t height) : ImageWrapper("/nonexistent/grey.dng", "grey", false) {
        imageWidth_ = width;
        imageHeight_ = height;
        const size_t values = size_t(width) * height * 3;
        auto pixels = std::shared_ptr<uint16_t[]>(new uint16_t[values]);
        std::fill(pixels.get(), pixels.get() + values, uint16_t(20000));
        pixels_ = std::move(pixels);
    }
    std::shared_ptr<const uint16_t[]> masterImageBytes() override { return pixels_; }
    std::optional<platform::Dictionary> getParameters() override { return platform::Dictionary{}; }
    std::shared_ptr<ColorSyncProfileWrap> bufferProfile() override {
        return ProfileManager::sharedManager().getProPhotoGamma1_D65Profile();
    }
    Held holdRenderings() override { return {imageWidth_, imageHeight_, pixels_, pixels_}; }
    std::shared_ptr<BufferProfile> renderingsProfile() override { return bufferProfile(); }

  private:
    std::shared_ptr<const uint16_t[]> pixels_;
};

class CountingDelegate : public ThreadedImageEngineDelegate {
  public:
    void CIImageEngineDidStart(ThreadedImageEngine&) override {}
    void CIImageEngineNewMetaData(ThreadedImageEngine&) override {}
    void CIImageEngineDidFinish(ThreadedImageEngine&) override { ++finished; }
    void CIImageEngineDidUpdateActiveArea(ThreadedImageEngine&) override {}
    std::atomic<int> finished{0};
};

// Counts tasks down to zero.
class Countdown {
  public:
    void add(int n) {
        std::lock_guard<std::mutex> guard(lock_);
        left_ += n;
    }
    void done() {
        std::lock_guard<std::mutex> guard(lock_);
        if (--left_ == 0) changed_.notify_all();
    }
    void wait() {
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait(lock, [this] { return left_ == 0; });
    }

  private:
    std::mutex lock_;
    std::condition_variable changed_;
    int left_ = 0;
};

bool chainRendered(ThreadedImageEngine& engine) {
    const auto output = engine.outputImage();
    const auto combine = engine.demosaicedImage();
    return output && output->sourceBuf() && output->sourceBuf()->mainMap().isClean() && combine &&
           combine->mainMap().isClean();
}

} // namespace

// A display pass from stage 1 is under way when the window queues its exports on the
// shared queue; each export detaches the delegate and renders the whole image, so it must
// wait for the pass and then find what the pass built. The queue's workers are kept busy
// until the pass has ended, so the exports stay queued all through its waits.
TEST(WaitsOnTheSharedQueue, ExportsQueuedDuringDisplayPassesFinishAndFindTheNewChain) {
    constexpr int kExportsPerRound = 3;
    auto wrapper = std::make_shared<GreyWrapper>(320, 240);
    auto engine = ThreadedImageEngine::create(wrapper, false);
    auto delegate = std::make_shared<CountingDelegate>();
    platform::Dictionary settings{{settings::ArtifactSuppression.c_str(), 0.0}};
    engine->setDelegate(delegate);
    engine->configureRenderingSpaceForType(std::nullopt, false);
    engine->invalidateImageStage(std::nullopt, settings);

    auto& queue = QueueEngine::sharedQueueEngine().sharedQueue();
    std::atomic<int> stale{0};
    testsupport::Watchdog watchdog(240s, "a display pass with exports queued during it");
    for (int round = 0; round < testsupport::kRaceRounds; ++round) {
        while (engine->isRunning())
            std::this_thread::sleep_for(1ms);
        engine->setDelegate(delegate);
        engine->configureRenderingSpaceForType(std::nullopt, false);
        const float suppression = round % 2 ? 0.25f : 0.75f;
        settings[settings::ArtifactSuppression.c_str()] = double(suppression);
        Countdown exports;
        {
            testsupport::OccupiedPool busy(queue);
            const int finished = delegate->finished;
            engine->invalidateImageStage(std::vector<std::string>{settings::ArtifactSuppression.c_str()},
                                         settings);
            while (!engine->isRunning() && delegate->finished == finished)
                std::this_thread::yield();
            exports.add(kExportsPerRound);
            for (int i = 0; i < kExportsPerRound; ++i)
                queue.async([&, suppression] {
                    engine->setDelegate(nullptr);
                    engine->configureRenderingSpaceForType("public.tiff", false);
                    engine->engineActiveRectDirty();
                    const auto combine = engine->demosaicedImage();
                    if (!chainRendered(*engine) || combine->artifactSuppression() != suppression) ++stale;
                    exports.done();
                });
            while (delegate->finished == finished)
                std::this_thread::sleep_for(1ms);
        }
        exports.wait();
    }
    EXPECT_EQ(stale.load(), 0) << "exports that found no chain, or the one before the pass";
}

// The output stage holds its settings while a large request's blocks run on the shared
// queue; tasks queued before those blocks change the settings.
TEST(WaitsOnTheSharedQueue, LargeOutputRequestsFinishWhileQueuedTasksChangeTheSettings) {
    auto source = std::make_shared<StageSource>(700, 700, [](int32_t x, int32_t) {
        return StageSource::Pixel{uint16_t(x * 90), 9000, 9000, 65535};
    });
    auto core = std::make_shared<CoreTiledEngine>(source, "", false);
    const platform::Dictionary camera;
    core->setCameraParameters(camera);
    core->setParameters(std::nullopt, {});
    core->runProcessToCompletion(core->mainMap().regionForRect(core->extent(), 0));

    auto& queue = QueueEngine::sharedQueueEngine().sharedQueue();
    testsupport::Watchdog watchdog(240s, "a large request of the output stage");
    for (int round = 0; round < testsupport::kRaceRounds; ++round) {
        Countdown writers;
        std::shared_ptr<BitmapImage> tile;
        {
            testsupport::OccupiedPool busy(queue);
            writers.add(32);
            for (int i = 0; i < 32; ++i)
                queue.async([&] {
                    core->setCameraParameters(camera);
                    writers.done();
                });
            tile = core->imageTile(0, 1, core->extent(), nullptr, nullptr, false, 1);
        }
        writers.wait();
        ASSERT_NE(tile, nullptr);
        EXPECT_EQ(tile->getWidth(), 700u);
    }
}
