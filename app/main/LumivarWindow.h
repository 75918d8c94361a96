#pragma once
// The plain window of one opened document: the tiled image view, at fit when the first image
// arrives, with the crop overlay, and the histogram beside it. A crop drawn in the view goes
// to the document; an eyedropper click sets its white balance there.
#include <QRectF>
#include <QWidget>
#include <map>
#include <memory>
#include <optional>

#include "app/main/ProgramWindow.h"
#include "app/main/TilesSettled.h"
#include "app/main/ViewerDocument.h"
#include "display/TiledViewDelegates.h"

class HistogramView;
class Layer;
class TiledImageView;

class LumivarWindow : public QWidget, public ProgramWindow, public ImageViewEyeDropperDelegate {
    Q_OBJECT

  public:
    static constexpr int kHistogramWidth = 258, kHistogramHeight = 130;

    explicit LumivarWindow(std::unique_ptr<ViewerDocument> document, QWidget* parent = nullptr);
    ~LumivarWindow() override;

    ViewerDocument& document() { return *document_; }
    QWidget* widget() override { return this; }
    TiledImageView& imageView() override { return *view_; }
    HistogramView& histogramView() override { return *histogram_; }

    // Starts the document's first render.
    void startDisplay();
    bool hasImage() const override { return hasImage_; }
    // A render has started and not finished.
    bool isRendering() const override { return rendering_; }
    const std::optional<platform::Error>& renderError() const override { return renderError_; }
    // Every tile of the image and of the crop overlay in sight has its pixels.
    bool tilesSettled() const override;
    std::optional<platform::Value> valueForKey(const std::string& key) override;
    // Sets the document's value and follows it (see settingChanged).
    void setValue(std::optional<platform::Value> value, const std::string& key) override;
    // Shows the document's crop and orientation again after a setting changed; a setting
    // that renders again counts as a render under way until the document reports it done.
    void settingChanged(const std::string& key);

    void eyedropperWasClicked(TiledViewGeometry& view, QPointF imagePoint) override;
    void cropRectChanged(const QRectF& imageRect) override;

  Q_SIGNALS:
    // The image cannot be shown; the error has been presented.
    void renderFailed(const QString& reason);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void imageRendered();
    void closeDocument();

    std::unique_ptr<ViewerDocument> document_;
    TiledImageView* view_ = nullptr;
    HistogramView* histogram_ = nullptr;
    bool hasImage_ = false;
    bool rendering_ = false;
    bool closed_ = false;
    std::optional<platform::Error> renderError_;
    StaleTiles staleTiles_; // each tile's contents when the last render finished
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
