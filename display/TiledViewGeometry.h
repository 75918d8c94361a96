#pragma once
// Everything of the tiled image view that is not the widget: its layers (the view's own
// layer holding the image layer and the crop overlay above it), which image point lies at
// the centre, the zoom and orientation, the conversions between view points and image
// pixels, panning, crop drags, the eyedropper click and the choice of cursor. View
// coordinates are points with the origin at the lower left and y upwards; image
// coordinates are pixels of the unrotated image from its upper left, y downwards. The
// widget flips Qt's positions once and hands its events here. Main thread only.
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <cstdint>
#include <functional>
#include <memory>

#include "display/Layer.h"
#include "display/LumivarTiledLayerDelegate.h"
#include "display/TiledViewDelegates.h"
#include "platform/Geometry.h"

class CropLayerController;
class TiledEngine;
class TiledLayer;

enum class ViewCursor { Arrow, Crosshair, Eyedropper, NESW, NWSE };

class TiledViewGeometry : public LayerDelegate, public LumivarTiledLayerDelegate {
  public:
    static constexpr uint64_t kPanMode = 0;
    static constexpr uint64_t kCropMode = 1;
    static constexpr uint64_t kEyedropperMode = 2;

    TiledViewGeometry();
    ~TiledViewGeometry() override;
    TiledViewGeometry(const TiledViewGeometry&) = delete;
    TiledViewGeometry& operator=(const TiledViewGeometry&) = delete;

    // The host: the view's own layer, its size in points and its backing scale.
    const std::shared_ptr<Layer>& viewLayer() const { return viewLayer_; }
    QRectF bounds() const { return viewLayer_->bounds(); }
    void setViewSize(QSizeF size);
    double backingScale() const { return backingScale_; }
    void setBackingScale(double scale);
    // Called when the cursor regions have changed (the crop moved, the mode changed).
    void setCursorRectsChangedHandler(std::function<void()> handler) {
        cursorRectsChanged_ = std::move(handler);
    }

    // Shows the output engine's image; the first image is fitted to the view. True when
    // an image layer exists.
    bool setImage(std::shared_ptr<TiledEngine> image, int32_t orientation, int32_t imageNum);
    const std::shared_ptr<TiledLayer>& layerForImage(std::shared_ptr<TiledEngine> image);
    const std::shared_ptr<TiledLayer>& tiledLayer() const { return tiledLayer_; }
    CropLayerController* cropLayerCntrl() const { return cropLayerCntrl_.get(); }
    const QRectF& imageSize() const { return imageSize_; }
    QPointF imageCenter() const { return imageCenter_i_; }
    int32_t imageOrientation() const { return imageOrientation_; }

    // Device pixels per image pixel; 1 without an image.
    double pixelScaleFactor() const;
    void setPixelScaleFactor(double factor);
    void setScaleFactorToFit();
    void setOrientation(int32_t code);

    QPointF viewPointFromImagePoint(QPointF imagePoint) const;
    QRectF viewRectFromImageRect(const QRectF& imageRect) const;
    // (-1, -1) for a point outside the image when clipping.
    QPointF viewPointToUnflippedImage(QPointF viewPoint, bool clipToImage) const;
    QRectF viewRectToUnflippedImage(const QRectF& viewRect) const;
    // The part of the image on screen.
    QRectF displayedImageRect() const;
    // The image area whose tiles the image layer last asked for, in image coordinates, for
    // limiting re-renders; null without an image.
    platform::Rect activeTiledRect() const;
    // The visible part of the image layer, in its own coordinates.
    QRectF activeArea() const;
    // The image point under the mouse, or (-1, -1) when the mouse is off the view or image.
    QPointF getPixelUnrotatedLocation() const;

    uint64_t cursorTrackingMode() const { return trackingMode_; }
    void setCursorTrackingMode(uint64_t mode);
    // Stored as given: (-1, -1, -1, -1) is no crop.
    void setCropRect(const QRectF& imageRect);
    const QRectF& savedCropRect() const { return savedCropRect_; }
    // The crop as last placed, in view coordinates.
    const QRectF& cropPort() const { return cropPort_v_; }
    void moveCrop(QPointF from, QPointF to);
    void panImage(QPointF from, QPointF to);

    // Events, in view coordinates. A press with Option (Alt) held is ignored.
    void mouseDown(QPointF point, bool optionKey);
    void mouseDragged(QPointF point);
    void mouseUp(QPointF point);
    // In units of the wheel's steps.
    void scrollWheel(double deltaX, double deltaY);
    void mouseEntered();
    void mouseMoved(QPointF point);
    void mouseExited();
    QPointF currentCursorLocation() const { return currentCursorLocation_; }
    // The cursor of a point of the view.
    ViewCursor cursorAt(QPointF point) const;
    // The bounds less 3 points at the right.
    QRectF insetBounds() const;

    ImageViewEyeDropperDelegate* eyeDropperDelegate() const { return eyeDropperDelegate_; }
    void setEyeDropperDelegate(ImageViewEyeDropperDelegate* delegate) { eyeDropperDelegate_ = delegate; }
    ImageViewTileDelegate* tileDelegate() const { return tileDelegate_; }
    void setTileDelegate(ImageViewTileDelegate* delegate) { tileDelegate_ = delegate; }

    // The crop overlay draws through the view.
    void drawLayer(Layer& layer, QPainter& context) override;
    void LumivarTiledLayerHasUpdated(LumivarTiledLayer&) override {}

    void markLocationChanged();
    void markContentChanged() {}
    void setViewDirty(bool) { markContentChanged(); }
    void doneWithView() {}
    bool getDrawInProgress() const { return false; }

  private:
    void updateLayerPosition();
    void viewDidChangeBackingProperties();
    void chooseCropEdges(QPointF point);
    void cursorRectsChanged();
    // The crop within the image: the parts past an edge cut off.
    QRectF clampCropToImage(QRectF crop) const;

    std::shared_ptr<Layer> viewLayer_;
    double backingScale_ = 1.0;
    QRectF imageSize_;
    QPointF imageCenter_i_;
    bool cursorIsInView_ = false;
    QPointF currentCursorLocation_;
    bool noScaleYet_ = true;
    ImageViewEyeDropperDelegate* eyeDropperDelegate_ = nullptr;
    ImageViewTileDelegate* tileDelegate_ = nullptr;
    uint64_t trackingMode_ = kPanMode;
    QRectF cropPort_v_;
    bool dragLeftCrop_ = false, dragRightCrop_ = false, dragTopCrop_ = false, dragBottomCrop_ = false;
    int32_t imageOrientation_ = 1;
    std::shared_ptr<TiledLayer> tiledLayer_;
    std::unique_ptr<CropLayerController> cropLayerCntrl_;
    QRectF savedCropRect_{-1, -1, -1, -1};
    // The press being tracked.
    bool tracking_ = false;
    bool dragged_ = false;
    QPointF lastDragPoint_;
    std::function<void()> cursorRectsChanged_;
};
