#pragma once
// Drives a document as the program would, without a display: a recording window, a
// recording alert presenter, and the main queue run until the document has rendered.
// Header-only, so only the programs that test documents link the application layer.
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/core/AlertPresenter.h"
#include "app/core/DocumentWindow.h"
#include "app/core/MyDocument.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/Notifications.h"

namespace testsupport {

class FakeWindow : public DocumentWindow {
  public:
    explicit FakeWindow(platform::Rect rect = {-1, -1, -1, -1}) : rect(rect) {}
    platform::Rect activeTiledRect() override { return rect; }
    void setTempAndTint(float temperature, float tint) override {
        tempAndTint.push_back({temperature, tint});
    }
    void setSceneReferred(bool flag) override { sceneReferred.push_back(flag); }
    void closeWindow() override { ++closeRequests; }

    platform::Rect rect;
    std::vector<std::pair<float, float>> tempAndTint;
    std::vector<bool> sceneReferred;
    int closeRequests = 0;
};

// Installed for its lifetime.
class RecordingPresenter : public AlertPresenter {
  public:
    RecordingPresenter() { AlertPresenter::setShared(this); }
    ~RecordingPresenter() override { AlertPresenter::setShared(nullptr); }
    void presentError(const platform::Error& error, const MyDocument*) override { errors.push_back(error); }
    std::vector<platform::Error> errors;
};

// Counts a notification of one sender while it lives.
class NotificationCount {
  public:
    NotificationCount(std::string_view name, const void* sender) {
        token_ = platform::NotificationCenter::defaultCenter().addObserver(
            name, sender, [this](const platform::Notification&) { ++count; });
    }
    ~NotificationCount() { platform::NotificationCenter::defaultCenter().removeObserver(token_); }
    NotificationCount(const NotificationCount&) = delete;
    NotificationCount& operator=(const NotificationCount&) = delete;
    int count = 0;

  private:
    platform::ObserverToken token_;
};

// Generous: a real camera file decodes several times slower under ThreadSanitizer.
inline constexpr std::chrono::milliseconds kRenderTimeout{180000};

// Runs the main queue until `document` has posted "Tarnwell_NewProcessedImage" `times`
// times (counted from now) or the timeout passes.
inline bool runUntilProcessed(const MyDocument& document, int times = 1,
                              std::chrono::milliseconds timeout = kRenderTimeout) {
    NotificationCount processed(platform::notification::NewProcessedImage, &document);
    return platform::MainQueue::shared().runUntil([&] { return processed.count >= times; }, timeout);
}

// Runs the main queue until `done` holds or the timeout passes.
inline bool runMainUntil(const std::function<bool()>& done,
                         std::chrono::milliseconds timeout = kRenderTimeout) {
    return platform::MainQueue::shared().runUntil(done, timeout);
}

// Reads, adds a window and shows the document; false when the read fails.
inline bool showDocument(MyDocument& document, const std::string& location,
                         const std::shared_ptr<FakeWindow>& window, platform::Error* error = nullptr) {
    if (!document.read(location, error)) return false;
    document.addWindowController(window);
    document.documentIsForDisplay(true);
    return true;
}

} // namespace testsupport
