#include "app/main/OpenDocument.h"

#include <algorithm>

#include "app/core/DocumentWindow.h"
#include "app/core/Keys.h"
#include "app/core/MyDocument.h"
#include "platform/MainQueue.h"
#include "platform/Notifications.h"
#include "settings/Schema.h"

namespace {

// What the document asks of its window, handed to the window's hooks.
class WindowBridge : public DocumentWindow {
  public:
    WindowBridge(ViewerDocument::Hooks hooks, std::weak_ptr<MyDocument> document)
        : hooks_(std::move(hooks)), document_(std::move(document)) {}

    platform::Rect activeTiledRect() override {
        const QRectF r = hooks_.visibleImageRect ? hooks_.visibleImageRect() : QRectF(-1, -1, -1, -1);
        return {r.x(), r.y(), r.width(), r.height()};
    }
    // The plain window has no white-balance or rendering-intent controls to update.
    void setTempAndTint(float, float) override {}
    void setSceneReferred(bool) override {}
    // Asked after the document presented why its image cannot be shown.
    void closeWindow() override {
        if (!hooks_.failed || failed_) return;
        failed_ = true;
        hooks_.failed(reason());
    }

    const ViewerDocument::Hooks& hooks() const { return hooks_; }

  private:
    platform::Error reason() const {
        if (auto document = document_.lock())
            if (auto engine = document->displayEngine())
                if (auto wrapper = engine->rawFileWrapper())
                    if (auto error = wrapper->error()) return *error;
        return app::errors::Table.error(app::errors::RenderFailed);
    }

    ViewerDocument::Hooks hooks_;
    std::weak_ptr<MyDocument> document_;
    bool failed_ = false;
};

class MyDocumentViewer : public ViewerDocument {
  public:
    explicit MyDocumentViewer(std::shared_ptr<MyDocument> document) : document_(std::move(document)) {}
    ~MyDocumentViewer() override { close(); }

    std::string displayName() const override { return document_->displayName(); }

    void startDisplay(Hooks hooks) override {
        bridge_ = std::make_shared<WindowBridge>(std::move(hooks), document_);
        auto& center = platform::NotificationCenter::defaultCenter();
        std::weak_ptr<WindowBridge> bridge = bridge_;
        const auto relay = [bridge](std::function<void()> ViewerDocument::Hooks::*hook) {
            return [bridge, hook](const platform::Notification&) {
                if (auto b = bridge.lock(); b && b->hooks().*hook) (b->hooks().*hook)();
            };
        };
        tokens_.push_back(center.addObserver(platform::notification::EngineDidStart, document_.get(),
                                             relay(&Hooks::started), &platform::MainQueue::shared()));
        tokens_.push_back(center.addObserver(platform::notification::NewProcessedImage, document_.get(),
                                             relay(&Hooks::rendered), &platform::MainQueue::shared()));
        document_->addWindowController(bridge_);
        document_->documentIsForDisplay(true);
    }

    std::shared_ptr<TiledEngine> outputImage() override { return document_->outputImage(); }
    int32_t getOrientation() override { return document_->getOrientation(); }
    QRectF getCropRect() override {
        const platform::Rect r = document_->getCropRect();
        return {r.x, r.y, r.width, r.height};
    }
    void cropRectChanged(const QRectF& crop) override {
        document_->cropRectChanged({crop.x(), crop.y(), crop.width(), crop.height()});
    }
    void setWBFromPoint(double x, double y) override { document_->setWBFromPoint(x, y); }
    std::optional<platform::Value> valueForKey(const std::string& key) override {
        return document_->valueForKey(key);
    }
    void setValue(std::optional<platform::Value> value, const std::string& key) override {
        document_->setValue(std::move(value), key);
    }

    bool rerendersOn(const std::string& key) const override {
        if (key.starts_with(settings::FilterPrefix)) return true;
        return std::find(MyDocument::kObservedKeys.begin(), MyDocument::kObservedKeys.end(), key) !=
               MyDocument::kObservedKeys.end();
    }

    void close() override {
        if (closed_) return;
        closed_ = true;
        for (const auto& token : tokens_)
            platform::NotificationCenter::defaultCenter().removeObserver(token);
        tokens_.clear();
        document_->close();
        bridge_.reset();
    }

  private:
    std::shared_ptr<MyDocument> document_;
    std::shared_ptr<WindowBridge> bridge_;
    std::vector<platform::ObserverToken> tokens_;
    bool closed_ = false;
};

} // namespace

std::unique_ptr<ViewerDocument> viewerOf(std::shared_ptr<MyDocument> document) {
    return std::make_unique<MyDocumentViewer>(std::move(document));
}

OpenedDocument openDocument(const std::filesystem::path& file) {
    auto document = MyDocument::create();
    platform::Error error;
    if (!document->read(file.string(), &error)) return error;
    return viewerOf(std::move(document));
}
