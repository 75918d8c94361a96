#include <gtest/gtest.h>

#include <QPainter>

#include "display/Layer.h"
#include "tests/display/DisplayTestSupport.h"

namespace {

using namespace displaytest;

void expectNear(QPointF actual, QPointF expected) {
    EXPECT_NEAR(actual.x(), expected.x(), 1e-9);
    EXPECT_NEAR(actual.y(), expected.y(), 1e-9);
}

TEST(Layer, ConvertsThroughPositionAnchorAndTransform) {
    struct Case {
        const char* name;
        QPointF anchor;
        QTransform transform;
        QPointF local, inRoot;
    };
    // A 200 x 100 layer placed at (100, 50) in its root.
    const Case cases[] = {
        {"lower-left anchor", {0, 0}, QTransform(), {10, 10}, {110, 60}},
        {"centre anchor", {0.5, 0.5}, QTransform(), {100, 50}, {100, 50}},
        {"scaled about the anchor", {0, 0}, QTransform::fromScale(2, 2), {10, 10}, {120, 70}},
        {"turned a quarter", {0, 0}, QTransform(0, 1, -1, 0, 0, 0), {10, 0}, {100, 60}},
        {"scaled about the centre", {0.5, 0.5}, QTransform::fromScale(0.5, 0.5), {0, 0}, {50, 25}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostedRoot host(400, 300);
        auto layer = std::make_shared<Layer>();
        layer->setAnchorPoint(c.anchor);
        layer->setBounds(QRectF(0, 0, 200, 100));
        layer->setPosition({100, 50});
        layer->setTransform(c.transform);
        host.root->addSublayer(layer);
        expectNear(host.root->convertPointFrom(c.local, layer.get()), c.inRoot);
        expectNear(layer->convertPointFrom(c.inRoot, host.root.get()), c.local);
        expectNear(layer->convertPointTo(c.local, host.root.get()), c.inRoot);
    }
}

TEST(Layer, VisibleRectIsWhatMaskingAncestorsLeave) {
    HostedRoot host(400, 300);
    auto group = std::make_shared<Layer>(), inner = std::make_shared<Layer>();
    for (auto& l : {group, inner})
        l->setAnchorPoint({0, 0});
    group->setBounds(QRectF(0, 0, 1000, 1000));
    group->setPosition({-100, 0});
    inner->setBounds(QRectF(0, 0, 500, 500));
    inner->setPosition({50, 100});
    inner->setTransform(QTransform::fromScale(2, 2));
    host.root->addSublayer(group);
    group->addSublayer(inner);
    // The root shows (0..400, 0..300): in inner's units that is x 25..225, y -50..100.
    EXPECT_EQ(inner->visibleRect(), QRectF(25, 0, 200, 100));
    group->setMasksToBounds(true);
    group->setBounds(QRectF(0, 0, 300, 1000)); // now group cuts at x 200 of the root
    EXPECT_EQ(inner->visibleRect(), QRectF(25, 0, 100, 100));
    inner->setPosition({2000, 0});
    EXPECT_TRUE(inner->visibleRect().isEmpty());
}

TEST(Layer, PaintsContentsUprightAndSkipsHiddenLayers) {
    HostedRoot host(40, 20);
    QImage picture(2, 2, QImage::Format_ARGB32);
    picture.setPixelColor(0, 0, Qt::red); // first row: the top
    picture.setPixelColor(1, 0, Qt::green);
    picture.setPixelColor(0, 1, Qt::blue);
    picture.setPixelColor(1, 1, Qt::white);
    auto upright = std::make_shared<Layer>(), turned = std::make_shared<Layer>();
    for (auto& l : {upright, turned}) {
        l->setAnchorPoint({0, 0});
        l->setBounds(QRectF(0, 0, 10, 10));
        l->setMagnificationFilter(LayerFilter::Nearest);
        l->setContents(picture);
        host.root->addSublayer(l);
    }
    turned->setPosition({20, 0});
    turned->setTransform(QTransform(-1, 0, 0, -1, 10, 10)); // a half turn
    QImage out = renderTree(*host.root);
    EXPECT_EQ(pixelUp(out, 2, 7), QColor(Qt::red));
    EXPECT_EQ(pixelUp(out, 7, 7), QColor(Qt::green));
    EXPECT_EQ(pixelUp(out, 2, 2), QColor(Qt::blue));
    EXPECT_EQ(pixelUp(out, 22, 7), QColor(Qt::white));
    EXPECT_EQ(pixelUp(out, 27, 2), QColor(Qt::red));
    turned->setHidden(true);
    out = renderTree(*host.root);
    EXPECT_EQ(pixelUp(out, 27, 2), QColor(Qt::black));
    EXPECT_GT(*host.repaints, 0);
}

struct CountingLayer : Layer {
    int displays = 0;
    void display() override {
        ++displays;
        Layer::display();
    }
};

struct FillDelegate : LayerDelegate {
    void drawLayer(Layer& layer, QPainter& context) override {
        context.fillRect(QRectF(0, 0, layer.bounds().width() / 2, layer.bounds().height()), Qt::yellow);
    }
};

TEST(Layer, DisplaysOncePerPassOnTheMainQueueWhileHosted) {
    HostedRoot host(100, 100);
    auto layer = std::make_shared<CountingLayer>();
    FillDelegate delegate;
    layer->setBounds(QRectF(0, 0, 8, 4));
    layer->setContentsScale(2);
    layer->setDelegate(&delegate);
    host.root->addSublayer(layer);
    layer->setNeedsDisplay();
    layer->setNeedsDisplay();
    EXPECT_EQ(layer->displays, 0);
    ASSERT_TRUE(runMainUntil([&] { return layer->displays > 0; }));
    runMainFor(20ms);
    EXPECT_EQ(layer->displays, 1);
    // Drawn in the layer's own coordinates at twice the size: its left half is yellow.
    ASSERT_EQ(layer->contents().size(), QSize(16, 8));
    EXPECT_EQ(layer->contents().pixelColor(3, 3), QColor(Qt::yellow));
    EXPECT_EQ(layer->contents().pixelColor(12, 3).alpha(), 0);

    // Without a host nothing is displayed.
    auto orphan = std::make_shared<CountingLayer>();
    orphan->setNeedsDisplay();
    runMainFor(20ms);
    EXPECT_EQ(orphan->displays, 0);
}

} // namespace
