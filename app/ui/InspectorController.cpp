#include "app/ui/InspectorController.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <QThread>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWidget>

#include "app/ui/WindowSupport.h"

namespace {

void appendRows(QStandardItem* parent, const std::vector<InspectorRow>& rows) {
    for (const InspectorRow& row : rows) {
        auto* name = new QStandardItem(QString::fromStdString(row.key));
        auto* value = new QStandardItem(QString::fromStdString(row.val));
        name->setEditable(false);
        value->setEditable(false);
        value->setToolTip(value->text()); // long values are cut off by the column
        if (row.isGroup) {
            QFont bold = name->font();
            bold.setBold(true);
            name->setFont(bold);
            appendRows(name, row.children);
        }
        parent->appendRow({name, value});
    }
}

} // namespace

InspectorController::InspectorController(QObject* parent)
    : QObject(parent), window_(std::make_unique<QWidget>()) {
    window_->setWindowTitle(QStringLiteral("Inspector"));
    window_->setObjectName(QStringLiteral("Inspector"));
    model_ = new QStandardItemModel(0, 2, this);
    model_->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Value")});
    view_ = new QTreeView(window_.get());
    view_->setModel(model_);
    view_->setAlternatingRowColors(true);
    view_->setUniformRowHeights(true);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->header()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    window_->resize(520, 600);
}

InspectorController::~InspectorController() = default;

QWidget* InspectorController::window() const { return window_.get(); }

void InspectorController::setData(const platform::Dictionary& metadata) {
    if (QThread::currentThread() != thread()) {
        // Widgets live on the GUI thread; the call is dropped if the inspector goes first.
        QMetaObject::invokeMethod(
            this, [this, metadata] { apply(metadata); }, Qt::QueuedConnection);
        return;
    }
    apply(metadata);
}

void InspectorController::apply(const platform::Dictionary& metadata) {
    if (haveData_ && metadata == theData_) return;
    theData_ = metadata;
    haveData_ = true;
    rows_ = InspectorModel::propTree(theData_);
    model_->removeRows(0, model_->rowCount());
    appendRows(model_->invisibleRootItem(), rows_);
    view_->expandAll();
    view_->resizeColumnToContents(0);
}

void InspectorController::showWindow() { appui::bringToFront(window_.get()); }
