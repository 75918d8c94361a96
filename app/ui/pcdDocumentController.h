#pragma once
// The application shell's document controller: opens documents for display (one editing
// window each, an open file is brought forward instead), follows the current document for
// the inspector, gates the menus while a batch export runs, offers the reset and the help
// actions, and builds each window's menu bar. The other windows (browser, profiles, presets,
// inspector, preferences) are handed in as hooks by the program that makes them.
#include <QObject>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Error.h"
#include "platform/NotificationCenter.h"
#include "platform/Value.h"

class MyDocument;
class QAction;
class QMainWindow;
class QMenuBar;
class ZadeDivivWindowController;

class pcdDocumentController : public QObject {
    Q_OBJECT
  public:
    struct Windows {
        std::function<void()> showBrowser;
        std::function<void()> showProfiles;
        std::function<void()> showPresets;
        std::function<void()> showPreferences;
        std::function<void()> showInspector;
        // The inspector's data: the current document's "Lumivar_metaData".
        std::function<void(const std::optional<platform::Dictionary>&)> inspectorSetData;
        std::function<void()> rebuildBrowserMenus;
    };
    // Addresses of the help menu; an empty one hides its item.
    struct HelpAddresses {
        std::string website;
        std::string support;
        std::string supportEmail;
    };

    static pcdDocumentController& sharedDocumentController();
    // Registers the application's defaults and starts observing; menus start active.
    pcdDocumentController();
    ~pcdDocumentController() override;

    void setWindows(Windows windows) { windows_ = std::move(windows); }
    void setHelpAddresses(HelpAddresses addresses) { help_ = std::move(addresses); }

    // Opens (or brings forward) the file's document with its window and first render.
    // None with the document's error.
    std::shared_ptr<MyDocument> openDocumentWithContentsOfURL(const std::filesystem::path& url, bool display,
                                                              platform::Error* error = nullptr);
    std::vector<std::shared_ptr<MyDocument>> documents() const;
    ZadeDivivWindowController* windowForDocument(const MyDocument* document) const;
    std::shared_ptr<MyDocument> currentDocument() const;
    // After a window closed: forgets its document.
    void removeDocument(const MyDocument* document);

    bool menusActive() const { return menusActive_; }
    // Every item but Quit and About follows the menus' state.
    bool validateUserInterfaceItem(const QAction* item) const;
    // Our menu bar: File, View, Window, Lumivar (Preferences, Reset), Help.
    void installMenus(QMainWindow* window);

    // Asks, then deletes the presets and the catalog; each failure is shown, the other runs.
    void resetLumivar();
    void showHelp();
    void showWebSite();
    void showContactUs();
    void showInspector();

  private:
    void documentDidChange(const platform::Notification& note);
    void newImageMetadata(const platform::Notification& note);
    void setMenusActive(bool active);
    void applyMenuState(QWidget* window);

    struct Open {
        std::shared_ptr<MyDocument> document;
        ZadeDivivWindowController* window;
    };
    std::vector<Open> open_;
    const MyDocument* lastDocumentShown_ = nullptr;
    bool menusActive_ = true;
    Windows windows_;
    HelpAddresses help_;
    std::vector<platform::ObserverToken> tokens_;
};
