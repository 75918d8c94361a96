#include "app/ui/ItemTableWindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {
constexpr int kPreviewSize = 48;
}

ItemTableWindow::ItemTableWindow(const QString& title, const QString& importTitle, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setWindowTitle(title);
    table_ = new QTableWidget(0, 3, this);
    table_->setHorizontalHeaderLabels({QString(), QStringLiteral("Name"), QStringLiteral("Description")});
    table_->setIconSize(QSize(kPreviewSize, kPreviewSize));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(kPreviewSize + 8);
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
    table_->setColumnWidth(0, kPreviewSize + 12);
    table_->horizontalHeader()->setStretchLastSection(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    if (!importTitle.isEmpty()) {
        import_ = new QPushButton(importTitle, this);
        import_->setObjectName(QStringLiteral("import"));
        buttons->addWidget(import_);
        connect(import_, &QPushButton::clicked, this, &ItemTableWindow::importRequested);
    }
    delete_ = new QPushButton(QStringLiteral("Delete"), this);
    delete_->setObjectName(QStringLiteral("delete"));
    delete_->setEnabled(false);
    buttons->addWidget(delete_);
    connect(delete_, &QPushButton::clicked, this, [this] {
        if (auto rows = selectedRows(); !rows.empty()) Q_EMIT deleteRequested(rows);
    });
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { delete_->setEnabled(!selectedRows().empty()); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(buttons);
    resize(520, 360);
}

void ItemTableWindow::setRows(const std::vector<Row>& rows) {
    table_->clearContents();
    table_->setRowCount(int(rows.size()));
    for (int i = 0; i < int(rows.size()); ++i) {
        auto* preview = new QTableWidgetItem;
        preview->setIcon(rows[size_t(i)].preview);
        table_->setItem(i, 0, preview);
        table_->setItem(i, 1, new QTableWidgetItem(rows[size_t(i)].name));
        table_->setItem(i, 2, new QTableWidgetItem(rows[size_t(i)].shortDescription));
    }
    table_->resizeColumnToContents(1);
    delete_->setEnabled(!selectedRows().empty());
}

std::vector<int> ItemTableWindow::selectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}
