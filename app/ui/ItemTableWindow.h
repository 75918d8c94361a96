#pragma once
// The window of the profile and preset lists: a table of rows (preview icon, name, short
// description) with the buttons below it. The controllers own the rows' meaning.
#include <QIcon>
#include <QString>
#include <QWidget>
#include <vector>

class QPushButton;
class QTableWidget;

class ItemTableWindow : public QWidget {
    Q_OBJECT
  public:
    struct Row {
        QIcon preview;
        QString name;
        QString shortDescription;
    };

    // With an import button when importTitle is not empty.
    ItemTableWindow(const QString& title, const QString& importTitle, QWidget* parent = nullptr);

    void setRows(const std::vector<Row>& rows);
    // Selected rows, in ascending order.
    std::vector<int> selectedRows() const;
    QTableWidget* table() const { return table_; }
    QPushButton* importButton() const { return import_; }
    QPushButton* deleteButton() const { return delete_; }

  Q_SIGNALS:
    void importRequested();
    void deleteRequested(std::vector<int> rows);

  private:
    QTableWidget* table_ = nullptr;
    QPushButton* import_ = nullptr;
    QPushButton* delete_ = nullptr;
};
