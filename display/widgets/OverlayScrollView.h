#pragma once
// A scroll area whose content fills the whole frame, with an overlay scroller of 15 points
// lying over the content's right edge.
#include <QScrollArea>

class OverlayScroller;

class OverlayScrollView : public QScrollArea {
    Q_OBJECT
  public:
    static constexpr int kScrollerWidth = 15;

    explicit OverlayScrollView(QWidget* parent = nullptr);

    OverlayScroller* overlayScroller() const { return scroller_; }
    // Lays the content over the whole bounds and the scroller over its right edge, on top.
    void tile();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void followScrollBar();
    void followRange(int low, int high);
    void copySteps();

    OverlayScroller* scroller_;
};
