#include "app/main/EditingProgramWindow.h"

#include <QEvent>
#include <algorithm>
#include <map>

#include "app/core/DocumentWindow.h"
#include "app/core/Keys.h"
#include "app/core/MyDocument.h"
#include "app/ui/DocumentController.h"
#include "app/ui/EditingWindow.h"
#include "display/TiledImageView.h"
#include "platform/MainQueue.h"
#include "platform/Notifications.h"
#include "raw/wrapper/ImageWrapper.h"
#include "settings/Schema.h"

namespace {
std::map<const MyDocument*, platform::Error>& presentedErrors() {
    static std::map<const MyDocument*, platform::Error> errors; // main thread only
    return errors;
}
} // namespace

void notePresentedError(const MyDocument* document, const platform::Error& error) {
    if (document) presentedErrors()[document] = error;
}

// Registered with the document beside the editing window, only to hear why a render failed
// (the document presents the error, then asks its windows to close).
class EditingProgramWindow::Watcher : public DocumentWindow {
  public:
    Watcher(std::weak_ptr<MyDocument> document, std::shared_ptr<std::optional<platform::Error>> failure)
        : document_(std::move(document)), failure_(std::move(failure)) {}
    platform::Rect activeTiledRect() override { return {-1, -1, -1, -1}; }
    void setTempAndTint(float, float) override {}
    void setSceneReferred(bool) override {}
    void closeWindow() override {
        if (*failure_) return;
        platform::Error error = app::errors::Table.error(app::errors::RenderFailed);
        auto document = document_.lock();
        if (auto it = presentedErrors().find(document.get()); document && it != presentedErrors().end()) {
            *failure_ = it->second;
            presentedErrors().erase(it);
            return;
        }
        if (document)
            if (auto engine = document->displayEngine())
                if (auto wrapper = engine->rawFileWrapper())
                    if (auto reported = wrapper->error()) error = *reported;
        *failure_ = error;
    }

  private:
    std::weak_ptr<MyDocument> document_;
    std::shared_ptr<std::optional<platform::Error>> failure_;
};

EditingProgramWindow::EditingProgramWindow(EditingWindow* window, std::shared_ptr<MyDocument> document)
    : QObject(window), window_(window), document_(std::move(document)),
      watcher_(std::make_shared<Watcher>(document_, renderError_)) {
    document_->addWindowController(watcher_);
    // Off the document before the window's own close handling, which closes the document
    // with its last window.
    window->installEventFilter(this);
    auto& center = platform::NotificationCenter::defaultCenter();
    const void* sender = document_.get();
    QPointer<EditingProgramWindow> self(this);
    tokens_.push_back(center.addObserver(
        platform::notification::EngineDidStart, sender,
        [self](const platform::Notification&) {
            if (self) self->rendering_ = true;
        },
        &platform::MainQueue::shared()));
    // Registered after the window's own observer, so the view has the new image already and
    // its tiles still show the last render's contents.
    tokens_.push_back(center.addObserver(
        platform::notification::NewProcessedImage, sender,
        [self](const platform::Notification&) {
            if (self) self->rendered();
        },
        &platform::MainQueue::shared()));
}

bool EditingProgramWindow::eventFilter(QObject* watched, QEvent* event) {
    // The type first: while the window is destroyed it sends events its QPointer cannot cast.
    if (event->type() == QEvent::Close && watched == parent()) document_->removeWindowController(watcher_);
    return QObject::eventFilter(watched, event);
}

EditingProgramWindow::~EditingProgramWindow() {
    for (const auto& token : tokens_)
        platform::NotificationCenter::defaultCenter().removeObserver(token);
    document_->removeWindowController(watcher_);
}

void EditingProgramWindow::rendered() {
    rendering_ = false;
    if (!window_) return;
    staleTiles_ = staleTilesOf(*window_->imageView());
    hasImage_ = document_->outputImage() != nullptr;
}

QWidget* EditingProgramWindow::widget() { return window_; }
TiledImageView& EditingProgramWindow::imageView() { return *window_->imageView(); }
HistogramView& EditingProgramWindow::histogramView() { return *window_->histogramView(); }

bool EditingProgramWindow::tilesSettled() const {
    return hasImage_ && window_ && viewTilesSettled(*window_->imageView(), staleTiles_);
}

std::optional<platform::Value> EditingProgramWindow::valueForKey(const std::string& key) {
    return document_->valueForKey(key);
}

void EditingProgramWindow::setValue(std::optional<platform::Value> value, const std::string& key) {
    document_->setValue(std::move(value), key);
    noteSettingChanged(key);
}

void EditingProgramWindow::noteSettingChanged(const std::string& key) {
    // The engine starts on its own queue; until it says so the picture is not the new one.
    const bool renders = key.starts_with(settings::FilterPrefix) ||
                         std::find(MyDocument::kObservedKeys.begin(), MyDocument::kObservedKeys.end(), key) !=
                             MyDocument::kObservedKeys.end();
    if (renders && !*renderError_) rendering_ = true;
    if (hasImage_ && window_) {
        window_->imageView()->setOrientation(document_->getOrientation());
        const platform::Rect crop = document_->getCropRect();
        window_->imageView()->setCropRect(QRectF(crop.x, crop.y, crop.width, crop.height));
    }
}

ProgramWindow* editingProgramWindowFor(EditingWindow* window) {
    if (auto* known = window->findChild<EditingProgramWindow*>()) return known;
    return new EditingProgramWindow(window, window->document());
}

WindowOpener editingWindows() {
    return [](const std::filesystem::path& file) -> std::variant<ProgramWindow*, platform::Error> {
        auto& controller = DocumentController::sharedDocumentController();
        platform::Error error;
        auto document = controller.openDocumentWithContentsOfURL(file, true, &error);
        if (!document) return error;
        EditingWindow* window = controller.windowForDocument(document.get());
        if (!window) return app::errors::Table.error(app::errors::NoWindow);
        return editingProgramWindowFor(window);
    };
}
