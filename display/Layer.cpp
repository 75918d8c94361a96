#include "display/Layer.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "platform/MainQueue.h"

Layer::~Layer() {
    for (auto& sublayer : sublayers_)
        sublayer->superlayer_ = nullptr;
}

void Layer::setBounds(const QRectF& bounds) {
    bounds_ = bounds;
    changed();
}

void Layer::setPosition(QPointF position) {
    position_ = position;
    changed();
}

void Layer::setAnchorPoint(QPointF anchor) {
    anchorPoint_ = anchor;
    changed();
}

void Layer::setTransform(const QTransform& transform) {
    transform_ = transform;
    changed();
}

QRectF Layer::frame() const { return toSuperlayer().mapRect(bounds_); }

void Layer::setFrame(const QRectF& frame) {
    position_ = {frame.x() + anchorPoint_.x() * frame.width(), frame.y() + anchorPoint_.y() * frame.height()};
    bounds_.setSize(frame.size());
    changed();
}

QTransform Layer::toSuperlayer() const {
    const QPointF anchor{bounds_.x() + anchorPoint_.x() * bounds_.width(),
                         bounds_.y() + anchorPoint_.y() * bounds_.height()};
    return QTransform::fromTranslate(-anchor.x(), -anchor.y()) * transform_ *
           QTransform::fromTranslate(position_.x(), position_.y());
}

QTransform Layer::toRoot() const {
    QTransform m;
    for (const Layer* layer = this; layer->superlayer_; layer = layer->superlayer_)
        m = m * layer->toSuperlayer();
    return m;
}

QPointF Layer::convertPointFrom(QPointF point, const Layer* from) const {
    if (from == this) return point;
    const QTransform fromRoot = from ? from->toRoot() : QTransform();
    return (fromRoot * toRoot().inverted()).map(point);
}

QPointF Layer::convertPointTo(QPointF point, const Layer* to) const {
    if (to == this) return point;
    const QTransform toRootOfTo = to ? to->toRoot() : QTransform();
    return (toRoot() * toRootOfTo.inverted()).map(point);
}

QRectF Layer::convertRectFrom(const QRectF& rect, const Layer* from) const {
    if (from == this) return rect;
    const QTransform fromRoot = from ? from->toRoot() : QTransform();
    return (fromRoot * toRoot().inverted()).mapRect(rect);
}

QRectF Layer::convertRectTo(const QRectF& rect, const Layer* to) const {
    if (to == this) return rect;
    const QTransform toRootOfTo = to ? to->toRoot() : QTransform();
    return (toRoot() * toRootOfTo.inverted()).mapRect(rect);
}

QRectF Layer::visibleRect() const {
    QRectF visible = bounds_;
    for (const Layer* a = superlayer_; a && !visible.isNull(); a = a->superlayer_)
        if (a->masksToBounds_ || !a->superlayer_)
            visible = visible.intersected(convertRectFrom(a->bounds_, a));
    return visible;
}

void Layer::setHidden(bool hidden) {
    if (hidden_ == hidden) return;
    hidden_ = hidden;
    if (!hidden_) scheduleDisplayPass();
    changed();
}

void Layer::setMasksToBounds(bool masks) {
    masksToBounds_ = masks;
    changed();
}

void Layer::setBackgroundColor(const QColor& color) {
    backgroundColor_ = color;
    changed();
}

void Layer::setContentsScale(double scale) {
    contentsScale_ = scale;
    changed();
}

void Layer::setContents(QImage contents) {
    contents_ = std::move(contents);
    changed();
}

void Layer::setMagnificationFilter(LayerFilter filter) {
    magnificationFilter_ = filter;
    changed();
}

void Layer::setMinificationFilter(LayerFilter filter) {
    minificationFilter_ = filter;
    changed();
}

void Layer::addSublayer(std::shared_ptr<Layer> layer) { insertSublayerAbove(std::move(layer), nullptr); }

void Layer::insertSublayerAbove(std::shared_ptr<Layer> layer, const Layer* sibling) {
    if (!layer || layer.get() == this) return;
    layer->removeFromSuperlayer();
    auto at = std::find_if(sublayers_.begin(), sublayers_.end(), [&](auto& s) { return s.get() == sibling; });
    sublayers_.insert(at == sublayers_.end() ? at : at + 1, layer);
    layer->superlayer_ = this;
    scheduleDisplayPass(); // the new subtree may hold layers that asked for display
    changed();
}

void Layer::removeFromSuperlayer() {
    Layer* super = superlayer_;
    if (!super) return;
    auto self = shared_from_this(); // the superlayer's reference may be the last one
    auto& list = super->sublayers_;
    list.erase(std::remove(list.begin(), list.end(), self), list.end());
    superlayer_ = nullptr;
    super->changed();
}

void Layer::removeAllSublayers() {
    if (sublayers_.empty()) return;
    for (auto& sublayer : sublayers_)
        sublayer->superlayer_ = nullptr;
    sublayers_.clear();
    changed();
}

Layer& Layer::rootLayer() {
    Layer* layer = this;
    while (layer->superlayer_)
        layer = layer->superlayer_;
    return *layer;
}

const Layer& Layer::rootLayer() const { return const_cast<Layer*>(this)->rootLayer(); }

void Layer::setNeedsDisplay() {
    needsDisplay_ = true;
    scheduleDisplayPass();
}

void Layer::scheduleDisplayPass() {
    Layer& root = rootLayer();
    if (!root.repaint_ || root.passScheduled_) return;
    root.passScheduled_ = true;
    platform::MainQueue::shared().async([weak = root.weak_from_this()] {
        if (auto layer = weak.lock()) {
            layer->passScheduled_ = false;
            layer->displayIfNeeded();
        }
    });
}

void Layer::display() {
    const QSize pixels(int(std::lround(bounds_.width() * contentsScale_)),
                       int(std::lround(bounds_.height() * contentsScale_)));
    if (bounds_.isEmpty() || pixels.isEmpty()) {
        setContents({});
        return;
    }
    QImage backing(pixels, QImage::Format_ARGB32_Premultiplied);
    backing.fill(Qt::transparent);
    {
        QPainter painter(&backing);
        const double sx = pixels.width() / bounds_.width(), sy = pixels.height() / bounds_.height();
        painter.setTransform(
            QTransform(sx, 0, 0, -sy, -bounds_.x() * sx, (bounds_.y() + bounds_.height()) * sy));
        drawInContext(painter);
    }
    setContents(std::move(backing));
}

void Layer::drawInContext(QPainter& context) {
    if (delegate_) delegate_->drawLayer(*this, context);
}

void Layer::displayIfNeeded() {
    if (hidden_) return;
    if (needsDisplay_) {
        needsDisplay_ = false;
        display();
    }
    // Displaying may change the list (a tiled layer rebuilds its tiles).
    const auto sublayers = sublayers_;
    for (auto& sublayer : sublayers)
        sublayer->displayIfNeeded();
}

void Layer::setRepaintHandler(std::function<void()> handler) {
    repaint_ = std::move(handler);
    if (repaint_) scheduleDisplayPass();
}

void Layer::changed() {
    const Layer& root = rootLayer();
    if (root.repaint_) root.repaint_();
}

void Layer::render(QPainter& painter) const {
    // Most tiles of a large image are empty: leave them before any painter state changes.
    if (hidden_ || (contents_.isNull() && sublayers_.empty() && backgroundColor_.alpha() == 0)) return;
    painter.save();
    painter.setTransform(toSuperlayer(), true);
    if (masksToBounds_) painter.setClipRect(bounds_, Qt::IntersectClip);
    if (backgroundColor_.alpha() != 0) painter.fillRect(bounds_, backgroundColor_);
    if (!contents_.isNull()) drawContents(painter);
    for (auto& sublayer : sublayers_)
        sublayer->render(painter);
    painter.restore();
}

void Layer::drawContents(QPainter& painter) const {
    const QImage& image = contents_;
    // Image pixels run downwards from the top edge of the bounds.
    const QTransform imageToLayer(bounds_.width() / image.width(), 0, 0, -bounds_.height() / image.height(),
                                  bounds_.x(), bounds_.y() + bounds_.height());
    const QTransform toDevice = imageToLayer * painter.worldTransform();
    const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const double pixelsPerPixel = std::sqrt(std::abs(toDevice.determinant())) * ratio;
    LayerFilter filter = pixelsPerPixel > 1 ? magnificationFilter_ : minificationFilter_;
    // Within half a pixel of its own size (a tile a hair narrower than its image) it is
    // shown 1:1, unfiltered.
    if (std::abs(pixelsPerPixel - 1) * std::max(image.width(), image.height()) < 0.5)
        filter = LayerFilter::Nearest;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, filter != LayerFilter::Nearest);
    if (toDevice.type() <= QTransform::TxScale && toDevice.m11() > 0 && toDevice.m22() > 0) {
        // Upright and unturned: a plain (scaled) copy, Qt's fast path.
        painter.setWorldTransform(QTransform());
        painter.drawImage(toDevice.mapRect(QRectF(image.rect())), image);
    } else {
        painter.setWorldTransform(toDevice);
        painter.drawImage(QPointF(0, 0), image);
    }
    painter.restore();
}
