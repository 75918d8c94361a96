#pragma once
// The metadata inspector's window: a two-column outline (name, value) of the current
// document's image metadata. setData() may be called from any thread (the engine announces
// new metadata on its own queue); the outline is rebuilt on the GUI thread.
#include <QObject>
#include <memory>
#include <vector>

#include "app/ui/InspectorModel.h"
#include "platform/Value.h"

class QStandardItemModel;
class QTreeView;
class QWidget;

class InspectorController : public QObject {
    Q_OBJECT
  public:
    explicit InspectorController(QObject* parent = nullptr);
    ~InspectorController() override;

    // Shows the dictionary unless it is the one already shown.
    void setData(const platform::Dictionary& metadata);
    const platform::Dictionary& theData() const { return theData_; }
    const std::vector<InspectorRow>& rows() const { return rows_; }

    QWidget* window() const;
    QTreeView* outlineView() const { return view_; }
    QStandardItemModel* treeModel() const { return model_; }
    void showWindow();

  private:
    void apply(const platform::Dictionary& metadata);

    std::unique_ptr<QWidget> window_;
    QTreeView* view_ = nullptr;
    QStandardItemModel* model_ = nullptr;
    platform::Dictionary theData_;
    bool haveData_ = false;
    std::vector<InspectorRow> rows_;
};
