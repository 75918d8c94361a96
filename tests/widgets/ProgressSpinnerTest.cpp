#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <thread>

#include "display/widgets/ProgressSpinner.h"
#include "tests/widgets/OffscreenApplication.h"

namespace {

using Indicator = ProgressSpinner;

std::vector<double> opacities(const Indicator& indicator) {
    std::vector<double> out;
    for (int i = 0; i < Indicator::kNumFins; ++i)
        out.push_back(indicator.finColor(i).alphaF());
    return out;
}

int brightestFin(const Indicator& indicator) {
    const auto o = opacities(indicator);
    return int(std::max_element(o.begin(), o.end()) - o.begin());
}

TEST(ProgressSpinner, StoppedShowsTwelveFaintFins) {
    Indicator indicator;
    EXPECT_FALSE(indicator.isAnimating());
    EXPECT_TRUE(indicator.isDisplayedWhenStopped());
    for (double o : opacities(indicator))
        EXPECT_NEAR(o, 0.15, 1e-3);
    EXPECT_EQ(indicator.finColor(0).rgb(), QColor(Qt::white).rgb());
}

// The bright fin steps round clockwise (to lower fin numbers) on a 50 ms timer.
TEST(ProgressSpinner, SpinsOnItsTimer) {
    Indicator indicator;
    indicator.startAnimation();
    ASSERT_TRUE(indicator.isAnimating());
    auto* timer = indicator.findChild<QTimer*>("animationTimer");
    ASSERT_TRUE(timer && timer->isActive());
    EXPECT_EQ(timer->interval(), 50);

    indicator.updateFrame();
    EXPECT_EQ(brightestFin(indicator), 0);
    EXPECT_DOUBLE_EQ(indicator.finColor(0).alphaF(), 1.0);
    indicator.updateFrame();
    EXPECT_EQ(brightestFin(indicator), 11);
    EXPECT_NEAR(indicator.finColor(0).alphaF(), 0.85, 1e-3);
}

// After stopAnimation the fins fade by 0.85 a frame down to 0.15, then the animation ends.
TEST(ProgressSpinner, StopFadesToTheStoppedLookThenEnds) {
    Indicator indicator;
    indicator.startAnimation();
    for (int i = 0; i < 30; ++i)
        indicator.updateFrame();
    indicator.stopAnimation();
    EXPECT_TRUE(indicator.isAnimating());
    double brightest = 1.0;
    int frames = 0;
    while (indicator.isAnimating()) {
        indicator.updateFrame();
        ASSERT_LT(++frames, 100);
        if (!indicator.isAnimating()) break;
        const auto o = opacities(indicator);
        const double now = *std::max_element(o.begin(), o.end());
        EXPECT_NEAR(now, std::max(brightest * 0.85, 0.15), 1e-3);
        brightest = now;
        for (double v : o)
            EXPECT_GE(v, 0.15 - 1e-3);
    }
    EXPECT_GT(frames, 5); // a fade, not a cut
    EXPECT_FALSE(indicator.findChild<QTimer*>("animationTimer")->isActive());
    for (double o : opacities(indicator))
        EXPECT_NEAR(o, 0.15, 1e-3);
    indicator.startAnimation(); // and it starts again
    EXPECT_TRUE(indicator.isAnimating());
}

TEST(ProgressSpinner, HiddenWhenStoppedUnlessAnimating) {
    QWidget window;
    auto* indicator = new Indicator(&window);
    window.show();
    indicator->setDisplayedWhenStopped(false);
    EXPECT_TRUE(indicator->isHidden());
    indicator->startAnimation();
    EXPECT_FALSE(indicator->isHidden());
    indicator->stopAnimation();
    while (indicator->isAnimating())
        indicator->updateFrame();
    EXPECT_TRUE(indicator->isHidden());
    EXPECT_NEAR(indicator->finColor(0).alphaF(), 0.15, 1e-3); // stopped look, once shown again
}

// On its own thread the indicator steps frames and the GUI thread repaints; a stop there
// ends the animation through the GUI thread.
TEST(ProgressSpinner, ThreadedAnimationStepsAndStops) {
    using namespace std::chrono_literals;
    Indicator indicator;
    indicator.setUsesThreadedAnimation(true);
    indicator.startAnimation();
    EXPECT_FALSE(indicator.findChild<QTimer*>("animationTimer")->isActive());
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (indicator.finColor(11).alphaF() < 0.5 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    ASSERT_GE(indicator.finColor(11).alphaF(), 0.5); // fin 0 lit first, then 11
    indicator.stopAnimation();
    while (indicator.isAnimating() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(indicator.isAnimating());
}

TEST(ProgressSpinner, DestroyedWhileSpinningOnItsThread) {
    auto indicator = std::make_unique<Indicator>();
    indicator->setUsesThreadedAnimation(true);
    indicator->startAnimation();
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    indicator.reset();
    QCoreApplication::processEvents(); // repaint requests for the gone view are dropped
}

struct Pie {
    double value, maxValue;
    double filledToDegrees; // clockwise from twelve o'clock
};

// Value 25 of 100: a quarter pie from twelve o'clock to three, inside a ring. Values past the
// maximum fill the circle once; a maximum of 0 fills nothing.
TEST(ProgressSpinner, DeterminatePie) {
    for (const Pie& pie : {Pie{25, 100, 90}, Pie{50, 200, 90}, Pie{150, 100, 360}, Pie{10, 0, 0}}) {
        Indicator indicator;
        indicator.resize(100, 100);
        indicator.setColor(Qt::black);
        indicator.setMaxValue(pie.maxValue);
        indicator.setDoubleValue(pie.value);
        EXPECT_FALSE(indicator.isIndeterminate());
        indicator.startAnimation(); // determinate: does not spin
        EXPECT_FALSE(indicator.isAnimating());

        const QImage image = widgets_test::grabbed(indicator);
        const double c = 50, r = (100 - 2.0) / 2.1, inner = 0.6 * r;
        for (double d = 5; d < 360; d += 10) {
            const double a = d * M_PI / 180;
            const QColor seen = image.pixelColor(int(c + inner * std::sin(a)), int(c - inner * std::cos(a)));
            EXPECT_EQ(seen, QColor(d < pie.filledToDegrees ? Qt::black : Qt::white))
                << pie.value << " of " << pie.maxValue << " at " << d;
        }
        EXPECT_LT(image.pixelColor(int(c), int(c + r)).red(), 128); // the ring, at six o'clock
    }
}

} // namespace
