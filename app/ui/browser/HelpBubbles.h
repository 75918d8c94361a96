#pragma once
// The browser's help bubbles: a short tip beside each of its controls, drawn inside the
// window (never off the screen above it), placed again whenever the window or a control
// moves or changes size. They stay until the photographer clicks one; that hides them all
// and switches the user default "ShowPopoverHelp" off, so they do not come back at the next
// start (the preferences can switch them on again).
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <vector>

class QWidget;

namespace help_bubbles {

struct Request {
    QRect anchor;  // the control, in the window's coordinates
    QSize size;    // the bubble's
    Qt::Edge edge; // the side of the control it prefers
};
struct Placement {
    QRect rect;
    Qt::Edge edge; // the side of the control it ended on: its pointer faces the control
};

inline constexpr int kGap = 8; // between a bubble and its control, and between two bubbles

// Each bubble on its preferred side when it fits there inside `area`, else on the opposite
// side, else the side with the most room; along the side it is centred on its control and
// kept inside `area`. A bubble that would overlap one placed before it moves further out.
std::vector<Placement> placeBubbles(const QRect& area, const std::vector<Request>& requests);

class Bubbles : public QObject {
    Q_OBJECT
  public:
    struct Tip {
        QWidget* anchor;
        QString text;
        Qt::Edge edge;
    };
    // Children of the window, hidden until show().
    Bubbles(QWidget* window, const std::vector<Tip>& tips);

    void show();
    // Hides them all and records that the photographer has seen them.
    void dismiss();
    void place();
    const std::vector<QWidget*>& widgets() const { return widgets_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPointer<QWidget> window_;
    std::vector<Tip> tips_;
    std::vector<QWidget*> widgets_;
    bool shown_ = false;
};

} // namespace help_bubbles
