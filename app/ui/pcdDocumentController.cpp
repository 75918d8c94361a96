#include "app/ui/pcdDocumentController.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QUrl>
#include <algorithm>

#include "app/core/AppTables.h"
#include "app/core/DataStoreItem.h"
#include "app/core/MultiDataStore.h"
#include "app/core/MyDocument.h"
#include "app/core/PresetManager.h"
#include "app/ui/WindowChoosers.h"
#include "app/ui/ZadeDivivWindowController.h"
#include "platform/Log.h"
#include "platform/MainQueue.h"
#include "platform/Notifications.h"
#include "platform/UserDefaults.h"

namespace {
// Items the gating leaves to the framework.
bool alwaysEnabled(const QAction* item) {
    return item->objectName() == "quit" || item->objectName() == "about" ||
           item->menuRole() == QAction::QuitRole;
}
} // namespace

pcdDocumentController& pcdDocumentController::sharedDocumentController() {
    static pcdDocumentController* controller = new pcdDocumentController;
    return *controller;
}

pcdDocumentController::pcdDocumentController() {
    app::registerApplicationDefaults(platform::UserDefaults::standard());
    auto& center = platform::NotificationCenter::defaultCenter();
    auto& main = platform::MainQueue::shared();
    QPointer<pcdDocumentController> self(this);
    tokens_.push_back(center.addObserver(
        platform::notification::DocumentChange, nullptr,
        [self](const platform::Notification& n) {
            if (self) self->documentDidChange(n);
        },
        &main));
    tokens_.push_back(center.addObserver(
        platform::notification::DisableMenus, nullptr,
        [self](const platform::Notification&) {
            if (self) self->setMenusActive(false);
        },
        &main));
    tokens_.push_back(center.addObserver(
        platform::notification::EnableMenus, nullptr,
        [self](const platform::Notification&) {
            if (self) self->setMenusActive(true);
        },
        &main));
    // Posted on an engine's queue; the inspector's widgets live on the GUI thread.
    tokens_.push_back(center.addObserver(
        platform::notification::NewImageMetadata, nullptr,
        [self](const platform::Notification& n) {
            if (self) self->newImageMetadata(n);
        },
        &main));
}

pcdDocumentController::~pcdDocumentController() {
    for (const auto& token : tokens_)
        platform::NotificationCenter::defaultCenter().removeObserver(token);
}

std::shared_ptr<MyDocument>
pcdDocumentController::openDocumentWithContentsOfURL(const std::filesystem::path& url, bool display,
                                                     platform::Error* error) {
    std::error_code ec;
    const auto wanted = std::filesystem::weakly_canonical(url, ec);
    for (const Open& open : open_) {
        // The document's own file, when it already shows (a proxy finds its raw file).
        if (open.window && open.window->property("lumivarPath").toString().toStdString() == wanted.string()) {
            open.window->raise();
            open.window->activateWindow();
            return open.document;
        }
    }
    auto document = MyDocument::create();
    if (!document->read(url.string(), error)) return nullptr;
    ZadeDivivWindowController* window = nullptr;
    if (display) {
        window = ZadeDivivWindowController::makeWindowControllers(document);
        window->setProperty("lumivarPath", QString::fromStdString(wanted.string()));
        installMenus(window);
        QPointer<pcdDocumentController> self(this);
        const MyDocument* raw = document.get();
        connect(window, &QObject::destroyed, this, [self, raw] {
            if (self) self->removeDocument(raw);
        });
    }
    open_.push_back({document, window});
    return document;
}

std::vector<std::shared_ptr<MyDocument>> pcdDocumentController::documents() const {
    std::vector<std::shared_ptr<MyDocument>> out;
    for (const Open& open : open_)
        out.push_back(open.document);
    return out;
}

ZadeDivivWindowController* pcdDocumentController::windowForDocument(const MyDocument* document) const {
    for (const Open& open : open_)
        if (open.document.get() == document) return open.window;
    return nullptr;
}

std::shared_ptr<MyDocument> pcdDocumentController::currentDocument() const {
    QWidget* active = QApplication::activeWindow();
    for (const Open& open : open_)
        if (open.window && open.window == active) return open.document;
    return nullptr;
}

void pcdDocumentController::removeDocument(const MyDocument* document) {
    open_.erase(std::remove_if(open_.begin(), open_.end(),
                               [document](const Open& open) { return open.document.get() == document; }),
                open_.end());
    if (windows_.rebuildBrowserMenus) platform::MainQueue::shared().async(windows_.rebuildBrowserMenus);
    if (lastDocumentShown_ == document) lastDocumentShown_ = nullptr;
}

void pcdDocumentController::documentDidChange(const platform::Notification&) {
    if (auto current = currentDocument()) lastDocumentShown_ = current.get();
    if (!windows_.inspectorSetData || !lastDocumentShown_) return;
    for (const Open& open : open_) {
        if (open.document.get() != lastDocumentShown_) continue;
        auto metadata = open.document->valueForKey("Lumivar_metaData");
        windows_.inspectorSetData(metadata && metadata->dictionary() ? std::optional(*metadata->dictionary())
                                                                     : std::nullopt);
    }
}

void pcdDocumentController::newImageMetadata(const platform::Notification& note) {
    auto current = currentDocument();
    if (!current || !windows_.inspectorSetData || !lastDocumentShown_) return;
    // The engine posts with itself as object; the current document's engine is the one.
    if (note.object != current.get() && note.object != current->displayEngine().get()) return;
    auto metadata = current->valueForKey("Lumivar_metaData");
    windows_.inspectorSetData(metadata && metadata->dictionary() ? std::optional(*metadata->dictionary())
                                                                 : std::nullopt);
}

bool pcdDocumentController::validateUserInterfaceItem(const QAction* item) const {
    return alwaysEnabled(item) || menusActive_;
}

void pcdDocumentController::setMenusActive(bool active) {
    menusActive_ = active;
    for (QWidget* window : QApplication::topLevelWidgets())
        applyMenuState(window);
}

void pcdDocumentController::applyMenuState(QWidget* window) {
    for (QAction* action : window->findChildren<QAction*>())
        if (!action->isSeparator() && !action->menu()) action->setEnabled(validateUserInterfaceItem(action));
    for (QAction* action : window->actions())
        action->setEnabled(validateUserInterfaceItem(action));
}

void pcdDocumentController::installMenus(QMainWindow* window) {
    QMenuBar* bar = window->menuBar();
    bar->clear();
    auto add = [this, window](QMenu* menu, const QString& title, const QString& name,
                              const QKeySequence& keys, std::function<void()> handler) {
        QAction* action = menu->addAction(title);
        action->setObjectName(name);
        if (!keys.isEmpty()) action->setShortcut(keys);
        connect(action, &QAction::triggered, window, [handler] {
            if (handler) handler();
        });
        return action;
    };
    auto* editing = qobject_cast<ZadeDivivWindowController*>(window);
    QMenu* file = bar->addMenu("File");
    add(file, "Open…", "open", QKeySequence::Open, [this] {
        if (windows_.showBrowser) windows_.showBrowser();
    });
    add(file, "Close", "close", QKeySequence::Close, [window] { window->close(); });
    if (editing) {
        add(file, "Export", "export", {}, [editing] { editing->exportAsSelected(); });
        add(file, "Update External Editor", "update", {}, [editing] { editing->extEditorUpdate(); });
    }
    file->addSeparator();
    QAction* quit = add(file, "Quit", "quit", QKeySequence::Quit, [] { QApplication::closeAllWindows(); });
    quit->setMenuRole(QAction::QuitRole);

    if (editing) {
        QMenu* view = bar->addMenu("View");
        add(view, "Zoom In", "zoomIn", {}, [editing] { editing->zoomIn(); });
        add(view, "Zoom Out", "zoomOut", {}, [editing] { editing->zoomOut(); });
        add(view, "Zoom to Fit", "zoomFit", {}, [editing] { editing->zoomImageToFit(); });
        add(view, "Actual Size", "zoom1", {}, [editing] { editing->zoomImageTo(1); });
        add(view, "Rotate Left", "rotateCCW", {}, [editing] { editing->rotateCCW(); });
        add(view, "Rotate Right", "rotateCW", {}, [editing] { editing->rotateCW(); });
    }
    QMenu* windowMenu = bar->addMenu("Window");
    add(windowMenu, "Browser", "showBrowser", {}, [this] {
        if (windows_.showBrowser) windows_.showBrowser();
    });
    add(windowMenu, "Inspector", "showInspector", {}, [this] { showInspector(); });
    add(windowMenu, "Camera Profiles", "showProfiles", {}, [this] {
        if (windows_.showProfiles) windows_.showProfiles();
    });
    add(windowMenu, "Presets", "showPresets", {}, [this] {
        if (windows_.showPresets) windows_.showPresets();
    });
    QMenu* lumivar = bar->addMenu("Lumivar");
    add(lumivar, "Preferences…", "preferences", QKeySequence::Preferences, [this] {
        if (windows_.showPreferences) windows_.showPreferences();
    });
    add(lumivar, "Reset Lumivar…", "reset", {}, [this] { resetLumivar(); });
    QMenu* helpMenu = bar->addMenu("Help");
    add(helpMenu, "About Lumivar", "about", {}, [window] {
        WindowChoosers::shared().alert(window, "Lumivar",
                                       "A raw-photo developer for black-and-white images.");
    });
    if (!help_.support.empty()) add(helpMenu, "Lumivar Help", "help", {}, [this] { showHelp(); });
    if (!help_.website.empty()) add(helpMenu, "Lumivar Website", "website", {}, [this] { showWebSite(); });
    if (!help_.supportEmail.empty()) add(helpMenu, "Contact Us", "contact", {}, [this] { showContactUs(); });
    applyMenuState(window);
}

void pcdDocumentController::showInspector() {
    if (windows_.showInspector) windows_.showInspector();
    documentDidChange({});
}

void pcdDocumentController::resetLumivar() {
    const bool go = WindowChoosers::shared().confirm(
        QApplication::activeWindow(), "Warning: resetting can't be undone",
        "Resetting will delete the image catalog, losing all of your previous edits, and delete all existing "
        "presets.",
        "Cancel", "Go ahead and reset");
    if (!go) return;
    platform::logMessage("Lumivar/tarnwell reset.");
    platform::Error error;
    if (!PresetManager::sharedPresetManager().deleteAllPresets(&error))
        WindowChoosers::shared().alert(QApplication::activeWindow(), "Reset failed",
                                       QString::fromStdString(error.failureReason));
    error = {};
    auto store = MultiDataStore::sharedMultiDataStore().dataStoreForStore("Catalog");
    if (store && !store->deleteCurrentCatalog(&error))
        WindowChoosers::shared().alert(QApplication::activeWindow(), "Reset failed",
                                       QString::fromStdString(error.failureReason));
}

void pcdDocumentController::showHelp() {
    if (!WindowChoosers::shared().openUrl(QString::fromStdString(help_.support)))
        platform::logMessage("Attempt to open %s failed.", help_.support.c_str());
}

void pcdDocumentController::showWebSite() {
    if (!WindowChoosers::shared().openUrl(QString::fromStdString(help_.website)))
        platform::logMessage("Attempt to open %s failed.", help_.website.c_str());
}

void pcdDocumentController::showContactUs() {
    const QString subject = QString::fromUtf8(QUrl::toPercentEncoding("Lumivar support"));
    const QString url =
        QString("mailto:%1?%2")
            .arg(QString::fromStdString(help_.supportEmail), QString("SUBJECT=%1").arg(subject));
    if (!WindowChoosers::shared().openUrl(url)) platform::logMessage("Attempt to e-mail support failed.");
}
