#pragma once

#include <Qt>

#include <array>
#include <cstdint>

namespace tovrel::shell {

// The invisible sizing zones of the borderless window, tested in order; the first zone that
// holds the point gives its hit-test code and the edges the window manager resizes. Pure; any
// thread.
struct EdgeZones {
    static constexpr int kMargin = 3;
    static constexpr int kCaption = 2;  // HTCAPTION: not in a zone, the press moves the window

    enum Side : uint8_t { kLeft = 1, kRight = 2, kTop = 4, kBottom = 8 };

    struct Zone {
        uint8_t sides;  // every side named here must hold
        int code;       // the hit-test code
        Qt::Edges edges;
        Qt::CursorShape cursor;
    };

    static constexpr std::array<Zone, 8> kZones{{
        {kLeft | kBottom, 16, Qt::LeftEdge | Qt::BottomEdge, Qt::SizeBDiagCursor},
        {kRight | kBottom, 17, Qt::RightEdge | Qt::BottomEdge, Qt::SizeFDiagCursor},
        {kLeft | kTop, 13, Qt::LeftEdge | Qt::TopEdge, Qt::SizeFDiagCursor},
        {kRight | kTop, 14, Qt::RightEdge | Qt::TopEdge, Qt::SizeBDiagCursor},
        {kLeft, 10, Qt::LeftEdge, Qt::SizeHorCursor},
        {kRight, 11, Qt::RightEdge, Qt::SizeHorCursor},
        {kBottom, 15, Qt::BottomEdge, Qt::SizeVerCursor},
        {kTop, 12, Qt::TopEdge, Qt::SizeVerCursor},
    }};

    // The zone of (x, y) in the rectangle [left, right) x [top, bottom), or null.
    static constexpr const Zone* find(int x, int y, int left, int top, int right, int bottom) {
        uint8_t sides = 0;
        if (left <= x && x < left + kMargin) sides |= kLeft;
        if (right - kMargin <= x && x < right) sides |= kRight;
        if (top <= y && y < top + kMargin) sides |= kTop;
        if (bottom - kMargin <= y && y < bottom) sides |= kBottom;
        for (const Zone& zone : kZones) {
            if ((sides & zone.sides) == zone.sides) return &zone;
        }
        return nullptr;
    }
};

}  // namespace tovrel::shell
