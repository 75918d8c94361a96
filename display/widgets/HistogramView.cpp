#include "display/widgets/HistogramView.h"

#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <mutex>

#include "engine/core/HistogramBuilder.h"
#include "engine/core/QueueEngine.h"
#include "platform/Log.h"
#include "platform/MainQueue.h"

// What the view shares with its background task. The task holds it weakly between rounds, so a
// view closed meanwhile ends the task at the next round.
struct HistogramView::State {
    std::mutex monitor;
    std::shared_ptr<ImageBuffer> theImage;
    QImage theCGImage;
    bool isRunning = false;
    bool isDirty = false;
    bool viewGone = false;
    platform::Size outputSize;
    BuildHook hook;
    HistogramView* view = nullptr; // touched on the main thread only
};

HistogramView::HistogramView(QWidget* parent) : QWidget(parent), state_(std::make_shared<State>()) {
    state_->view = this;
    setAttribute(Qt::WA_OpaquePaintEvent);
}

HistogramView::~HistogramView() {
    std::lock_guard lock(state_->monitor);
    state_->viewGone = true;
    state_->view = nullptr;
}

// isRunning is set here, when the task is queued, so a second image cannot queue a second task
// before the first has started.
void HistogramView::setImage(std::shared_ptr<ImageBuffer> image) {
    bool start = false;
    {
        std::lock_guard lock(state_->monitor);
        state_->theImage = image;
        state_->isDirty = true;
        if (image && !state_->isRunning) {
            start = true;
            state_->isRunning = true;
            state_->outputSize = deviceOutputSize();
        }
    }
    if (start)
        QueueEngine::sharedQueueEngine().sharedQueue().async(
            [weak = std::weak_ptr<State>(state_)] { backgroundTask(weak); });
}

std::shared_ptr<ImageBuffer> HistogramView::theImage() const {
    std::lock_guard lock(state_->monitor);
    return state_->theImage;
}

QImage HistogramView::histogramImage() const {
    std::lock_guard lock(state_->monitor);
    return state_->theCGImage;
}

bool HistogramView::isRunning() const {
    std::lock_guard lock(state_->monitor);
    return state_->isRunning;
}

platform::Size HistogramView::outputSize() const {
    std::lock_guard lock(state_->monitor);
    return state_->outputSize;
}

platform::Size HistogramView::deviceOutputSize() const {
    const double ratio = devicePixelRatioF();
    return {width() * ratio - 2, height() * ratio - 2};
}

void HistogramView::setBuildHook(BuildHook hook) {
    std::lock_guard lock(state_->monitor);
    state_->hook = std::move(hook);
}

// The last test of isDirty and the clearing of isRunning are one step: an image arriving in
// between would otherwise be left undrawn.
void HistogramView::backgroundTask(std::weak_ptr<State> weak) {
    for (;;) {
        const std::shared_ptr<State> state = weak.lock();
        if (!state) return;
        {
            std::lock_guard lock(state->monitor);
            if (!state->isDirty || state->viewGone) {
                state->isRunning = false;
                break;
            }
            state->isDirty = false;
        }
        buildHistogramImage(*state);
    }
    platform::MainQueue::shared().async([weak] {
        if (const auto state = weak.lock(); state && state->view) state->view->updateDone();
    });
}

void HistogramView::buildHistogramImage(State& state) {
    std::shared_ptr<ImageBuffer> image;
    std::unique_ptr<HistogramBuilder> builder;
    platform::Size size;
    BuildHook hook;
    {
        std::lock_guard lock(state.monitor);
        if (!state.theImage) return;
        image = state.theImage;
        size = state.outputSize;
        hook = state.hook;
    }
    // Copied outside the monitor: the copy's conversion spreads over the pool, and the
    // window reads the monitor meanwhile.
    builder = HistogramBuilder::create(*image);
    if (!builder) return;
    if (hook) hook(*image);
    builder->setOutputSize(size);
    QImage bitmap;
    try {
        bitmap = createRenderedImage(builder->getOutputImage().get());
    } catch (const std::exception& e) {
        LV_LOG("%s Error: %s", __PRETTY_FUNCTION__, e.what());
    }
    if (bitmap.isNull()) return;
    std::lock_guard lock(state.monitor);
    state.theCGImage = std::move(bitmap);
    if (!state.isDirty) state.theImage.reset();
}

QImage HistogramView::createRenderedImage(const ImageBufferU16* histogram) {
    if (!histogram || histogram->imageWidth() == 0 || histogram->imageHeight() == 0) return {};
    const QImage wide(reinterpret_cast<const uchar*>(histogram->bufferU16ForRow(0)), histogram->imageWidth(),
                      histogram->imageHeight(), qsizetype(histogram->rowStepInBytes()),
                      QImage::Format_RGBX64);
    return wide.convertToFormat(QImage::Format_RGB32); // a deep copy: the buffer may go
}

void HistogramView::updateDone() { update(); }

void HistogramView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!painter.isActive()) {
        LV_LOG("Warning - CGContextRef: %s", __PRETTY_FUNCTION__);
        return;
    }
    painter.fillRect(rect(), palette().color(QPalette::Mid));
    const QImage histogram = histogramImage();
    if (!histogram.isNull()) painter.drawImage(QRectF(rect()).adjusted(1, 1, -1, -1), histogram);
}

void HistogramView::drawCIImage(QPainter& painter, const QImage& image) const {
    painter.drawImage(QRectF(rect()), image, QRectF(image.rect()));
}

QTransform HistogramView::imageTransformToFitView(const QSizeF& imageSize) const {
    const QRectF inside = QRectF(rect()).adjusted(10, 10, -10, -10);
    if (imageSize.isEmpty() || inside.isEmpty()) return {};
    const double scale = std::min(inside.width() / imageSize.width(), inside.height() / imageSize.height());
    return QTransform::fromTranslate(inside.x(), inside.y()).scale(scale, scale);
}

void HistogramView::dumpCGImageInfo(const QImage& image) {
    std::printf("Alpha %d ", int(image.hasAlphaChannel()));
    std::printf("bitsPerPixel %ld \n", long(image.depth()));
    std::printf("Image size: %zd %zd \n", ssize_t(image.width()), ssize_t(image.height()));
}
