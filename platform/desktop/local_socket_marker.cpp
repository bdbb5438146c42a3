#include "platform/desktop/local_socket_marker.h"

#include <QLocalSocket>

#include <unistd.h>

namespace tovrel::platform {
namespace {
constexpr int kConnectTimeoutMs = 500;
constexpr char kRaiseLine[] = "raise\n";
}  // namespace

std::unique_ptr<WindowClassMarker> makeLocalSocketMarker() {
    return std::make_unique<LocalSocketMarker>();
}

LocalSocketMarker::~LocalSocketMarker() { release(); }

QString LocalSocketMarker::socketName(const std::string& className) {
    return QString::fromStdString(className) + "-" + QString::number(::getuid());
}

bool LocalSocketMarker::findAndRaise(const std::string& className) {
    QLocalSocket socket;
    socket.connectToServer(socketName(className));
    if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
    socket.write(kRaiseLine);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool LocalSocketMarker::claim(const std::string& className, std::function<void()> raise) {
    release();
    raise_ = std::move(raise);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = socketName(className);
    if (!server_->listen(name)) {
        // A socket file left by a copy that crashed: nobody answers on it, so take it over.
        QLocalServer::removeServer(name);
        if (!server_->listen(name)) {
            delete server_;
            server_ = nullptr;
            return false;
        }
    }
    connect(server_, &QLocalServer::newConnection, this, &LocalSocketMarker::onConnection);
    return true;
}

void LocalSocketMarker::release() {
    if (server_) {
        server_->close();
        delete server_;
        server_ = nullptr;
    }
}

void LocalSocketMarker::onConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->readAll().contains("raise") && raise_) raise_();
        });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

}  // namespace tovrel::platform
