#pragma once
// The application shell's document controller: opens documents for display (one editing
// window each, an open file is brought forward instead), follows the current document for
// the inspector, gates the menus while a batch export runs, offers the reset and the help
// actions, keeps Open Recent, and gives every window the application's menu bar
// (ApplicationMenus.h). The other windows (browser, profiles, presets, inspector,
// preferences) are handed in as hooks by the program that makes them.
#include <QObject>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/ui/ApplicationMenus.h"
#include "platform/Error.h"
#include "platform/NotificationCenter.h"
#include "platform/Value.h"

class MyDocument;
class QAction;
class QMainWindow;
class QMenu;
class QMenuBar;
class QWidget;
class EditingWindow;

class DocumentController : public QObject {
    Q_OBJECT
  public:
    struct Windows {
        std::function<void()> showBrowser;
        std::function<void()> showProfiles;
        std::function<void()> showPresets;
        std::function<void()> showPreferences;
        std::function<void()> showInspector;
        // The inspector's data: the current document's metadata (app::keys::MetaData).
        std::function<void(const std::optional<platform::Dictionary>&)> inspectorSetData;
        std::function<void()> rebuildBrowserMenus;
        // A document's window opened or closed.
        std::function<void()> documentsChanged;
    };
    // Addresses of the help menu; an empty one hides its item.
    struct HelpAddresses {
        std::string website;
        std::string support;
        std::string supportEmail;
    };

    static DocumentController& sharedDocumentController();
    // Registers the application's defaults and starts observing; menus start active.
    DocumentController();
    ~DocumentController() override;

    void setWindows(Windows windows) { windows_ = std::move(windows); }
    void setHelpAddresses(HelpAddresses addresses) { help_ = std::move(addresses); }

    // Opens (or brings forward) the file's document with its window and first render.
    // None with the document's error.
    std::shared_ptr<MyDocument> openDocumentWithContentsOfURL(const std::filesystem::path& url, bool display,
                                                              platform::Error* error = nullptr);
    std::vector<std::shared_ptr<MyDocument>> documents() const;
    EditingWindow* windowForDocument(const MyDocument* document) const;
    std::shared_ptr<MyDocument> currentDocument() const;
    // The window of the document shown last (the one in front, or the last one that was).
    EditingWindow* lastShownWindow() const;

    // File > Open...: the open panel for the types of the desktop entry; each chosen file
    // opens in its window, and each failure is presented.
    void runModalOpenPanel(QWidget* parent);
    // The open panel's name filters: every openable type together, then one per type.
    static QStringList openPanelFilters();
    // Open Recent: the last ten files opened for display, newest first.
    std::vector<std::filesystem::path> recentDocuments() const;
    void noteRecentDocument(const std::filesystem::path& file);
    void clearRecentDocuments();
    // The presets window's New Preset: the new-preset sheet of the document shown last.
    void newPresetForLastDocument();
    // After a window closed: forgets its document.
    void removeDocument(const MyDocument* document);

    bool menusActive() const { return menusActive_; }
    // Every item but Quit and About follows the menus' state.
    bool validateUserInterfaceItem(const QAction* item) const;
    // The application's menu bar on the window (a main window's own bar, or one above a
    // plain window's layout), its items enabled for what the window holds.
    void installMenus(QWidget* window);
    menus::MenuState menuStateFor(QWidget* window) const;
    // Carries out a menu item on the window, as choosing it does.
    void perform(std::string_view name, QWidget* window);

    // Asks, then deletes the presets and the catalog; each failure is shown, the other runs.
    void resetLumivar();
    void showHelp();
    void showWebSite();
    void showContactUs();
    void showInspector();
    // The quick reference in a text window of its own, loaded on first use.
    void showQuickReference();
    bool quickReferenceLoaded() const { return qrTextLoaded_; }

  Q_SIGNALS:
    // A document's editing window opened (from a script, the browser, the open panel...).
    void documentWindowOpened(EditingWindow* window);

  private:
    void fillRecentMenu(QMenu* menu);
    void fillWindowMenu(QMenu* menu, QWidget* window);
    void applyMenuStateEverywhere();
    void documentDidChange(const platform::Notification& note);
    void newImageMetadata(const platform::Notification& note);
    void setMenusActive(bool active);
    void applyMenuState(QWidget* window);

    struct Open {
        std::shared_ptr<MyDocument> document;
        EditingWindow* window;
    };
    std::vector<Open> open_;
    const MyDocument* lastDocumentShown_ = nullptr;
    bool menusActive_ = true;
    Windows windows_;
    HelpAddresses help_;
    std::vector<platform::ObserverToken> tokens_;
    class QTextBrowser* qrView_ = nullptr;
    bool qrTextLoaded_ = false;
};
