#pragma once

#include <cstdint>

#include "platform/screen/desktop_duplication.h"

namespace tovrel::recording {

// Composites a pointer shape into a BGRA frame of width x height pixels (rows of 4·width bytes)
// with the shape's top-left pixel at (x, y), which may lie outside the frame: only the pixels
// inside are written.
// - Monochrome: AND mask rows, then XOR mask rows; a clear AND bit clears the colour, a set XOR
//   bit inverts it; the frame's fourth byte stays.
// - Masked colour: a shape pixel with any colour replaces the frame pixel, its fourth byte 0xFF;
//   black shape pixels leave the frame as it was.
// - Colour: blended by its alpha, the colour being premultiplied (the X server's cursors): a
//   black outline stays black, a transparent pixel changes nothing, a half-covered one mixes.
// - Any other type: nothing. Pure function: any thread.
void drawPointerShape(uint8_t* frame, uint32_t width, uint32_t height,
                      const platform::OutduplPointerShapeInfo& shape, const uint8_t* shapeBytes,
                      int32_t x, int32_t y);

}  // namespace tovrel::recording
