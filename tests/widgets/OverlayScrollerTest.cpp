#include <gtest/gtest.h>

#include <QLabel>
#include <QTimer>

#include "display/widgets/OverlayScrollView.h"
#include "display/widgets/OverlayScroller.h"
#include "tests/widgets/OffscreenApplication.h"

namespace {

using widgets_test::fire;

struct OverlayScrollerTest : testing::Test {
    OverlayScrollerTest() {
        scroller.setRange(0, 100);
        scroller.setPageStep(20);
        scroller.resize(15, 300);
    }
    QTimer* showTimer() { return scroller.findChild<QTimer*>("showKnobAfterDelay"); }
    QTimer* stepTimer() { return scroller.findChild<QTimer*>("updateKnobAfterDelay"); }

    OverlayScroller scroller{Qt::Vertical};
};

TEST_F(OverlayScrollerTest, KnobIsSixWideSixFromTheLeft) {
    const QRect knob = scroller.knobRect();
    EXPECT_EQ(knob.x(), 6);
    EXPECT_EQ(knob.width(), 6);
    EXPECT_GT(knob.height(), 0);

    OverlayScroller across(Qt::Horizontal);
    across.resize(300, 15);
    EXPECT_EQ(across.knobRect().y(), 6);
    EXPECT_EQ(across.knobRect().height(), 6);
}

// Shown at 0.5 for half a second after the last movement, then ten 30 ms steps down to 0.
TEST_F(OverlayScrollerTest, KnobHoldsThenFadesInTenSteps) {
    EXPECT_EQ(scroller.knobOpacity(), 0);
    scroller.setValue(30);
    EXPECT_DOUBLE_EQ(scroller.knobOpacity(), 0.5);
    ASSERT_TRUE(showTimer()->isActive());
    EXPECT_EQ(showTimer()->interval(), 500);
    EXPECT_FALSE(stepTimer()->isActive()); // no fading while shown

    ASSERT_TRUE(fire(showTimer()));
    double last = 0.5;
    int steps = 0;
    while (stepTimer()->isActive()) {
        EXPECT_EQ(stepTimer()->interval(), 30);
        EXPECT_LT(scroller.knobOpacity(), last);
        last = scroller.knobOpacity();
        fire(stepTimer());
        ++steps;
        ASSERT_LE(steps, 20);
    }
    EXPECT_EQ(steps, 10);
    EXPECT_EQ(scroller.knobOpacity(), 0);
}

TEST_F(OverlayScrollerTest, MovementRestartsTheHoldAndStillValuesDoNot) {
    scroller.setValue(30);
    fire(showTimer());
    fire(stepTimer());
    fire(stepTimer());
    ASSERT_LT(scroller.knobOpacity(), 0.5);

    scroller.setValue(40); // a movement mid-fade brings the knob back for another half second
    EXPECT_DOUBLE_EQ(scroller.knobOpacity(), 0.5);
    fire(stepTimer()); // the step already pending changes nothing while shown
    EXPECT_DOUBLE_EQ(scroller.knobOpacity(), 0.5);
    EXPECT_FALSE(stepTimer()->isActive());
    EXPECT_TRUE(showTimer()->isActive());

    while (fire(showTimer()) || fire(stepTimer())) {
    }
    ASSERT_EQ(scroller.knobOpacity(), 0);
    scroller.setValue(40); // the same value again is no activity
    EXPECT_EQ(scroller.knobOpacity(), 0);
}

// Only the knob is painted: the rest of the scroller shows what lies beneath.
TEST_F(OverlayScrollerTest, PaintsOnlyTheKnob) {
    scroller.showScroller();
    const QImage image = widgets_test::grabbed(scroller);
    const QRect knob = scroller.knobRect();
    const QColor inKnob = image.pixelColor(knob.center());
    EXPECT_TRUE(widgets_test::near(inKnob, QColor(127, 127, 127), 3)) << inKnob.name().toStdString();
    EXPECT_EQ(image.pixelColor(2, knob.center().y()), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(knob.center().x(), knob.bottom() + 10), QColor(Qt::white));
}

TEST(OverlayScrollView, ContentFillsTheAreaUnderTheScroller) {
    OverlayScrollView view;
    auto* content = new QLabel("content");
    content->setMinimumSize(200, 1000);
    view.setWidget(content);
    view.resize(200, 300);
    view.show();

    EXPECT_EQ(view.viewport()->geometry(), QRect(0, 0, 200, 300));
    OverlayScroller* scroller = view.overlayScroller();
    EXPECT_EQ(scroller->geometry(), QRect(185, 0, 15, 300));
    EXPECT_EQ(view.children().last(), scroller); // the last child lies on top

    ASSERT_EQ(scroller->maximum(), 700);
    scroller->setValue(250);
    EXPECT_EQ(view.verticalScrollBar()->value(), 250);
    EXPECT_EQ(content->y(), -250);
    view.verticalScrollBar()->setValue(100);
    EXPECT_EQ(scroller->value(), 100);

    content->setMinimumSize(200, 100); // fits: nothing to scroll, no scroller
    content->resize(200, 100);
    EXPECT_TRUE(scroller->isHidden());
}

} // namespace
