#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>
#include <string>

namespace tovrel::sim {

// The door through which `tovrelctl --simulate ...` reaches the program that has the simulated
// box plugged in: a local socket in the user's private runtime folder (RuntimeFolder), where no
// other user can reach it, taking one command line per connection and answering one line
// ("ok ..." or "error ..."). The command runs on the GUI thread; its answer is on the wire before
// whatever it set off (a capture restart) blocks that thread.
// GUI thread only.
class SimulationControlServer final : public QObject {
    Q_OBJECT
  public:
    using Command = std::function<std::string(const std::string& line)>;

    explicit SimulationControlServer(Command command);
    ~SimulationControlServer() override;

    // False when another program holds the socket already (it keeps it) or the listen failed.
    bool listen();
    void close();
    bool listening() const { return server_ != nullptr; }

    // The socket's path for this user; empty when the user has no private folder.
    static QString socketName();

  private:
    void onConnection();

    Command command_;
    QLocalServer* server_ = nullptr;
};

}  // namespace tovrel::sim
