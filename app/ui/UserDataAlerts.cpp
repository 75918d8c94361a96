#include "app/ui/UserDataAlerts.h"

#include <QWidget>

#include "app/ui/WindowChoosers.h"
#include "platform/Notifications.h"

namespace {

QString text(const platform::Dictionary& info, const char* key) {
    auto it = info.find(key);
    return it != info.end() && it->second.string() ? QString::fromStdString(*it->second.string()) : QString();
}

} // namespace

UserDataAlerts::UserDataAlerts(FrontWindow frontWindow, QObject* parent)
    : QObject(parent), frontWindow_(std::move(frontWindow)) {
    token_ = platform::NotificationCenter::defaultCenter().addObserver(
        platform::notification::UserDataSetAside, nullptr, [this](const platform::Notification& note) {
            const auto [message, informative] = alertTexts(note.userInfo);
            QMetaObject::invokeMethod(
                this,
                [this, message, informative] {
                    WindowChoosers::shared().alert(frontWindow_ ? frontWindow_() : nullptr, message,
                                                   informative);
                },
                Qt::QueuedConnection);
        });
}

UserDataAlerts::~UserDataAlerts() { platform::NotificationCenter::defaultCenter().removeObserver(token_); }

std::pair<QString, QString> UserDataAlerts::alertTexts(const platform::Dictionary& userInfo) {
    const QString file = text(userInfo, "file");
    const QString aside = text(userInfo, "aside");
    QString reason = text(userInfo, "reason");
    if (!reason.endsWith('.')) reason += '.';
    if (text(userInfo, "kind") == "catalog")
        return {tr("The catalog was damaged and has been set aside"),
                tr("Lumivar could not read its catalog %1: %2\n\nThe file is kept as %3. The settings "
                   "saved in it are not used: photos open with the Default preset until they are "
                   "edited again.")
                    .arg(file, reason, aside)};
    return {tr("A preset was damaged and has been set aside"),
            tr("Lumivar could not read the preset file %1: %2\n\nThe file is kept as %3 and is no "
               "longer offered among the presets.")
                .arg(file, reason, aside)};
}
