#include "app/main/LumivarWindow.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <map>

#include "app/core/AlertPresenter.h"
#include "app/core/Keys.h"
#include "app/main/TilesSettled.h"
#include "display/CropLayerController.h"
#include "display/TileSublayer.h"
#include "display/TiledImageView.h"
#include "display/TiledLayer.h"
#include "display/widgets/HistogramView.h"
#include "engine/core/TiledEngine.h"

LumivarWindow::LumivarWindow(std::unique_ptr<ViewerDocument> document, QWidget* parent)
    : QWidget(parent), document_(std::move(document)) {
    setWindowTitle(QString::fromStdString(document_->displayName()));
    setAttribute(Qt::WA_DeleteOnClose);
    QPalette dark = palette();
    dark.setColor(QPalette::Window, QColor(48, 48, 48));
    setPalette(dark);
    setAutoFillBackground(true);

    view_ = new TiledImageView(this);
    view_->setEyeDropperDelegate(this);
    // Hidden until the first image, as the editing window does.
    view_->setVisible(false);
    histogram_ = new HistogramView(this);
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
    staleTiles_ = staleTilesOf(*view_);
    if (!view_->setImage(image, document_->getOrientation(), 0)) {
        renderError_ = app::errors::Table.error(app::errors::NoGraphicsMemory);
        Q_EMIT renderFailed(QString::fromStdString(renderError_->failureReason));
        return;
    }
    if (first) view_->setScaleFactorToFit();
    view_->setCropRect(document_->getCropRect());
    histogram_->setImage(image->getThumbnail(true));
    hasImage_ = true;
}

bool LumivarWindow::tilesSettled() const { return hasImage_ && viewTilesSettled(*view_, staleTiles_); }

std::optional<platform::Value> LumivarWindow::valueForKey(const std::string& key) {
    return document_->valueForKey(key);
}

void LumivarWindow::setValue(std::optional<platform::Value> value, const std::string& key) {
    document_->setValue(std::move(value), key);
    settingChanged(key);
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
