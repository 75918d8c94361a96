#include "app/ui/EditingSidebar.h"

#include <QHeaderView>
#include <algorithm>

#include "display/widgets/LumivarTableRowView.h"

EditingSidebar::EditingSidebar(QWidget* parent)
    : LumivarOutlineView(parent), rows_(new LumivarTableRowView(this)) {
    setModel(&model_);
    setItemDelegate(rows_);
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setIndentation(0);
    setAnimated(false);
    setUniformRowHeights(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
}

int EditingSidebar::rowHeight(const QWidget* contentView) {
    if (!contentView) return kTitleHeight;
    return std::max(kTitleHeight, contentView->sizeHint().height());
}

void EditingSidebar::setSections(const std::vector<std::pair<std::string, QWidget*>>& sections) {
    model_.clear();
    topLevelItems_.clear();
    for (const auto& [title, view] : sections) {
        topLevelItems_.push_back(title);
        auto* titleItem = new QStandardItem(QString::fromStdString(title).toUpper());
        QFont font = titleItem->font();
        font.setBold(true);
        titleItem->setFont(font);
        titleItem->setSizeHint(QSize(0, kTitleHeight));
        titleItem->setSelectable(false);
        auto* contentItem = new QStandardItem(view ? QString() : QString("Not available"));
        contentItem->setSizeHint(QSize(0, rowHeight(view)));
        titleItem->appendRow(contentItem);
        model_.appendRow(titleItem);
        if (view) setIndexWidget(contentItem->index(), view);
    }
    expandAll();
}

int EditingSidebar::flatRow(const QModelIndex& index) const {
    if (!index.isValid()) return -1;
    if (!index.parent().isValid()) return 2 * index.row();
    return 2 * index.parent().row() + 1 + index.row();
}

void EditingSidebar::setRowBackground(const QColor& colour) { rows_->setBgOveride(colour); }

QItemSelectionModel::SelectionFlags EditingSidebar::selectionCommand(const QModelIndex& index,
                                                                     const QEvent* event) const {
    if (!selectionAllowed(flatRow(index))) return QItemSelectionModel::Clear;
    return LumivarOutlineView::selectionCommand(index, event);
}
