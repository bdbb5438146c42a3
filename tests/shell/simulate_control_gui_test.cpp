#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QThread>

#include <cstdio>
#include <string>

#include "test_backends.h"

namespace tovrel::shell {
namespace {

struct Finished {
    int exitCode = -1;
    std::string out;
    std::string err;
};

Finished run(const QString& program, const QStringList& arguments, const QProcessEnvironment& env) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    Finished result;
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished(1000);
        return result;
    }
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput().trimmed().toStdString();
    result.err = process.readAllStandardError().trimmed().toStdString();
    return result;
}

// The first visible window whose title matches the pattern, 0 when none.
WId findWindow(const QString& titlePattern, const QProcessEnvironment& env) {
    const Finished found = run("xdotool", {"search", "--onlyvisible", "--name", titlePattern}, env);
    if (found.exitCode != 0 || found.out.empty()) return 0;
    return static_cast<WId>(std::stoul(found.out.substr(0, found.out.find('\n'))));
}

std::string titleOf(WId window, const QProcessEnvironment& env) {
    return run("xdotool", {"getwindowname", QString::number(window)}, env).out;
}

QImage shot(WId window) { return QGuiApplication::primaryScreen()->grabWindow(window).toImage(); }

bool allBlack(const QImage& image) {
    for (int y = 0; y < image.height(); y += 16)
        for (int x = 0; x < image.width(); x += 16)
            if ((image.pixel(x, y) & 0xFFFFFF) != 0) return false;
    return true;
}

// On a real display with a window manager: a running `tovrel2 --simulate` and the box unplugged
// and plugged in again from outside with tovrelctl. The picture stops (the last one stays), then
// moves again under the caption "Tovrel2-Preview-..." once more, and no message box appears.
TEST(SimulateControlGui, UnplugThenPlugFromTovrelctl) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X display (Xvfb)";
    testing::ScopedWorkingDirectory cwd("simulate-control");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", QString::fromStdString(cwd.path().string()));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(cwd.runtime()));  // the program's sockets
    env.insert("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    env.remove("QT_QPA_PLATFORM");

    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(QString::fromStdString(cwd.path().string()));
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(TOVREL2_BINARY, {"--simulate"});
    ASSERT_TRUE(program.waitForStarted(5000));

    WId window = 0;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 15000 && (window = findWindow("^Tovrel2-Preview-", env)) == 0)
        QThread::msleep(100);
    ASSERT_NE(window, 0u) << program.readAll().toStdString();
    const std::string caption = titleOf(window, env);
    EXPECT_EQ(caption, "Tovrel2-Preview-1920x1080p@60.00");
    QThread::msleep(500);
    const QImage moving = shot(window);
    QThread::msleep(200);
    EXPECT_NE(moving, shot(window)) << "the picture does not move";

    const Finished unplug = run(TOVRELCTL_BINARY, {"--simulate", "unplug"}, env);
    EXPECT_EQ(unplug.exitCode, 0) << unplug.err;
    QThread::msleep(1000);
    const QImage stopped = shot(window);
    stopped.save(SCREENSHOT_DIR "/tovrel2-unplugged.png");
    QThread::msleep(300);
    EXPECT_EQ(stopped, shot(window)) << "the picture still moves after the unplug";
    EXPECT_FALSE(allBlack(stopped)) << "the last picture is gone";
    EXPECT_EQ(titleOf(window, env), caption) << "the caption changed on the unplug";
    EXPECT_EQ(run(TOVRELCTL_BINARY, {"--simulate", "unplug"}, env).exitCode, 1)
        << "unplugged twice";

    const Finished plug = run(TOVRELCTL_BINARY, {"--simulate", "plug"}, env);
    EXPECT_EQ(plug.exitCode, 0) << plug.err;
    timer.restart();
    bool movesAgain = false;
    QImage before = shot(window);
    while (!movesAgain && timer.elapsed() < 10000) {
        QThread::msleep(20);
        const QImage now = shot(window);
        movesAgain = now != before && now != stopped;
        before = now;
    }
    ASSERT_TRUE(movesAgain) << "the picture did not come back";
    std::printf("plug command answered -> picture moving again on screen: %lld ms\n",
                static_cast<long long>(timer.elapsed()));
    QThread::msleep(500);
    shot(window).save(SCREENSHOT_DIR "/tovrel2-plugged-again.png");
    EXPECT_EQ(titleOf(window, env), caption);
    // A message box would be a window titled with the program's name alone.
    EXPECT_EQ(findWindow("^Tovrel2$", env), 0u) << "a message box appeared";

    program.terminate();
    if (!program.waitForFinished(15000)) program.kill();
    const std::string output = program.readAll().toStdString();
    EXPECT_EQ(program.exitCode(), 0) << output;
}

// Without a running program, or with a malformed command, tovrelctl says so in its exit status.
TEST(SimulateControl, TovrelctlReportsNoProgramAndUsageErrors) {
    testing::ScopedWorkingDirectory cwd("simulate-control-errors");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", QString::fromStdString(cwd.path().string()));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(cwd.runtime()));
    const Finished none = run(TOVRELCTL_BINARY, {"--simulate", "plug"}, env);
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("no program with the simulated box is running"), std::string::npos)
        << none.err;
    EXPECT_EQ(run(TOVRELCTL_BINARY, {"plug"}, env).exitCode, 2) << "plug without --simulate";
    EXPECT_EQ(run(TOVRELCTL_BINARY, {"--simulate", "fault"}, env).exitCode, 2);
    EXPECT_EQ(run(TOVRELCTL_BINARY, {"--simulate", "sleep", "now"}, env).exitCode, 2);
}

}  // namespace
}  // namespace tovrel::shell
