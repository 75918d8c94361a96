#include "app/ui/DocumentController.h"

#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QFile>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeDatabase>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>
#include <algorithm>
#include <map>

#include "app/core/AlertPresenter.h"
#include "app/core/AppTables.h"
#include "app/core/CatalogStore.h"
#include "app/core/Keys.h"
#include "app/core/MyDocument.h"
#include "app/core/PresetManager.h"
#include "app/core/PropertyListStore.h"
#include "app/ui/EditingWindow.h"
#include "app/ui/WindowChoosers.h"
#include "platform/Log.h"
#include "platform/MainQueue.h"
#include "platform/Notifications.h"
#include "platform/UserDefaults.h"

namespace {
// Items the gating leaves to the framework.
bool alwaysEnabled(const QAction* item) {
    if (const menus::Item* spec = menus::itemNamed(item->objectName().toStdString()))
        return spec->needs == menus::Needs::Always;
    return item->menuRole() == QAction::QuitRole;
}

QString qstr(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

// Edit > Select All: the focused field's text, else the list of a window that lists things
// (the browser's grid); a document's sidebar is no such list.
void selectAllIn(QWidget& window) {
    QWidget* focus = window.focusWidget();
    if (auto* field = qobject_cast<QLineEdit*>(focus))
        field->selectAll();
    else if (qobject_cast<EditingWindow*>(&window))
        return;
    else if (auto* view = qobject_cast<QAbstractItemView*>(focus))
        view->selectAll();
    else if (auto* grid = window.findChild<QAbstractItemView*>())
        grid->selectAll();
}

// A main window's own bar; a plain window gets one above its layout.
QMenuBar* applicationMenuBar(QWidget* window) {
    if (auto* main = qobject_cast<QMainWindow*>(window)) return main->menuBar();
    if (auto* bar = window->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly)) return bar;
    auto* bar = new QMenuBar(window);
    if (window->layout()) window->layout()->setMenuBar(bar);
    return bar;
}

} // namespace

DocumentController& DocumentController::sharedDocumentController() {
    static DocumentController* controller = new DocumentController;
    return *controller;
}

DocumentController::DocumentController()
    : help_{LUMIVAR_WEBSITE_URL, LUMIVAR_SUPPORT_URL, LUMIVAR_SUPPORT_EMAIL} {
    app::registerApplicationDefaults(platform::UserDefaults::standard());
    auto& center = platform::NotificationCenter::defaultCenter();
    auto& main = platform::MainQueue::shared();
    QPointer<DocumentController> self(this);
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

DocumentController::~DocumentController() {
    delete qrView_;
    for (const auto& token : tokens_)
        platform::NotificationCenter::defaultCenter().removeObserver(token);
}

std::shared_ptr<MyDocument>
DocumentController::openDocumentWithContentsOfURL(const std::filesystem::path& url, bool display,
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
    EditingWindow* window = nullptr;
    if (display) {
        window = EditingWindow::makeWindowControllers(document);
        window->setProperty("lumivarPath", QString::fromStdString(wanted.string()));
        installMenus(window);
        QPointer<DocumentController> self(this);
        const MyDocument* raw = document.get();
        connect(window, &QObject::destroyed, this, [self, raw] {
            if (self) self->removeDocument(raw);
        });
        lastDocumentShown_ = raw;
    }
    open_.push_back({document, window});
    if (window) {
        noteRecentDocument(wanted);
        if (windows_.documentsChanged) windows_.documentsChanged();
        Q_EMIT documentWindowOpened(window);
    }
    return document;
}

std::vector<std::shared_ptr<MyDocument>> DocumentController::documents() const {
    std::vector<std::shared_ptr<MyDocument>> out;
    for (const Open& open : open_)
        out.push_back(open.document);
    return out;
}

EditingWindow* DocumentController::windowForDocument(const MyDocument* document) const {
    for (const Open& open : open_)
        if (open.document.get() == document) return open.window;
    return nullptr;
}

std::shared_ptr<MyDocument> DocumentController::currentDocument() const {
    QWidget* active = QApplication::activeWindow();
    for (const Open& open : open_)
        if (open.window && open.window == active) return open.document;
    return nullptr;
}

EditingWindow* DocumentController::lastShownWindow() const {
    for (const Open& open : open_)
        if (open.document.get() == lastDocumentShown_ && open.window) return open.window;
    for (auto it = open_.rbegin(); it != open_.rend(); ++it)
        if (it->window) return it->window;
    return nullptr;
}

void DocumentController::newPresetForLastDocument() {
    if (EditingWindow* window = lastShownWindow()) window->showNewPresetWindow();
}

QStringList DocumentController::openPanelFilters() {
    QStringList all, each;
    const QMimeDatabase database;
    for (std::string_view name : app::openableMimeTypes()) {
        const QMimeType type = database.mimeTypeForName(qstr(name));
        if (!type.isValid() || type.globPatterns().isEmpty()) continue;
        all << type.globPatterns();
        each << type.filterString();
    }
    all.removeDuplicates();
    return QStringList{QString("Raw files and images (%1)").arg(all.join(' '))} + each;
}

void DocumentController::runModalOpenPanel(QWidget* parent) {
    const std::vector<std::filesystem::path> files =
        WindowChoosers::shared().openFiles(parent, "Open", openPanelFilters());
    for (const auto& file : files) {
        platform::Error error;
        if (!openDocumentWithContentsOfURL(file, true, &error)) {
            if (error.failureReason.empty()) error.failureReason = "The file could not be opened.";
            AlertPresenter::shared().presentError(error, nullptr);
        }
    }
}

std::vector<std::filesystem::path> DocumentController::recentDocuments() const {
    std::vector<std::filesystem::path> files;
    if (auto stored = platform::UserDefaults::standard().arrayForKey(app::defaults::RecentDocuments))
        for (const platform::Value& value : *stored)
            if (value.string() && !value.string()->empty()) files.emplace_back(*value.string());
    return files;
}

void DocumentController::noteRecentDocument(const std::filesystem::path& file) {
    platform::Array files{platform::Value(file.string())};
    for (const auto& known : recentDocuments())
        if (known != file && files.size() < menus::kRecentDocumentCount) files.emplace_back(known.string());
    platform::UserDefaults::standard().setObject(platform::Value(std::move(files)),
                                                 app::defaults::RecentDocuments);
    applyMenuStateEverywhere();
}

void DocumentController::clearRecentDocuments() {
    platform::UserDefaults::standard().removeObjectForKey(app::defaults::RecentDocuments);
    applyMenuStateEverywhere();
}

void DocumentController::removeDocument(const MyDocument* document) {
    open_.erase(std::remove_if(open_.begin(), open_.end(),
                               [document](const Open& open) { return open.document.get() == document; }),
                open_.end());
    if (windows_.rebuildBrowserMenus) platform::MainQueue::shared().async(windows_.rebuildBrowserMenus);
    if (lastDocumentShown_ == document) lastDocumentShown_ = nullptr;
    if (windows_.documentsChanged) windows_.documentsChanged();
}

void DocumentController::documentDidChange(const platform::Notification&) {
    if (auto current = currentDocument()) lastDocumentShown_ = current.get();
    if (!windows_.inspectorSetData || !lastDocumentShown_) return;
    for (const Open& open : open_) {
        if (open.document.get() != lastDocumentShown_) continue;
        auto metadata = open.document->valueForKey(app::keys::MetaData);
        windows_.inspectorSetData(metadata && metadata->dictionary() ? std::optional(*metadata->dictionary())
                                                                     : std::nullopt);
    }
}

void DocumentController::newImageMetadata(const platform::Notification& note) {
    auto current = currentDocument();
    if (!current || !windows_.inspectorSetData || !lastDocumentShown_) return;
    // The engine posts with itself as object; the current document's engine is the one.
    if (note.object != current.get() && note.object != current->displayEngine().get()) return;
    auto metadata = current->valueForKey(app::keys::MetaData);
    windows_.inspectorSetData(metadata && metadata->dictionary() ? std::optional(*metadata->dictionary())
                                                                 : std::nullopt);
}

bool DocumentController::validateUserInterfaceItem(const QAction* item) const {
    return alwaysEnabled(item) || menusActive_;
}

void DocumentController::setMenusActive(bool active) {
    menusActive_ = active;
    applyMenuStateEverywhere();
}

void DocumentController::applyMenuStateEverywhere() {
    // Menus and pop-ups are top-level widgets too; their window holds their items' state.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->windowType() == Qt::Window) applyMenuState(window);
}

menus::MenuState DocumentController::menuStateFor(QWidget* window) const {
    menus::MenuState state;
    state.menusActive = menusActive_;
    auto* editing = qobject_cast<EditingWindow*>(window);
    state.hasDocument = editing && editing->document() && !editing->windowHasClosed();
    state.externalEditor = state.hasDocument && editing->document()->extEditorURL().has_value();
    state.photoCdDocument = state.hasDocument && editing->photoCdDocument();
    state.hasRecentDocuments = !recentDocuments().empty();
    return state;
}

void DocumentController::applyMenuState(QWidget* window) {
    const menus::MenuState state = menuStateFor(window);
    const auto apply = [&](QAction* action) {
        if (action->isSeparator()) return;
        if (const menus::Item* item = menus::itemNamed(action->objectName().toStdString()))
            action->setEnabled(menus::itemEnabled(item->needs, state));
        else if (!action->menu())
            action->setEnabled(validateUserInterfaceItem(action));
    };
    for (QAction* action : window->findChildren<QAction*>())
        apply(action);
    for (QAction* action : window->actions())
        apply(action);
}

void DocumentController::installMenus(QWidget* window) {
    QMenuBar* bar = applicationMenuBar(window);
    bar->clear();
    auto* editing = qobject_cast<EditingWindow*>(window);
    std::map<std::string_view, QMenu*> menusByTitle;
    for (std::string_view title : menus::menuTitles())
        menusByTitle[title] = bar->addMenu(qstr(title));
    auto* modes = new QActionGroup(bar);
    modes->setExclusive(true);
    QPointer<QWidget> target(window);
    for (const menus::Item& item : menus::applicationMenuItems()) {
        QMenu* menu = menusByTitle.at(item.menu);
        if (!item.submenu.empty()) {
            for (QAction* action : menu->actions())
                if (action->menu() && action->text() == qstr(item.submenu)) menu = action->menu();
        }
        if (item.separatorBefore) menu->addSeparator();
        if (item.name == "openRecent" || item.name == "exportAs") {
            QMenu* submenu = menu->addMenu(qstr(item.title));
            submenu->menuAction()->setObjectName(qstr(item.name));
            if (item.name == "openRecent")
                connect(submenu, &QMenu::aboutToShow, this, [this, submenu] { fillRecentMenu(submenu); });
            continue;
        }
        QAction* action = menu->addAction(qstr(item.title));
        action->setObjectName(qstr(item.name));
        if (!item.shortcut.empty()) action->setShortcut(QKeySequence(qstr(item.shortcut)));
        if (item.checkable) {
            action->setCheckable(true);
            modes->addAction(action);
        }
        const std::string name(item.name);
        connect(action, &QAction::triggered, this, [this, target, name] {
            if (target) perform(name, target);
        });
        if (item.name == "quit") action->setMenuRole(QAction::QuitRole);
        if (item.name == "about") action->setMenuRole(QAction::NoRole);
        if ((item.name == "website" && help_.website.empty()) ||
            (item.name == "contact" && help_.supportEmail.empty()))
            action->setVisible(false);
    }
    QMenu* windowMenu = menusByTitle.at("Window");
    connect(windowMenu, &QMenu::aboutToShow, this, [this, windowMenu, target] {
        if (target) fillWindowMenu(windowMenu, target);
    });
    // The mode items follow the window's mode, however it was set.
    const QList<QAction*> modeActions = modes->actions();
    if (editing) {
        modeActions.value(int(editing->cursorMode()))->setChecked(true);
        connect(editing, &EditingWindow::cursorModeChanged, modes, [modeActions](int mode) {
            if (QAction* action = modeActions.value(mode)) action->setChecked(true);
        });
    }
    applyMenuState(window);
}

void DocumentController::fillRecentMenu(QMenu* menu) {
    menu->clear();
    for (const std::filesystem::path& file : recentDocuments()) {
        QAction* action = menu->addAction(QString::fromStdString(file.filename().string()));
        action->setObjectName(qstr(menus::kRecentItemName));
        action->setToolTip(QString::fromStdString(file.string()));
        action->setEnabled(menusActive_);
        connect(action, &QAction::triggered, this, [this, file] {
            platform::Error error;
            if (!openDocumentWithContentsOfURL(file, true, &error))
                AlertPresenter::shared().presentError(error, nullptr);
        });
    }
    menu->addSeparator();
    QAction* clear = menu->addAction("Clear Menu");
    clear->setObjectName("clearRecent");
    connect(clear, &QAction::triggered, this, [this] { clearRecentDocuments(); });
    // The menu is a window of its own; its items' state is its owner's.
    QWidget* owner = menu;
    while (owner && owner->windowType() != Qt::Window)
        owner = owner->parentWidget();
    if (owner) applyMenuState(owner);
}

void DocumentController::fillWindowMenu(QMenu* menu, QWidget* window) {
    for (QAction* action : menu->actions())
        if (action->objectName() == qstr(menus::kWindowItemName) ||
            action->objectName() == "documentsSeparator") {
            menu->removeAction(action);
            action->deleteLater();
        }
    bool first = true;
    for (const Open& open : open_) {
        if (!open.window) continue;
        if (first) menu->addSeparator()->setObjectName("documentsSeparator");
        first = false;
        QAction* action = menu->addAction(QString::fromStdString(open.document->displayName()));
        action->setObjectName(qstr(menus::kWindowItemName));
        action->setCheckable(true);
        action->setChecked(open.window == window);
        QPointer<EditingWindow> shown(open.window);
        connect(action, &QAction::triggered, this, [shown] {
            if (!shown) return;
            shown->raise();
            shown->activateWindow();
        });
    }
    applyMenuState(window);
}

void DocumentController::perform(std::string_view name, QWidget* window) {
    using Action = std::function<void(DocumentController&, QWidget&)>;
    using DocumentAction = std::function<void(EditingWindow&)>;
    const auto hook = [](std::function<void()> Windows::*member) {
        return [member](DocumentController& c, QWidget&) {
            if (c.windows_.*member) (c.windows_.*member)();
        };
    };
    static const std::map<std::string_view, Action> actions{
        {"open", [](DocumentController& c, QWidget& w) { c.runModalOpenPanel(&w); }},
        {"close", [](DocumentController&, QWidget& w) { w.close(); }},
        {"quit", [](DocumentController&, QWidget&) { QApplication::closeAllWindows(); }},
        {"selectAll", [](DocumentController&, QWidget& w) { selectAllIn(w); }},
        {"showBrowser", hook(&Windows::showBrowser)},
        {"showInspector", [](DocumentController& c, QWidget&) { c.showInspector(); }},
        {"showProfiles", hook(&Windows::showProfiles)},
        {"showPresets", hook(&Windows::showPresets)},
        {"preferences", hook(&Windows::showPreferences)},
        {"reset", [](DocumentController& c, QWidget&) { c.resetLumivar(); }},
        {"help", [](DocumentController& c, QWidget&) { c.showHelp(); }},
        {"quickReference", [](DocumentController& c, QWidget&) { c.showQuickReference(); }},
        {"website", [](DocumentController& c, QWidget&) { c.showWebSite(); }},
        {"contact", [](DocumentController& c, QWidget&) { c.showContactUs(); }},
        {"about",
         [](DocumentController&, QWidget& w) {
             WindowChoosers::shared().alert(&w, "Lumivar",
                                            "A raw-photo developer for black-and-white images.");
         }},
    };
    // These act on a document's window.
    static const std::map<std::string_view, DocumentAction> documentActions{
        {"export", [](EditingWindow& e) { e.exportAsSelected(); }},
        {"exportAsJPEG", [](EditingWindow& e) { e.exportAsType(std::string(app::kTypeJPEG)); }},
        {"exportAsTIFF", [](EditingWindow& e) { e.exportAsType(std::string(app::kTypeTIFF)); }},
        {"exportAsDNG", [](EditingWindow& e) { e.exportAsType(std::string(app::kTypeDNG)); }},
        {"exportAsEXR", [](EditingWindow& e) { e.exportAsType(std::string(app::kTypeOpenEXR)); }},
        {"update", [](EditingWindow& e) { e.extEditorUpdate(); }},
        {"savePreset", [](EditingWindow& e) { e.showNewPresetWindow(); }},
        {"resetCrop", [](EditingWindow& e) { e.resetCropArea(); }},
        {"cursorPan", [](EditingWindow& e) { e.setCursorMode(0); }},
        {"cursorCrop", [](EditingWindow& e) { e.setCursorMode(1); }},
        {"cursorEyedropper", [](EditingWindow& e) { e.setCursorMode(2); }},
        {"zoomIn", [](EditingWindow& e) { e.zoomIn(); }},
        {"zoomOut", [](EditingWindow& e) { e.zoomOut(); }},
        {"zoomFit", [](EditingWindow& e) { e.zoomImageToFit(); }},
        {"zoom1", [](EditingWindow& e) { e.zoomImageTo(1); }},
        {"zoom2", [](EditingWindow& e) { e.zoomImageTo(2); }},
        {"zoom3", [](EditingWindow& e) { e.zoomImageTo(3); }},
        {"zoom4", [](EditingWindow& e) { e.zoomImageTo(4); }},
        {"photoCDResolution", [](EditingWindow& e) { e.photoCDResolution(); }},
        {"rotateCCW", [](EditingWindow& e) { e.rotateCCW(); }},
        {"rotateCW", [](EditingWindow& e) { e.rotateCW(); }},
    };
    if (auto it = actions.find(name); it != actions.end()) {
        it->second(*this, *window);
    } else if (auto* editing = qobject_cast<EditingWindow*>(window)) {
        if (auto found = documentActions.find(name); found != documentActions.end()) found->second(*editing);
    }
}

void DocumentController::showInspector() {
    if (windows_.showInspector) windows_.showInspector();
    documentDidChange({});
}

void DocumentController::showQuickReference() {
    if (!qrView_) {
        qrView_ = new QTextBrowser;
        qrView_->setAttribute(Qt::WA_DeleteOnClose, false);
        qrView_->setWindowTitle("Lumivar Quick Reference");
        qrView_->resize(560, 640);
    }
    if (!qrTextLoaded_) {
        // A missing resource leaves the view empty.
        QFile file(":/help/quick-reference.html");
        if (file.open(QIODevice::ReadOnly)) qrView_->setHtml(QString::fromUtf8(file.readAll()));
        qrTextLoaded_ = true;
    }
    qrView_->show();
    qrView_->raise();
}

void DocumentController::resetLumivar() {
    const bool go = WindowChoosers::shared().confirm(
        QApplication::activeWindow(), "Warning: resetting can't be undone",
        "Resetting will delete the image catalog, losing all of your previous edits, and delete all existing "
        "presets.",
        "Cancel", "Go ahead and reset");
    if (!go) return;
    platform::logMessage("Lumivar reset.");
    platform::Error error;
    if (!PresetManager::sharedPresetManager().deleteAllPresets(&error))
        WindowChoosers::shared().alert(QApplication::activeWindow(), "Reset failed",
                                       QString::fromStdString(error.failureReason));
    error = {};
    auto store = CatalogStore::sharedMultiDataStore().dataStoreForStore("Catalog");
    if (store && !store->deleteCurrentCatalog(&error))
        WindowChoosers::shared().alert(QApplication::activeWindow(), "Reset failed",
                                       QString::fromStdString(error.failureReason));
}

void DocumentController::showHelp() {
    // Without a web address the help is the quick reference that comes with the program.
    if (help_.support.empty()) {
        showQuickReference();
        return;
    }
    if (!WindowChoosers::shared().openUrl(QString::fromStdString(help_.support)))
        platform::logMessage("Attempt to open %s failed.", help_.support.c_str());
}

void DocumentController::showWebSite() {
    if (!WindowChoosers::shared().openUrl(QString::fromStdString(help_.website)))
        platform::logMessage("Attempt to open %s failed.", help_.website.c_str());
}

void DocumentController::showContactUs() {
    const QString subject = QString::fromUtf8(QUrl::toPercentEncoding("Lumivar support"));
    const QString url =
        QString("mailto:%1?%2")
            .arg(QString::fromStdString(help_.supportEmail), QString("SUBJECT=%1").arg(subject));
    if (!WindowChoosers::shared().openUrl(url)) platform::logMessage("Attempt to e-mail support failed.");
}
