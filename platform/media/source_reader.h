#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/media/attributes.h"
#include "platform/media/media_source.h"
#include "platform/media/media_type.h"
#include "platform/media/sample.h"
#include "platform/media/sample_pool.h"
#include "platform/media/source_reader_callback.h"

namespace tovrel::platform {

// The source reader over one media source, with the extended interface's calls
// (SetNativeMediaType, RemoveAllTransformsForStream) on the same object.
//
// Asynchronous mode (MF_SOURCE_READER_ASYNC_CALLBACK set at creation): ReadSample queues one
// request per stream and returns at once; the reader's own worker thread pulls the sample from
// the source and completes it with OnReadSample. A stream has at most one outstanding read: a
// second ReadSample before the first completed answers MF_E_NOTACCEPTING. Without a callback
// ReadSample blocks and fills its output arguments.
//
// Video processing (MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING = 1) lets a stream whose native
// type is NV12 deliver YUY2 when YUY2 is set as its current type.
//
// Threads: the configuration calls and ReadSample/Flush from any thread (internally locked);
// callbacks on the worker thread, never with a lock held. Destroying the reader stops and joins
// the worker; destroyed from within its own callback the worker is left to finish by itself.
class SourceReader {
  public:
    SourceReader(std::shared_ptr<MediaSource> source, const Attributes* attributes);
    ~SourceReader();
    SourceReader(const SourceReader&) = delete;
    SourceReader& operator=(const SourceReader&) = delete;

    // Asynchronous form: all four output pointers null; S_OK once the read is queued, and the
    // sample's own result reaches OnReadSample. Either form: E_INVALIDARG for output pointers in
    // the asynchronous form, E_POINTER without streamFlags or sample in the blocking one;
    // MF_E_INVALIDSTREAMNUMBER for an unknown stream; MF_E_SHUTDOWN after Shutdown;
    // MF_E_INVALIDREQUEST for a stream that is not selected; MF_E_NOTACCEPTING while the
    // stream's read is outstanding; the source's failure to start the stream; after a stream
    // failed, that failure again for every later read. The blocking form returns the sample's
    // result (MF_SOURCE_READERF_ERROR in streamFlags when it failed).
    HRESULT ReadSample(uint32_t streamIndex, uint32_t controlFlags, uint32_t* actualStreamIndex,
                       uint32_t* streamFlags, int64_t* timestamp, std::shared_ptr<Sample>* sample);
    // MF_E_NO_MORE_TYPES past the last native type.
    HRESULT GetNativeMediaType(uint32_t streamIndex, uint32_t typeIndex,
                               std::unique_ptr<MediaType>* mediaType);
    HRESULT GetCurrentMediaType(uint32_t streamIndex, std::unique_ptr<MediaType>* mediaType);
    // The output type: a native type of the stream (the first matching the given attributes),
    // or, with video processing, YUY2 out of an NV12 native type. MF_E_INVALIDMEDIATYPE when
    // nothing fits.
    HRESULT SetCurrentMediaType(uint32_t streamIndex, const MediaType& mediaType);
    HRESULT SetStreamSelection(uint32_t streamIndex, bool selected);
    HRESULT GetStreamSelection(uint32_t streamIndex, bool* selected);
    // Drops the stream's pending read (no OnReadSample for it) and calls OnFlush.
    HRESULT Flush(uint32_t streamIndex);

    // Extended interface. Selects the first native type of the stream that carries every given
    // attribute (an integer frame rate n/1 also matches a native rate that truncates to n), and
    // makes it the output type as well.
    HRESULT SetNativeMediaType(uint32_t streamIndex, const MediaType& mediaType,
                               uint32_t* streamFlags);
    HRESULT RemoveAllTransformsForStream(uint32_t streamIndex);

    // Stops the worker (waiting for a callback in progress) and the streams; later reads answer
    // MF_E_SHUTDOWN. Lets an owner stop the callbacks before it lets go of the reader, which
    // the destructor otherwise does.
    HRESULT Shutdown();

  private:
    struct StreamState;
    struct Shared;

    HRESULT resolve(uint32_t streamIndex, uint32_t* stream);
    static void workerLoop(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> shared_;
    std::thread worker_;
};

HRESULT MFCreateSourceReaderFromMediaSource(std::shared_ptr<MediaSource> source,
                                            const Attributes* attributes,
                                            std::unique_ptr<SourceReader>* reader);

}  // namespace tovrel::platform
