#pragma once
// The plain window of one opened document: the tiled image view, at fit when the first image
// arrives, with the crop overlay, and the histogram beside it. A crop drawn in the view goes
// to the document; an eyedropper click sets its white balance there.
#include <QRectF>
#include <QWidget>
#include <memory>
#include <optional>

#include "app/main/ViewerDocument.h"
#include "display/TiledViewDelegates.h"

class CIImageView;
class ZadeDivivCATiledLayerView;

class DocumentWindow : public QWidget, public ZadeDivivGLViewEyeDropperDelegate {
    Q_OBJECT

  public:
    static constexpr int kHistogramWidth = 258, kHistogramHeight = 130;

    explicit DocumentWindow(std::unique_ptr<ViewerDocument> document, QWidget* parent = nullptr);
    ~DocumentWindow() override;

    ViewerDocument& document() { return *document_; }
    ZadeDivivCATiledLayerView& imageView() { return *view_; }
    CIImageView& histogramView() { return *histogram_; }

    // Starts the document's first render.
    void startDisplay();
    bool hasImage() const { return hasImage_; }
    const std::optional<platform::Error>& renderError() const { return renderError_; }
    // Every tile of the image and of the crop overlay in sight has its pixels.
    bool tilesSettled() const;
    // Shows the document's crop and orientation again, after its settings were changed.
    void settingsChanged();

    void eyedropperWasClicked(TiledViewGeometry& view, QPointF imagePoint) override;
    void cropRectChanged(const QRectF& imageRect) override;

  Q_SIGNALS:
    // After the first render failed; the window closes itself unless told otherwise.
    void renderFailed(const QString& reason);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void imageRendered();
    void closeDocument();

    std::unique_ptr<ViewerDocument> document_;
    ZadeDivivCATiledLayerView* view_ = nullptr;
    CIImageView* histogram_ = nullptr;
    bool hasImage_ = false;
    bool closed_ = false;
    std::optional<platform::Error> renderError_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
