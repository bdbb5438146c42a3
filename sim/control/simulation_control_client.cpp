#include "sim/control/simulation_control_client.h"

#include <QLocalSocket>

#include "sim/control/simulation_control_server.h"

namespace tovrel::sim {

SimulationControlClient::Result SimulationControlClient::send(const std::string& line,
                                                              std::string* answer, int timeoutMs) {
    const QString name = SimulationControlServer::socketName();
    if (name.isEmpty()) return Result::kNoProgram;
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) return Result::kNoProgram;
    socket.write(QByteArray::fromStdString(line + "\n"));
    if (!socket.waitForBytesWritten(timeoutMs)) return Result::kNoAnswer;
    QByteArray reply;
    while (!reply.contains('\n')) {
        if (!socket.waitForReadyRead(timeoutMs)) break;
        reply += socket.readAll();
    }
    if (!reply.contains('\n')) return Result::kNoAnswer;
    if (answer) *answer = reply.left(reply.indexOf('\n')).toStdString();
    return Result::kAnswered;
}

}  // namespace tovrel::sim
