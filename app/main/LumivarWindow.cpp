#include "app/main/LumivarWindow.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <map>

#include "app/core/AlertPresenter.h"
#include "display/CropLayerController.h"
#include "display/VQTileSublayer.h"
#include "display/VQTiledLayer.h"
#include "display/ZadeDivivCATiledLayerView.h"
#include "display/widgets/CIImageView.h"
#include "engine/core/TiledEngine.h"

namespace {

// Every tile in sight shows what it was last asked for: none waits for a fetch.
bool layerSettled(const VQTiledLayer* layer, const QRectF& area,
                  const std::map<const Layer*, qint64>* stale) {
    if (!layer || layer->isHidden()) return true;
    for (const auto& tile : layer->sublayers()) {
        if (tile->isHidden() || !tile->frame().intersects(area)) continue;
        if (!tile->hasContents()) return false;
        if (!stale) continue; // the overlay's tiles draw themselves
        if (static_cast<const VQTileSublayer&>(*tile).contentIsDirty()) return false;
        // The image's tiles: the full answer (a thumbnail is drawn smooth), fetched since the
        // last render (a fetch clears the dirty mark when it starts, not when it ends).
        if (tile->magnificationFilter() != LayerFilter::Nearest) return false;
        auto it = stale->find(tile.get());
        if (it != stale->end() && it->second == tile->contents().cacheKey()) return false;
    }
    return true;
}

} // namespace

LumivarWindow::LumivarWindow(std::unique_ptr<ViewerDocument> document, QWidget* parent)
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

LumivarWindow::~LumivarWindow() {
    *alive_ = false;
    closeDocument();
    view_->setEyeDropperDelegate(nullptr);
}

void LumivarWindow::startDisplay() {
    std::weak_ptr<bool> alive = alive_;
    const auto live = [alive] {
        auto a = alive.lock();
        return a && *a;
    };
    ViewerDocument::Hooks hooks;
    hooks.started = [this, live] {
        if (live()) rendering_ = true;
    };
    hooks.rendered = [this, live] {
        if (!live()) return;
        rendering_ = false;
        imageRendered();
    };
    hooks.failed = [this, live](platform::Error error) {
        if (!live()) return;
        rendering_ = false;
        renderError_ = error;
        Q_EMIT renderFailed(QString::fromStdString(error.failureReason));
    };
    hooks.visibleImageRect = [this, live] {
        if (!live() || !hasImage_) return QRectF(-1, -1, -1, -1);
        const platform::Rect r = view_->activeTiledRect();
        return QRectF(r.x, r.y, r.width, r.height);
    };
    document_->startDisplay(std::move(hooks));
}

void LumivarWindow::imageRendered() {
    if (closed_) return;
    auto image = document_->outputImage();
    if (!image) return;
    const bool first = !hasImage_;
    if (first) view_->setVisible(true);
    // What the tiles show now is of the render before.
    staleTiles_.clear();
    if (const auto& layer = view_->geometryModel().tiledLayer())
        for (const auto& tile : layer->sublayers())
            if (tile->hasContents()) staleTiles_[tile.get()] = tile->contents().cacheKey();
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

bool LumivarWindow::tilesSettled() const {
    if (!hasImage_) return false;
    const auto& model = view_->geometryModel();
    const auto& layer = model.tiledLayer();
    if (!layer || layer->sublayers().empty()) return false;
    if (!layerSettled(layer.get(), layer->activeArea(), &staleTiles_)) return false;
    if (const CropLayerController* crop = model.cropLayerCntrl()) {
        const auto& overlay = crop->ourLayer();
        if (overlay && !layerSettled(overlay.get(), overlay->activeArea(), nullptr)) return false;
    }
    return true;
}

void LumivarWindow::settingChanged(const std::string& key) {
    if (document_->rerendersOn(key) && !renderError_) rendering_ = true;
    if (!hasImage_) return;
    view_->setOrientation(document_->getOrientation());
    view_->setCropRect(document_->getCropRect());
}

void LumivarWindow::eyedropperWasClicked(TiledViewGeometry&, QPointF imagePoint) {
    document_->setWBFromPoint(imagePoint.x(), imagePoint.y());
}

void LumivarWindow::cropRectChanged(const QRectF& imageRect) { document_->cropRectChanged(imageRect); }

void LumivarWindow::closeEvent(QCloseEvent* event) {
    view_->doneWithView();
    closeDocument();
    event->accept();
}

void LumivarWindow::closeDocument() {
    if (closed_) return;
    closed_ = true;
    document_->close();
}
