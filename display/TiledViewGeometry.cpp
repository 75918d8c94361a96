#include "display/TiledViewGeometry.h"

#include <algorithm>
#include <cmath>

#include "display/CropLayerController.h"
#include "display/TiledLayer.h"
#include "engine/core/TiledEngine.h"
#include "platform/Log.h"

namespace {

// Zoom-in levels above actual size are whole device pixels per image pixel, up to 8.
constexpr double kLargestFactor = 8;
// Below this the layers' transforms come close to singular.
constexpr double kSmallestFactor = 1.0 / 64;
constexpr double kMinimumCropSide = 100; // image pixels, for drags
constexpr double kHotSpotSide = 100;     // points
constexpr double kWheelStep = 20;        // points per unit of scroll delta

bool isTurnable(int32_t code) { return code <= 1 || code == 3 || code == 6 || code == 8; }

// A layer point is turned about the origin, moved back into the positive quadrant, then scaled.
QTransform orientationTransform(int32_t code, double W, double H) {
    switch (code) {
    case 3:
        return QTransform(-1, 0, 0, -1, W, H);
    case 6:
        return QTransform(0, -1, 1, 0, 0, W);
    case 8:
        return QTransform(0, 1, -1, 0, H, 0);
    default:
        return QTransform();
    }
}

// Whole pixels, rounded up in single precision.
QRectF roundedUp(const QRectF& r) {
    return QRectF(std::ceil(float(r.x())), std::ceil(float(r.y())), std::ceil(float(r.width())),
                  std::ceil(float(r.height())));
}

bool containsHalfOpen(const QRectF& r, QPointF p) {
    return p.x() >= r.x() && p.x() < r.x() + r.width() && p.y() >= r.y() && p.y() < r.y() + r.height();
}

// One axis of a crop drag: the near edge (left, top) moves and the far one stays, or the
// far edge moves; the side stays at least the minimum.
void dragCropAxis(double& origin, double& side, double delta, bool nearEdge, bool farEdge) {
    if (nearEdge) {
        const double moved = float(std::max(side + delta, kMinimumCropSide));
        origin += side - moved;
        side = moved;
    } else if (farEdge) {
        side = float(std::max(side - delta, kMinimumCropSide));
    }
}

QRectF hotSpot(double x, double y) {
    return QRectF(x - kHotSpotSide / 2, y - kHotSpotSide / 2, kHotSpotSide, kHotSpotSide);
}

} // namespace

TiledViewGeometry::TiledViewGeometry() : viewLayer_(std::make_shared<Layer>()) {
    viewLayer_->setAnchorPoint({0, 0});
    viewLayer_->setMasksToBounds(true);
    viewLayer_->setBackgroundColor(Qt::black);
    viewDidChangeBackingProperties();
}

TiledViewGeometry::~TiledViewGeometry() {
    // The layers may outlive the view in queued work; they must not draw through it.
    if (tiledLayer_) tiledLayer_->setDelegate(nullptr);
    if (cropLayerCntrl_) cropLayerCntrl_->ourLayer()->setDelegate(nullptr);
    cropLayerCntrl_.reset();
}

void TiledViewGeometry::setViewSize(QSizeF size) {
    viewLayer_->setBounds(QRectF(QPointF(0, 0), size));
    if (tiledLayer_) updateLayerPosition();
}

void TiledViewGeometry::setBackingScale(double scale) {
    if (!(scale > 0) || scale == backingScale_) return;
    backingScale_ = scale;
    viewDidChangeBackingProperties();
}

void TiledViewGeometry::viewDidChangeBackingProperties() {
    viewLayer_->setContentsScale(backingScale_);
    if (tiledLayer_) tiledLayer_->setContentsScale(backingScale_);
    if (cropLayerCntrl_) cropLayerCntrl_->ourLayer()->setContentsScale(backingScale_);
}

bool TiledViewGeometry::setImage(std::shared_ptr<TiledEngine> image, int32_t orientation, int32_t) {
    if (!image) return tiledLayer_ != nullptr;
    const platform::Rect extent = image->extent();
    imageSize_ = QRectF(extent.x, extent.y, extent.width, extent.height);
    layerForImage(std::move(image));
    setOrientation(orientation);
    if (noScaleYet_) setScaleFactorToFit();
    cropLayerCntrl_->setSize(imageSize_);
    return tiledLayer_ != nullptr;
}

const std::shared_ptr<TiledLayer>& TiledViewGeometry::layerForImage(std::shared_ptr<TiledEngine> image) {
    if (!tiledLayer_) {
        tiledLayer_ = std::make_shared<TiledLayer>();
        tiledLayer_->setUseTiledEngine(true);
        tiledLayer_->setFrame(bounds());
        tiledLayer_->setBounds(imageSize_);
        tiledLayer_->setOpaque(false);
        tiledLayer_->setDelegate(this);
        tiledLayer_->setContentsScale(viewLayer_->contentsScale());
        tiledLayer_->setAnchorPoint({0, 0});
        viewLayer_->addSublayer(tiledLayer_);
        tiledLayer_->setNeedsDisplay();
    }
    tiledLayer_->setImage(std::move(image));
    if (!cropLayerCntrl_) {
        cropLayerCntrl_ = CropLayerController::create(false, tiledLayer_.get(), this);
        const auto& overlay = cropLayerCntrl_->ourLayer();
        overlay->setFrame(bounds());
        viewLayer_->insertSublayerAbove(overlay, tiledLayer_.get());
        cropLayerCntrl_->setCropArea(savedCropRect_);
        cropLayerCntrl_->setShowCropArea(true);
        overlay->setContentsScale(viewLayer_->contentsScale());
    }
    return tiledLayer_;
}

double TiledViewGeometry::pixelScaleFactor() const {
    if (!tiledLayer_) return 1.0;
    const QTransform& t = tiledLayer_->transform();
    return backingScale_ * std::max(std::abs(t.m11()), std::abs(t.m12()));
}

void TiledViewGeometry::setPixelScaleFactor(double f) {
    if (f < 0 || !std::isfinite(f))
        f = pixelScaleFactor();
    else if (f > 1)
        f = std::min(std::trunc(f + 0.99), kLargestFactor);
    f = std::max(f, kSmallestFactor);
    const double s = float(f / backingScale_);
    QTransform t = QTransform::fromScale(s, s);
    if (!isTurnable(imageOrientation_))
        LV_LOG("Invalid image rotate %i in %s", imageOrientation_, "-[TiledImageView setPixelScaleFactor:]");
    else
        t = orientationTransform(imageOrientation_, imageSize_.width(), imageSize_.height()) * t;
    if (tiledLayer_) tiledLayer_->setTransform(t);
    if (cropLayerCntrl_) cropLayerCntrl_->ourLayer()->setTransform(t);
    updateLayerPosition();
}

void TiledViewGeometry::setScaleFactorToFit() {
    imageCenter_i_ = {imageSize_.width() * 0.5, imageSize_.height() * 0.5};
    double bw = bounds().width() * backingScale_, bh = bounds().height() * backingScale_;
    if (imageOrientation_ == 6 || imageOrientation_ == 8)
        std::swap(bw, bh);
    else if (!isTurnable(imageOrientation_))
        LV_LOG("Invalid image rotate %i in %s", imageOrientation_, "-[TiledImageView setScaleFactorToFit]");
    if (!(bw > 0 && bh > 0 && imageSize_.width() > 0 && imageSize_.height() > 0)) {
        // Nothing to fit into (a hidden view): the zoom stays, and the next image fits.
        setPixelScaleFactor(-1);
        return;
    }
    noScaleYet_ = false;
    const float f = std::min(float(bw) / float(imageSize_.width()), float(bh) / float(imageSize_.height()));
    setPixelScaleFactor(std::min(f, 1.0f));
}

void TiledViewGeometry::setOrientation(int32_t code) {
    if (tiledLayer_) tiledLayer_->setNeedsDisplay();
    if (cropLayerCntrl_) cropLayerCntrl_->ourLayer()->setNeedsDisplay();
    imageOrientation_ = code;
    setPixelScaleFactor(-1);
}

QPointF TiledViewGeometry::viewPointFromImagePoint(QPointF p) const {
    if (!tiledLayer_) return p;
    return viewLayer_->convertPointFrom(QPointF(p.x(), imageSize_.height() - p.y()), tiledLayer_.get());
}

QRectF TiledViewGeometry::viewRectFromImageRect(const QRectF& r) const {
    if (!tiledLayer_) return r;
    const QRectF layerRect(r.x(), imageSize_.height() - r.y() - r.height(), r.width(), r.height());
    return viewLayer_->convertRectFrom(layerRect, tiledLayer_.get());
}

QPointF TiledViewGeometry::viewPointToUnflippedImage(QPointF p, bool clipToImage) const {
    if (!tiledLayer_) return p;
    const QPointF layerPoint = tiledLayer_->convertPointFrom(p, viewLayer_.get());
    if (clipToImage && !containsHalfOpen(imageSize_, layerPoint)) return {-1, -1};
    return {layerPoint.x(), imageSize_.height() - layerPoint.y()};
}

QRectF TiledViewGeometry::viewRectToUnflippedImage(const QRectF& r) const {
    if (!tiledLayer_) return r;
    const QRectF inLayer = tiledLayer_->convertRectFrom(r, viewLayer_.get()).intersected(imageSize_);
    if (inLayer.isNull()) return {};
    return {inLayer.x(), imageSize_.height() - inLayer.y() - inLayer.height(), inLayer.width(),
            inLayer.height()};
}

QRectF TiledViewGeometry::displayedImageRect() const { return viewRectToUnflippedImage(bounds()); }

platform::Rect TiledViewGeometry::activeTiledRect() const {
    if (!tiledLayer_) return platform::Rect::null();
    const QRectF a = tiledLayer_->activeTileArea();
    if (a.isNull()) return platform::Rect::null();
    return {a.x(), imageSize_.height() - a.height() - a.y(), a.width(), a.height()};
}

QRectF TiledViewGeometry::activeArea() const {
    if (!tiledLayer_) return {};
    return tiledLayer_->convertRectFrom(viewLayer_->visibleRect(), viewLayer_.get())
        .intersected(tiledLayer_->bounds());
}

QPointF TiledViewGeometry::getPixelUnrotatedLocation() const {
    if (!cursorIsInView_) return {-1, -1};
    return viewPointToUnflippedImage(currentCursorLocation_, true);
}

void TiledViewGeometry::setCursorTrackingMode(uint64_t mode) {
    trackingMode_ = mode;
    if (!cropLayerCntrl_) return;
    if (mode == kCropMode && cropLayerCntrl_->cropArea().width() < 0) {
        // A first crop: half the visible part of the image, centred in it.
        const QRectF shown = displayedImageRect();
        if (!shown.isEmpty()) {
            const QRectF crop = clampCropToImage(
                roundedUp(QRectF(shown.x() + shown.width() / 4, shown.y() + shown.height() / 4,
                                 shown.width() / 2, shown.height() / 2)));
            cropLayerCntrl_->setShowCropArea(true);
            setCropRect(crop);
            if (eyeDropperDelegate_) eyeDropperDelegate_->cropRectChanged(crop);
        }
    }
    if ((mode == kCropMode) != cropLayerCntrl_->areAdjusting())
        cropLayerCntrl_->setForAdjusting(mode == kCropMode);
    cursorRectsChanged();
}

void TiledViewGeometry::setCropRect(const QRectF& imageRect) {
    savedCropRect_ = imageRect;
    if (!cropLayerCntrl_) return;
    cropLayerCntrl_->setCropArea(imageRect);
    updateLayerPosition();
    cropLayerCntrl_->ourLayer()->setNeedsDisplay();
}

void TiledViewGeometry::panImage(QPointF from, QPointF to) {
    const QPointF a = viewPointToUnflippedImage(from, false), b = viewPointToUnflippedImage(to, false);
    QPointF c = imageCenter_i_ + (a - b);
    c.setX(std::max(0.0, std::min(c.x(), imageSize_.width() - 1)));
    c.setY(std::max(0.0, std::min(c.y(), imageSize_.height() - 1)));
    imageCenter_i_ = c;
    updateLayerPosition();
}

void TiledViewGeometry::moveCrop(QPointF from, QPointF to) {
    if (!cropLayerCntrl_) return;
    const QPointF a = viewPointToUnflippedImage(from, false), b = viewPointToUnflippedImage(to, false);
    const double dx = float(a.x() - b.x()), dy = a.y() - b.y();
    const QRectF r = cropLayerCntrl_->cropArea();
    double x = r.x(), y = r.y(), w = r.width(), h = r.height();
    dragCropAxis(x, w, dx, dragLeftCrop_, dragRightCrop_);
    dragCropAxis(y, h, dy, dragTopCrop_, dragBottomCrop_);
    cropLayerCntrl_->setCropArea(clampCropToImage(QRectF(x, y, w, h)));
    cropLayerCntrl_->ourLayer()->setNeedsDisplay();
}

QRectF TiledViewGeometry::clampCropToImage(QRectF r) const {
    if (r.x() < 0) r = QRectF(0, r.y(), r.width() + r.x(), r.height());
    if (r.y() < 0) r = QRectF(r.x(), 0, r.width(), r.height() + r.y());
    if (r.x() + r.width() > imageSize_.width()) r.setWidth(imageSize_.width() - r.x());
    if (r.y() + r.height() > imageSize_.height()) r.setHeight(imageSize_.height() - r.y());
    return r;
}

void TiledViewGeometry::chooseCropEdges(QPointF point) {
    const QPointF p = viewPointToUnflippedImage(point, false);
    const QRectF r = cropLayerCntrl_ ? cropLayerCntrl_->cropArea() : savedCropRect_;
    dragLeftCrop_ = std::abs(r.x() - p.x()) <= std::abs(r.x() + r.width() - p.x());
    dragRightCrop_ = !dragLeftCrop_;
    dragTopCrop_ = std::abs(r.y() - p.y()) <= std::abs(r.y() + r.height() - p.y());
    dragBottomCrop_ = !dragTopCrop_;
}

void TiledViewGeometry::mouseDown(QPointF point, bool optionKey) {
    tracking_ = !optionKey;
    if (!tracking_) return;
    dragged_ = false;
    lastDragPoint_ = point;
    if (trackingMode_ == kCropMode) chooseCropEdges(point);
}

void TiledViewGeometry::mouseDragged(QPointF point) {
    if (!tracking_) return;
    if (trackingMode_ == kCropMode)
        moveCrop(lastDragPoint_, point);
    else
        panImage(lastDragPoint_, point);
    lastDragPoint_ = point;
    dragged_ = true;
}

void TiledViewGeometry::mouseUp(QPointF point) {
    if (!tracking_) return;
    tracking_ = false;
    if (!dragged_ && trackingMode_ == kEyedropperMode) {
        if (eyeDropperDelegate_)
            eyeDropperDelegate_->eyedropperWasClicked(*this, viewPointToUnflippedImage(point, false));
    } else if (dragged_ && trackingMode_ == kCropMode && cropLayerCntrl_) {
        // Rounded up first, then kept inside: rounding up after the clamp could reach one
        // pixel past the right or bottom edge.
        const QRectF crop = clampCropToImage(roundedUp(cropLayerCntrl_->cropArea()));
        cropLayerCntrl_->setCropArea(crop);
        updateLayerPosition();
        if (eyeDropperDelegate_) eyeDropperDelegate_->cropRectChanged(crop);
    }
}

void TiledViewGeometry::scrollWheel(double deltaX, double deltaY) {
    const QPointF c = bounds().center();
    panImage(c, QPointF(c.x() + kWheelStep * deltaX, c.y() - kWheelStep * deltaY));
}

void TiledViewGeometry::mouseEntered() { cursorIsInView_ = true; }

void TiledViewGeometry::mouseMoved(QPointF point) { currentCursorLocation_ = point; }

void TiledViewGeometry::mouseExited() { cursorIsInView_ = false; }

QRectF TiledViewGeometry::insetBounds() const {
    QRectF inset = bounds();
    inset.setWidth(inset.width() - 3);
    return inset;
}

ViewCursor TiledViewGeometry::cursorAt(QPointF point) const {
    if (!containsHalfOpen(bounds(), point)) return ViewCursor::Arrow;
    if (trackingMode_ == kCropMode && cropLayerCntrl_ && cropLayerCntrl_->cropArea().x() > -0.1) {
        const QRectF c = cropPort_v_;
        // Later regions win, as they were added last.
        const std::pair<QRectF, ViewCursor> corners[] = {
            {hotSpot(c.x() + c.width(), c.y()), ViewCursor::NWSE},
            {hotSpot(c.x(), c.y() + c.height()), ViewCursor::NWSE},
            {hotSpot(c.x() + c.width(), c.y() + c.height()), ViewCursor::NESW},
            {hotSpot(c.x(), c.y()), ViewCursor::NESW},
        };
        for (const auto& [area, cursor] : corners)
            if (containsHalfOpen(area, point)) return cursor;
    }
    if (!containsHalfOpen(insetBounds(), point)) return ViewCursor::Arrow;
    switch (trackingMode_) {
    case kCropMode:
        return ViewCursor::Crosshair;
    case kEyedropperMode:
        return ViewCursor::Eyedropper;
    default:
        return ViewCursor::Arrow;
    }
}

void TiledViewGeometry::drawLayer(Layer& layer, QPainter& context) {
    if (cropLayerCntrl_) cropLayerCntrl_->drawLayer(layer, context);
}

void TiledViewGeometry::updateLayerPosition() {
    if (!tiledLayer_) return;
    const QPointF p = viewPointFromImagePoint(imageCenter_i_);
    const QRectF b = bounds();
    const QPointF position(b.width() * 0.5 + tiledLayer_->position().x() - p.x(),
                           b.height() * 0.5 + tiledLayer_->position().y() - p.y());
    tiledLayer_->setPosition(position);
    if (cropLayerCntrl_) {
        cropLayerCntrl_->ourLayer()->setPosition(position);
        const QRectF port = viewRectFromImageRect(cropLayerCntrl_->cropArea());
        if (port != cropPort_v_) {
            cropPort_v_ = port;
            cursorRectsChanged();
        }
    }
    markLocationChanged();
}

void TiledViewGeometry::markLocationChanged() {
    if (cropLayerCntrl_) cropLayerCntrl_->ourLayer()->setNeedsDisplay();
    if (tiledLayer_) tiledLayer_->setNeedsDisplay();
}

void TiledViewGeometry::cursorRectsChanged() {
    if (cursorRectsChanged_) cursorRectsChanged_();
}
