#pragma once
// The camera-profile window: the DCP profiles installed in the user's profile folder (never
// the automatic profile), with import and delete. The folder and its files belong to
// CameraProfileManager; the table always shows what the folder holds after a change.
#include <QIcon>
#include <QObject>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/ui/WindowSupport.h"
#include "dng/DNGCameraProfileAbstract.h"

class ItemTableWindow;
class QWidget;

class ProfileController : public QObject {
    Q_OBJECT
  public:
    struct Row {
        std::shared_ptr<DNGCameraProfileAbstract> profile; // "class"
        std::string name;                                  // the camera model it is for
        std::string shortDescription;                      // the profile's name
        QIcon imagePreview;
    };

    explicit ProfileController(QObject* parent = nullptr);
    ~ProfileController() override;

    void loadTable();
    const std::vector<Row>& tableContents() const { return tableContents_; }

    // Brings the window to the front.
    void showBrowser();
    // Asks for files in a dialog modal to the window, then imports them.
    void importProfile();
    // Copies each file into the profile folder, rebuilding the table after each; the last
    // error, if any, is shown on the window.
    void importProfiles(const std::vector<std::filesystem::path>& files);
    void deleteDisplayedItem(const std::shared_ptr<DNGCameraProfileAbstract>& profile);

    QWidget* browserWindow() const;
    ItemTableWindow* tableWindow() const { return window_.get(); }
    void setErrorPresenter(appui::ErrorPresenter presenter) { presentError_ = std::move(presenter); }

  private:
    std::unique_ptr<ItemTableWindow> window_;
    std::vector<Row> tableContents_;
    appui::ErrorPresenter presentError_ = appui::presentErrorSheet;
};
