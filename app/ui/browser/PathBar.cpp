#include "app/ui/browser/PathBar.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QToolButton>

PathBar::PathBar(QWidget* parent) : QWidget(parent), row_(new QHBoxLayout(this)) {
    row_->setContentsMargins(0, 0, 0, 0);
    row_->setSpacing(1);
    row_->addStretch(1);
}

QToolButton* PathBar::button(int index) const {
    return index >= 0 && size_t(index) < buttons_.size() ? buttons_[size_t(index)] : nullptr;
}

void PathBar::setURL(const std::filesystem::path& url) {
    url_ = url;
    for (QToolButton* b : buttons_)
        delete b;
    buttons_.clear();
    components_.clear();
    std::filesystem::path walked;
    for (const std::filesystem::path& part : url) {
        if (part.empty()) continue;
        walked /= part;
        components_.push_back(walked);
        auto* b = new QToolButton(this);
        b->setText(part == "/" ? QStringLiteral("/") : QString::fromStdString(part.string()));
        b->setAutoRaise(true);
        b->setToolTip(QString::fromStdString(walked.string()));
        b->installEventFilter(this);
        const QString target = QString::fromStdString(walked.string());
        connect(b, &QToolButton::clicked, this, [this, target] { Q_EMIT componentClicked(target); });
        row_->insertWidget(int(buttons_.size()), b);
        buttons_.push_back(b);
    }
}

bool PathBar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick)
        if (auto* b = qobject_cast<QToolButton*>(watched)) {
            Q_EMIT componentDoubleClicked(b->toolTip());
            return true;
        }
    return QWidget::eventFilter(watched, event);
}
