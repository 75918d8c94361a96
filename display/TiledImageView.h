#pragma once
// The editing window's image view: a widget that paints the view's layer tree and turns
// Qt's events (top-down, in logical pixels) into the view's own (points, y upwards). The
// geometry, crop and cursor logic lives in TiledViewGeometry.
#include <QCursor>
#include <QWidget>
#include <memory>

#include "display/TiledViewGeometry.h"

class TiledImageView : public QWidget {
    Q_OBJECT

  public:
    explicit TiledImageView(QWidget* parent = nullptr);
    ~TiledImageView() override;

    TiledViewGeometry& geometryModel() { return geometry_; }
    const TiledViewGeometry& geometryModel() const { return geometry_; }

    bool setImage(std::shared_ptr<TiledEngine> image, int32_t orientation, int32_t imageNum);
    double pixelScaleFactor() const { return geometry_.pixelScaleFactor(); }
    void setPixelScaleFactor(double factor) { geometry_.setPixelScaleFactor(factor); }
    void setScaleFactorToFit() { geometry_.setScaleFactorToFit(); }
    void setOrientation(int32_t code) { geometry_.setOrientation(code); }
    void setCropRect(const QRectF& imageRect) { geometry_.setCropRect(imageRect); }
    uint64_t cursorTrackingMode() const { return geometry_.cursorTrackingMode(); }
    void setCursorTrackingMode(uint64_t mode) { geometry_.setCursorTrackingMode(mode); }
    platform::Rect activeTiledRect() const { return geometry_.activeTiledRect(); }
    QRectF displayedImageRect() const { return geometry_.displayedImageRect(); }
    QPointF getPixelUnrotatedLocation() const { return geometry_.getPixelUnrotatedLocation(); }
    bool getDrawInProgress() const { return geometry_.getDrawInProgress(); }
    void doneWithView() { geometry_.doneWithView(); }
    void setEyeDropperDelegate(ImageViewEyeDropperDelegate* d) { geometry_.setEyeDropperDelegate(d); }
    void setTileDelegate(ImageViewTileDelegate* d) { geometry_.setTileDelegate(d); }

    // The cursor image of a view cursor, with its hot spot.
    static QCursor cursorFor(ViewCursor cursor);
    // A point of the widget (logical pixels, y down) in view coordinates, and back.
    QPointF toView(QPointF widgetPoint) const;
    QPointF fromView(QPointF viewPoint) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void followBackingScale();
    void updateCursor();

    TiledViewGeometry geometry_;
    bool leftPressed_ = false;
};
