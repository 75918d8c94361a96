#include "app/ui/ProfileController.h"

#include <QFileDialog>
#include <cerrno>

#include "app/ui/ItemTableWindow.h"
#include "dng/CameraProfileManager.h"

namespace {

CameraProfileManager& manager() { return CameraProfileManager::sharedCameraProfileManager(); }

// A file that holds no camera profile would be copied into the folder and then never
// listed: the import would look as if nothing happened. Tell the user instead.
std::optional<platform::Error> notAProfile(const std::filesystem::path& file) {
    if (DNGCameraProfileAbstract::createFromFile(file)) return std::nullopt;
    return platform::Error{std::string(platform::kPosixErrorDomain), EINVAL,
                           file.filename().string() + " is not a readable camera profile."};
}

} // namespace

ProfileController::ProfileController(QObject* parent)
    : QObject(parent), window_(std::make_unique<ItemTableWindow>(QStringLiteral("Camera Profiles"),
                                                                 QStringLiteral("Import..."))) {
    window_->setObjectName(QStringLiteral("ProfileWindow"));
    connect(window_.get(), &ItemTableWindow::importRequested, this, &ProfileController::importProfile);
    connect(window_.get(), &ItemTableWindow::deleteRequested, this, [this](std::vector<int> rows) {
        std::vector<std::shared_ptr<DNGCameraProfileAbstract>> chosen;
        for (int row : rows)
            if (row >= 0 && size_t(row) < tableContents_.size())
                chosen.push_back(tableContents_[size_t(row)].profile);
        for (const auto& profile : chosen)
            deleteDisplayedItem(profile);
    });
    loadTable();
}

ProfileController::~ProfileController() = default;

QWidget* ProfileController::browserWindow() const { return window_.get(); }

void ProfileController::loadTable() {
    std::vector<Row> rows;
    std::vector<ItemTableWindow::Row> shown;
    for (const auto& profile : manager().profileList(false)) {
        if (!profile || profile->isAutoProfile()) continue;
        Row row{profile, profile->uniqueCameraModelRestriction(), profile->name(),
                appui::iconFromBitmap(profile->icon().get())};
        shown.push_back({row.imagePreview, QString::fromStdString(row.name),
                         QString::fromStdString(row.shortDescription)});
        rows.push_back(std::move(row));
    }
    tableContents_ = std::move(rows);
    window_->setRows(shown);
}

void ProfileController::showBrowser() { appui::bringToFront(window_.get()); }

void ProfileController::importProfile() {
    auto* dialog = new QFileDialog(window_.get(), QStringLiteral("Import one or more files or directories."));
    dialog->setObjectName(QStringLiteral("ImportProfilesDialog"));
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setNameFilter(QStringLiteral("Camera profiles (*.dcp *.DCP)"));
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Import"));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::filesSelected, this, [this](const QStringList& names) {
        std::vector<std::filesystem::path> files;
        for (const QString& name : names)
            files.emplace_back(name.toStdString());
        importProfiles(files);
    });
    dialog->open();
}

void ProfileController::importProfiles(const std::vector<std::filesystem::path>& files) {
    std::optional<platform::Error> last;
    for (const auto& file : files) {
        platform::Error error;
        if (auto refused = std::filesystem::is_regular_file(file) ? notAProfile(file) : std::nullopt) {
            last = *refused;
            continue;
        }
        manager().addProfile(file, &error);
        if (appui::isError(error)) last = error;
        loadTable();
    }
    if (last) presentError_(window_.get(), *last);
}

void ProfileController::deleteDisplayedItem(const std::shared_ptr<DNGCameraProfileAbstract>& profile) {
    platform::Error error;
    manager().removeProfile(profile.get(), &error);
    if (appui::isError(error)) presentError_(window_.get(), error);
    loadTable();
}
