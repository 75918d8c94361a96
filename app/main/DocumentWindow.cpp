#include "app/main/DocumentWindow.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "display/CropLayerController.h"
#include "display/VQTiledLayer.h"
#include "display/ZadeDivivCATiledLayerView.h"
#include "display/widgets/CIImageView.h"
#include "engine/core/TiledEngine.h"

namespace {

bool layerSettled(const VQTiledLayer* layer, const QRectF& area) {
    if (!layer || layer->isHidden()) return true;
    for (const auto& tile : layer->sublayers())
        if (!tile->isHidden() && tile->frame().intersects(area) && !tile->hasContents()) return false;
    return true;
}

} // namespace

DocumentWindow::DocumentWindow(std::unique_ptr<ViewerDocument> document, QWidget* parent)
    : QWidget(parent), document_(std::move(document)) {
    setWindowTitle(QString::fromStdString(document_->displayName()));
    setAttribute(Qt::WA_DeleteOnClose);
    QPalette dark = palette();
    dark.setColor(QPalette::Window, QColor(48, 48, 48));
    setPalette(dark);
    setAutoFillBackground(true);

    view_ = new ZadeDivivCATiledLayerView(this);
    view_->setEyeDropperDelegate(this);
    // Hidden until the first image, as the editing window does.
    view_->setVisible(false);
    histogram_ = new CIImageView(this);
    histogram_->setFixedSize(kHistogramWidth, kHistogramHeight);

    auto* side = new QVBoxLayout;
    side->setContentsMargins(6, 6, 6, 6);
    side->addWidget(histogram_);
    side->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view_, 1);
    layout->addLayout(side);
    resize(1040, 660);
}

DocumentWindow::~DocumentWindow() {
    *alive_ = false;
    closeDocument();
    view_->setEyeDropperDelegate(nullptr);
}

void DocumentWindow::startDisplay() {
    std::weak_ptr<bool> alive = alive_;
    document_->startDisplay(
        [this, alive] {
            if (auto a = alive.lock(); a && *a) imageRendered();
        },
        [this, alive](platform::Error error) {
            auto a = alive.lock();
            if (!a || !*a) return;
            renderError_ = error;
            Q_EMIT renderFailed(QString::fromStdString(error.failureReason));
        });
}

void DocumentWindow::imageRendered() {
    if (closed_) return;
    auto image = document_->outputImage();
    if (!image) return;
    const bool first = !hasImage_;
    if (first) view_->setVisible(true);
    if (!view_->setImage(image, document_->getOrientation(), 0)) {
        renderError_ =
            platform::Error{"LumivarErrorDomain", -1,
                            "Lumivar was not able to allocate sufficient graphics memory to display the "
                            "image."};
        Q_EMIT renderFailed(QString::fromStdString(renderError_->failureReason));
        return;
    }
    if (first) view_->setScaleFactorToFit();
    view_->setCropRect(document_->getCropRect());
    histogram_->setImage(image->getThumbnail(true));
    hasImage_ = true;
}

bool DocumentWindow::tilesSettled() const {
    if (!hasImage_) return false;
    const auto& model = view_->geometryModel();
    const auto& layer = model.tiledLayer();
    if (!layer || layer->sublayers().empty()) return false;
    if (!layerSettled(layer.get(), layer->activeArea())) return false;
    if (const CropLayerController* crop = model.cropLayerCntrl()) {
        const auto& overlay = crop->ourLayer();
        if (overlay && !layerSettled(overlay.get(), overlay->activeArea())) return false;
    }
    return true;
}

void DocumentWindow::settingsChanged() {
    if (!hasImage_) return;
    view_->setOrientation(document_->getOrientation());
    view_->setCropRect(document_->getCropRect());
}

void DocumentWindow::eyedropperWasClicked(TiledViewGeometry&, QPointF imagePoint) {
    document_->setWBFromPoint(imagePoint.x(), imagePoint.y());
}

void DocumentWindow::cropRectChanged(const QRectF& imageRect) { document_->cropRectChanged(imageRect); }

void DocumentWindow::closeEvent(QCloseEvent* event) {
    view_->doneWithView();
    closeDocument();
    event->accept();
}

void DocumentWindow::closeDocument() {
    if (closed_) return;
    closed_ = true;
    document_->close();
}
