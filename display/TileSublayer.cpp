#include "display/TileSublayer.h"

#include <chrono>

#include "display/DelayedDispatch.h"
#include "display/DisplayImage.h"
#include "engine/core/BitmapImage.h"
#include "platform/AppIdentifier.h"
#include "platform/Log.h"
#include "platform/MainQueue.h"

namespace {
constexpr std::chrono::milliseconds kRetryDelay{5};
}

// Weak references only: a tile or layer gone by the time its request runs is left alone.
struct TileContentSublayer::Request {
    std::weak_ptr<TileContentSublayer> tile;
    std::weak_ptr<TiledContentLayerDelegate> delegate;
    int32_t resolution;
    double scale;
    QRectF frame;
};

void TileContentSublayer::display() {
    if (!serialQueue_)
        serialQueue_ =
            std::make_unique<SerialLane>(displayQueue(), std::string(kApplicationIdentifier) + ".display");
    Request request{std::static_pointer_cast<TileContentSublayer>(shared_from_this()), tileDelegate_,
                    resolution(), scale(), frame()};
    serialQueue_->async([request] { fetch(request); });
}

void TileContentSublayer::fetch(const Request& request) {
    for (;;) {
        auto tile = request.tile.lock();
        auto delegate = request.delegate.lock();
        // A tile marked dirty again while its request ran is fetched again here.
        const bool dirty = tile && delegate && tile->contentIsDirty_.exchange(false);
        if (dirty) fetchOnce(*tile, *delegate, request);
        releaseOnMain(std::move(tile), std::move(delegate));
        if (!dirty) return;
    }
}

void TileContentSublayer::fetchOnce(TileContentSublayer& tile, TiledContentLayerDelegate& delegate,
                                    const Request& request) {
    bool isThumbnail = false;
    auto image = delegate.imageTile(tile, request.resolution, request.scale, request.frame, &isThumbnail);
    if (!image) {
        dispatchAfter(kRetryDelay, platform::MainQueue::shared(),
                      [weak = request.tile, layer = request.delegate] {
                          auto tile = weak.lock();
                          if (!tile || layer.expired()) return;
                          tile->setContentIsDirty(true);
                          tile->setNeedsDisplay();
                      });
        return;
    }
    QImage contents = displayImage(*image->getImageRef());
    if (contents.isNull()) {
        LV_LOG("%s tile image in a layout the display cannot show", __PRETTY_FUNCTION__);
        return;
    }
    platform::MainQueue::shared().async([weak = request.tile, contents = std::move(contents), isThumbnail] {
        auto tile = weak.lock();
        if (!tile) return;
        tile->setMagnificationFilter(isThumbnail ? LayerFilter::Trilinear : LayerFilter::Nearest);
        tile->setContents(contents);
    });
}

// Layers are main-thread objects: should the lane hold the last reference to a tile or to
// its layer, they are destroyed there, never under the main thread's feet.
void TileContentSublayer::releaseOnMain(std::shared_ptr<TileContentSublayer> tile,
                                        std::shared_ptr<TiledContentLayerDelegate> delegate) {
    if (!tile && !delegate) return;
    platform::MainQueue::shared().async([tile = std::move(tile), delegate = std::move(delegate)] {});
}

void TileContentSublayer::setContents(QImage contents) {
    if (contents.isNull()) setContentIsDirty(true);
    Layer::setContents(std::move(contents));
}

void TileContentSublayer::freeVRAM() { setContents({}); }

void TileDrawSublayer::drawInContext(QPainter& context) {
    if (auto delegate = tileDelegate_.lock()) delegate->drawLayerTile(*this, context);
}
