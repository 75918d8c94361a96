#pragma once
// Helpers of the display tests: a hosted layer tree, running the main queue while tiles
// arrive, and reading pixels.
#include <QImage>
#include <QPainter>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>

#include "display/Layer.h"
#include "platform/MainQueue.h"

// Readable failures.
inline void PrintTo(const QRectF& r, std::ostream* os) {
    *os << "(" << r.x() << ", " << r.y() << ", " << r.width() << " x " << r.height() << ")";
}
inline void PrintTo(const QPointF& p, std::ostream* os) { *os << "(" << p.x() << ", " << p.y() << ")"; }

namespace displaytest {

using namespace std::chrono_literals;

// A root layer the size of a view, with a host that counts repaint requests.
struct HostedRoot {
    std::shared_ptr<Layer> root = std::make_shared<Layer>();
    std::shared_ptr<int> repaints = std::make_shared<int>(0);

    HostedRoot(double width, double height) {
        root->setAnchorPoint({0, 0});
        root->setBounds(QRectF(0, 0, width, height));
        root->setMasksToBounds(true);
        root->setRepaintHandler([count = repaints] { ++*count; });
    }
};

// Runs the main queue until `done` holds; false after the timeout.
inline bool runMainUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s) {
    return platform::MainQueue::shared().runUntil(done, timeout);
}

// Runs the main queue for a while, for work that should not happen.
inline void runMainFor(std::chrono::milliseconds time) {
    platform::MainQueue::shared().runUntil([] { return false; }, time);
}

// The tree painted into an image of the root's size (y upwards, as the view paints it).
inline QImage renderTree(const Layer& root, QColor background = Qt::black) {
    QImage image(int(root.bounds().width()), int(root.bounds().height()),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    QPainter painter(&image);
    painter.translate(0, image.height());
    painter.scale(1, -1);
    root.render(painter);
    return image;
}

// A pixel of an image with y upwards.
inline QColor pixelUp(const QImage& image, int x, int y) {
    return image.pixelColor(x, image.height() - 1 - y);
}

} // namespace displaytest
