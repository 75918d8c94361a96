#include "app/ui/SplashScreenPanel.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "app/ui/AppIcon.h"

SplashScreenPanel::SplashScreenPanel(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("SplashScreen"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(520, 300);
    centreOnScreen();
}

void SplashScreenPanel::centreOnScreen() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

bool SplashScreenPanel::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
        hide();
        break;
    case QEvent::MouseMove:
        if (static_cast<QMouseEvent*>(event)->buttons() != Qt::NoButton) hide();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void SplashScreenPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(72, 72, 72, 235));
    p.drawRoundedRect(rect(), 18, 18);

    const int iconSize = 128;
    const QRect icon(32, (height() - iconSize) / 2, iconSize, iconSize);
    p.drawImage(icon, appui::lumivarIconImage(iconSize));

    const QRect text(icon.right() + 28, 60, width() - icon.right() - 56, height() - 120);
    QFont title = font();
    title.setPointSizeF(title.pointSizeF() * 2.6);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(245, 245, 245));
    p.drawText(text, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Lumivar"));

    QFont body = font();
    body.setPointSizeF(body.pointSizeF() * 1.15);
    p.setFont(body);
    p.setPen(QColor(215, 215, 215));
    const QString version = QCoreApplication::applicationVersion();
    p.drawText(text.adjusted(0, 70, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               QStringLiteral("Raw development in black and white\n\n%1")
                   .arg(version.isEmpty() ? QString() : QStringLiteral("Version %1").arg(version)));
}
