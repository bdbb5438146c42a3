#pragma once

#include <cstdint>
#include <memory>

#include "platform/media/attributes.h"
#include "platform/media/media_type.h"
#include "platform/media/sample.h"

namespace tovrel::platform {

// The media sink writer: streams added with their output (encoded) types, then their input
// types, then BeginWriting; samples in the input types go to WriteSample until Finalize closes
// the file. A writer is used by one recording: the configuration calls and Finalize on the
// thread that started it (GUI), WriteSample from the capture workers, serialised by the caller
// against Finalize. Stream indices count from 0 in the order of AddStream.
//
// A video stream's encoding parameters may carry MF_MT_FRAME_RATE: its frames are then placed
// on that rate's constant grid (the capture mode's true rate), whatever the types declare.
class SinkWriter {
  public:
    virtual ~SinkWriter() = default;

    virtual HRESULT AddStream(const MediaType& targetMediaType, uint32_t* streamIndex) = 0;
    virtual HRESULT SetInputMediaType(uint32_t streamIndex, const MediaType& inputMediaType,
                                      const Attributes* encodingParameters) = 0;
    virtual HRESULT BeginWriting() = 0;
    virtual HRESULT WriteSample(uint32_t streamIndex, const std::shared_ptr<Sample>& sample) = 0;
    virtual HRESULT Finalize() = 0;
};

}  // namespace tovrel::platform
