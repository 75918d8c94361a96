#pragma once
// Waits of the window tests on the X server: for a document's renders and for a window whose
// drawing has come to rest.
#include <map>

#include "app/ui/EditingWindow.h"
#include "display/TiledImageView.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/Notifications.h"
#include "tests/display/gui/GuiTestSupport.h"

namespace guitest {

// Counts the renders that finished for each document.
struct Renders {
    Renders() {
        token = platform::NotificationCenter::defaultCenter().addObserver(
            platform::notification::NewProcessedImage, nullptr,
            [this](const platform::Notification& n) { ++count[n.object]; }, &platform::MainQueue::shared());
    }
    ~Renders() { platform::NotificationCenter::defaultCenter().removeObserver(token); }
    Renders(const Renders&) = delete;
    Renders& operator=(const Renders&) = delete;
    // Waits for a render of the document after `seen` of them.
    bool after(const void* document, int seen, int ms = 60000) {
        return processEventsUntil([&] { return count[document] > seen; }, ms);
    }
    std::map<const void*, int> count;
    platform::ObserverToken token;
};

// The spinner has stopped and no tile is being drawn; then a little longer, since the last
// tiles can reach the screen a paint after both say so.
inline bool settle(EditingWindow* window, int ms = 30000) {
    processEventsFor(300);
    const bool settled = processEventsUntil(
        [window] { return window->spinner().counter() < 0 && !window->imageView()->getDrawInProgress(); },
        ms);
    if (settled) processEventsFor(200);
    return settled;
}

} // namespace guitest
