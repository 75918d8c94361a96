#include "app/main/LumivarProgram.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <system_error>

#include "app/browser/BrowserDataSource.h"
#include "app/core/MyDocument.h"
#include "app/main/EditingProgramWindow.h"
#include "app/main/LumivarWindow.h"
#include "app/ui/ControlRanges.h"
#include "app/ui/WindowChoosers.h"
#include "app/ui/browser/BrowserWindowController.h"
#include "display/TiledImageView.h"
#include "display/TiledViewGeometry.h"
#include "display/widgets/HistogramView.h"
#include "platform/UserDefaults.h"

using automation::Command;
using automation::Outcome;
using automation::Verb;

namespace {

// A title as a script may write it: without the mnemonic marks and the closing dots.
QString plainTitle(QString title) {
    title.remove('&');
    title = title.trimmed();
    if (title.endsWith(QString::fromUtf8("…")))
        title.chop(1);
    else if (title.endsWith("..."))
        title.chop(3);
    return title.trimmed();
}

bool titled(const QString& title, const std::string& wanted) {
    return plainTitle(title).compare(plainTitle(QString::fromStdString(wanted)), Qt::CaseInsensitive) == 0;
}

// " in "Title"" of a window with a title, for a report.
std::string in(const QWidget* window) {
    const QString title = window->windowTitle();
    return title.isEmpty() ? std::string() : " in \"" + title.toStdString() + "\"";
}

QString joinedItems(const QComboBox& popup) {
    QStringList items;
    for (int i = 0; i < popup.count(); ++i)
        items << popup.itemText(i);
    return items.join(", ");
}

} // namespace

// Follows which application window was shown or raised last: both tell at once, while the
// window system's activation comes when it comes.
class LumivarProgram::FrontTracker : public QObject {
  public:
    FrontTracker() { qApp->installEventFilter(this); }
    ~FrontTracker() override { qApp->removeEventFilter(this); }
    QPointer<QWidget> front;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show || event->type() == QEvent::ZOrderChange)
            if (auto* widget = qobject_cast<QWidget*>(watched); widget && widget->windowType() == Qt::Window)
                front = widget;
        return false;
    }
};

WindowOpener plainWindows(DocumentOpener opener, bool closeOnFailure) {
    return [opener = std::move(opener), closeOnFailure](
               const std::filesystem::path& file) -> std::variant<ProgramWindow*, platform::Error> {
        OpenedDocument opened = opener(file);
        if (auto* error = std::get_if<platform::Error>(&opened)) return *error;
        auto* window = new LumivarWindow(std::move(std::get<std::unique_ptr<ViewerDocument>>(opened)));
        // The error has been shown; a script keeps the window to report it on its wait.
        if (closeOnFailure)
            QObject::connect(window, &LumivarWindow::renderFailed, window, [window] { window->close(); });
        window->show();
        window->startDisplay();
        return static_cast<ProgramWindow*>(window);
    };
}

LumivarProgram::LumivarProgram(DocumentOpener opener, Options options)
    : LumivarProgram(plainWindows(std::move(opener), !options.automation), options) {}

LumivarProgram::LumivarProgram(WindowOpener opener, Options options)
    : opener_(std::move(opener)), options_(std::move(options)), front_(std::make_unique<FrontTracker>()) {}

LumivarProgram::~LumivarProgram() {
    closeAll();
    for (auto& entry : windows_)
        delete entry.widget.data();
}

std::optional<platform::Error> LumivarProgram::open(const std::filesystem::path& file) {
    auto opened = opener_(file);
    if (auto* error = std::get_if<platform::Error>(&opened)) return *error;
    adopt(std::get<ProgramWindow*>(opened));
    return std::nullopt;
}

void LumivarProgram::adopt(ProgramWindow* window) {
    for (const Entry& entry : windows_)
        if (entry.window == window && entry.widget) return;
    // An editing window closes itself when its document cannot show the image; the reason
    // stays with the program for the script's next wait.
    std::function<std::optional<platform::Error>()> failure;
    if (auto* editing = dynamic_cast<EditingProgramWindow*>(window)) {
        auto reason = editing->failure();
        failure = [reason] { return *reason; };
    }
    windows_.push_back({window->widget(), window, std::move(failure)});
}

QWidget* LumivarProgram::frontWindow() const {
    if (front_->front && front_->front->isVisible()) return front_->front;
    if (ProgramWindow* window = currentWindow()) return window->widget();
    if (browser_ && browser_->isVisible()) return browser_;
    return nullptr;
}

std::vector<QWidget*> LumivarProgram::searchWindows() const {
    std::vector<QWidget*> order;
    const auto add = [&order](QWidget* window) {
        if (window && window->isVisible() && std::find(order.begin(), order.end(), window) == order.end())
            order.push_back(window);
    };
    add(QApplication::activeModalWidget());
    for (QWidget* top : QApplication::topLevelWidgets())
        if (qobject_cast<QDialog*>(top)) add(top);
    add(frontWindow());
    if (ProgramWindow* window = currentWindow()) add(window->widget());
    return order;
}

ProgramWindow* LumivarProgram::currentWindow() const {
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
        if (it->widget && it->widget->isVisible()) return it->window;
    return nullptr;
}

std::vector<ProgramWindow*> LumivarProgram::windows() const {
    std::vector<ProgramWindow*> open;
    for (const auto& entry : windows_)
        if (entry.widget && entry.widget->isVisible()) open.push_back(entry.window);
    return open;
}

void LumivarProgram::closeAll() {
    for (auto& entry : windows_)
        if (entry.widget && entry.widget->isVisible()) entry.widget->close();
}

std::filesystem::path LumivarProgram::resolve(const std::string& path) const {
    std::filesystem::path file(path);
    if (file.is_relative()) file = options_.scriptFolder / file;
    return file.lexically_normal();
}

Outcome LumivarProgram::start(const Command& command) {
    if (command.verb == Verb::Open) {
        const auto file = resolve(command.words[0]);
        if (auto error = open(file)) return Outcome::failed(error->failureReason);
        return Outcome::passed();
    }
    if (command.verb == Verb::Quit) {
        closeAll();
        return Outcome::passed();
    }
    if (command.verb == Verb::Pref) {
        const auto value = automation::parseValue(command.words[1]);
        platform::UserDefaults::standard().setObject(value.value_or(platform::Value()), command.words[0]);
        return Outcome::passed();
    }
    if (command.verb == Verb::Screenshot) {
        settled_.invalidate();
        return poll(command);
    }
    if (auto outcome = applicationCommand(command)) return *outcome;
    if (auto outcome = browserCommand(command)) return *outcome;
    ProgramWindow* window = currentWindow();
    if (!window) return Outcome::failed("no window is open");
    settled_.invalidate();
    switch (command.verb) {
    case Verb::WaitImage:
        return poll(command);
    case Verb::Close:
        closing_ = window->widget();
        window->widget()->close();
        return poll(command);
    case Verb::Set: {
        const auto value = automation::parseValue(command.words[1]);
        window->setValue(value, command.words[0]);
        return Outcome::passed();
    }
    case Verb::Expect: {
        const auto actual = window->valueForKey(command.words[0]);
        const auto expected = automation::parseValue(command.words[1]);
        if (automation::valuesMatch(actual, expected)) return Outcome::passed();
        return Outcome::failed("the value is " + automation::describeValue(actual));
    }
    default:
        break;
    }
    if (auto* editing = dynamic_cast<EditingProgramWindow*>(window)) {
        auto outcome = editingCommand(*editing, command);
        if (outcome) return *outcome;
    }
    // The rest acts on the image.
    if (!window->hasImage()) return Outcome::failed("no image is shown yet");
    TiledImageView& view = window->imageView();
    switch (command.verb) {
    case Verb::Zoom:
        view.setPixelScaleFactor(command.numbers[0]);
        return Outcome::passed("factor " + std::to_string(view.pixelScaleFactor()));
    case Verb::Fit:
        view.setScaleFactorToFit();
        return Outcome::passed("factor " + std::to_string(view.pixelScaleFactor()));
    case Verb::Mode: {
        const std::string& name = command.words[0];
        const uint64_t mode = name == "crop"         ? TiledViewGeometry::kCropMode
                              : name == "eyedropper" ? TiledViewGeometry::kEyedropperMode
                                                     : TiledViewGeometry::kPanMode;
        // As the mode control sets it, so that the control and the menu follow.
        if (auto* editing = dynamic_cast<EditingProgramWindow*>(window))
            editing->controller().setCursorMode(mode);
        else
            view.setCursorTrackingMode(mode);
        return Outcome::passed();
    }
    case Verb::Drag:
        return drag(*window, command);
    case Verb::Wheel:
        return wheel(*window, command);
    default:
        return Outcome::failed("not a command of a window");
    }
}

Outcome LumivarProgram::poll(const Command& command) {
    if (command.verb == Verb::Close) {
        // Gone once Qt has deleted it.
        return closing_ ? Outcome::pending() : Outcome::passed();
    }
    switch (command.verb) {
    case Verb::Menu:
    case Verb::Click:
        return *laterBegun_ ? Outcome::passed() : Outcome::pending();
    case Verb::Choose:
        // Done when the dialog has gone and what chose it (opening the files) has finished.
        for (QWidget* top : QApplication::topLevelWidgets())
            if (qobject_cast<QFileDialog*>(top) && top->isVisible()) return Outcome::pending();
        return *laterRunning_ > 0 ? Outcome::pending() : Outcome::passed();
    case Verb::WaitBatch:
        if (!browser_) return Outcome::failed("no browser");
        if (browser_->isBatchRunning()) return Outcome::pending();
        if (const auto& error = browser_->lastBatchError()) return Outcome::failed(error->failureReason);
        return Outcome::passed();
    case Verb::Screenshot:
        return screenshot(command);
    default:
        break;
    }
    ProgramWindow* window = currentWindow();
    if (!window) {
        // The newest window's document may have closed it after presenting why.
        if (!windows_.empty() && windows_.back().failure)
            if (auto error = windows_.back().failure()) return Outcome::failed(error->failureReason);
        return Outcome::failed("the window has closed");
    }
    if (command.verb == Verb::WaitImage) return waitForImage(*window);
    if (command.verb == Verb::Export || command.verb == Verb::Update) {
        auto* editing = dynamic_cast<EditingProgramWindow*>(window);
        if (!editing) return Outcome::failed("not an editing window");
        if (editing->controller().exportRunning()) return Outcome::pending();
        const QString error = editing->controller().lastPresentedError();
        if (!error.isEmpty()) return Outcome::failed(error.toStdString());
        return Outcome::passed();
    }
    return Outcome::failed("not a command that waits");
}

Outcome LumivarProgram::waitForImage(ProgramWindow& window) {
    if (window.renderError()) return Outcome::failed(window.renderError()->failureReason);
    if (!window.hasImage() || window.isRendering() || !window.tilesSettled()) return Outcome::pending();
    return Outcome::passed();
}

Outcome LumivarProgram::screenshot(const Command& command) {
    if (!options_.shots) return Outcome::failed("no --screenshots folder was given");
    const std::string part = command.words.size() > 1 ? command.words[1] : "window";
    ProgramWindow* program = currentWindow();
    const bool ofDocument = part == "view" || part == "histogram";
    if (ofDocument && !program) return Outcome::failed("no window is open");
    QWidget* window = ofDocument ? program->widget() : part == "window" ? frontWindow() : nullptr;
    if (part == "window" && !window) return Outcome::failed("no window is open");
    // The document's picture complete, when it is in the shot.
    const bool showsDocument = program && (window == program->widget() || part == "screen");
    if (showsDocument && program->hasImage() && !program->renderError() && !program->tilesSettled()) {
        settled_.invalidate();
        return Outcome::pending();
    }
    if (!settled_.isValid()) settled_.start();
    if (settled_.elapsed() < kSettleMilliseconds) return Outcome::pending();
    // The browser's picture with its thumbnails; then a settle more for the grid to draw them.
    const bool showsBrowser = browser_ && browser_->isVisible() && (window == browser_ || part == "screen");
    if (showsBrowser && !browserThumbnailsMade()) {
        settled_.invalidate();
        return Outcome::pending();
    }
    if (window && (!window->windowHandle() || !window->windowHandle()->isExposed()))
        return Outcome::pending();

    QPixmap shot;
    if (!window) {
        shot = QGuiApplication::primaryScreen()->grabWindow(0);
    } else {
        QRect area = window->rect();
        if (part == "view")
            area = QRect(program->imageView().mapTo(window, QPoint(0, 0)), program->imageView().size());
        if (part == "histogram")
            area =
                QRect(program->histogramView().mapTo(window, QPoint(0, 0)), program->histogramView().size());
        shot = window->screen()->grabWindow(window->winId(), area.x(), area.y(), area.width(), area.height());
    }
    std::error_code ec;
    std::filesystem::create_directories(*options_.shots, ec);
    std::filesystem::path file = *options_.shots / command.words[0];
    if (file.extension().empty()) file += ".png";
    if (shot.isNull() || !shot.save(QString::fromStdString(file.string()), "PNG"))
        return Outcome::failed("could not write " + file.string());
    return Outcome::passed(file.string());
}

bool LumivarProgram::browserThumbnailsMade() {
    if (!thumbnailsMark_) {
        thumbnailsMark_ = std::make_shared<std::atomic<bool>>(false);
        browser_->dataSource()->iconProcessingQueue().async([mark = thumbnailsMark_] { *mark = true; });
        return false;
    }
    if (!*thumbnailsMark_) return false;
    thumbnailsMark_.reset();
    return true;
}

Outcome LumivarProgram::later(QObject* context, std::function<void()> work) {
    *laterBegun_ = false;
    auto begun = laterBegun_;
    auto running = laterRunning_;
    QTimer::singleShot(0, context, [begun, running, work = std::move(work)] {
        *begun = true;
        ++*running;
        work();
        --*running;
    });
    return Outcome::pending();
}

Outcome LumivarProgram::menu(const Command& command) {
    QWidget* window = frontWindow();
    if (!window) return Outcome::failed("no window is open");
    QMenuBar* bar = window->findChild<QMenuBar*>();
    if (!bar) return Outcome::failed("the window in front has no menu bar");
    const QStringList path = QString::fromStdString(command.words[0]).split('/');
    QList<QAction*> actions = bar->actions();
    QAction* found = nullptr;
    QMenu* within = nullptr;
    for (qsizetype level = 0; level < path.size(); ++level) {
        found = nullptr;
        for (QAction* action : actions)
            if (!action->isSeparator() && titled(action->text(), path[level].toStdString())) found = action;
        if (!found) return Outcome::failed("no menu item " + path.mid(0, level + 1).join('/').toStdString());
        if (level + 1 == path.size()) break;
        QMenu* menu = found->menu();
        if (!menu) return Outcome::failed(path.mid(0, level + 1).join('/').toStdString() + " is not a menu");
        // Lists filled when the menu opens (Open Recent, the windows) are filled now.
        Q_EMIT menu->aboutToShow();
        actions = menu->actions();
        within = menu;
    }
    if (QMenu* menu = found->menu()) {
        // A menu itself opens as a click on its title does (for a screenshot), or closes.
        QPointer<QMenu> shown(menu);
        QPointer<QMenu> parent(within);
        QPointer<QMenuBar> owner(bar);
        QPointer<QAction> title(found);
        return later(menu, [shown, parent, owner, title] {
            if (!shown || !title) return;
            if (shown->isVisible())
                shown->hide();
            else if (parent)
                parent->setActiveAction(title); // a submenu of an open menu
            else if (owner)
                owner->setActiveAction(title);
        });
    }
    if (!found->isVisible() || !found->isEnabled())
        return Outcome::failed("the item is disabled" + in(window));
    QPointer<QAction> action(found);
    return later(found, [action] {
        if (action) action->trigger();
    });
}

Outcome LumivarProgram::click(const Command& command) {
    const std::string& name = command.words[0];
    const QString objectName = QString::fromStdString(name);
    for (QWidget* window : searchWindows()) {
        // By name, else by title.
        QList<QWidget*> candidates;
        for (QWidget* control : window->findChildren<QWidget*>(objectName))
            if (qobject_cast<QAbstractButton*>(control) || qobject_cast<QComboBox*>(control))
                candidates << control;
        for (auto* button : window->findChildren<QAbstractButton*>())
            if (button->isVisible() && titled(button->text(), name)) candidates << button;
        for (QWidget* candidate : candidates) {
            if (auto* popup = qobject_cast<QComboBox*>(candidate)) {
                if (popup->view()->isVisible())
                    popup->hidePopup();
                else
                    popup->showPopup();
                return Outcome::passed();
            }
            auto* button = static_cast<QAbstractButton*>(candidate);
            if (!button->isEnabled()) return Outcome::failed("the button " + name + " is disabled");
            QPointer<QAbstractButton> target(button);
            return later(button, [target] {
                if (target) target->click();
            });
        }
    }
    std::string where;
    for (QWidget* window : searchWindows())
        where += in(window);
    return Outcome::failed("no button " + name + where);
}

Outcome LumivarProgram::choose(const Command& command) {
    QFileDialog* dialog = nullptr;
    for (QWidget* window : searchWindows())
        if (auto* file = qobject_cast<QFileDialog*>(window)) dialog = dialog ? dialog : file;
    if (!dialog) return Outcome::failed("no file dialog is open");
    std::vector<std::filesystem::path> files;
    for (const std::string& word : command.words) {
        const std::filesystem::path file = resolve(word);
        std::error_code ec;
        if (!std::filesystem::exists(file, ec)) return Outcome::failed("no such file: " + file.string());
        files.push_back(file);
    }
    auto* field = dialog->findChild<QLineEdit*>("fileNameEdit");
    auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
    QPushButton* accept =
        buttons ? buttons->button(dialog->acceptMode() == QFileDialog::AcceptOpen ? QDialogButtonBox::Open
                                                                                  : QDialogButtonBox::Save)
                : nullptr;
    if (!field || !accept) return Outcome::failed("the file dialog has no name field");
    // Typed as a hand would: one path, or quoted names in the first file's folder.
    QString typed;
    if (files.size() == 1) {
        typed = QString::fromStdString(files[0].string());
    } else {
        dialog->setDirectory(QString::fromStdString(files[0].parent_path().string()));
        for (const auto& file : files)
            typed += QString("\"%1\" ").arg(QString::fromStdString(file.filename().string()));
    }
    field->setText(typed.trimmed());
    if (!accept->isEnabled()) return Outcome::failed("the dialog does not take " + typed.toStdString());
    QPointer<QPushButton> target(accept);
    later(accept, [target] {
        if (target) target->click();
    });
    return Outcome::pending();
}

std::optional<Outcome> LumivarProgram::applicationCommand(const Command& command) {
    switch (command.verb) {
    case Verb::Menu:
        return menu(command);
    case Verb::Click:
        return click(command);
    case Verb::Choose:
        return choose(command);
    case Verb::Type: {
        for (QWidget* window : searchWindows())
            if (auto* field = window->findChild<QLineEdit*>(QString::fromStdString(command.words[0]))) {
                field->setText(QString::fromStdString(command.words[1]));
                Q_EMIT field->editingFinished();
                return Outcome::passed();
            }
        return Outcome::failed("no field " + command.words[0]);
    }
    case Verb::ExpectItem: {
        for (QWidget* window : searchWindows())
            if (auto* popup = window->findChild<QComboBox*>(QString::fromStdString(command.words[0]))) {
                if (popup->findText(QString::fromStdString(command.words[1])) >= 0) return Outcome::passed();
                return Outcome::failed("the pop-up offers " + joinedItems(*popup).toStdString());
            }
        return Outcome::failed("no pop-up " + command.words[0]);
    }
    default:
        return std::nullopt;
    }
}

std::optional<Outcome> LumivarProgram::browserCommand(const Command& command) {
    switch (command.verb) {
    case Verb::Browse:
    case Verb::Select:
    case Verb::Batch:
    case Verb::WaitBatch:
    case Verb::Cancel:
        break;
    default:
        return std::nullopt;
    }
    if (!browser_) return Outcome::failed("the program has no browser");
    switch (command.verb) {
    case Verb::Browse: {
        const std::filesystem::path folder = resolve(command.words[0]);
        if (!browser_->browse(folder)) return Outcome::failed("not a readable folder: " + folder.string());
        browser_->showBrowser();
        front_->front = browser_;
        return Outcome::passed();
    }
    case Verb::Select:
        if (command.words.size() == 1 && command.words[0] == "all") {
            browser_->selectAll();
            return Outcome::passed(std::to_string(browser_->selectedPaths().size()) + " selected");
        }
        if (!browser_->selectNames(command.words))
            return Outcome::failed("not all of them are in the folder");
        return Outcome::passed();
    case Verb::Batch: {
        if (browser_->isBatchRunning()) return Outcome::failed("a batch is running");
        if (browser_->selectedPaths().empty()) return Outcome::failed("no files selected");
        auto item = browser_->batchItemTitled(command.words[0] + " settings");
        if (!item) item = browser_->batchItemTitled(command.words[0]);
        if (!item) return Outcome::failed("no preset " + command.words[0]);
        std::optional<std::filesystem::path> folder;
        if (command.words.size() > 1) {
            folder = resolve(command.words[1]);
            std::error_code ec;
            if (!std::filesystem::is_directory(*folder, ec))
                return Outcome::failed("not a folder: " + folder->string());
        }
        browser_->setExportLocation(folder);
        browser_->popAction(*item);
        return Outcome::passed("started");
    }
    case Verb::WaitBatch:
        return poll(command);
    case Verb::Cancel:
        browser_->userCancelAction();
        return Outcome::passed();
    default:
        return std::nullopt;
    }
}

Outcome LumivarProgram::drag(ProgramWindow& window, const Command& command) {
    TiledImageView& view = window.imageView();
    const auto toWidget = [&](double x, double y) {
        return view.fromView(view.geometryModel().viewPointFromImagePoint({x, y}));
    };
    // Both ends placed with the geometry the drag starts with, as a hand on the mouse would.
    const QPointF from = toWidget(command.numbers[0], command.numbers[1]);
    const QPointF to = toWidget(command.numbers[2], command.numbers[3]);
    const auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, view.mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(&view, &event);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    // Equal ends are a click: no move at all.
    const int steps = from == to ? 0 : 8;
    for (int step = 1; step <= steps; ++step)
        send(QEvent::MouseMove, from + (to - from) * (double(step) / steps), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    return Outcome::passed();
}

Outcome LumivarProgram::wheel(ProgramWindow& window, const Command& command) {
    TiledImageView& view = window.imageView();
    const QPointF centre(view.width() / 2.0, view.height() / 2.0);
    const QPoint notches(int(std::lround(command.numbers[0] * 120)),
                         int(std::lround(command.numbers[1] * 120)));
    QWheelEvent event(centre, view.mapToGlobal(centre), QPoint(), notches, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &event);
    return Outcome::passed();
}

std::optional<Outcome> LumivarProgram::editingCommand(EditingProgramWindow& window, const Command& command) {
    EditingWindow& controller = window.controller();
    switch (command.verb) {
    case Verb::Slider: {
        auto* slider = controller.findChild<QSlider*>(QString::fromStdString(command.words[0]));
        if (!slider) return Outcome::failed("no slider " + command.words[0]);
        const auto range = controlRangeForKey(command.words[0]);
        const double value = automation::parseValue(command.words[1])->doubleValue();
        if (!range || !(range->maximum > range->minimum))
            return Outcome::failed("no range for " + command.words[0]);
        const double t = std::clamp((value - range->minimum) / (range->maximum - range->minimum), 0.0, 1.0);
        // As a hand moves it: the slider's signal carries the value to the document.
        slider->setValue(int(std::lround(t * slider->maximum())));
        window.noteSettingChanged(command.words[0]);
        return Outcome::passed();
    }
    case Verb::Key: {
        const QKeySequence sequence(QString::fromStdString(command.words[0]));
        if (sequence.isEmpty()) return Outcome::failed("not a key: " + command.words[0]);
        const QKeyCombination combination = sequence[0];
        QWidget* target = controller.focusWidget() ? controller.focusWidget() : &controller;
        // Through the application object, so that its key rewriting applies.
        QKeyEvent press(QEvent::KeyPress, combination.key(), combination.keyboardModifiers());
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, combination.key(), combination.keyboardModifiers());
        QApplication::sendEvent(target, &release);
        return Outcome::passed();
    }
    case Verb::Export: {
        static const std::map<std::string, std::string> types{{"jpeg", "public.jpeg"},
                                                              {"tiff", "public.tiff"},
                                                              {"dng", "com.adobe.dng"},
                                                              {"exr", "com.ilm.openexr-image"}};
        const std::filesystem::path to = resolve(command.words[1]);
        auto& choosers = WindowChoosers::shared();
        const auto saved = choosers.saveFile;
        choosers.saveFile = [to](QWidget*, const std::filesystem::path&, const QString&,
                                 const QString&) -> std::optional<std::filesystem::path> { return to; };
        controller.exportAsType(types.at(command.words[0]));
        choosers.saveFile = saved;
        return poll(command);
    }
    case Verb::Update:
        controller.extEditorUpdate();
        return poll(command);
    case Verb::PresetSave: {
        std::vector<bool> on;
        for (const auto& group : EditingWindow::presetGroups())
            on.push_back(std::find(command.words.begin() + 1, command.words.end(), group.title) !=
                         command.words.end());
        platform::Error error;
        if (!controller.saveNewPreset(command.words[0], on, &error))
            return Outcome::failed(error.failureReason);
        return Outcome::passed();
    }
    case Verb::PresetApply:
        if (!controller.applyPresetNamed(command.words[0]))
            return Outcome::failed("no preset " + command.words[0] + " was applied");
        window.noteSettingChanged(settings::InputEV.c_str());
        return Outcome::passed();
    case Verb::Rotate:
        if (command.words[0] == "cw")
            controller.rotateCW();
        else
            controller.rotateCCW();
        return Outcome::passed("orientation " + std::to_string(controller.document()->getOrientation()));
    default:
        return std::nullopt;
    }
}
