#pragma once
// A spinning progress indicator: twelve fins around a centre, the brightest one stepping
// round and the others fading behind it; or, determinate, a pie from the top clockwise.
// Frames step on a 50 ms timer, or on a thread of its own that asks the GUI thread to repaint.
#include <QColor>
#include <QWidget>
#include <array>
#include <mutex>
#include <thread>

class QTimer;

class ProgressSpinner : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kNumFins = 12;
    static constexpr int kSpinningStyle = 1;
    static constexpr int kFrameMs = 50;

    explicit ProgressSpinner(QWidget* parent = nullptr);
    ~ProgressSpinner() override;

    QColor color() const;
    void setColor(const QColor& colour);
    QColor backgroundColor() const { return backColor_; }
    void setBackgroundColor(const QColor& colour);
    bool drawsBackground() const { return drawsBackground_; }
    void setDrawsBackground(bool draws);
    bool isIndeterminate() const { return isIndeterminate_; }
    void setIndeterminate(bool indeterminate);
    double doubleValue() const { return currentValue_; }
    void setDoubleValue(double value);
    double maxValue() const { return maxValue_; }
    void setMaxValue(double value);
    bool usesThreadedAnimation() const { return usesThreadedAnimation_; }
    void setUsesThreadedAnimation(bool threaded);
    bool isDisplayedWhenStopped() const;
    void setDisplayedWhenStopped(bool displayed);
    // Only the spinning style exists; any other is refused with a message.
    using QWidget::setStyle;
    void setStyle(int indicatorStyle);

    bool isAnimating() const { return isAnimating_; }
    // The colour fin `index` is painted with now (fin 0 points up, the others follow
    // counter-clockwise).
    QColor finColor(int index) const;

    void startAnimation();
    // Lets the fins fade out; the animation ends once they have.
    void stopAnimation();
    // One frame: the bright fin moves on and the others fade.
    void updateFrame();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void actuallyStartAnimation();
    void actuallyStopAnimation();
    bool stepFins();
    void generateFinColorsStartAtPosition(int startPosition);
    void animateInBackgroundThread(std::stop_token stop, int generation);
    void stopTicking();
    void drawFins(QPainter& painter, double size) const;
    void drawPie(QPainter& painter, double size) const;

    // Shared with the animation thread.
    mutable std::mutex frameLock_;
    int position_ = 0;
    std::array<QColor, kNumFins> finColors_;
    bool isFadingOut_ = false;
    bool displayedWhenStopped_ = true;
    QColor foreColor_ = Qt::white;

    bool isAnimating_ = false;
    QTimer* animationTimer_;
    std::jthread animationThread_;
    int generation_ = 0; // counts starts, so a stop posted by an old thread is dropped
    QColor backColor_ = Qt::transparent;
    bool drawsBackground_ = false;
    bool usesThreadedAnimation_ = false;
    bool isIndeterminate_ = true;
    double currentValue_ = 0;
    double maxValue_ = 100;
};
