#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <vector>

#include "display/widgets/HistogramView.h"
#include "engine/core/HistogramBuilder.h"
#include "engine/core/ImageBufferU16.h"
#include "platform/MainQueue.h"
#include "tests/widgets/OffscreenApplication.h"

namespace {

using namespace std::chrono_literals;

std::shared_ptr<ImageBuffer> greyImage(uint16_t value, uint16_t size = 16) {
    auto image = ImageBufferU16::create(size, size);
    for (uint16_t y = 0; y < size; ++y)
        for (uint16_t x = 0; x < size; ++x) {
            uint16_t* p = image->bufferU16ForRow(y, x);
            p[0] = p[1] = p[2] = value, p[3] = 65535;
        }
    return image;
}

// Counts the computations and can hold the first one until the test lets it go.
class BuildGate {
  public:
    // The view's state keeps the gate while it lives.
    static void install(HistogramView& view, const std::shared_ptr<BuildGate>& gate) {
        view.setBuildHook([gate](const ImageBuffer& image) { gate->pass(image); });
    }
    bool waitForBuilds(size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 60s, [&] { return seen_.size() >= count; });
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    std::vector<const ImageBuffer*> seen() {
        std::lock_guard lock(mutex_);
        return seen_;
    }

  private:
    void pass(const ImageBuffer& image) {
        std::unique_lock lock(mutex_);
        seen_.push_back(&image);
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    std::vector<const ImageBuffer*> seen_;
};

bool finished(HistogramView& view) {
    return platform::MainQueue::shared().runUntil([&] { return !view.isRunning(); }, 60s);
}

struct HistogramViewTest : testing::Test {
    HistogramViewTest() {
        platform::MainQueue::shared().drain();
        view.resize(202, 102);
    }
    HistogramView view;
};

TEST_F(HistogramViewTest, ImagesDuringAComputationFoldIntoOneMoreOnTheLast) {
    const auto gate = std::make_shared<BuildGate>();
    BuildGate::install(view, gate);
    const auto first = greyImage(10000), second = greyImage(20000), third = greyImage(30000),
               last = greyImage(40000);
    view.setImage(first);
    EXPECT_TRUE(view.isRunning()); // from the moment the task is queued
    ASSERT_TRUE(gate->waitForBuilds(1));
    view.setImage(second);
    view.setImage(third);
    view.setImage(last);
    gate->open();
    ASSERT_TRUE(finished(view));
    EXPECT_EQ(gate->seen(), (std::vector<const ImageBuffer*>{first.get(), last.get()}));
    EXPECT_EQ(platform::MainQueue::shared().drain(), 0u); // the one updateDone already ran
    EXPECT_FALSE(view.histogramImage().isNull());
    EXPECT_FALSE(view.theImage()); // done with, nothing newer pending
}

TEST_F(HistogramViewTest, HistogramIsTheViewsSizeLessAPixelEachSide) {
    view.setImage(greyImage(30000));
    ASSERT_TRUE(finished(view));
    const double ratio = view.devicePixelRatioF();
    const QImage histogram = view.histogramImage();
    EXPECT_EQ(histogram.width(), int(202 * ratio - 2));
    EXPECT_EQ(histogram.height(), int(102 * ratio - 2));
    // One grey value: one full grey column, the rest background with a grey bottom row.
    const int hot = int(std::pow(30000 / 65325.0, HistogramBuilder::kDisplayGamma) * histogram.width());
    const QColor grey(78, 78, 78), ground(25, 25, 25);
    EXPECT_TRUE(widgets_test::near(histogram.pixelColor(hot, 0), grey));
    EXPECT_TRUE(widgets_test::near(histogram.pixelColor(hot + 5, 0), ground));
    EXPECT_TRUE(widgets_test::near(histogram.pixelColor(hot + 5, histogram.height() - 1), grey));
}

TEST_F(HistogramViewTest, NilStartsNothingAndKeepsTheLastHistogram) {
    std::atomic<int> builds = 0;
    view.setBuildHook([&](const ImageBuffer&) { ++builds; });
    view.setImage(greyImage(30000));
    ASSERT_TRUE(finished(view));
    const QImage shown = view.histogramImage();
    view.setImage(nullptr);
    EXPECT_FALSE(view.isRunning());
    EXPECT_EQ(platform::MainQueue::shared().drain(), 0u);
    EXPECT_EQ(builds, 1);
    EXPECT_EQ(view.histogramImage(), shown);
}

// A view with no room inside its one-pixel frame (hidden, collapsed) computes nothing.
TEST_F(HistogramViewTest, NoRoomNoHistogram) {
    view.resize(2, 2);
    view.setImage(greyImage(30000));
    ASSERT_TRUE(finished(view));
    EXPECT_TRUE(view.histogramImage().isNull());
    view.resize(0, 0);
    view.setImage(greyImage(30000));
    ASSERT_TRUE(finished(view));
    EXPECT_TRUE(view.histogramImage().isNull());
}

TEST_F(HistogramViewTest, PaintsTheHistogramInsetByOnePoint) {
    view.setImage(greyImage(30000));
    ASSERT_TRUE(finished(view));
    const QImage painted = widgets_test::grabbed(view);
    const QColor frame = view.palette().color(QPalette::Mid);
    const int ratio = int(view.devicePixelRatioF());
    EXPECT_TRUE(widgets_test::near(painted.pixelColor(0, 50 * ratio), frame));
    EXPECT_TRUE(widgets_test::near(painted.pixelColor(100 * ratio, 101 * ratio), frame));
    EXPECT_TRUE(widgets_test::near(painted.pixelColor(3 * ratio, 50 * ratio), QColor(25, 25, 25)));
}

// The task holds the view weakly: a view closed while its histogram is computed goes at once,
// and the task then ends without touching it.
TEST(HistogramViewLifetime, ViewDestroyedMidTask) {
    platform::MainQueue::shared().drain();
    auto view = std::make_unique<HistogramView>();
    view->resize(50, 30);
    auto gate = std::make_shared<BuildGate>();
    BuildGate::install(*view, gate);
    const std::weak_ptr<BuildGate> stateAlive = gate; // the hook, and so the gate, dies with the state
    view->setImage(greyImage(30000));
    ASSERT_TRUE(gate->waitForBuilds(1));
    view->setImage(greyImage(40000)); // the task would go round once more
    view.reset();
    gate->open();
    gate.reset();
    ASSERT_TRUE(platform::MainQueue::shared().runUntil([&] { return stateAlive.expired(); }, 60s));
    platform::MainQueue::shared().drain();
}

TEST(HistogramViewAtRatio2, HistogramHasADevicePixelPerBin) {
    HistogramView view;
    view.resize(202, 102);
    if (view.devicePixelRatioF() != 2) {
        if (qEnvironmentVariable("LUMIVAR_EXPECT_PIXEL_RATIO") == "2")
            FAIL() << "QT_SCALE_FACTOR=2 had no effect";
        GTEST_SKIP() << "runs with QT_SCALE_FACTOR=2 (ctest: widgets_tests.ratio2)";
    }
    platform::MainQueue::shared().drain();
    view.setImage(greyImage(30000));
    ASSERT_TRUE(finished(view));
    EXPECT_EQ(view.outputSize(), (platform::Size{402, 202}));
    EXPECT_EQ(view.histogramImage().size(), QSize(402, 202));
}

} // namespace
