#pragma once
// A label that reports a double click to its delegate (the window resets the label's key)
// and then handles the press as usual.
#include <QLabel>

class LumivarClickTextField : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;

  Q_SIGNALS:
    void lablelDoubleClicked(LumivarClickTextField* label);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
