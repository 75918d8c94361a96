#pragma once
// A row of joined buttons, one per segment, each with a tag (its index). In selectOne mode
// exactly one segment is selected, as a mode switch; otherwise every click is a command. Each
// segment's button is named, so scripts and tests find it.
#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

class QButtonGroup;
class QToolButton;

class SegmentedControl : public QWidget {
    Q_OBJECT
  public:
    enum class Tracking { SelectOne, Momentary };

    // One segment per title, its button named by the name of the same index.
    SegmentedControl(const QStringList& titles, const QStringList& names, Tracking tracking,
                     QWidget* parent = nullptr);

    int segmentCount() const { return int(buttons_.size()); }
    QToolButton* segment(int tag) const;
    // The selected segment of a mode switch; -1 for none or a momentary control.
    int selectedSegment() const;
    // Selects without emitting: the control follows a mode set elsewhere.
    void setSelectedSegment(int tag);

  Q_SIGNALS:
    void segmentClicked(int tag);

  private:
    Tracking tracking_;
    std::vector<QToolButton*> buttons_;
    QButtonGroup* group_ = nullptr;
};
