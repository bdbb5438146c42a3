#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <future>
#include <string>

#include "sim/control/simulation_control_client.h"
#include "sim/control/simulation_control_server.h"

namespace tovrel::sim {
namespace {

// The socket lives in the runtime folder: a folder of its own keeps other programs' out.
class SimulationControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ::setenv("XDG_RUNTIME_DIR", dir_.path().toUtf8().constData(), 1);
    }
    // Sends from another thread while this one serves (the server runs on the GUI thread).
    SimulationControlClient::Result send(const std::string& line, std::string* answer) {
        auto sent = std::async(std::launch::async,
                               [&] { return SimulationControlClient::send(line, answer, 3000); });
        while (sent.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
            QCoreApplication::processEvents();
        return sent.get();
    }
    QTemporaryDir dir_;
};

TEST_F(SimulationControlTest, OneLineInOneAnswerOut) {
    std::vector<std::string> lines;
    SimulationControlServer server([&](const std::string& line) {
        lines.push_back(line);
        return "ok: " + line;
    });
    ASSERT_TRUE(server.listen());
    std::string answer;
    EXPECT_EQ(send("fault stall 3", &answer), SimulationControlClient::Result::kAnswered);
    EXPECT_EQ(answer, "ok: fault stall 3");
    EXPECT_EQ(send("plug", &answer), SimulationControlClient::Result::kAnswered);
    EXPECT_EQ(lines, (std::vector<std::string>{"fault stall 3", "plug"}));

    server.close();
    EXPECT_EQ(send("plug", &answer), SimulationControlClient::Result::kNoProgram);
}

// A second program with the simulated box must not take the door away from the first.
TEST_F(SimulationControlTest, ASecondServerLeavesTheFirstInPlace) {
    SimulationControlServer first([](const std::string&) { return std::string("ok: first"); });
    SimulationControlServer second([](const std::string&) { return std::string("ok: second"); });
    ASSERT_TRUE(first.listen());
    EXPECT_FALSE(second.listen());
    std::string answer;
    EXPECT_EQ(send("plug", &answer), SimulationControlClient::Result::kAnswered);
    EXPECT_EQ(answer, "ok: first");
}

// A socket file left by a program that died is taken over.
TEST_F(SimulationControlTest, AStaleSocketIsTakenOver) {
    {
        SimulationControlServer dead([](const std::string&) { return std::string("ok"); });
        ASSERT_TRUE(dead.listen());
    }
    const QString path = SimulationControlServer::socketName();
    ASSERT_EQ(path, QDir(dir_.path()).filePath("tovrel-simulated-box"));
    QFile(path).open(QIODevice::WriteOnly);  // a plain file where the socket was
    SimulationControlServer server([](const std::string&) { return std::string("ok: alive"); });
    EXPECT_TRUE(server.listen());
    std::string answer;
    EXPECT_EQ(send("wake", &answer), SimulationControlClient::Result::kAnswered);
    EXPECT_EQ(answer, "ok: alive");
}

}  // namespace
}  // namespace tovrel::sim
