#pragma once

// What every sink writer must do for the recording, run against each: the FFmpeg writer (its
// file read back by ffprobe) and the recording double (its record), so that the recording's
// tests against the double hold for the real writer. A writer that cannot run here gives its
// reason and skips.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/media/sink_writer.h"

namespace tovrel::platform::testing {

// One stream of a finished file.
struct FinishedStream {
    std::string type;     // "video", "audio"
    int videoFrames = 0;  // video only
    double start = 0;     // seconds
    double end = 0;       // seconds, after the last frame or sound
};

// One writer implementation and what its finished file holds.
class SinkWriterBackend {
  public:
    virtual ~SinkWriterBackend() = default;
    // A writer for a new file.
    virtual std::unique_ptr<SinkWriter> create() = 0;
    // A writer whose file cannot be written, so that BeginWriting fails (a full disk).
    virtual std::unique_ptr<SinkWriter> createUnwritable() = 0;
    // The streams of the last file created, once it is finalised and its writer released, in
    // the order of AddStream.
    virtual std::vector<FinishedStream> finished() = 0;
};

struct SinkWriterCase {
    std::string name;
    // Null with `skipReason` set when the writer cannot run here.
    std::function<std::unique_ptr<SinkWriterBackend>(std::string& skipReason)> make;
};

class SinkWriterConformance : public ::testing::TestWithParam<SinkWriterCase> {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<SinkWriterBackend> backend;
};

// Named in gtest's messages rather than dumped as bytes.
inline void PrintTo(const SinkWriterCase& param, std::ostream* out) { *out << param.name; }

inline std::string sinkWriterCaseName(const ::testing::TestParamInfo<SinkWriterCase>& info) {
    return info.param.name;
}

// The recording's usual streams, small: H.264 from NV12 at 10 frames a second, AAC from 16-bit
// stereo PCM at 48 kHz.
constexpr uint32_t kConformanceWidth = 64, kConformanceHeight = 48, kConformanceFps = 10;
constexpr uint32_t kConformanceRate = 48'000, kConformanceChannels = 2;
MediaType conformanceVideoOutput();
MediaType conformanceVideoInput();
MediaType conformanceAudioOutput();
MediaType conformanceAudioInput();

}  // namespace tovrel::platform::testing
