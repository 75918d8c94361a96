#include "app/main/LumivarProgram.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QWheelEvent>
#include <QWindow>
#include <system_error>

#include "display/TiledViewGeometry.h"
#include "display/ZadeDivivCATiledLayerView.h"
#include "display/widgets/CIImageView.h"

using automation::Command;
using automation::Outcome;
using automation::Verb;

LumivarProgram::LumivarProgram(DocumentOpener opener, Options options)
    : opener_(std::move(opener)), options_(std::move(options)) {}

LumivarProgram::~LumivarProgram() {
    closeAll();
    for (auto& window : windows_)
        delete window.data();
}

std::optional<platform::Error> LumivarProgram::open(const std::filesystem::path& file) {
    OpenedDocument opened = opener_(file);
    if (auto* error = std::get_if<platform::Error>(&opened)) return *error;
    auto* window = new LumivarWindow(std::move(std::get<std::unique_ptr<ViewerDocument>>(opened)));
    // The error has been shown; a script keeps the window to report it on its wait.
    if (!options_.automation)
        QObject::connect(window, &LumivarWindow::renderFailed, window, [window] { window->close(); });
    windows_.emplace_back(window);
    window->show();
    window->startDisplay();
    return std::nullopt;
}

LumivarWindow* LumivarProgram::currentWindow() const {
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
        if (*it && (*it)->isVisible()) return it->data();
    return nullptr;
}

std::vector<LumivarWindow*> LumivarProgram::windows() const {
    std::vector<LumivarWindow*> open;
    for (const auto& window : windows_)
        if (window && window->isVisible()) open.push_back(window.data());
    return open;
}

void LumivarProgram::closeAll() {
    for (auto& window : windows_)
        if (window && window->isVisible()) window->close();
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
    LumivarWindow* window = currentWindow();
    if (!window) return Outcome::failed("no window is open");
    settled_.invalidate();
    switch (command.verb) {
    case Verb::WaitImage:
    case Verb::Screenshot:
        return poll(command);
    case Verb::Close:
        closing_ = window;
        window->close();
        return poll(command);
    case Verb::Set: {
        const auto value = automation::parseValue(command.words[1]);
        window->document().setValue(value, command.words[0]);
        window->settingChanged(command.words[0]);
        return Outcome::passed();
    }
    case Verb::Expect: {
        const auto actual = window->document().valueForKey(command.words[0]);
        const auto expected = automation::parseValue(command.words[1]);
        if (automation::valuesMatch(actual, expected)) return Outcome::passed();
        return Outcome::failed("the value is " + automation::describeValue(actual));
    }
    default:
        break;
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
    LumivarWindow* window = currentWindow();
    if (!window) return Outcome::failed("the window has closed");
    if (command.verb == Verb::WaitImage) return waitForImage(*window);
    if (command.verb == Verb::Screenshot) return screenshot(command);
    return Outcome::failed("not a command that waits");
}

Outcome LumivarProgram::waitForImage(LumivarWindow& window) {
    if (window.renderError()) return Outcome::failed(window.renderError()->failureReason);
    if (!window.hasImage() || window.isRendering() || !window.tilesSettled()) return Outcome::pending();
    return Outcome::passed();
}

Outcome LumivarProgram::screenshot(const Command& command) {
    LumivarWindow& window = *currentWindow();
    if (!options_.shots) return Outcome::failed("no --screenshots folder was given");
    const bool waitForTiles = window.hasImage() && !window.renderError();
    if (waitForTiles && !window.tilesSettled()) {
        settled_.invalidate();
        return Outcome::pending();
    }
    if (!settled_.isValid()) settled_.start();
    if (settled_.elapsed() < kSettleMilliseconds || !window.windowHandle() ||
        !window.windowHandle()->isExposed())
        return Outcome::pending();

    const std::string part = command.words.size() > 1 ? command.words[1] : "window";
    QRect area = window.rect();
    if (part == "view")
        area = QRect(window.imageView().mapTo(&window, QPoint(0, 0)), window.imageView().size());
    if (part == "histogram")
        area = QRect(window.histogramView().mapTo(&window, QPoint(0, 0)), window.histogramView().size());
    const QPixmap shot =
        window.screen()->grabWindow(window.winId(), area.x(), area.y(), area.width(), area.height());
    std::error_code ec;
    std::filesystem::create_directories(*options_.shots, ec);
    std::filesystem::path file = *options_.shots / command.words[0];
    if (file.extension().empty()) file += ".png";
    if (shot.isNull() || !shot.save(QString::fromStdString(file.string()), "PNG"))
        return Outcome::failed("could not write " + file.string());
    return Outcome::passed(file.string());
}

Outcome LumivarProgram::drag(LumivarWindow& window, const Command& command) {
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

Outcome LumivarProgram::wheel(LumivarWindow& window, const Command& command) {
    ZadeDivivCATiledLayerView& view = window.imageView();
    const QPointF centre(view.width() / 2.0, view.height() / 2.0);
    const QPoint notches(int(std::lround(command.numbers[0] * 120)),
                         int(std::lround(command.numbers[1] * 120)));
    QWheelEvent event(centre, view.mapToGlobal(centre), QPoint(), notches, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &event);
    return Outcome::passed();
}
