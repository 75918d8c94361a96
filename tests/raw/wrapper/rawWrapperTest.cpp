// The raw image wrapper over faked decodes: which renderings it makes and when it makes
// them again, the parameters dictionary, the four-to-three conversion and readers on
// other threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <set>
#include <thread>

#include "engine/core/QueueEngine.h"
#include "raw/wrapper/RawOpenErrors.h"
#include "raw/wrapper/rawWrapper.h"
#include "tests/support/Gate.h"
#include "tests/support/OccupiedPool.h"
#include "tests/support/Watchdog.h"

namespace {

// Decodes nothing: each "decode" hands back pixels whose values count up from a seed that
// changes with every decode, and is counted.
class FakeDecodes : public rawWrapper {
  public:
    using rawWrapper::rawWrapper;

    uint16_t width = 4, height = 3;
    bool outputReferred = false;
    bool fail = false;
    std::string model = "Model";
    std::atomic<int> decodes[2] = {0, 0}; // master, alternate

    int total() const { return decodes[0] + decodes[1]; }

  protected:
    Developed createBitMap(int which) override {
        const uint16_t seed = uint16_t(1000 * ++decodes[which] + which);
        Developed d;
        d.status = fail ? "Unsupported file type" : "ok";
        d.make = "Maker";
        d.model = model;
        d.outputReferred = outputReferred;
        d.metaData = platform::Dictionary{};
        if (fail) {
            d.error = raw::errors::Table.withReason(raw::errors::DecodeFailed, *d.status);
            return d;
        }
        d.width = width;
        d.height = height;
        const size_t values = size_t(width) * height * 4;
        d.pixels.reset(static_cast<uint16_t*>(std::malloc(values * sizeof(uint16_t))));
        for (size_t i = 0; i < values; ++i)
            d.pixels[i] = uint16_t(seed + i);
        made.pass();
        return d;
    }

    // The two decodes of a joint one, as the real one reports them.
    DevelopedPair createBitMaps(uint16_t) override {
        DevelopedPair both{createBitMap(0), std::nullopt};
        if (!outputReferred) both.alternate = createBitMap(1);
        return both;
    }

  public:
    testsupport::Gate made; // passed by every successful decode once its pixels are made
};

std::shared_ptr<FakeDecodes> fake() {
    return std::make_shared<FakeDecodes>("/no/such/file.dng", "uuid-1", false);
}

std::shared_ptr<DNGCameraProfileAbstract> profileFile(const char* path) {
    auto profile = std::make_shared<DNGCameraProfileAbstract>();
    profile->setProfileURL(std::filesystem::path(path));
    return profile;
}

// Three values of the four of each pixel, in order, counting up from the first.
::testing::AssertionResult isRgbOfCountingRgba(const uint16_t* rgb, size_t pixels) {
    const uint16_t seed = rgb[0];
    for (size_t i = 0; i < pixels; ++i)
        for (size_t c = 0; c < 3; ++c)
            if (rgb[3 * i + c] != uint16_t(seed + 4 * i + c))
                return ::testing::AssertionFailure()
                       << "pixel " << i << " value " << c << " is " << rgb[3 * i + c];
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(rawWrapper, AlternateOnlyForColourSceneData) {
    struct Case {
        const char* what;
        bool monochrome, outputReferred, alternate;
    } cases[] = {
        {"colour raw", false, false, true},
        {"monochrome", true, false, false},
        {"already rendered by the camera", false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto image = fake();
        image->setProcessAsMonchromeSensor(c.monochrome);
        image->outputReferred = c.outputReferred;
        auto master = image->masterImageBytes();
        ASSERT_TRUE(master);
        EXPECT_TRUE(isRgbOfCountingRgba(master.get(), 12));
        EXPECT_EQ(image->alternateImageBytes() != nullptr, c.alternate);
        EXPECT_EQ(image->decodes[0], 1);
        EXPECT_EQ(image->decodes[1], c.alternate ? 1 : 0);
        const auto held = image->holdRenderings();
        EXPECT_EQ(held.master, master);
        EXPECT_EQ(held.width, 4);
        EXPECT_EQ(held.height, 3);
    }
}

TEST(rawWrapper, OnlyAChangedSettingDecodesAgain) {
    auto image = fake();
    image->genImages();
    ASSERT_EQ(image->total(), 2);
    struct Step {
        const char* what;
        std::function<void(rawWrapper&)> change;
        int decodes;
    } steps[] = {
        {"the automatic profile where none was set",
         [](rawWrapper& w) { w.setCameraProfile(DNGCameraProfileAbstract::createAsAutoProfile()); }, 0},
        {"the automatic profile again",
         [](rawWrapper& w) { w.setCameraProfile(DNGCameraProfileAbstract::createAsAutoProfile()); }, 0},
        {"a profile file", [](rawWrapper& w) { w.setCameraProfile(profileFile("/p/Look.dcp")); }, 2},
        {"the same file name", [](rawWrapper& w) { w.setCameraProfile(profileFile("/elsewhere/Look.dcp")); },
         0},
        {"another file", [](rawWrapper& w) { w.setCameraProfile(profileFile("/p/Other.dcp")); }, 2},
        {"no profile", [](rawWrapper& w) { w.setCameraProfile(nullptr); }, 2},
        {"colour, as before", [](rawWrapper& w) { w.setProcessAsMonchromeSensor(false); }, 0},
        {"monochrome", [](rawWrapper& w) { w.setProcessAsMonchromeSensor(true); }, 1},
        {"highlights kept", [](rawWrapper& w) { w.setMaintainHighlights(true); }, 1},
        {"highlights kept again", [](rawWrapper& w) { w.setMaintainHighlights(true); }, 0},
    };
    for (const Step& step : steps) {
        const int before = image->total();
        auto held = image->masterImageBytes();
        step.change(*image);
        image->genImages();
        EXPECT_EQ(image->total() - before, step.decodes) << step.what;
        EXPECT_EQ(image->masterImageBytes() == held, step.decodes == 0) << step.what;
    }
}

TEST(rawWrapper, AFailedDecodeLeavesTheRenderingMissing) {
    auto image = fake();
    image->fail = true;
    EXPECT_FALSE(image->masterImageBytes());
    ASSERT_TRUE(image->error());
    EXPECT_EQ(*image->error(), (platform::Error{"RawOpenErrorDomain", -5, "Unsupported file type"}));
    EXPECT_EQ(image->imageWidth(), 0);
    const int tried = image->total();
    image->fail = false;
    EXPECT_TRUE(image->masterImageBytes());
    EXPECT_GT(image->total(), tried); // asked again, decoded again
}

TEST(rawWrapper, ParametersStopAtTheFirstMissingValue) {
    auto keys = [](const platform::Dictionary& d) {
        std::set<std::string> k;
        for (const auto& [key, value] : d)
            k.insert(key);
        return k;
    };
    auto anonymous = std::make_shared<FakeDecodes>("/no/such/file.dng", std::nullopt, false);
    ASSERT_TRUE(anonymous->getParameters());
    EXPECT_TRUE(anonymous->getParameters()->empty());

    auto image = fake();
    auto before = *image->getParameters();
    EXPECT_EQ(before, (platform::Dictionary{{"UUID", "uuid-1"}, {"width", 0}, {"height", 0}}));

    // An empty model is a value: the dictionary goes on past it.
    image->model = "";
    image->genImages();
    const auto after = *image->getParameters();
    std::set<std::string> all = {"UUID",
                                 "width",
                                 "height",
                                 "model",
                                 "make",
                                 "status",
                                 "asShotWhitex",
                                 "asShotWhitey",
                                 "cameraBaselineExposure",
                                 "isOutputReferred",
                                 "cameraMetadata"};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            all.insert("cameraFromXYZ" + std::to_string(row) + std::to_string(col));
    EXPECT_EQ(keys(after), all);
    EXPECT_EQ(after.at("model"), platform::Value(""));
    EXPECT_EQ(after.at("width"), platform::Value(4));
    EXPECT_TRUE(after.at("asShotWhitex").isReal());
    EXPECT_TRUE(after.at("isOutputReferred").isBool());
    // The metadata gained the image size.
    EXPECT_EQ(after.at("cameraMetadata"),
              platform::Value(platform::Dictionary{{"PixelHeight", 3}, {"PixelWidth", 4}}));
}

TEST(rawWrapper, ImageTablesAreNotMadeOfRawFiles) {
    auto image = fake();
    EXPECT_FALSE(image->getImageTable(nullptr));
    EXPECT_EQ(image->error(),
              (platform::Error{"RawOpenErrorDomain", -15, "Invalid function call to getImageTable"}));
}

// Counts below, at and above the number of tasks: blocks that start past the last pixel
// copy nothing (AddressSanitizer sees any stray access).
TEST(rawWrapper, ConversionDropsTheFourthValueOfAnyCount) {
    const int64_t tasks = int64_t(QueueEngine::sharedQueueEngine().optimalNumberOfTasks());
    for (int64_t n :
         {int64_t(0), int64_t(1), int64_t(2), tasks - 1, tasks, tasks + 1, 3 * tasks + 1, int64_t(100003)}) {
        if (n < 0) continue;
        SCOPED_TRACE(n);
        rawWrapper::DecodedPixels rgba(
            static_cast<uint16_t*>(std::malloc(size_t(std::max<int64_t>(n, 1)) * 8)));
        for (int64_t i = 0; i < 4 * n; ++i)
            rgba[i] = uint16_t(7 + i);
        auto rgb = rawWrapper::createRGBBufferFromRGBA(std::move(rgba), n);
        ASSERT_TRUE(rgb);
        if (n > 0) {
            EXPECT_TRUE(isRgbOfCountingRgba(rgb.get(), size_t(n)));
        }
    }
    EXPECT_FALSE(rawWrapper::createRGBBufferFromRGBA(nullptr, 10));
}

// One thread reads what it holds while another keeps changing the profile, which frees
// the wrapper's renderings each time.
TEST(rawWrapper, HeldRenderingsOutliveAProfileChange) {
    auto image = fake();
    image->width = 64;
    image->height = 48;
    std::atomic<bool> stop = false, intact = true;
    std::atomic<int> reads = 0;
    std::thread reader([&] {
        while (!stop) {
            const auto held = image->holdRenderings();
            if (!held.master || !held.alternate || !isRgbOfCountingRgba(held.master.get(), 64 * 48) ||
                !isRgbOfCountingRgba(held.alternate.get(), 64 * 48))
                intact = false;
            ++reads;
        }
    });
    for (int i = 0; i < 100; ++i) {
        image->setCameraProfile(i % 2 ? nullptr : profileFile("/p/A.dcp"));
        image->getParameters();
        // One read may be under way; the one after it starts after the change and decodes.
        const int after = reads;
        while (reads < after + 2)
            std::this_thread::yield();
    }
    stop = true;
    reader.join();
    EXPECT_TRUE(intact);
    EXPECT_GE(image->total(), 2 * 100);
}

// The conversion after a decode waits on the shared queue. Readers of the wrapper's values
// queued on that queue meanwhile (as the window's tasks are) must all get their answer.
TEST(rawWrapper, ReadersQueuedDuringTheConversionFinish) {
    using namespace std::chrono_literals;
    auto image = fake();
    image->width = 500;
    image->height = 400;
    auto& queue = QueueEngine::sharedQueueEngine().sharedQueue();
    testsupport::Watchdog watchdog(240s, "a reader queued during the wrapper's conversion");
    for (int round = 0; round < testsupport::kRaceRounds; ++round) {
        image->setMaintainHighlights(round % 2 == 1); // drops both renderings
        std::atomic<int> answered{0};
        {
            testsupport::OccupiedPool busy(queue);
            for (int i = 0; i < 32; ++i)
                queue.async([&] {
                    image->getParameters();
                    image->metaData();
                    ++answered;
                });
            ASSERT_TRUE(image->masterImageBytes());
        }
        while (answered < 32)
            std::this_thread::sleep_for(1ms);
    }
}

// A decode under way keeps nothing from its readers: metadata, size and camera parameters
// answer at once with what the last finished decode published, and change in one step
// when the new one ends.
TEST(rawWrapper, ReadsDuringADecodeAnswerFromTheLastOne) {
    using namespace std::chrono_literals;
    auto image = fake();
    image->genImages();
    image->model = "Other";
    image->width = 8;
    image->height = 6;
    image->made.close();
    auto decoding = std::async(std::launch::async, [&] {
        image->setMaintainHighlights(true);
        return image->masterImageBytes() != nullptr;
    });
    ASSERT_TRUE(image->made.waitForArrivals(3)); // the master and alternate before, now the master
    auto reads = std::async(std::launch::async, [&] {
        return std::make_tuple(*image->getParameters(), image->metaData(), image->imageWidth(),
                               image->error());
    });
    const bool answered = reads.wait_for(20s) == std::future_status::ready;
    image->made.open();
    ASSERT_TRUE(answered) << "a read waited for the decode";
    const auto [parameters, metaData, width, error] = reads.get();
    EXPECT_EQ(parameters.at("model"), platform::Value("Model"));
    EXPECT_EQ(parameters.at("width"), platform::Value(4));
    EXPECT_EQ(width, 4);
    ASSERT_TRUE(metaData);
    EXPECT_EQ(metaData->at("PixelWidth"), platform::Value(4));
    EXPECT_FALSE(error);

    ASSERT_TRUE(decoding.get());
    EXPECT_EQ(image->getParameters()->at("model"), platform::Value("Other"));
    EXPECT_EQ(image->imageWidth(), 8);
    EXPECT_EQ(image->metaData()->at("PixelWidth"), platform::Value(8));
}
