#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "shell/tovrel2_app.h"
#include "shell/tovrel2_edition.h"
#include "shell/tovrel2_frame.h"
#include "sim/backends/simulated_backends.h"
#include "test_backends.h"

namespace tovrel::shell {
namespace {

// The instance marker's and the simulated box's sockets live in the runtime folder: one per test.
QProcessEnvironment childEnvironment(const testing::ScopedWorkingDirectory& cwd) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QT_LOGGING_RULES", "tovrel.debugoutput=true");
    env.insert("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    env.insert("TMPDIR", QString::fromStdString(cwd.path().string()));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(cwd.runtime()));
    return env;
}

bool waitForFile(const QString& path, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (QFile::exists(path)) return true;
        QThread::msleep(20);
    }
    return false;
}

// Two real processes: the second start finds the first copy's marker, asks it to come forward
// and ends at once without showing anything (a message box would block it under offscreen).
TEST(Tovrel2Process, ASecondCopyBringsTheFirstForwardAndEnds) {
    testing::ScopedWorkingDirectory cwd("second-copy");
    const QString dir = QString::fromStdString(cwd.path().string());
    QProcess first;
    first.setProcessEnvironment(childEnvironment(cwd));
    first.setWorkingDirectory(dir);
    first.setProcessChannelMode(QProcess::MergedChannels);
    first.start(TOVREL2_BINARY, {});
    ASSERT_TRUE(first.waitForStarted(5000));
    ASSERT_TRUE(waitForFile(QString::fromStdString(cwd.runtime()) + "/Tovrel2ClassName", 10000))
        << first.readAll().toStdString();

    QProcess second;
    second.setProcessEnvironment(childEnvironment(cwd));
    second.setWorkingDirectory(dir);
    second.start(TOVREL2_BINARY, {"--simulate"});
    ASSERT_TRUE(second.waitForFinished(5000)) << "the second copy did not end";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);

    QElapsedTimer timer;
    timer.start();
    QByteArray output;
    while (timer.elapsed() < 5000 && !output.contains("bringing the window forward")) {
        first.waitForReadyRead(100);
        output += first.readAll();
    }
    EXPECT_TRUE(output.contains("bringing the window forward")) << output.toStdString();
    first.kill();
    first.waitForFinished(2000);
}

// Two copies started at the same moment, again and again: exactly one stays, and the other asks
// it to come forward and ends. Each survivor is killed, so every later round also meets the dead
// socket file it leaves behind.
TEST(Tovrel2Process, OfTwoCopiesStartedTogetherExactlyOneRuns) {
    testing::ScopedWorkingDirectory cwd("together");
    const QString dir = QString::fromStdString(cwd.path().string());
    constexpr int kRounds = 20;
    for (int round = 0; round < kRounds; ++round) {
        QProcess copies[2];
        for (QProcess& copy : copies) {
            copy.setProcessEnvironment(childEnvironment(cwd));
            copy.setWorkingDirectory(dir);
            copy.setProcessChannelMode(QProcess::MergedChannels);
        }
        for (QProcess& copy : copies) copy.start(TOVREL2_BINARY, {});
        for (QProcess& copy : copies) ASSERT_TRUE(copy.waitForStarted(5000)) << round;

        // The copy that lost ends at once; give the survivor time to have ended too, were it
        // going to.
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 10000 && copies[0].state() != QProcess::NotRunning &&
               copies[1].state() != QProcess::NotRunning) {
            QThread::msleep(20);
            QCoreApplication::processEvents();
        }
        QThread::msleep(1000);
        QCoreApplication::processEvents();
        int running = 0;
        for (QProcess& copy : copies) running += copy.state() != QProcess::NotRunning;
        ASSERT_EQ(running, 1) << "round " << round;
        QProcess& survivor = copies[0].state() != QProcess::NotRunning ? copies[0] : copies[1];
        QProcess& ended = &survivor == &copies[0] ? copies[1] : copies[0];
        EXPECT_EQ(ended.exitStatus(), QProcess::NormalExit) << round;
        EXPECT_EQ(ended.exitCode(), 0) << round;
        QByteArray output;
        timer.restart();
        while (timer.elapsed() < 5000 && !output.contains("bringing the window forward")) {
            survivor.waitForReadyRead(100);
            output += survivor.readAll();
        }
        EXPECT_TRUE(output.contains("bringing the window forward"))
            << "round " << round << ": " << output.toStdString();
        survivor.kill();
        survivor.waitForFinished(2000);
    }
}

// A logout (SIGHUP), Ctrl+C (SIGINT) and kill (SIGTERM) end the program the way closing its
// window does: it exits normally and leaves "setting.ini" in its working directory.
TEST(Tovrel2Process, EachEndingSignalRunsTheShutdownThatWritesTheSettings) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(::strsignal(signal));
        testing::ScopedWorkingDirectory cwd(std::string("signal-") + std::to_string(signal));
        const QString dir = QString::fromStdString(cwd.path().string());
        QProcess program;
        program.setProcessEnvironment(childEnvironment(cwd));
        program.setWorkingDirectory(dir);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(TOVREL2_BINARY, {"--simulate"});
        ASSERT_TRUE(program.waitForStarted(5000));
        // The simulated box's control socket is opened once the window is up and the signals
        // are taken over.
        ASSERT_TRUE(
            waitForFile(QString::fromStdString(cwd.runtime()) + "/tovrel-simulated-box", 15000))
            << program.readAll().toStdString();
        ASSERT_FALSE(QFile::exists(dir + "/setting.ini"));
        ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), signal), 0);
        ASSERT_TRUE(program.waitForFinished(15000)) << "still running after the signal";
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << "ended by the signal itself";
        EXPECT_EQ(program.exitCode(), 0);
        std::ifstream settings(cwd.path() / "setting.ini");
        std::stringstream text;
        text << settings.rdbuf();
        EXPECT_EQ(text.str(),
                  "[TOVREL2]\nQuality=2\nVideoType=0\nAudioType=0\nAspectRatio=0\nHardware=1\n")
            << program.readAll().toStdString();
    }
}

// On a real display: started in an empty folder without a box, the program shows the audio
// device message, then a window titled "Tovrel2"; closing it writes "setting.ini" there.
TEST(Tovrel2Gui, StartsWithoutADeviceAndWritesTheSettingsOnClose) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X display (Xvfb)";
    testing::ScopedWorkingDirectory cwd("gui-start");
    ::setenv("TMPDIR", cwd.path().c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", cwd.runtime().c_str(), 1);
    // The real desktop backends with no capture device at all.
    auto backends = platform::makeLinuxBackends();
    backends->mediaDevices = std::make_unique<platform::DeviceListEnumerator>();
    std::string boxText;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        QApplication::processEvents();
        boxText = box->text().toStdString();
        QGuiApplication::primaryScreen()->grabWindow(0).save(SCREENSHOT_DIR
                                                             "/tovrel2-no-device-message.png");
        box->accept();
    });
    watcher.start(200);

    CTovrel2App app(*backends, kTovrel2Edition);
    ASSERT_TRUE(app.initInstance());
    watcher.stop();
    EXPECT_EQ(boxText, "Cannot create the audio capture device");
    CTovrel2Frame* frame = app.mainWindow();
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 500) QApplication::processEvents();
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->windowTitle().toStdString(), "Tovrel2");
    QGuiApplication::primaryScreen()->grabWindow(0).save(SCREENSHOT_DIR
                                                         "/tovrel2-no-device-window.png");
    frame->close();
    std::ifstream settings(cwd.path() / "setting.ini");
    std::stringstream text;
    text << settings.rdbuf();
    EXPECT_EQ(text.str(),
              "[TOVREL2]\nQuality=2\nVideoType=0\nAudioType=0\nAspectRatio=0\nHardware=1\n");
}

}  // namespace
}  // namespace tovrel::shell
