// The V4L2 source's picture controls over a fake kernel: what reaches the driver, and what a
// failing driver call leaves behind (the common contract is the conformance suite's).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/media/mf_constants.h"
#include "platform/system/debug_output.h"
#include "platform/v4l2/v4l2_media_source.h"
#include "tests/platform/v4l2/fake_v4l2_system_calls.h"

namespace tovrel::platform {
namespace {

using test::FakeV4l2SystemCalls;

class V4l2VideoProcAmpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kernel.setControls({
            {V4L2_CID_BRIGHTNESS, -64, 64, 1, 0, 10},
            {V4L2_CID_CONTRAST, 0, 100, 1, 50, 50},
            {V4L2_CID_HUE, -180, 180, 1, 0, 0, V4L2_CTRL_FLAG_DISABLED},
            {V4L2_CID_SATURATION, 0, 200, 10, 100, 100},
            {V4L2_CID_SHARPNESS, 0, 7, 1, 3, 3},
        });
        HRESULT hr = E_FAIL;
        source = V4l2MediaSource::open(kernel, "/dev/video0", &hr);
        ASSERT_EQ(hr, S_OK);
        previous = setDebugOutputSink([this](std::string_view text) {
            std::lock_guard lock(logMutex);
            log.append(text).append("\n");
        });
    }
    void TearDown() override { setDebugOutputSink(previous); }
    std::string logged() {
        std::lock_guard lock(logMutex);
        return log;
    }

    FakeV4l2SystemCalls kernel{"/dev/video0", {{V4L2_PIX_FMT_YUYV, 8, 4, 1, 30}}};
    std::shared_ptr<V4l2MediaSource> source;
    std::mutex logMutex;
    std::string log;
    DebugSink previous;
};

TEST_F(V4l2VideoProcAmpTest, EachPropertyIsItsOwnControlAndValuesReachTheDriver) {
    VideoProcAmp& amp = *source->videoProcAmp();
    int32_t minimum = 0, maximum = 0, step = 0, defaultValue = 0, caps = 0, value = 0, flags = 0;
    ASSERT_EQ(amp.GetRange(VideoProcAmp_Sharpness, &minimum, &maximum, &step, &defaultValue, &caps),
              S_OK);
    EXPECT_EQ(maximum, 7);
    EXPECT_EQ(defaultValue, 3);
    ASSERT_EQ(
        amp.GetRange(VideoProcAmp_Saturation, &minimum, &maximum, &step, &defaultValue, &caps),
        S_OK);
    EXPECT_EQ(step, 10);
    ASSERT_EQ(amp.Get(VideoProcAmp_Brightness, &value, &flags), S_OK);
    EXPECT_EQ(value, 10) << "the driver's current value, not its default";

    ASSERT_EQ(amp.Set(VideoProcAmp_Brightness, -64, VideoProcAmp_Flags_Manual), S_OK);
    ASSERT_EQ(amp.Set(VideoProcAmp_Contrast, 77, VideoProcAmp_Flags_Manual), S_OK);
    ASSERT_EQ(amp.Set(VideoProcAmp_Sharpness, 7, VideoProcAmp_Flags_Manual), S_OK);
    EXPECT_EQ(kernel.controlValue(V4L2_CID_BRIGHTNESS), -64);
    EXPECT_EQ(kernel.controlValue(V4L2_CID_CONTRAST), 77);
    EXPECT_EQ(kernel.controlValue(V4L2_CID_SHARPNESS), 7);
    EXPECT_EQ(kernel.controlValue(V4L2_CID_SATURATION), 100) << "only the control asked for";

    // A value outside the range never reaches the driver; a disabled control is not asked.
    const uint32_t writes = kernel.ioctlCalls(VIDIOC_S_CTRL);
    EXPECT_EQ(amp.Set(VideoProcAmp_Contrast, 101, VideoProcAmp_Flags_Manual), E_INVALIDARG);
    EXPECT_EQ(amp.Set(VideoProcAmp_Hue, 0, VideoProcAmp_Flags_Manual), E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(kernel.ioctlCalls(VIDIOC_S_CTRL), writes);
    EXPECT_EQ(kernel.controlValue(V4L2_CID_CONTRAST), 77);
    // Unsupported controls are an answer, not a fault: nothing is logged for them.
    EXPECT_EQ(logged(), "");
}

TEST_F(V4l2VideoProcAmpTest, AFailingCallIsEFailAndLoggedWithDeviceCallAndErrno) {
    VideoProcAmp& amp = *source->videoProcAmp();
    int32_t minimum = 0, maximum = 0, step = 0, defaultValue = 0, caps = 0, value = 0, flags = 0;
    kernel.failIoctl(VIDIOC_QUERYCTRL, EIO);
    EXPECT_EQ(
        amp.GetRange(VideoProcAmp_Brightness, &minimum, &maximum, &step, &defaultValue, &caps),
        E_FAIL);
    kernel.failIoctl(VIDIOC_G_CTRL, EBUSY);
    EXPECT_EQ(amp.Get(VideoProcAmp_Brightness, &value, &flags), E_FAIL);
    kernel.failIoctl(VIDIOC_S_CTRL, EACCES);
    EXPECT_EQ(amp.Set(VideoProcAmp_Brightness, 5, VideoProcAmp_Flags_Manual), E_FAIL);
    EXPECT_EQ(kernel.controlValue(V4L2_CID_BRIGHTNESS), 10);
    // An interrupted call is retried rather than failed.
    kernel.failIoctl(VIDIOC_S_CTRL, EINTR);
    EXPECT_EQ(amp.Set(VideoProcAmp_Brightness, 5, VideoProcAmp_Flags_Manual), S_OK);
    EXPECT_EQ(kernel.controlValue(V4L2_CID_BRIGHTNESS), 5);

    const std::string text = logged();
    for (const auto& [call, error] :
         {std::pair{"VIDIOC_QUERYCTRL", EIO}, std::pair{"VIDIOC_G_CTRL", EBUSY},
          std::pair{"VIDIOC_S_CTRL", EACCES}}) {
        EXPECT_NE(
            text.find(std::string("/dev/video0: ") + call + " failed: " + std::strerror(error)),
            std::string::npos)
            << call << " in:\n"
            << text;
    }

    // An unplugged node fails every control call; a shut-down source no longer asks it.
    kernel.vanish();
    EXPECT_EQ(amp.Get(VideoProcAmp_Brightness, &value, &flags), E_FAIL);
    ASSERT_EQ(source->Shutdown(), S_OK);
    const uint32_t queries = kernel.ioctlCalls(VIDIOC_QUERYCTRL);
    EXPECT_EQ(amp.Get(VideoProcAmp_Brightness, &value, &flags), MF_E_SHUTDOWN);
    EXPECT_EQ(kernel.ioctlCalls(VIDIOC_QUERYCTRL), queries);
}

}  // namespace
}  // namespace tovrel::platform
