#include "display/widgets/LumivarTableRowView.h"

#include <QPainter>

void LumivarTableRowView::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    drawBackgroundInRect(painter, option, index);
    QStyledItemDelegate::paint(painter, option, index);
}

// The content is drawn over the row's background, never with a background or highlight of its own.
void LumivarTableRowView::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    option->state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    option->backgroundBrush = Qt::NoBrush;
}

void LumivarTableRowView::drawBackgroundInRect(QPainter* painter, const QStyleOptionViewItem& option,
                                               const QModelIndex& index) const {
    QColor fill;
    if (bgOveride_) {
        fill = *bgOveride_;
    } else {
        const QVariant own = index.data(Qt::BackgroundRole);
        fill = own.canConvert<QBrush>() ? own.value<QBrush>().color() : option.palette.color(QPalette::Base);
    }
    painter->fillRect(option.rect, fill);
}
