#include "app/ui/browser/HelpBubbles.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>
#include <algorithm>
#include <array>
#include <functional>

#include "app/core/Keys.h"
#include "platform/UserDefaults.h"

namespace help_bubbles {
namespace {

constexpr int kMaxTextWidth = 240;
constexpr int kMargin = 8;
constexpr int kPointer = 7; // the little triangle towards the control, inside the gap
constexpr int kCloseWidth = 14;

Qt::Edge opposite(Qt::Edge edge) {
    switch (edge) {
    case Qt::TopEdge:
        return Qt::BottomEdge;
    case Qt::BottomEdge:
        return Qt::TopEdge;
    case Qt::LeftEdge:
        return Qt::RightEdge;
    default:
        return Qt::LeftEdge;
    }
}

bool vertical(Qt::Edge edge) { return edge == Qt::TopEdge || edge == Qt::BottomEdge; }

// Beside the control on that side, centred on it and kept inside the area along the side.
QRect besides(const QRect& area, const QRect& anchor, QSize size, Qt::Edge edge) {
    QRect r(QPoint(0, 0), size);
    if (vertical(edge)) {
        r.moveLeft(std::clamp(anchor.center().x() - size.width() / 2, area.left(),
                              std::max(area.left(), area.right() + 1 - size.width())));
        r.moveTop(edge == Qt::TopEdge ? anchor.top() - kGap - size.height() : anchor.bottom() + 1 + kGap);
    } else {
        r.moveTop(std::clamp(anchor.center().y() - size.height() / 2, area.top(),
                             std::max(area.top(), area.bottom() + 1 - size.height())));
        r.moveLeft(edge == Qt::LeftEdge ? anchor.left() - kGap - size.width() : anchor.right() + 1 + kGap);
    }
    return r;
}

// Room beyond the control on that side.
int room(const QRect& area, const QRect& anchor, Qt::Edge edge) {
    switch (edge) {
    case Qt::TopEdge:
        return anchor.top() - area.top();
    case Qt::BottomEdge:
        return area.bottom() - anchor.bottom();
    case Qt::LeftEdge:
        return anchor.left() - area.left();
    default:
        return area.right() - anchor.right();
    }
}

// Further out along the side until it no longer overlaps those placed before it.
QRect clear(QRect r, Qt::Edge edge, const std::vector<Placement>& placed) {
    for (bool moved = true; moved;) {
        moved = false;
        for (const Placement& p : placed) {
            if (!r.intersects(p.rect.adjusted(-2, -2, 2, 2))) continue;
            switch (edge) {
            case Qt::TopEdge:
                r.moveBottom(p.rect.top() - kGap);
                break;
            case Qt::BottomEdge:
                r.moveTop(p.rect.bottom() + kGap);
                break;
            case Qt::LeftEdge:
                r.moveRight(p.rect.left() - kGap);
                break;
            default:
                r.moveLeft(p.rect.right() + kGap);
                break;
            }
            moved = true;
        }
    }
    return r;
}

// Whatever is left: inside the area, even if that means over its control.
QRect inside(QRect r, const QRect& area) {
    r.moveLeft(std::clamp(r.left(), area.left(), std::max(area.left(), area.right() + 1 - r.width())));
    r.moveTop(std::clamp(r.top(), area.top(), std::max(area.top(), area.bottom() + 1 - r.height())));
    return r;
}

// One tip: a dark rounded box with a pointer towards its control and a close mark.
class TipBubble : public QWidget {
  public:
    TipBubble(QWidget* window, const QString& text, std::function<void()> clicked)
        : QWidget(window), text_(text), clicked_(std::move(clicked)) {
        setObjectName("helpBubble");
        setToolTip(tr("Click to hide the help bubbles"));
        setCursor(Qt::PointingHandCursor);
        QFont small = font();
        small.setPointSizeF(small.pointSizeF() * 0.95);
        setFont(small);
        const QRect text_rect =
            fontMetrics().boundingRect(QRect(0, 0, kMaxTextWidth, 1000), Qt::TextWordWrap, text_);
        resize(text_rect.width() + 2 * kMargin + kCloseWidth + kPointer,
               text_rect.height() + 2 * kMargin + kPointer);
        hide();
    }
    const QString& text() const { return text_; }
    void setPointer(Qt::Edge edge, QPoint towards) {
        edge_ = edge;
        towards_ = towards;
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        // The body leaves the pointer's strip on the side that faces the control.
        QRectF body = rect();
        switch (edge_) {
        case Qt::BottomEdge: // below its control: the pointer goes up
            body.setTop(kPointer);
            break;
        case Qt::TopEdge:
            body.setBottom(height() - kPointer);
            break;
        case Qt::RightEdge:
            body.setLeft(kPointer);
            break;
        default:
            body.setRight(width() - kPointer);
            break;
        }
        QPainterPath shape;
        shape.addRoundedRect(body, 6, 6);
        const QPointF tip(std::clamp<qreal>(towards_.x(), 10, width() - 10),
                          std::clamp<qreal>(towards_.y(), 10, height() - 10));
        QPolygonF pointer;
        switch (edge_) {
        case Qt::BottomEdge:
            pointer << QPointF(tip.x() - kPointer, body.top() + 1) << QPointF(tip.x(), 0)
                    << QPointF(tip.x() + kPointer, body.top() + 1);
            break;
        case Qt::TopEdge:
            pointer << QPointF(tip.x() - kPointer, body.bottom() - 1) << QPointF(tip.x(), height())
                    << QPointF(tip.x() + kPointer, body.bottom() - 1);
            break;
        case Qt::RightEdge:
            pointer << QPointF(body.left() + 1, tip.y() - kPointer) << QPointF(0, tip.y())
                    << QPointF(body.left() + 1, tip.y() + kPointer);
            break;
        default:
            pointer << QPointF(body.right() - 1, tip.y() - kPointer) << QPointF(width(), tip.y())
                    << QPointF(body.right() - 1, tip.y() + kPointer);
            break;
        }
        shape.addPolygon(pointer);
        shape.setFillRule(Qt::WindingFill);
        painter.fillPath(shape, QColor(30, 30, 30, 235));
        painter.setPen(Qt::white);
        const QRectF words = body.adjusted(kMargin, kMargin, -kMargin - kCloseWidth, -kMargin);
        painter.drawText(words, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignVCenter, text_);
        painter.setPen(QColor(170, 170, 170));
        painter.drawText(
            QRectF(body.right() - kMargin - kCloseWidth + 4, body.top() + 2, kCloseWidth, kCloseWidth + 4),
            Qt::AlignCenter, QStringLiteral("\u00d7"));
    }
    void mousePressEvent(QMouseEvent*) override {
        if (clicked_) clicked_();
    }

  private:
    QString text_;
    std::function<void()> clicked_;
    Qt::Edge edge_ = Qt::BottomEdge;
    QPoint towards_;
};

} // namespace

std::vector<Placement> placeBubbles(const QRect& area, const std::vector<Request>& requests) {
    std::vector<Placement> placed;
    for (const Request& request : requests) {
        const auto fits = [&](Qt::Edge edge) {
            return area.contains(besides(area, request.anchor, request.size, edge));
        };
        Qt::Edge edge = request.edge;
        if (!fits(edge)) {
            if (fits(opposite(edge))) {
                edge = opposite(edge);
            } else {
                const std::array<Qt::Edge, 4> sides{Qt::BottomEdge, Qt::TopEdge, Qt::RightEdge, Qt::LeftEdge};
                edge = *std::max_element(sides.begin(), sides.end(), [&](Qt::Edge a, Qt::Edge b) {
                    return room(area, request.anchor, a) < room(area, request.anchor, b);
                });
            }
        }
        QRect r = clear(besides(area, request.anchor, request.size, edge), edge, placed);
        placed.push_back({inside(r, area), edge});
    }
    return placed;
}

Bubbles::Bubbles(QWidget* window, const std::vector<Tip>& tips)
    : QObject(window), window_(window), tips_(tips) {
    for (const Tip& tip : tips_) {
        widgets_.push_back(new TipBubble(window, tip.text, [this] { dismiss(); }));
        if (tip.anchor) tip.anchor->installEventFilter(this);
    }
    window->installEventFilter(this);
}

void Bubbles::show() {
    shown_ = true;
    place();
    for (QWidget* bubble : widgets_) {
        bubble->show();
        bubble->raise();
    }
}

void Bubbles::dismiss() {
    shown_ = false;
    for (QWidget* bubble : widgets_)
        bubble->hide();
    platform::UserDefaults::standard().setBool(false, app::defaults::ShowPopoverHelp);
    platform::UserDefaults::standard().synchronize();
}

void Bubbles::place() {
    if (!window_) return;
    std::vector<Request> requests;
    for (size_t i = 0; i < tips_.size(); ++i) {
        QWidget* anchor = tips_[i].anchor;
        const QRect at = anchor ? QRect(anchor->mapTo(window_, QPoint(0, 0)), anchor->size()) : QRect();
        requests.push_back({at, widgets_[i]->size(), tips_[i].edge});
    }
    const std::vector<Placement> placed = placeBubbles(window_->rect(), requests);
    for (size_t i = 0; i < placed.size(); ++i) {
        auto* bubble = static_cast<TipBubble*>(widgets_[i]);
        bubble->setGeometry(placed[i].rect);
        bubble->setPointer(placed[i].edge, requests[i].anchor.center() - placed[i].rect.topLeft());
    }
}

bool Bubbles::eventFilter(QObject*, QEvent* event) {
    // The layout has already moved the controls when their own events arrive.
    if (shown_ && (event->type() == QEvent::Resize || event->type() == QEvent::Move)) place();
    return false;
}

} // namespace help_bubbles
