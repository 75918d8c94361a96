#pragma once
// The tiles of a tiled layer: one per 256 x 256 device pixels at the zoom they were made
// for. Content tiles fetch their image from the layer on a serial lane of their own and set
// it on the main queue; drawing tiles draw themselves through the layer.
#include <atomic>
#include <memory>

#include "display/Layer.h"
#include "display/SerialLane.h"
#include "display/TiledLayerDelegates.h"

class TileSublayer : public Layer {
  public:
    int32_t resolution() const { return resolution_; }
    void setResolution(int32_t resolution) { resolution_ = resolution; }
    // Device pixels per image pixel.
    double scale() const { return scale_; }
    void setScale(double scale) { scale_ = scale; }
    bool contentIsDirty() const { return contentIsDirty_.load(); }
    void setContentIsDirty(bool dirty) { contentIsDirty_.store(dirty); }
    // Gives up what the tile shows once it has left the visible area.
    virtual void freeVRAM() {}

  protected:
    std::atomic<bool> contentIsDirty_{false};

  private:
    int32_t resolution_ = 0;
    double scale_ = 1.0;
};

class TileContentSublayer : public TileSublayer {
  public:
    void setTileDelegate(std::weak_ptr<TiledContentLayerDelegate> delegate) {
        tileDelegate_ = std::move(delegate);
    }
    // Queues a fetch on the tile's lane.
    void display() override;
    // No contents means the tile must be fetched again.
    void setContents(QImage contents) override;
    void freeVRAM() override;

  private:
    struct Request;
    static void fetch(const Request& request);
    static void fetchOnce(TileContentSublayer& tile, TiledContentLayerDelegate& delegate,
                          const Request& request);
    static void releaseOnMain(std::shared_ptr<TileContentSublayer> tile,
                              std::shared_ptr<TiledContentLayerDelegate> delegate);

    std::weak_ptr<TiledContentLayerDelegate> tileDelegate_;
    std::unique_ptr<SerialLane> serialQueue_;
};

class TileDrawSublayer : public TileSublayer {
  public:
    void setTileDelegate(std::weak_ptr<TiledDrawLayerDelegate> delegate) {
        tileDelegate_ = std::move(delegate);
    }
    void drawInContext(QPainter& context) override;
    // Drawn again whenever it is visible, so its bitmap is not kept while it is not.
    void freeVRAM() override { setContents({}); }

  private:
    std::weak_ptr<TiledDrawLayerDelegate> tileDelegate_;
};
