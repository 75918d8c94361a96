#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <fstream>

#include "app/ui/ItemTableWindow.h"
#include "app/ui/ProfileController.h"
#include "dng/CameraProfileManager.h"
#include "tests/app/AppHome.h"
#include "tests/app/ui/ProfileFiles.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

using appuitest::writeDcp;

struct Shown {
    std::vector<platform::Error> errors;
    appui::ErrorPresenter presenter() {
        return [this](QWidget*, const platform::Error& e) { errors.push_back(e); };
    }
};

std::vector<std::string> descriptions(const ProfileController& c) {
    std::vector<std::string> out;
    for (const auto& row : c.tableContents())
        out.push_back(row.shortDescription);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST(ProfileController, ImportsSeveralFilesAndShowsTheOneFailureOnce) {
    apptest::AppHome home;
    testsupport::TempFolder chosen;
    ProfileController controller;
    Shown shown;
    controller.setErrorPresenter(shown.presenter());
    EXPECT_TRUE(controller.tableContents().empty()) << "the automatic profile is never listed";

    const fs::path a = writeDcp(chosen / "Studio.dcp", "Maker One", "Studio");
    const fs::path gone = writeDcp(chosen / "Gone.dcp", "Maker Two", "Gone");
    const fs::path b = writeDcp(chosen / "Landscape.DCP", "Maker Three", "Landscape");
    fs::remove(gone); // chosen in the dialog, gone before it could be copied

    controller.importProfiles({a, gone, b});
    EXPECT_EQ(descriptions(controller), (std::vector<std::string>{"Landscape", "Studio"}));
    ASSERT_EQ(shown.errors.size(), 1u);
    EXPECT_NE(shown.errors[0].failureReason.find("Gone.dcp"), std::string::npos);
    EXPECT_EQ(controller.tableWindow()->table()->rowCount(), 2);

    const auto profileFolder = *CameraProfileManager::profileDirectory();
    EXPECT_TRUE(fs::exists(profileFolder / "Studio.dcp"));
    EXPECT_TRUE(fs::exists(profileFolder / "Landscape.DCP"));
    for (const auto& row : controller.tableContents()) {
        EXPECT_FALSE(row.imagePreview.isNull()) << row.shortDescription;
        EXPECT_FALSE(row.profile->isAutoProfile());
        EXPECT_FALSE(row.name.empty());
    }
}

// A file that is no profile would be copied and then never listed; the user hears of it.
TEST(ProfileController, AFileThatIsNoProfileIsRefusedWithAnError) {
    apptest::AppHome home;
    testsupport::TempFolder chosen;
    ProfileController controller;
    Shown shown;
    controller.setErrorPresenter(shown.presenter());
    const fs::path junk = chosen / "Notes.dcp";
    std::ofstream(junk) << "not a profile";
    controller.importProfiles({junk});
    ASSERT_EQ(shown.errors.size(), 1u);
    EXPECT_NE(shown.errors[0].failureReason.find("Notes.dcp"), std::string::npos);
    EXPECT_FALSE(fs::exists(*CameraProfileManager::profileDirectory() / "Notes.dcp"));
    EXPECT_TRUE(controller.tableContents().empty());
}

TEST(ProfileController, DeleteRemovesTheFileAndTheRow) {
    apptest::AppHome home;
    const auto folder = *CameraProfileManager::profileDirectory();
    writeDcp(folder / "Keep.dcp", "Maker", "Keep");
    writeDcp(folder / "Drop.dcp", "Maker", "Drop");
    ProfileController controller;
    Shown shown;
    controller.setErrorPresenter(shown.presenter());
    ASSERT_EQ(controller.tableContents().size(), 2u);

    // Through the window: select the row, press Delete.
    auto* window = controller.tableWindow();
    const auto& rows = controller.tableContents();
    const int drop = rows[0].shortDescription == "Drop" ? 0 : 1;
    window->table()->selectRow(drop);
    window->deleteButton()->click();
    EXPECT_FALSE(fs::exists(folder / "Drop.dcp"));
    EXPECT_TRUE(fs::exists(folder / "Keep.dcp"));
    EXPECT_EQ(descriptions(controller), std::vector<std::string>{"Keep"});
    EXPECT_TRUE(shown.errors.empty());

    // A profile whose file went meanwhile: the error is shown, the table shows the folder.
    auto keep = controller.tableContents()[0].profile;
    fs::remove(folder / "Keep.dcp");
    controller.deleteDisplayedItem(keep);
    EXPECT_EQ(shown.errors.size(), 1u);
    EXPECT_TRUE(controller.tableContents().empty());
}

// Without a presenter of the test's own, the error is a message box modal to the window.
TEST(ProfileController, TheErrorIsShownOnTheWindow) {
    apptest::AppHome home;
    ProfileController controller;
    controller.importProfiles({home.path() / "Vanished.dcp"});
    auto* sheet = controller.browserWindow()->findChild<QMessageBox*>("ErrorSheet");
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(sheet->text().contains("Vanished.dcp"));
    sheet->done(QMessageBox::Ok);
}

TEST(ProfileController, ImportAsksForSeveralProfileFilesOnTheWindow) {
    apptest::AppHome home;
    testsupport::TempFolder chosen;
    ProfileController controller;
    controller.tableWindow()->importButton()->click();
    auto* dialog = controller.browserWindow()->findChild<QFileDialog*>("ImportProfilesDialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(dialog->windowTitle(), "Import one or more files or directories.");
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(dialog->nameFilters().join(" ").contains("*.dcp"));
    const auto file = writeDcp(chosen / "Picked.dcp", "Maker", "Picked");
    Q_EMIT dialog->filesSelected({QString::fromStdString(file.string())});
    EXPECT_EQ(descriptions(controller), std::vector<std::string>{"Picked"});
    dialog->reject();
}
