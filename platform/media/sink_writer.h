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

    // MF_E_INVALIDREQUEST after BeginWriting.
    virtual HRESULT AddStream(const MediaType& targetMediaType, uint32_t* streamIndex) = 0;
    // MF_E_INVALIDREQUEST after BeginWriting, MF_E_INVALIDSTREAMNUMBER for an unknown stream,
    // MF_E_INVALIDMEDIATYPE for an input the writer cannot take into the stream's output type.
    virtual HRESULT SetInputMediaType(uint32_t streamIndex, const MediaType& inputMediaType,
                                      const Attributes* encodingParameters) = 0;
    // MF_E_INVALIDREQUEST without streams, with a stream lacking its input type, or a second
    // time; a failure to start leaves the writer unbegun.
    virtual HRESULT BeginWriting() = 0;
    // MF_E_INVALIDREQUEST before BeginWriting or after Finalize, MF_E_INVALIDSTREAMNUMBER for an
    // unknown stream, E_POINTER for no sample, E_INVALIDARG for a sample without a time;
    // MF_E_NOTACCEPTING when the writer drops it.
    virtual HRESULT WriteSample(uint32_t streamIndex, const std::shared_ptr<Sample>& sample) = 0;
    // MF_E_INVALIDREQUEST unless writing began and was not finalised.
    virtual HRESULT Finalize() = 0;

    // S_OK while the file takes what is written; once a write to it has failed (a full disk, the
    // file or its folder removed) that failure, as 0x8007xxxx of the errno: what comes after it
    // is lost. Any thread.
    virtual HRESULT writeStatus() const { return S_OK; }
};

}  // namespace tovrel::platform
