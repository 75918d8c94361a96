#include "app/ui/SingleInstance.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <unistd.h>

#include "platform/Paths.h"

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName() {
    const QByteArray home = qgetenv("LUMIVAR_HOME");
    const QByteArray digest = QCryptographicHash::hash(home, QCryptographicHash::Sha1).toHex().left(12);
    return QString("lumivar-%1-%2").arg(getuid()).arg(QString::fromLatin1(digest));
}

bool SingleInstance::handOff(const QStringList& paths, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(timeoutMs)) return false;
    // One path a line; an empty hand-off only brings the first instance forward.
    QByteArray message;
    for (const QString& path : paths)
        message += path.toUtf8() + '\n';
    message += '\n';
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    // The first instance closes when it has read everything.
    socket.waitForDisconnected(timeoutMs);
    return true;
}

bool SingleInstance::listen(std::function<void(const QString& path)> open) {
    open_ = std::move(open);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(serverName())) {
        // A socket left by a crashed run: nobody answered the hand-off, so take it over.
        QLocalServer::removeServer(serverName());
        if (!server_->listen(serverName())) return false;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            connect(socket, &QLocalSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                if (!buffer->endsWith("\n\n") && *buffer != "\n") return;
                for (const QByteArray& line : buffer->split('\n'))
                    if (!line.isEmpty() && open_) open_(QString::fromUtf8(line));
                socket->disconnectFromServer();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    return true;
}
