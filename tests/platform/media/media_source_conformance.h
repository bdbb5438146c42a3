#pragma once

// What every media source must do for the source reader, run against each: the test fake, the
// simulated box's video and audio sources, the sound server's and ALSA's capture sources, and
// the V4L2 source over its fake kernel. A case that cannot run here gives its reason and skips.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/media/media_source.h"

namespace tovrel::platform::testing {

// One source under test and whatever it needs around it (a fake kernel, a server module).
class MediaSourceBackend {
  public:
    virtual ~MediaSourceBackend() = default;
    virtual MediaSource& source() = 0;
    // Makes one more sample of stream 0 available once it is started: steps a stepped source,
    // hands a frame to a fake kernel. A source that runs by itself needs nothing.
    virtual void produce() {}
};

struct MediaSourceCase {
    std::string name;
    // Null with `skipReason` set when the source cannot run here.
    std::function<std::unique_ptr<MediaSourceBackend>(std::string& skipReason)> make;
};

class MediaSourceConformance : public ::testing::TestWithParam<MediaSourceCase> {
  protected:
    void SetUp() override;
    void TearDown() override;
    MediaSource& source() { return backend->source(); }

    std::unique_ptr<MediaSourceBackend> backend;
};

inline std::string mediaSourceCaseName(const ::testing::TestParamInfo<MediaSourceCase>& info) {
    return info.param.name;
}

}  // namespace tovrel::platform::testing
