#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/screen/desktop_duplication.h"

namespace tovrel::sim {

class SyntheticDesktop;

// One output of the synthetic desktop duplicated: each acquisition that finds the pattern or
// the pointer changed draws the output's part of the pattern into a buffer of its own and
// reports the pointer as the platform would (the shape's top-left pixel, the shape when it
// changed). Lost once the output is resized or detached.
// One caller at a time (OutputDuplication's contract); the desktop outlives it.
class SyntheticOutputDuplication final : public platform::OutputDuplication {
  public:
    SyntheticOutputDuplication(SyntheticDesktop& desktop, std::string name,
                               platform::DesktopRect rect);

    platform::HRESULT GetDesc(platform::OutputDesc* desc) override;
    platform::HRESULT AcquireNextFrame(uint32_t timeoutMs, platform::OutduplFrameInfo* info,
                                       platform::MappedDesktop* image) override;
    platform::HRESULT GetFramePointerShape(uint32_t bufferSize, uint8_t* buffer,
                                           uint32_t* requiredSize,
                                           platform::OutduplPointerShapeInfo* shapeInfo) override;
    platform::HRESULT ReleaseFrame() override;

  private:
    bool stillThere();
    void draw(uint64_t pattern);

    SyntheticDesktop& desktop_;
    const std::string name_;
    const platform::DesktopRect rect_;
    std::vector<uint8_t> pixels_;
    bool lost_ = false;
    bool held_ = false;
    bool first_ = true;
    uint64_t drawnPattern_ = 0;
    uint64_t seenMoves_ = 0;
    uint64_t seenShapes_ = 0;
    std::vector<uint8_t> shape_;
    platform::OutduplPointerShapeInfo shapeInfo_;
};

}  // namespace tovrel::sim
