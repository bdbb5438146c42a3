#pragma once

#include <QRect>

namespace tovrel::shell {

// Where the main window first appears: half the screen wide, half the screen plus a title bar
// high, a quarter of the screen in from the left and half its own height down. Integer divisions
// truncate toward zero. Pure; any thread.
struct InitialGeometry {
    static QRect forScreen(int screenWidth, int screenHeight, int captionHeight) {
        const int height = captionHeight + screenHeight / 2;
        const int width = screenWidth / 2;
        return QRect(screenWidth / 4, height / 2, width, height);
    }
};

}  // namespace tovrel::shell
