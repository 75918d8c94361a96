#pragma once
// An overlay scroller: no track, only a thin dark knob that appears on activity and fades
// out half a second after the last one, in ten steps of 30 ms.
#include <QScrollBar>

class QTimer;

class OverlayScroller : public QScrollBar {
    Q_OBJECT
  public:
    static constexpr int kSteps = 10;
    static constexpr int kFadeDelayMs = 500;
    static constexpr int kStepMs = 30;
    static constexpr int kKnobThickness = 6;

    explicit OverlayScroller(Qt::Orientation orientation, QWidget* parent = nullptr);

    bool shouldClearBackground() const { return shouldClearBackground_; }
    void setShouldClearBackground(bool clear) { shouldClearBackground_ = clear; }

    // 0 (gone) to 0.5 (fully shown).
    double knobOpacity() const { return animationStep_ * 0.5 / kSteps; }
    // The style's slider, thinned to 6 points and moved 6 points off the leading edge.
    QRect knobRect() const;
    void showScroller() { showKnob(); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void sliderChange(SliderChange change) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void showKnob();
    void showKnobAfterDelay();
    void updateKnob();
    void updateKnobAfterDelay();

    int animationStep_ = 0;
    float oldValue_ = -1;
    bool scheduled_ = false;
    bool disableFade_ = false;
    bool shouldClearBackground_ = false;
    QTimer* showTimer_;
    QTimer* stepTimer_;
};
