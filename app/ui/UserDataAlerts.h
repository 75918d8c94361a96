#pragma once
// Tells the photographer when a damaged catalog or preset file was set aside: an alert on
// the window in front (modal to that window only) naming the file, why it could not be read
// and where it is kept now. The file may be found on any thread (the batch export reads
// presets on its worker); the alert always comes on the main thread.
#include <QObject>
#include <QString>
#include <functional>
#include <utility>

#include "platform/NotificationCenter.h"

class QWidget;

class UserDataAlerts : public QObject {
    Q_OBJECT
  public:
    // The window the alert belongs to when it is shown; null for an alert of its own.
    using FrontWindow = std::function<QWidget*()>;

    explicit UserDataAlerts(FrontWindow frontWindow, QObject* parent = nullptr);
    ~UserDataAlerts() override;

    // The alert's message and informative text for a UserDataSetAside notification's userInfo.
    static std::pair<QString, QString> alertTexts(const platform::Dictionary& userInfo);

  private:
    FrontWindow frontWindow_;
    platform::ObserverToken token_;
};
