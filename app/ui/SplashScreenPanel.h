#pragma once
// The splash panel: a frameless grey panel above the other windows, centred on the screen.
// Any click, drag, key or tablet touch on it hides it at once.
#include <QWidget>

class SplashScreenPanel : public QWidget {
    Q_OBJECT
  public:
    explicit SplashScreenPanel(QWidget* parent = nullptr);

    void centreOnScreen();

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};
