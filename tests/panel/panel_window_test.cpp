#include "panel/panel_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "sim/bridge/simulated_extension_unit_bus.h"
#include "sim/firmware/generated_firmware.h"

namespace tovrel::panel {
namespace {

void runFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

QPushButton* button(QWidget& w, const char* text) {
    for (auto* b : w.findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

bool shows(QWidget& w, const QString& text) {
    for (auto* l : w.findChildren<QLabel*>())
        if (l->text() == text) return true;
    return false;
}

// On a real display, with the simulated box and the real clock: the status refreshes, F1 shows
// the firmware buttons, and the Windows button writes its image while the window stays live.
TEST(PanelWindow, RefreshesShowsTheFirmwareButtonsAfterF1AndUpdates) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X display (Xvfb)";
    platform::Clock& clock = platform::SystemClock::instance();
    auto bridge = std::make_shared<sim::SimulatedBridge>(clock);
    sim::SimulatedExtensionUnitBus bus(bridge);
    device::PanelTransport transport(bus, clock, [](std::string_view) {});
    sim::GeneratedFirmware images(20000);
    AppDelegate delegate(transport, images, clock, [](std::string_view) {});
    PanelWindow window(delegate);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    runFor(1500);
    EXPECT_TRUE(shows(window, "1920x1080p@60"));
    sim::HdmiSourceState source;
    source.timingIndex = 117;
    bridge->setHdmiSource(source);
    runFor(1500);
    EXPECT_TRUE(shows(window, "4096x2160p@60y"));

    QPushButton* windows = button(window, "Configure for Windows");
    ASSERT_NE(windows, nullptr);
    EXPECT_FALSE(windows->isVisible());
    QTest::keyClick(&window, Qt::Key_F1);
    EXPECT_TRUE(windows->isVisible());
    EXPECT_TRUE(windows->isEnabled());
    runFor(500);
    QGuiApplication::primaryScreen()->grabWindow(0).save(SCREENSHOT_DIR "/tovrel-panel.png");

    bridge->setMacMode(true);
    QTest::mouseClick(windows, Qt::LeftButton);
    EXPECT_FALSE(windows->isEnabled());  // disabled while the update runs
    QElapsedTimer t;
    t.start();
    while (delegate.state().updating && t.elapsed() < 60000) runFor(50);
    EXPECT_FALSE(delegate.state().updating);
    EXPECT_FALSE(bridge->macMode()) << delegate.state().message;
    EXPECT_EQ(bridge->flashContents(0, 20000),
              sim::GeneratedFirmware::image("KOVA_ROM_FILE", 20000));
    EXPECT_TRUE(windows->isEnabled());
}

}  // namespace
}  // namespace tovrel::panel
