#pragma once
// What the tiled image view reports to the editing window: eyedropper clicks and finished
// crops (image coordinates of the unrotated image, origin at the upper left), and the
// region-of-interest protocol the window implements although the view sends it nothing.
#include <QPointF>
#include <QRectF>

#include "engine/core/TileRegion.h"

class TiledViewGeometry;

class ImageViewEyeDropperDelegate {
  public:
    virtual ~ImageViewEyeDropperDelegate() = default;
    virtual void eyedropperWasClicked(TiledViewGeometry& view, QPointF imagePoint) = 0;
    virtual void cropRectChanged(const QRectF& imageRect) = 0;
};

class ImageViewTileDelegate {
  public:
    virtual ~ImageViewTileDelegate() = default;
    virtual void regionOfInterestChanged(const TileRegion& region) = 0;
};
