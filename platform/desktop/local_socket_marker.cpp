#include "platform/desktop/local_socket_marker.h"

#include <QLocalSocket>

#include "platform/system/debug_output.h"
#include "platform/system/named_lock.h"
#include "platform/system/runtime_folder.h"

namespace tovrel::platform {
namespace {
constexpr int kConnectTimeoutMs = 500;
constexpr char kRaiseLine[] = "raise\n";
constexpr uint32_t kClaimLockMs = 5000;

// True when a live copy accepts connections on the socket.
bool answers(const QString& name) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
    socket.disconnectFromServer();
    return true;
}
}  // namespace

std::unique_ptr<WindowClassMarker> makeLocalSocketMarker() {
    return std::make_unique<LocalSocketMarker>();
}

LocalSocketMarker::~LocalSocketMarker() { release(); }

QString LocalSocketMarker::socketName(const std::string& className) {
    return QString::fromStdString(RuntimeFolder::locate().file(className));
}

bool LocalSocketMarker::findAndRaise(const std::string& className) {
    const QString name = socketName(className);
    // Without a private folder no copy can be found; RuntimeFolder has said why.
    if (name.isEmpty()) return false;
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
    socket.write(kRaiseLine);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool LocalSocketMarker::claim(const std::string& className, std::function<void()> raise) {
    release();
    const QString name = socketName(className);
    if (name.isEmpty()) return false;
    raise_ = std::move(raise);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // Two copies started together both find nobody and both come here. The test for a live
    // holder, the listen and the removal of a dead socket run under one per-user lock, so the
    // later copy sees the earlier one answer. The test comes first because a listen with access
    // options binds in a folder of its own and renames the socket into place, replacing
    // whatever file is there, live or not.
    NamedLock lock(className + "-claim");
    const bool locked = lock.tryLockFor(kClaimLockMs);
    bool listening = false;
    if (answers(name)) {
        outputDebugString("instance marker: another copy holds " + name.toStdString());
    } else {
        listening = server_->listen(name);
        if (!listening) {
            // A socket file left by a copy that ended without removing it: take it over.
            QLocalServer::removeServer(name);
            listening = server_->listen(name);
        }
    }
    if (locked) lock.unlock();
    if (!listening) {
        if (server_->serverError() != QAbstractSocket::UnknownSocketError) {
            outputDebugString("instance marker: listen on " + name.toStdString() +
                              " failed: " + server_->errorString().toStdString());
        }
        delete server_;
        server_ = nullptr;
        return false;
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
