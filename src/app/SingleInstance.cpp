#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <unistd.h>

namespace sonavista {

SingleInstance::SingleInstance(QString socketPath, QObject* parent) : QObject(parent), socketPath_(std::move(socketPath)) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();  // removes the socket file
}

QString SingleInstance::defaultSocketPath() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && runtime.startsWith('/') && QDir(QString::fromLocal8Bit(runtime)).exists()) {
        return QString::fromLocal8Bit(runtime) + QStringLiteral("/sonavista.socket");
    }
    return QDir::tempPath() + QStringLiteral("/sonavista-%1.socket").arg(::getuid());
}

SingleInstance::Outcome SingleInstance::claim(std::function<void()> onPresentRequest, bool quietly) {
    // Two launches at the same moment: the lock makes one of them wait until the other
    // listens, so exactly one becomes primary.
    lock_ = std::make_unique<QLockFile>(socketPath_ + QStringLiteral(".lock"));
    lock_->setStaleLockTime(0);
    const bool locked = lock_->tryLock(5000);

    if (notifyRunning(2000, quietly ? quietRequest : presentRequest)) {
        if (locked) lock_->unlock();
        return Outcome::notifiedRunning;
    }
    // Nobody answers: any socket file left is from a process that is gone.
    QLocalServer::removeServer(socketPath_);
    onPresentRequest_ = std::move(onPresentRequest);
    const bool listening = listen();
    if (locked) lock_->unlock();
    return listening ? Outcome::primary : Outcome::failed;
}

bool SingleInstance::notifyRunning(int timeoutMilliseconds, const char* request) {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(timeoutMilliseconds)) return false;
    socket.write(request);
    if (!socket.waitForBytesWritten(timeoutMilliseconds)) return false;
    // The answer tells that a live instance, not a stale listener, got the request.
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMilliseconds)) return false;
    }
    return socket.readLine() == acknowledgement;
}

bool SingleInstance::listen() {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(socketPath_)) return false;
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                while (client->canReadLine()) {
                    const QByteArray line = client->readLine();
                    if (line != presentRequest && line != quietRequest) {
                        client->disconnectFromServer();
                        return;
                    }
                    client->write(acknowledgement);
                    client->flush();
                    if (line == presentRequest && onPresentRequest_) onPresentRequest_();
                }
                // Anything but short request lines is not a launch of ours.
                if (client->bytesAvailable() > 64) client->disconnectFromServer();
            });
        }
    });
    return true;
}

}  // namespace sonavista
