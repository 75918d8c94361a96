#include "display/TiledLayer.h"

#include <algorithm>
#include <cmath>

#include "display/TileSublayer.h"
#include "engine/core/BitmapImage.h"
#include "engine/core/TiledEngine.h"
#include "platform/Log.h"

namespace {

// Below this the zoom key floor(100 / R) would leave the range of an int.
constexpr float kSmallestKeyScale = 1.0f / 1024;

bool overlaps(const QRectF& a, const QRectF& b) {
    return a.x() < b.x() + b.width() && b.x() < a.x() + a.width() && a.y() < b.y() + b.height() &&
           b.y() < a.y() + a.height();
}

} // namespace

void TiledLayer::setBounds(const QRectF& bounds) {
    if (bounds == this->bounds()) return;
    levelsOfDetail_ = uint64_t(-3);
    levelsOfDetailBias_ = 0;
    tileSize_ = {256, 256};
    setOpaque(true);
    setAnchorPoint({0, 0});
    setMagnificationFilter(LayerFilter::Nearest);
    setMinificationFilter(LayerFilter::Trilinear);
    {
        std::lock_guard guard(tileLock_);
        removeAllSublayers();
    }
    Layer::setBounds(bounds);
    setNeedsDisplay();
}

void TiledLayer::setImage(std::shared_ptr<TiledEngine> image) {
    if (!useTiledEngine_) {
        LV_LOG("%s programming error: an image for a layer that draws its tiles itself", __PRETTY_FUNCTION__);
        return;
    }
    {
        std::lock_guard guard(imageLock_);
        theImage_ = image;
    }
    if (image) {
        const platform::Rect extent = image->extent();
        setBounds(QRectF(extent.x, extent.y, extent.width, extent.height));
    }
    {
        std::lock_guard guard(tileLock_);
        for (auto& sublayer : sublayers())
            static_cast<TileSublayer&>(*sublayer).setContentIsDirty(true);
    }
    setNeedsDisplay();
}

std::shared_ptr<TiledEngine> TiledLayer::image() const {
    std::lock_guard guard(imageLock_);
    return theImage_;
}

void TiledLayer::setContentsScale(double scale) {
    Layer::setContentsScale(scale);
    {
        std::lock_guard guard(tileLock_);
        removeAllSublayers();
    }
    setNeedsDisplay();
}

QRectF TiledLayer::activeArea() const {
    const Layer* super = superlayer();
    if (!super) return bounds();
    return convertRectFrom(super->visibleRect(), super).intersected(bounds());
}

QRectF TiledLayer::activeTileArea() const { return activeTileArea_; }

double TiledLayer::deviceScale() const {
    return contentsScale() * std::max(std::abs(transform().m11()), std::abs(transform().m12()));
}

int32_t TiledLayer::levelForScale(double scale, uint64_t levelsOfDetail) {
    uint64_t k = 1;
    double half = 0.5;
    while (scale < half && k <= levelsOfDetail + 1) {
        ++k;
        half *= 0.5;
    }
    return int32_t(1 - int64_t(k));
}

void TiledLayer::setNeedsDisplay() {
    const QRectF area = activeArea();
    const double R = deviceScale();
    std::lock_guard guard(tileLock_);
    activeTileArea_ = QRectF();
    if (!(R > 0) || !std::isfinite(R)) { // no zoom to tile for: show nothing
        removeAllSublayers();
        return;
    }
    const int32_t resolution = levelForScale(R, levelsOfDetail_);
    const auto key = int32_t(std::floor(100.0f / std::max(float(R), kSmallestKeyScale)));
    if (!sublayers().empty() && key != savedResolution_) {
        removeAllSublayers();
        savedResolution_ = key;
    }
    if (sublayers().empty()) buildGrid(R, resolution);
    for (auto& sublayer : sublayers()) {
        auto& tile = static_cast<TileSublayer&>(*sublayer);
        const QRectF frame = tile.frame();
        if (!overlaps(frame, area)) {
            if (tile.hasContents()) tile.freeVRAM();
            continue;
        }
        activeTileArea_ = activeTileArea_.isNull() ? frame : activeTileArea_.united(frame);
        tile.setNeedsDisplay();
    }
}

// Columns from the left edge; rows from the top edge down, so the lowest row is the one cut.
void TiledLayer::buildGrid(double R, int32_t resolution) {
    const double tw = tileSize_.width() / R, th = tileSize_.height() / R;
    const double width = bounds().width(), height = bounds().height();
    for (double x = 0; x < width; x += tw) {
        const double w = std::min(tw, width - x - 0.01);
        if (!(w > 0)) break;
        for (double y = height - th; y >= -(th - 1); y -= th)
            addSublayer(makeTile(QRectF(x, std::max(y, 0.0), w, std::min(th, y + th)), R, resolution));
    }
}

std::shared_ptr<TileSublayer> TiledLayer::makeTile(const QRectF& frame, double R, int32_t resolution) {
    std::shared_ptr<TileSublayer> tile;
    auto self = std::static_pointer_cast<TiledLayer>(shared_from_this());
    if (useTiledEngine_) {
        auto content = std::make_shared<TileContentSublayer>();
        content->setTileDelegate(std::weak_ptr<TiledContentLayerDelegate>(self));
        tile = content;
    } else {
        auto draw = std::make_shared<TileDrawSublayer>();
        draw->setTileDelegate(std::weak_ptr<TiledDrawLayerDelegate>(self));
        tile = draw;
    }
    tile->setAnchorPoint({0, 0});
    tile->setBounds(frame);
    tile->setPosition({frame.x(), frame.y()});
    tile->setOpaque(false);
    tile->setResolution(resolution);
    tile->setScale(R);
    tile->setMagnificationFilter(magnificationFilter());
    tile->setMinificationFilter(minificationFilter());
    tile->setContentIsDirty(true);
    tile->setContentsScale(R);
    return tile;
}

std::shared_ptr<BitmapImage> TiledLayer::imageTile(TileSublayer&, int32_t resolution, double scale,
                                                   const QRectF& rect, bool* tileIsThumbnail) {
    auto engine = image();
    if (!engine) return nullptr;
    return engine->imageTile(resolution, scale,
                             platform::Rect{rect.x(), rect.y(), rect.width(), rect.height()}, nullptr,
                             tileIsThumbnail, false, 0);
}

void TiledLayer::drawLayerTile(TileSublayer& tile, QPainter& context) {
    if (delegate()) delegate()->drawLayer(tile, context);
}
