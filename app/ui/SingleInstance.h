#pragma once
// One lumivar per user and home: a second start hands its paths to the first and exits,
// since a second process would take the running flag for a crash and empty the first's
// temporary files. The channel is a local socket named from the user id and $LUMIVAR_HOME.
#include <QObject>
#include <QStringList>
#include <functional>

class QLocalServer;

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    static QString serverName();
    // True when a running instance took the paths (this one should exit).
    bool handOff(const QStringList& paths, int timeoutMs = 2000);
    // Becomes the instance others hand to; `open` gets each path they send.
    bool listen(std::function<void(const QString& path)> open);

  private:
    QLocalServer* server_ = nullptr;
    std::function<void(const QString&)> open_;
};
