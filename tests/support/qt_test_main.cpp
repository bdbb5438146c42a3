#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

// Widgets need an application object before the first test. Without a display the tests run on
// the offscreen platform; with one (Xvfb in the test script) on the real one.
int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
