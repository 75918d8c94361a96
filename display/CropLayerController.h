#pragma once
// The crop overlay: darkens the image outside the crop rectangle and, while the user crops,
// draws a frame, thirds lines and corner marks around it. The overlay is a second tiled
// layer in drawing mode, tiled like the image below it; the image view moves and turns it
// with the image layer and decides the crop. The overlay writes no settings.
#include <QRectF>
#include <QSizeF>
#include <memory>

#include "display/Layer.h"

class TiledLayer;

class CropLayerController : public LayerDelegate {
  public:
    // Tiled like `imageLayer`, drawn through `delegate` (the controller itself when null);
    // null without an image layer.
    static std::unique_ptr<CropLayerController> create(bool readyToAdjust, const TiledLayer* imageLayer,
                                                       LayerDelegate* delegate);
    ~CropLayerController() override;
    CropLayerController(const CropLayerController&) = delete;
    CropLayerController& operator=(const CropLayerController&) = delete;

    // A new overlay layer with the copied tiling, keeping the current one's bounds.
    void setupLayer();
    // The overlay's bounds become the image's extent.
    void setSize(const QRectF& extent);
    void setShowCropArea(bool show);
    bool showCropArea() const;
    void setForAdjusting(bool adjust);
    bool areAdjusting() const { return adjustable_; }
    // Image pixels, origin at the image's upper left, y downwards; a negative width means
    // no crop. Setting it does not redraw.
    const QRectF& cropArea() const { return cropArea_; }
    void setCropArea(const QRectF& area) { cropArea_ = area; }
    const std::shared_ptr<TiledLayer>& ourLayer() const { return ourLayer_; }
    LayerDelegate* ourDelegate() const { return ourDelegate_; }

    // Draws one tile of the overlay, in the overlay layer's coordinates.
    void drawLayer(Layer& layer, QPainter& context) override;
    static void drawLine(QPainter& context, float x, float y, float dx, float dy);
    // An L whose corner is (x, y), with arms dx along x and dy along y (signed).
    static void drawCorner(QPainter& context, float x, float y, float dx, float dy);

  private:
    CropLayerController(const TiledLayer& imageLayer, LayerDelegate* delegate);
    // The frame, thirds and corner marks around the crop (X, Y, Wc, Hc) of the layer.
    void drawAdjustingMarks(Layer& layer, QPainter& context, const QRectF& crop) const;

    QRectF cropArea_{-1, -1, -1, -1};
    std::shared_ptr<TiledLayer> ourLayer_;
    bool adjustable_ = false;
    uint64_t levelsOfDetail_ = 0;
    uint64_t levelsOfDetailBias_ = 0;
    QSizeF tileSize_;
    LayerDelegate* ourDelegate_ = nullptr;
};
