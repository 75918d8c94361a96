#include "app/ui/LumivarAppDelegate.h"

#include <QCoreApplication>
#include <QTimer>
#include <QWidget>

#include "app/core/FileManagerOps.h"
#include "app/core/Keys.h"
#include "app/ui/SplashScreenPanel.h"
#include "platform/Paths.h"

LumivarAppDelegate::LumivarAppDelegate(platform::UserDefaults& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults) {
    splashScreenTimer_ = new QTimer(this);
    splashScreenTimer_->setInterval(kSplashTickMs);
    connect(splashScreenTimer_, &QTimer::timeout, this, &LumivarAppDelegate::splashTimerFireMethod);
    if (auto* application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this,
                &LumivarAppDelegate::applicationWillTerminate);
}

LumivarAppDelegate::~LumivarAppDelegate() = default;

void LumivarAppDelegate::applicationDidFinishLaunching() {
    // Only the program's own temporary folder: file-backed pixels of earlier runs.
    app::cleanDirectory(platform::paths::temporary());
    if (defaults_.boolForKey(app::defaults::ShowSplashScreen)) startSplashScreenPanel();
    applyCrashGuard(defaults_);
    defaults_.setBool(true, app::defaults::LumivarIsRunning);
}

void LumivarAppDelegate::applicationWillTerminate() {
    defaults_.setBool(false, app::defaults::LumivarIsRunning);
    defaults_.synchronize();
}

void LumivarAppDelegate::applyCrashGuard(platform::UserDefaults& defaults) {
    if (!defaults.boolForKey(app::defaults::LumivarIsRunning)) return;
    if (defaults.boolForKey(app::defaults::DisableFrameBuffer)) return;
    defaults.setBool(true, app::defaults::DisableFrameBuffer);
    defaults.setBool(true, app::defaults::DisableImageCache);
}

void LumivarAppDelegate::startSplashScreenPanel() {
    if (!splashScreenPanel_) splashScreenPanel_ = std::make_unique<SplashScreenPanel>();
    splashScreenPanel_->setWindowOpacity(1.0);
    splashScreenPanel_->show();
    splashScreenPanel_->raise();
    splashScreenCountDown_ = kSplashCountDown;
    splashScreenTimer_->start();
    if (auto* application = QCoreApplication::instance()) application->installEventFilter(this);
}

void LumivarAppDelegate::closeSplashScreenPanel() {
    splashScreenTimer_->stop();
    splashScreenCountDown_ = 0;
    if (auto* application = QCoreApplication::instance()) application->removeEventFilter(this);
    splashScreenPanel_.reset();
}

// Any other window that appears ends the splash: above a window it hides the picture, above
// an alert the explanation.
bool LumivarAppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && splashScreenPanel_) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->isWindow() && widget != splashScreenPanel_.get()) {
            const Qt::WindowType type = widget->windowType();
            if (type != Qt::Popup && type != Qt::ToolTip) closeSplashScreenPanel();
        }
    }
    return QObject::eventFilter(watched, event);
}

// Opaque for 90 ticks (4.5 s), then fading out over the last 140 (7 s).
void LumivarAppDelegate::splashTimerFireMethod() {
    if (splashScreenCountDown_ < 1) {
        closeSplashScreenPanel();
        return;
    }
    const int32_t before = splashScreenCountDown_--;
    if (before <= kSplashFadeTicks && splashScreenPanel_)
        splashScreenPanel_->setWindowOpacity(double(splashScreenCountDown_) / kSplashFadeTicks);
}
