#pragma once
// What the tiles of a tiled layer ask of it: content tiles their images, drawing tiles
// their drawing.
#include <QRectF>
#include <cstdint>
#include <memory>

class BitmapImage;
class QPainter;
class TileSublayer;

class TiledDrawLayerDelegate {
  public:
    virtual ~TiledDrawLayerDelegate() = default;
    virtual void drawLayerTile(TileSublayer& tile, QPainter& context) = 0;
};

class TiledContentLayerDelegate {
  public:
    virtual ~TiledContentLayerDelegate() = default;
    // Runs on the tile's lane. `rect` is in the tiled layer's coordinates (image pixels,
    // origin at the lower left); null while nothing is ready for it.
    virtual std::shared_ptr<BitmapImage> imageTile(TileSublayer& tile, int32_t resolution, double scale,
                                                   const QRectF& rect, bool* tileIsThumbnail) = 0;
    virtual void drawLayerTile(TileSublayer& tile, QPainter& context) = 0;
};
