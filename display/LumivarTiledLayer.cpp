#include "display/LumivarTiledLayer.h"

#include <chrono>
#include <cmath>

#include "display/DelayedDispatch.h"
#include "display/DisplayImage.h"
#include "engine/core/BitmapImage.h"
#include "engine/core/TiledEngine.h"
#include "platform/Log.h"
#include "platform/MainQueue.h"

namespace {

constexpr double kTileSize = 256; // device pixels
constexpr int32_t kLowestLevel = -60;

// A tile draw in progress for the length of a scope.
class TileDraw {
  public:
    explicit TileDraw(LumivarTiledLayer& layer) : layer_(layer) { layer_.startTileDraw(); }
    ~TileDraw() { layer_.endTileDraw(); }
    TileDraw(const TileDraw&) = delete;
    TileDraw& operator=(const TileDraw&) = delete;

  private:
    LumivarTiledLayer& layer_;
};

} // namespace

LumivarTiledLayer::LumivarTiledLayer() = default;
LumivarTiledLayer::~LumivarTiledLayer() = default;

void LumivarTiledLayer::setImage(std::shared_ptr<TiledEngine> image) {
    theImage_ = std::move(image);
    if (theImage_) {
        const platform::Rect extent = theImage_->extent();
        setBounds(QRectF(extent.x, extent.y, extent.width, extent.height));
    }
    setOpaque(true);
    setAnchorPoint({0, 0});
    setMagnificationFilter(LayerFilter::Nearest);
    setMinificationFilter(LayerFilter::Nearest);
    dispatchAfter(std::chrono::seconds(1), platform::MainQueue::shared(),
                  [weak = std::weak_ptr<Layer>(shared_from_this())] {
                      if (auto layer = weak.lock()) static_cast<LumivarTiledLayer&>(*layer).updateTimeout();
                  });
    setNeedsDisplay();
}

void LumivarTiledLayer::updateTimeout() {
    std::lock_guard guard(lock_);
    if (tiledLayerDelegate_) tiledLayerDelegate_->LumivarTiledLayerHasUpdated(*this);
}

LumivarTiledLayerDelegate* LumivarTiledLayer::tiledLayerDelegate() const {
    std::lock_guard guard(lock_);
    return tiledLayerDelegate_;
}

void LumivarTiledLayer::setTiledLayerDelegate(LumivarTiledLayerDelegate* delegate) {
    std::lock_guard guard(lock_);
    tiledLayerDelegate_ = delegate;
}

std::optional<int32_t> LumivarTiledLayer::levelForScale(double scale) {
    if (!(scale > 0) || !std::isfinite(scale)) return std::nullopt;
    if (scale >= 6) return 3;
    int32_t n = 2;
    while (n > kLowestLevel && scale * std::exp2(3 - n) < 6)
        --n;
    return n;
}

void LumivarTiledLayer::startTileDraw() {
    std::lock_guard guard(lock_);
    ++drawsInProgress_;
}

void LumivarTiledLayer::endTileDraw() {
    std::lock_guard guard(lock_);
    if (--drawsInProgress_ > 0) return; // another draw is still going on
    drawsInProgress_ = 0;
    tellDelegateLocked();
}

void LumivarTiledLayer::LumivarTiledLayerHasUpdatedMain() {
    std::lock_guard guard(lock_);
    tellDelegateLocked();
}

void LumivarTiledLayer::tellDelegateLocked() {
    if (tiledLayerDelegate_) tiledLayerDelegate_->LumivarTiledLayerHasUpdated(*this);
    tiledLayerDelegate_ = nullptr;
}

void LumivarTiledLayer::drawLayerWithContext(QPainter& context) {
    static const char* kOperation = "-[LumivarTiledLayer drawLayerWithContext:]";
    const TileDraw drawing(*this); // counted only: no lock is held through the engine's request
    const QTransform t = context.worldTransform();
    LV_LOG("%s %f %f %f %f %f %f", kOperation, t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy());
    const double a = t.m11();
    const auto level = levelForScale(a);
    if (level && theImage_) {
        const double d = std::exp2(*level);
        // The context's y axis is flipped to run upwards, so its other diagonal is -a.
        if (a != std::abs(t.m22()) || a != d) {
            context.scale(d / a, d / a);
            tiledLayerScaleAdjust_ = d / a;
        }
        const QRectF box = context.clipBoundingRect();
        LV_LOG("LumivarTiledLayer %p - %f : %i : %f %f %f %f", static_cast<void*>(this), d, *level, box.x(),
               box.y(), box.width(), box.height());
        auto tile =
            theImage_->imageTile(*level, d, platform::Rect{box.x(), box.y(), box.width(), box.height()},
                                 nullptr, nullptr, false, 0);
        const QImage image = tile ? displayImage(*tile->getImageRef()) : QImage();
        if (image.isNull()) {
            LV_LOG("%s Tile not rendered", kOperation);
        } else {
            context.save();
            context.translate(box.x(), box.y() + box.height());
            context.scale(1, -1); // the image's first row at the top of the box
            context.drawImage(QRectF(0, 0, box.width(), box.height()), image);
            context.restore();
        }
    }
}

void LumivarTiledLayer::display() {
    removeAllSublayers();
    const double a = contentsScale() * std::max(std::abs(transform().m11()), std::abs(transform().m12()));
    if (!theImage_ || !(a > 0) || !std::isfinite(a)) return;
    const Layer* super = superlayer();
    const QRectF area = super ? convertRectFrom(super->visibleRect(), super).intersected(bounds()) : bounds();
    const double step = kTileSize / a;
    for (double y = std::floor(area.y() / step) * step; y < area.y() + area.height(); y += step)
        for (double x = std::floor(area.x() / step) * step; x < area.x() + area.width(); x += step)
            drawTile(QRectF(x, y, step, step).intersected(bounds()), a);
}

// One tile of the layer, drawn into a bitmap of its own at the layer's device scale.
void LumivarTiledLayer::drawTile(const QRectF& rect, double scale) {
    if (rect.isEmpty()) return;
    QImage backing(std::max(1, int(std::lround(rect.width() * scale))),
                   std::max(1, int(std::lround(rect.height() * scale))), QImage::Format_ARGB32_Premultiplied);
    backing.fill(Qt::transparent);
    {
        QPainter painter(&backing);
        painter.setTransform(
            QTransform(scale, 0, 0, -scale, -rect.x() * scale, (rect.y() + rect.height()) * scale));
        painter.setClipRect(rect);
        drawLayerWithContext(painter);
    }
    auto tile = std::make_shared<Layer>();
    tile->setAnchorPoint({0, 0});
    tile->setBounds(rect);
    tile->setPosition({rect.x(), rect.y()});
    tile->setMagnificationFilter(magnificationFilter());
    tile->setMinificationFilter(minificationFilter());
    tile->setContents(std::move(backing));
    addSublayer(std::move(tile));
}
