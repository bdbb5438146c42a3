#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/screen/desktop_duplication.h"

namespace tovrel::recording {

// One desktop output that could be duplicated, with the pointer as its duplication last reported
// it: no shape (type 0, nothing drawn) and position (0, 0) until it does. Owned by its
// ScreenCapture and used under the same serialisation.
struct DuplicatedOutput {
    platform::OutputDesc desc;
    std::unique_ptr<platform::OutputDuplication> duplication;
    std::vector<uint8_t> shapeBuffer;
    uint32_t shapeBufferSize = 0;
    platform::OutduplPointerShapeInfo shapeInfo;
    int32_t pointerX = 0;
    int32_t pointerY = 0;
};

}  // namespace tovrel::recording
