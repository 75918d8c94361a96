#include "display/CropLayerController.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "display/TiledLayer.h"

namespace {

const QColor kShade = QColor::fromRgbF(0, 0, 0, 0.7f);
const QColor kFrame = QColor::fromRgbF(1, 1, 1, 1);
const QColor kThirds = QColor::fromRgbF(0.9f, 0.9f, 0.9f, 0.7f);

QPen linePen(const QColor& color, float width) {
    QPen pen(color, width);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

} // namespace

std::unique_ptr<CropLayerController>
CropLayerController::create(bool readyToAdjust, const TiledLayer* imageLayer, LayerDelegate* delegate) {
    if (!imageLayer) return nullptr;
    std::unique_ptr<CropLayerController> controller(new CropLayerController(*imageLayer, delegate));
    controller->setupLayer();
    controller->setForAdjusting(readyToAdjust);
    return controller;
}

CropLayerController::CropLayerController(const TiledLayer& imageLayer, LayerDelegate* delegate)
    : levelsOfDetail_(imageLayer.levelsOfDetail()), levelsOfDetailBias_(imageLayer.levelsOfDetailBias()),
      tileSize_(imageLayer.tileSize()), ourDelegate_(delegate ? delegate : this) {}

CropLayerController::~CropLayerController() {
    if (ourLayer_) ourLayer_->setDelegate(nullptr);
}

void CropLayerController::setupLayer() {
    const QRectF kept = ourLayer_ ? ourLayer_->bounds() : QRectF();
    auto layer = std::make_shared<TiledLayer>();
    layer->setLevelsOfDetail(levelsOfDetail_);
    layer->setLevelsOfDetailBias(levelsOfDetailBias_);
    layer->setTileSize(tileSize_);
    layer->setMagnificationFilter(LayerFilter::Linear);
    layer->setMinificationFilter(LayerFilter::Linear);
    ourLayer_ = layer;
    ourLayer_->setBounds(kept);
    ourLayer_->setOpaque(false);
    ourLayer_->setDelegate(ourDelegate_);
    ourLayer_->setAnchorPoint({0, 0});
}

void CropLayerController::setSize(const QRectF& extent) {
    ourLayer_->setBounds(extent);
    ourLayer_->setOpaque(false);
    ourLayer_->setAnchorPoint({0, 0});
    ourLayer_->setNeedsDisplay();
}

void CropLayerController::setShowCropArea(bool show) { ourLayer_->setHidden(!show); }

bool CropLayerController::showCropArea() const { return !ourLayer_->isHidden(); }

void CropLayerController::setForAdjusting(bool adjust) {
    adjustable_ = adjust;
    ourLayer_->setNeedsDisplay();
}

void CropLayerController::drawLayer(Layer& layer, QPainter& context) {
    const float Hb = float(ourLayer_->bounds().height());
    const float x = float(cropArea_.x()), y = float(cropArea_.y());
    const float w = float(cropArea_.width()), h = float(cropArea_.height());
    // Whole pixels of the overlay layer, whose y axis runs upwards.
    const float X = std::floor(std::floor(x) + 0.5f);
    const float Y = std::floor(Hb - std::floor(y) - std::floor(h) + 0.5f);
    const float Wc = std::floor(std::floor(w) + 0.5f), Hc = std::floor(std::floor(h) + 0.5f);
    if (!(Wc > 1) || !(Hc > 1)) return; // no crop, or one too thin to show
    const QRectF crop(X, Y, Wc, Hc);
    context.save();
    context.setRenderHint(QPainter::Antialiasing);
    context.fillRect(layer.bounds(), kShade);
    context.setCompositionMode(QPainter::CompositionMode_Clear);
    context.fillRect(crop, Qt::transparent);
    context.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (adjustable_) drawAdjustingMarks(layer, context, crop);
    context.restore();
}

void CropLayerController::drawAdjustingMarks(Layer& layer, QPainter& context, const QRectF& crop) const {
    const QRectF b = ourLayer_->bounds();
    // 1.5 points on screen, never thinner than 2 image pixels.
    const double t = layer.rootLayer().convertRectFrom(QRectF(100, 100, 1, 1), &layer).width();
    const float lw = (t > 0 && std::isfinite(t)) ? std::max(1.5f / float(t), 2.0f) : 2.0f;
    const QRectF inside(lw, lw, b.width() - 2 * lw - 1, b.height() - 2 * lw - 1);
    const QRectF kept = crop.intersected(inside);
    if (kept.isEmpty()) return;
    const QRectF frame = kept.adjusted(-lw / 2, -lw / 2, lw / 2, lw / 2);
    context.setBrush(Qt::NoBrush);
    context.setPen(linePen(kFrame, lw));
    context.drawRect(frame);

    const float X = float(frame.x()), Y = float(frame.y()), W = float(frame.width()),
                H = float(frame.height());
    context.setPen(linePen(kThirds, lw / 2));
    drawLine(context, X + 0.33f * W, Y, 0, H);
    drawLine(context, X + 0.67f * W, Y, 0, H);
    drawLine(context, X, Y + 0.33f * H, W, 0);
    drawLine(context, X, Y + 0.67f * H, W, 0);

    const QRectF marks = frame.adjusted(-lw, -lw, lw, lw);
    const float mx = float(marks.x()), my = float(marks.y()), mw = float(marks.width()),
                mh = float(marks.height());
    const float c = 0.15f * std::min(mw, mh);
    context.setPen(linePen(kFrame, lw));
    drawCorner(context, mx, my, c, c);
    drawCorner(context, mx + mw, my, -c, c);
    drawCorner(context, mx, my + mh, c, -c);
    drawCorner(context, mx + mw, my + mh, -c, -c);
}

void CropLayerController::drawLine(QPainter& context, float x, float y, float dx, float dy) {
    context.drawLine(QPointF(x, y), QPointF(x + dx, y + dy));
}

void CropLayerController::drawCorner(QPainter& context, float x, float y, float dx, float dy) {
    QPainterPath path;
    path.moveTo(x + dx, y);
    path.lineTo(x, y);
    path.lineTo(x, y + dy);
    context.drawPath(path);
}
