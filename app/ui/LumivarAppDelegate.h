#pragma once
// What the application does once launching is done and when it ends: it empties its own
// temporary folder of what earlier runs left, turns the frame buffer and image cache off
// after a run that did not end normally, keeps the running flag, and shows the splash
// panel (when "ShowSplashScreen" is on) over the start, fading it out over seven seconds.
// The splash is only for the moments before anything else is on screen: the first window
// that appears (a document's, the browser, an alert) takes it away, so it never hides what
// the photographer must read.
#include <QObject>
#include <cstdint>
#include <memory>

#include "platform/UserDefaults.h"

class QTimer;
class SplashScreenPanel;

class LumivarAppDelegate : public QObject {
    Q_OBJECT
  public:
    static constexpr int kSplashTickMs = 50;
    static constexpr int32_t kSplashCountDown = 230;
    static constexpr int32_t kSplashFadeTicks = 140;

    explicit LumivarAppDelegate(platform::UserDefaults& defaults, QObject* parent = nullptr);
    ~LumivarAppDelegate() override;

    void applicationDidFinishLaunching();
    // Also runs when the application is about to quit.
    void applicationWillTerminate();
    bool applicationShouldOpenUntitledFile() const { return false; }

    // After a run that ended without applicationWillTerminate, unless the frame buffer is
    // already off: frame buffer and image cache off.
    static void applyCrashGuard(platform::UserDefaults& defaults);

    void startSplashScreenPanel();
    void splashTimerFireMethod();
    SplashScreenPanel* splashScreenPanel() const { return splashScreenPanel_.get(); }
    int32_t splashScreenCountDown() const { return splashScreenCountDown_; }
    QTimer* splashScreenTimer() const { return splashScreenTimer_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void closeSplashScreenPanel();

    platform::UserDefaults& defaults_;
    std::unique_ptr<SplashScreenPanel> splashScreenPanel_;
    QTimer* splashScreenTimer_ = nullptr;
    int32_t splashScreenCountDown_ = 0;
};
