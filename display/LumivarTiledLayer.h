#pragma once
// A second way of showing engine tiles: the layer draws the tiles of its visible area
// itself, each at the power-of-two scale nearest above the zoom, straight from the output
// engine, and tells its delegate once no tile draw is in progress.
#include <QPainter>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "display/Layer.h"
#include "display/LumivarTiledLayerDelegate.h"

class TiledEngine;

class LumivarTiledLayer : public Layer {
  public:
    LumivarTiledLayer();
    ~LumivarTiledLayer() override;

    // Keeps the engine, takes its extent as bounds and tells the delegate after a second.
    void setImage(std::shared_ptr<TiledEngine> image);
    void updateTimeout();
    // Draws the context's clip from an engine tile at the power-of-two scale for the
    // context's scale (the context maps this layer's coordinates, y upwards).
    void drawLayerWithContext(QPainter& context);
    // Count the draws in progress; the last to end tells the delegate. Nothing is held
    // between the two, so a draw waits on the engine holding no lock.
    void startTileDraw();
    void endTileDraw();
    void LumivarTiledLayerHasUpdatedMain();
    // Redraws the tiles that meet the visible area.
    void display() override;

    LumivarTiledLayerDelegate* tiledLayerDelegate() const;
    void setTiledLayerDelegate(LumivarTiledLayerDelegate* delegate);
    double tiledLayerScaleAdjust() const { return tiledLayerScaleAdjust_; }
    // The level n of a context scale: 3 from 6 up, otherwise the largest n below 3 with
    // scale x 2^(3 - n) at least 6; none for a scale that is not positive and finite.
    static std::optional<int32_t> levelForScale(double scale);

  private:
    void drawTile(const QRectF& rect, double scale);
    void tellDelegateLocked();

    std::shared_ptr<TiledEngine> theImage_;
    mutable std::mutex lock_; // the delegate and the count of draws
    LumivarTiledLayerDelegate* tiledLayerDelegate_ = nullptr;
    // Tile draws in progress, kept for the layer's life: a draw under way when a new image
    // comes still counts.
    int drawsInProgress_ = 0;
    double tiledLayerScaleAdjust_ = 1.0;
};
