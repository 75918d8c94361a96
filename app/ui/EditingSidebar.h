#pragma once
// The editing window's sidebar: an outline of section titles (upper case, 18 points high,
// always expanded) each holding its content view (a row as high as the view, at least 18).
// Only rows at odd positions (the content rows) may be selected.
#include <QStandardItemModel>
#include <string>
#include <vector>

#include "display/widgets/LumivarOutlineView.h"

class LumivarTableRowView;

class EditingSidebar : public LumivarOutlineView {
    Q_OBJECT
  public:
    static constexpr int kTitleHeight = 18;

    explicit EditingSidebar(QWidget* parent = nullptr);
    void setSections(const std::vector<std::pair<std::string, QWidget*>>& sections);

    const std::vector<std::string>& topLevelItems() const { return topLevelItems_; }
    // Row height of a title or of a content view.
    static int rowHeight(const QWidget* contentView);
    // A proposed selection survives only when its first index is odd.
    static bool selectionAllowed(int firstRow) { return firstRow % 2 == 1; }
    // The flat row of an index with every section expanded.
    int flatRow(const QModelIndex& index) const;
    void setRowBackground(const QColor& colour);

  protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;

  private:
    QStandardItemModel model_;
    std::vector<std::string> topLevelItems_;
    LumivarTableRowView* rows_;
};
