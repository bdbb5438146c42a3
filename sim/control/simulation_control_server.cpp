#include "sim/control/simulation_control_server.h"

#include <QLocalSocket>

#include "platform/system/debug_output.h"
#include "platform/system/runtime_folder.h"

namespace tovrel::sim {
namespace {
constexpr int kProbeTimeoutMs = 300;
constexpr qint64 kMaxLine = 256;
}  // namespace

SimulationControlServer::SimulationControlServer(Command command) : command_(std::move(command)) {}

SimulationControlServer::~SimulationControlServer() { close(); }

QString SimulationControlServer::socketName() {
    return QString::fromStdString(platform::RuntimeFolder::locate().file("tovrel-simulated-box"));
}

bool SimulationControlServer::listen() {
    close();
    const QString name = socketName();
    // Without a private folder the box gets no door rather than one anyone could open.
    if (name.isEmpty()) return false;
    {
        // A listen with access options replaces the socket file whether or not someone serves
        // it: ask first, so that a second program never takes the box away from the first.
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(kProbeTimeoutMs)) {
            probe.disconnectFromServer();
            platform::outputDebugString("simulation control: another program holds " +
                                        name.toStdString());
            return false;
        }
    }
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    bool ok = server_->listen(name);
    if (!ok) {
        // A socket file left by a program that ended without removing it.
        QLocalServer::removeServer(name);
        ok = server_->listen(name);
    }
    if (!ok) {
        platform::logCallFailure("simulation control " + name.toStdString(), "listen",
                                 server_->errorString().toStdString());
        delete server_;
        server_ = nullptr;
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, &SimulationControlServer::onConnection);
    return true;
}

void SimulationControlServer::close() {
    if (server_ == nullptr) return;
    server_->close();
    delete server_;
    server_ = nullptr;
}

void SimulationControlServer::onConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                // Nobody sends a command this long; a stream without an end of line is dropped.
                if (socket->bytesAvailable() > kMaxLine) socket->abort();
                return;
            }
            const QByteArray line = socket->readLine(kMaxLine).trimmed();
            const std::string answer = command_(line.toStdString());
            socket->write(QByteArray::fromStdString(answer + "\n"));
            socket->flush();
            socket->disconnectFromServer();
        });
    }
}

}  // namespace tovrel::sim
