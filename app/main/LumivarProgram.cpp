#include "app/main/LumivarProgram.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QSlider>
#include <QWheelEvent>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <map>
#include <system_error>

#include "app/core/MyDocument.h"
#include "app/main/EditingProgramWindow.h"
#include "app/main/LumivarWindow.h"
#include "app/ui/ControlRanges.h"
#include "app/ui/WindowChoosers.h"
#include "display/TiledViewGeometry.h"
#include "display/ZadeDivivCATiledLayerView.h"
#include "display/widgets/CIImageView.h"
#include "platform/UserDefaults.h"

using automation::Command;
using automation::Outcome;
using automation::Verb;

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
    : opener_(std::move(opener)), options_(std::move(options)) {}

LumivarProgram::~LumivarProgram() {
    closeAll();
    for (auto& entry : windows_)
        delete entry.widget.data();
}

std::optional<platform::Error> LumivarProgram::open(const std::filesystem::path& file) {
    auto opened = opener_(file);
    if (auto* error = std::get_if<platform::Error>(&opened)) return *error;
    ProgramWindow* window = std::get<ProgramWindow*>(opened);
    // An editing window closes itself when its document cannot show the image; the reason
    // stays with the program for the script's next wait.
    std::function<std::optional<platform::Error>()> failure;
    if (auto* editing = dynamic_cast<EditingProgramWindow*>(window)) {
        auto reason = editing->failure();
        failure = [reason] { return *reason; };
    }
    windows_.push_back({window->widget(), window, std::move(failure)});
    return std::nullopt;
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
    ProgramWindow* window = currentWindow();
    if (!window) return Outcome::failed("no window is open");
    settled_.invalidate();
    switch (command.verb) {
    case Verb::WaitImage:
    case Verb::Screenshot:
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
    ZadeDivivCATiledLayerView& view = window->imageView();
    switch (command.verb) {
    case Verb::Zoom:
        view.setPixelScaleFactor(command.numbers[0]);
        return Outcome::passed("factor " + std::to_string(view.pixelScaleFactor()));
    case Verb::Fit:
        view.setScaleFactorToFit();
        return Outcome::passed("factor " + std::to_string(view.pixelScaleFactor()));
    case Verb::Mode: {
        const std::string& mode = command.words[0];
        view.setCursorTrackingMode(mode == "crop"         ? TiledViewGeometry::kCropMode
                                   : mode == "eyedropper" ? TiledViewGeometry::kEyedropperMode
                                                          : TiledViewGeometry::kPanMode);
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
    if (command.verb == Verb::Screenshot) return screenshot(command);
    if (command.verb == Verb::Click) return chooseMenuItem(*window, command.words[0]);
    return Outcome::failed("not a command that waits");
}

// A hand chooses a menu item of the window in front: the window is brought to the front
// first, and the item chosen once the window system has made it the active one.
Outcome LumivarProgram::chooseMenuItem(ProgramWindow& window, const std::string& name) {
    QAction* item = window.widget()->findChild<QAction*>(QString::fromStdString(name));
    if (!item) return Outcome::failed("no button or menu item " + name);
    if (QApplication::activeWindow() != window.widget()) {
        window.widget()->activateWindow();
        return Outcome::pending();
    }
    item->trigger();
    return Outcome::passed();
}

Outcome LumivarProgram::waitForImage(ProgramWindow& window) {
    if (window.renderError()) return Outcome::failed(window.renderError()->failureReason);
    if (!window.hasImage() || window.isRendering() || !window.tilesSettled()) return Outcome::pending();
    return Outcome::passed();
}

Outcome LumivarProgram::screenshot(const Command& command) {
    ProgramWindow& program = *currentWindow();
    QWidget& window = *program.widget();
    if (!options_.shots) return Outcome::failed("no --screenshots folder was given");
    const bool waitForTiles = program.hasImage() && !program.renderError();
    if (waitForTiles && !program.tilesSettled()) {
        settled_.invalidate();
        return Outcome::pending();
    }
    if (!settled_.isValid()) settled_.start();
    if (settled_.elapsed() < kSettleMilliseconds || !window.windowHandle() ||
        !window.windowHandle()->isExposed())
        return Outcome::pending();

    const std::string part = command.words.size() > 1 ? command.words[1] : "window";
    QRect area = window.rect();
    WId grabbed = window.winId();
    if (part == "screen") {
        grabbed = 0; // the root window: everything shown
        area = QRect(QPoint(0, 0), window.screen()->size());
    }
    if (part == "view")
        area = QRect(program.imageView().mapTo(&window, QPoint(0, 0)), program.imageView().size());
    if (part == "histogram")
        area = QRect(program.histogramView().mapTo(&window, QPoint(0, 0)), program.histogramView().size());
    const QPixmap shot =
        window.screen()->grabWindow(grabbed, area.x(), area.y(), area.width(), area.height());
    std::error_code ec;
    std::filesystem::create_directories(*options_.shots, ec);
    std::filesystem::path file = *options_.shots / command.words[0];
    if (file.extension().empty()) file += ".png";
    if (shot.isNull() || !shot.save(QString::fromStdString(file.string()), "PNG"))
        return Outcome::failed("could not write " + file.string());
    return Outcome::passed(file.string());
}

Outcome LumivarProgram::drag(ProgramWindow& window, const Command& command) {
    ZadeDivivCATiledLayerView& view = window.imageView();
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
    ZadeDivivCATiledLayerView& view = window.imageView();
    const QPointF centre(view.width() / 2.0, view.height() / 2.0);
    const QPoint notches(int(std::lround(command.numbers[0] * 120)),
                         int(std::lround(command.numbers[1] * 120)));
    QWheelEvent event(centre, view.mapToGlobal(centre), QPoint(), notches, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &event);
    return Outcome::passed();
}

std::optional<Outcome> LumivarProgram::editingCommand(EditingProgramWindow& window, const Command& command) {
    ZadeDivivWindowController& controller = window.controller();
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
    case Verb::Click: {
        auto* button = controller.findChild<QAbstractButton*>(QString::fromStdString(command.words[0]));
        if (!button) return chooseMenuItem(window, command.words[0]);
        button->click();
        if (command.words[0] == "extEditorUpdate" || command.words[0] == "exportAsSelected")
            return Outcome::passed("started");
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
        choosers.saveFile = [to](QWidget*, const QString&,
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
        for (const auto& group : ZadeDivivWindowController::presetGroups())
            on.push_back(std::find(command.words.begin() + 1, command.words.end(), group.title) !=
                         command.words.end());
        platform::Error error;
        if (!controller.saveNewPreset(command.words[0], on, &error))
            return Outcome::failed(error.failureReason);
        return Outcome::passed();
    }
    case Verb::PresetApply:
        if (!controller.applyPresetNamed(command.words[0]))
            return Outcome::failed("no preset " + command.words[0]);
        window.noteSettingChanged("Lumivar_Filter_inputEV");
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
