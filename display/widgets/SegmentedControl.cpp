#include "display/widgets/SegmentedControl.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QToolButton>

SegmentedControl::SegmentedControl(const QStringList& titles, const QStringList& names, Tracking tracking,
                                   QWidget* parent)
    : QWidget(parent), tracking_(tracking) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    group_ = new QButtonGroup(this);
    group_->setExclusive(tracking == Tracking::SelectOne);
    for (qsizetype i = 0; i < titles.size(); ++i) {
        auto* button = new QToolButton(this);
        button->setText(titles[i]);
        if (i < names.size()) button->setObjectName(names[i]);
        button->setCheckable(tracking == Tracking::SelectOne);
        button->setAutoRaise(false);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        group_->addButton(button, int(i));
        layout->addWidget(button);
        buttons_.push_back(button);
    }
    connect(group_, &QButtonGroup::idClicked, this, [this](int tag) { Q_EMIT segmentClicked(tag); });
}

QToolButton* SegmentedControl::segment(int tag) const {
    return tag >= 0 && tag < segmentCount() ? buttons_[size_t(tag)] : nullptr;
}

int SegmentedControl::selectedSegment() const {
    if (tracking_ != Tracking::SelectOne) return -1;
    return group_->checkedId();
}

void SegmentedControl::setSelectedSegment(int tag) {
    if (tracking_ != Tracking::SelectOne) return;
    const QSignalBlocker quiet(group_);
    if (QToolButton* button = segment(tag)) {
        button->setChecked(true);
        return;
    }
    // None selected: an exclusive group keeps one checked unless told otherwise.
    group_->setExclusive(false);
    for (QToolButton* button : buttons_)
        button->setChecked(false);
    group_->setExclusive(true);
}
