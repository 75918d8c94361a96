#pragma once
// Paints the sidebar's rows: a background of its own choosing instead of the row's, and no
// selection highlight.
#include <QColor>
#include <QStyledItemDelegate>
#include <optional>

class LumivarTableRowView : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    std::optional<QColor> bgOveride() const { return bgOveride_; }
    void setBgOveride(std::optional<QColor> colour) { bgOveride_ = colour; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

  private:
    void drawBackgroundInRect(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const;

    std::optional<QColor> bgOveride_;
};
