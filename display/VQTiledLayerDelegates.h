#pragma once
// What the tiles of a tiled layer ask of it: content tiles their images, drawing tiles
// their drawing.
#include <QRectF>
#include <cstdint>
#include <memory>

class CGImageBitMap;
class QPainter;
class VQTileSublayer;

class VQTiledDrawLayerDelegate {
  public:
    virtual ~VQTiledDrawLayerDelegate() = default;
    virtual void drawLayerTile(VQTileSublayer& tile, QPainter& context) = 0;
};

class VQTiledContentLayerDelegate {
  public:
    virtual ~VQTiledContentLayerDelegate() = default;
    // Runs on the tile's lane. `rect` is in the tiled layer's coordinates (image pixels,
    // origin at the lower left); null while nothing is ready for it.
    virtual std::shared_ptr<CGImageBitMap> imageTile(VQTileSublayer& tile, int32_t resolution, double scale,
                                                     const QRectF& rect, bool* tileIsThumbnail) = 0;
    virtual void drawLayerTile(VQTileSublayer& tile, QPainter& context) = 0;
};
