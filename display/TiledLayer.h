#pragma once
// The image layer: sized to the whole image and covered with a grid of tiles of 256 x 256
// device pixels at the current zoom. In tiled-engine mode its tiles fetch their images
// from the output engine; otherwise they are drawn through the layer's delegate (the crop
// overlay). Only tiles that meet the visible area are refreshed; the others give up their
// contents. Main-thread object, except imageTile(), which tiles call on their lanes.
#include <QRectF>
#include <QSizeF>
#include <cstdint>
#include <memory>
#include <mutex>

#include "display/Layer.h"
#include "display/TiledLayerDelegates.h"

class TiledEngine;

class TiledLayer : public Layer, public TiledContentLayerDelegate, public TiledDrawLayerDelegate {
  public:
    TiledLayer() = default;

    // A new size resets the tiling to 256 x 256 tiles and drops every tile.
    void setBounds(const QRectF& bounds) override;
    // Keeps the output engine, takes its extent as bounds and refetches every tile.
    // Only in tiled-engine mode.
    void setImage(std::shared_ptr<TiledEngine> image);
    std::shared_ptr<TiledEngine> image() const;
    void setContentsScale(double scale) override;
    // The superlayer's visible rectangle in this layer, within the bounds.
    QRectF activeArea() const;
    // Rebuilds the grid when the zoom has changed and refreshes the tiles that meet the
    // visible area; the layer itself shows nothing.
    void setNeedsDisplay() override;
    void display() override {}

    std::shared_ptr<BitmapImage> imageTile(TileSublayer& tile, int32_t resolution, double scale,
                                           const QRectF& rect, bool* tileIsThumbnail) override;
    void drawLayerTile(TileSublayer& tile, QPainter& context) override;

    uint64_t levelsOfDetail() const { return levelsOfDetail_; }
    void setLevelsOfDetail(uint64_t levels) { levelsOfDetail_ = levels; }
    uint64_t levelsOfDetailBias() const { return levelsOfDetailBias_; }
    void setLevelsOfDetailBias(uint64_t bias) { levelsOfDetailBias_ = bias; }
    // In device pixels.
    QSizeF tileSize() const { return tileSize_; }
    void setTileSize(QSizeF size) { tileSize_ = size; }
    bool useTiledEngine() const { return useTiledEngine_; }
    void setUseTiledEngine(bool use) { useTiledEngine_ = use; }
    // The frames of the tiles the last refresh asked for, joined; null when none.
    QRectF activeTileArea() const;
    // Device pixels per image pixel: the contents scale times the transform's scale.
    double deviceScale() const;
    // The level of detail of the tiles at a device scale: 0 at 0.5 and more, -1 from 0.25, ...
    static int32_t levelForScale(double scale, uint64_t levelsOfDetail);

  private:
    void buildGrid(double scale, int32_t resolution);
    std::shared_ptr<TileSublayer> makeTile(const QRectF& frame, double scale, int32_t resolution);

    uint64_t levelsOfDetail_ = 4;
    uint64_t levelsOfDetailBias_ = 2;
    QSizeF tileSize_{512, 512};
    bool useTiledEngine_ = false;
    int32_t savedResolution_ = 0;
    mutable std::mutex imageLock_; // theImage_ is read on the tiles' lanes
    std::shared_ptr<TiledEngine> theImage_;
    std::mutex tileLock_;
    QRectF activeTileArea_;
};
