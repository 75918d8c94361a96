#pragma once
// The preferences window: a toolbar over eleven pages of controls bound to the user defaults
// (a change from anywhere shows at once), and the folder searched for the raw files of the
// external-editor exchange, kept as "rawSearchDirectoryBookmark".
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include <QWidget>

#include "platform/NotificationCenter.h"

class QFileDialog;
class QLabel;
class QMenu;
class QStackedWidget;
class QToolBar;
class QToolButton;

namespace platform {
class UserDefaults;
}

class PreferencesController : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kPageCount = 11;
    // Runs the folder panel prepared by pathControlWillDisplayOpenPanel; the chosen folder or none.
    using FolderChooser = std::function<std::optional<std::filesystem::path>(QFileDialog& panel)>;

    explicit PreferencesController(platform::UserDefaults* defaults = nullptr, QWidget* parent = nullptr);
    ~PreferencesController() override;

    // selectTab0: ... selectTab10: of the toolbar.
    void selectTab(int index);
    QStackedWidget* tabView() const { return tabView_; }
    QToolBar* prefsToolBar() const { return prefsToolBar_; }

    // The raw search folder: none when nothing is stored or it is no longer a readable folder.
    std::optional<std::filesystem::path> rawSearch() const;
    // Stores a readable folder (logged); anything else is refused, logged, and the old one kept.
    bool setRawSearch(const std::filesystem::path& folder);

    // The path control's pop-up menu keeps only its first item, "Choose...".
    static void pathControlWillPopUpMenu(QMenu* menu);
    static void pathControlWillDisplayOpenPanel(QFileDialog& panel);
    // Builds the menu the path control pops up (as the platform would fill it, then trimmed).
    QMenu* pathControlMenu();
    QLabel* pathControlLabel() const { return pathLabel_; }
    void setFolderChooser(FolderChooser chooser) { chooser_ = std::move(chooser); }
    void chooseRawSearchFolder();

  private:
    QWidget* page(const QString& title, const QString& about);
    void addCheckBox(QWidget* page, const char* key, const QString& text);
    void addChoice(QWidget* page, const char* key, const QString& text, const QStringList& choices);
    QWidget* rawSearchPage();
    void showRawSearch();
    template <class Apply> void bind(const char* key, Apply apply);

    platform::UserDefaults& defaults_;
    QToolBar* prefsToolBar_ = nullptr;
    QStackedWidget* tabView_ = nullptr;
    QLabel* pathLabel_ = nullptr;
    QToolButton* pathButton_ = nullptr;
    QMenu* pathMenu_ = nullptr;
    FolderChooser chooser_;
    std::vector<platform::ObserverToken> observers_;
};
