#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sonavista {

SingleInstance::SingleInstance(QString socketPath, QObject* parent) : QObject(parent), socketPath_(std::move(socketPath)) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();  // removes the socket file
    if (lockFd_ >= 0) ::close(lockFd_);  // and then lets the next launch be the instance
}

QString SingleInstance::defaultSocketPath() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && runtime.startsWith('/') && QDir(QString::fromLocal8Bit(runtime)).exists()) {
        return QString::fromLocal8Bit(runtime) + QStringLiteral("/sonavista.socket");
    }
    return QDir::tempPath() + QStringLiteral("/sonavista-%1.socket").arg(::getuid());
}

bool SingleInstance::openLock() {
    const QByteArray path = QFile::encodeName(socketPath_ + QStringLiteral(".lock"));
    // Close-on-exec, so programs started from here do not hold the lock after we are gone.
    lockFd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat info {};
    // In a shared temporary folder another user may have made the file first: not ours to trust.
    if (lockFd_ < 0 || ::fstat(lockFd_, &info) != 0 || info.st_uid != ::getuid()) {
        if (lockFd_ >= 0) ::close(lockFd_);
        lockFd_ = -1;
        return false;
    }
    locked_ = ::flock(lockFd_, LOCK_EX | LOCK_NB) == 0;
    return true;
}

SingleInstance::Outcome SingleInstance::claim(std::function<void()> onPresentRequest, bool quietly) {
    const char* request = quietly ? quietRequest : presentRequest;
    if (openLock() && !locked_) {
        // An instance runs. It may still be starting or be busy: ask until it answers, and never
        // take its place.
        const QDeadlineTimer deadline(answerTimeoutMilliseconds_);
        do {
            if (notifyRunning(deadline, request)) return Outcome::notifiedRunning;
            QThread::msleep(50);
        } while (!deadline.hasExpired());
        return Outcome::runningSilent;
    }
    // Without a lock file of ours, an instance that answers is the only sign of one.
    if (!locked_ && notifyRunning(QDeadlineTimer(2000), request)) return Outcome::notifiedRunning;
    // Any socket file left is from an instance that is gone.
    QLocalServer::removeServer(socketPath_);
    onPresentRequest_ = std::move(onPresentRequest);
    return listen() ? Outcome::primary : Outcome::failed;
}

bool SingleInstance::notifyRunning(QDeadlineTimer deadline, const char* request) {
    const auto remaining = [&deadline] { return static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)); };
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(remaining())) return false;
    socket.write(request);
    if (!socket.waitForBytesWritten(remaining())) return false;
    // The answer tells that a live instance, not a stale listener, got the request.
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(remaining())) return false;
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
