#pragma once

// What every device's picture controls must do for the settings window, run against each
// source that has them: the V4L2 source over its fake kernel and the simulated box's video
// source of every model in the catalogue.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/media/media_source.h"

namespace tovrel::platform::testing {

// One source under test and whatever it needs around it (a fake kernel).
class VideoProcAmpBackend {
  public:
    virtual ~VideoProcAmpBackend() = default;
    virtual MediaSource& source() = 0;
};

struct VideoProcAmpCase {
    std::string name;
    std::function<std::unique_ptr<VideoProcAmpBackend>()> make;
};

class VideoProcAmpConformance : public ::testing::TestWithParam<VideoProcAmpCase> {
  protected:
    void SetUp() override;
    void TearDown() override;
    VideoProcAmp& amp() { return *backend->source().videoProcAmp(); }

    std::unique_ptr<VideoProcAmpBackend> backend;
};

inline std::string videoProcAmpCaseName(const ::testing::TestParamInfo<VideoProcAmpCase>& info) {
    return info.param.name;
}

}  // namespace tovrel::platform::testing
