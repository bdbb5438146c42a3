// The V4L2 backend against emulated nodes: umockdev makes /dev/video0 (a capture node of a
// box) and /dev/video1 (its metadata node), and this handler answers their ioctls from a
// table, as the driver would. umockdev does not emulate mmap, so streaming itself is covered
// by the simulated device's tests; here the start must fail cleanly.
#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <umockdev.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/media/mf_guids.h"
#include "platform/v4l2/v4l2_device_enumerator.h"
#include "platform/v4l2/v4l2_media_source.h"

namespace tovrel::platform {
namespace {

struct Interval {
    uint32_t numerator, denominator;
};
struct Size {
    uint32_t width, height;
    std::vector<Interval> intervals;
};
struct Format {
    uint32_t pixelFormat;
    std::vector<Size> sizes;
};

const std::vector<Format>& deviceFormats() {
    static const std::vector<Format> formats{
        {V4L2_PIX_FMT_YUYV, {{640, 480, {{1, 60}, {1, 30}}}, {1920, 1080, {{1, 5}}}}},
        {V4L2_PIX_FMT_MJPEG, {{1920, 1080, {{1001, 60000}, {1, 30}}}}},
    };
    return formats;
}

class V4l2Bed {
  public:
    V4l2Bed() {
        bed_ = umockdev_testbed_new();
        GError* error = nullptr;
        for (int node = 0; node < 2; ++node) {
            handlers_[node] = umockdev_ioctl_base_new();
            g_signal_connect(handlers_[node], "handle-ioctl",
                             G_CALLBACK(node == 0 ? onCapture : onMetadata), this);
            umockdev_testbed_attach_ioctl(bed_, node == 0 ? "/dev/video0" : "/dev/video1",
                                          handlers_[node], &error);
            g_clear_error(&error);
        }
        const char* record =
            "P: /devices/usb1/1-1/1-1:1.0/video4linux/video1\n"
            "N: video1\nE: SUBSYSTEM=video4linux\nE: DEVNAME=/dev/video1\nA: index=1\nA: "
            "dev=81:1\n\n"
            "P: /devices/usb1/1-1/1-1:1.0/video4linux/video0\n"
            "N: video0\nE: SUBSYSTEM=video4linux\nE: DEVNAME=/dev/video0\nA: index=0\nA: "
            "dev=81:0\n\n"
            "P: /devices/usb1/1-1/1-1:1.0\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n\n"
            "P: /devices/usb1/1-1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n\n";
        if (!umockdev_testbed_add_from_string(bed_, record, &error)) {
            ADD_FAILURE() << "test bed: " << (error ? error->message : "?");
            g_clear_error(&error);
        }
    }
    ~V4l2Bed() {
        for (auto* handler : handlers_) g_object_unref(handler);
        g_object_unref(bed_);
    }

    static bool available() {
        const char* preload = std::getenv("LD_PRELOAD");
        return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
    }

    std::mutex mutex;
    std::vector<v4l2_format> setFormats;
    std::vector<v4l2_fract> setIntervals;

  private:
    template <typename T>
    static T* resolve(UMockdevIoctlClient* client, UMockdevIoctlData** data) {
        GError* error = nullptr;
        *data = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(T),
                                            &error);
        g_clear_error(&error);
        return *data ? reinterpret_cast<T*>((*data)->data) : nullptr;
    }
    static gboolean finish(UMockdevIoctlClient* client, UMockdevIoctlData* data, int error) {
        umockdev_ioctl_client_complete(client, error == 0 ? 0 : -1, error);
        if (data) g_object_unref(data);
        return TRUE;
    }
    static void capability(v4l2_capability* cap, const char* card, uint32_t caps) {
        if (cap == nullptr) return;
        std::memset(cap, 0, sizeof *cap);
        std::strcpy(reinterpret_cast<char*>(cap->driver), "uvcvideo");
        std::strcpy(reinterpret_cast<char*>(cap->card), card);
        cap->capabilities = caps | V4L2_CAP_DEVICE_CAPS | V4L2_CAP_VIDEO_CAPTURE |
                            V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
        cap->device_caps = caps;
    }

    static gboolean onMetadata(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer) {
        UMockdevIoctlData* data = nullptr;
        if (umockdev_ioctl_client_get_request(client) != VIDIOC_QUERYCAP)
            return finish(client, nullptr, ENOTTY);
        capability(resolve<v4l2_capability>(client, &data), "Norvik USB Video Device",
                   V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING);
        return finish(client, data, 0);
    }

    static gboolean onCapture(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
        auto* bed = static_cast<V4l2Bed*>(self);
        const auto& formats = deviceFormats();
        UMockdevIoctlData* data = nullptr;
        switch (umockdev_ioctl_client_get_request(client)) {
            case VIDIOC_QUERYCAP:
                capability(resolve<v4l2_capability>(client, &data), "Norvik USB Video Device",
                           V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING);
                return finish(client, data, 0);
            case VIDIOC_ENUM_FMT: {
                auto* desc = resolve<v4l2_fmtdesc>(client, &data);
                if (desc->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || desc->index >= formats.size())
                    return finish(client, data, EINVAL);
                desc->pixelformat = formats[desc->index].pixelFormat;
                return finish(client, data, 0);
            }
            case VIDIOC_ENUM_FRAMESIZES: {
                auto* size = resolve<v4l2_frmsizeenum>(client, &data);
                for (const Format& format : formats) {
                    if (format.pixelFormat != size->pixel_format ||
                        size->index >= format.sizes.size())
                        continue;
                    size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
                    size->discrete.width = format.sizes[size->index].width;
                    size->discrete.height = format.sizes[size->index].height;
                    return finish(client, data, 0);
                }
                return finish(client, data, EINVAL);
            }
            case VIDIOC_ENUM_FRAMEINTERVALS: {
                auto* interval = resolve<v4l2_frmivalenum>(client, &data);
                for (const Format& format : formats) {
                    if (format.pixelFormat != interval->pixel_format) continue;
                    for (const Size& size : format.sizes) {
                        if (size.width != interval->width || size.height != interval->height ||
                            interval->index >= size.intervals.size())
                            continue;
                        interval->type = V4L2_FRMIVAL_TYPE_DISCRETE;
                        interval->discrete.numerator = size.intervals[interval->index].numerator;
                        interval->discrete.denominator =
                            size.intervals[interval->index].denominator;
                        return finish(client, data, 0);
                    }
                }
                return finish(client, data, EINVAL);
            }
            case VIDIOC_G_FMT: {
                auto* format = resolve<v4l2_format>(client, &data);
                format->fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
                format->fmt.pix.width = 1920;
                format->fmt.pix.height = 1080;
                return finish(client, data, 0);
            }
            case VIDIOC_S_FMT: {
                auto* format = resolve<v4l2_format>(client, &data);
                std::lock_guard lock(bed->mutex);
                bed->setFormats.push_back(*format);
                return finish(client, data, 0);
            }
            case VIDIOC_S_PARM: {
                auto* parameters = resolve<v4l2_streamparm>(client, &data);
                std::lock_guard lock(bed->mutex);
                bed->setIntervals.push_back(parameters->parm.capture.timeperframe);
                return finish(client, data, 0);
            }
            default:
                // Buffers cannot be mapped here: the driver refuses them.
                return finish(client, nullptr, EINVAL);
        }
    }

    UMockdevTestbed* bed_ = nullptr;
    UMockdevIoctlBase* handlers_[2] = {};
};

struct V4l2Fixture : ::testing::Test {
    void SetUp() override {
        if (!V4l2Bed::available()) GTEST_SKIP() << "needs umockdev-wrapper (libumockdev-preload)";
        bed = std::make_unique<V4l2Bed>();
    }
    std::unique_ptr<V4l2Bed> bed;
};

TEST_F(V4l2Fixture, ListsCaptureNodesWithTheirCardNames) {
    V4l2DeviceEnumerator enumerator;
    Attributes video;
    video.SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                  MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID);
    std::vector<std::unique_ptr<Activate>> devices;
    ASSERT_EQ(MFEnumDeviceSources(enumerator, video, &devices), S_OK);
    ASSERT_EQ(devices.size(), 1u) << "the metadata node is no capture device";
    std::string name, link;
    devices[0]->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, &name);
    devices[0]->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK, &link);
    EXPECT_EQ(name, "Norvik USB Video Device");
    EXPECT_EQ(link, "/dev/video0");

    Attributes audio;
    audio.SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                  MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID);
    ASSERT_EQ(MFEnumDeviceSources(enumerator, audio, &devices), S_OK);
    EXPECT_TRUE(devices.empty());
}

TEST_F(V4l2Fixture, NativeTypesFollowTheDriversEnumerationOrder) {
    HRESULT hr = E_FAIL;
    auto source = V4l2MediaSource::open("/dev/video0", &hr);
    ASSERT_TRUE(source) << hr;
    std::vector<MediaType> types;
    ASSERT_EQ(source->nativeTypes(0, &types), S_OK);
    struct Expected {
        Guid subtype;
        uint32_t width, height, numerator, denominator;
    };
    const std::vector<Expected> expected{
        {MFVideoFormat_YUY2, 640, 480, 60, 1},   {MFVideoFormat_YUY2, 640, 480, 30, 1},
        {MFVideoFormat_YUY2, 1920, 1080, 5, 1},  {MFVideoFormat_MJPG, 1920, 1080, 60000, 1001},
        {MFVideoFormat_MJPG, 1920, 1080, 30, 1},
    };
    ASSERT_EQ(types.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        Guid subtype;
        types[i].GetGUID(MF_MT_SUBTYPE, &subtype);
        EXPECT_EQ(subtype, expected[i].subtype);
        uint32_t a = 0, b = 0;
        MFGetAttributeSize(&types[i], MF_MT_FRAME_SIZE, &a, &b);
        EXPECT_EQ(a, expected[i].width);
        EXPECT_EQ(b, expected[i].height);
        MFGetAttributeRatio(&types[i], MF_MT_FRAME_RATE, &a, &b);
        EXPECT_EQ(a, expected[i].numerator);
        EXPECT_EQ(b, expected[i].denominator);
    }
    uint32_t current = 99;
    source->currentNativeIndex(0, &current);
    EXPECT_EQ(current, 2u) << "the driver's current format";
}

TEST_F(V4l2Fixture, SelectingATypeSetsTheFormatAndTheFrameInterval) {
    HRESULT hr = E_FAIL;
    auto source = V4l2MediaSource::open("/dev/video0", &hr);
    ASSERT_TRUE(source);
    ASSERT_EQ(source->selectNativeType(0, 3), S_OK);
    std::lock_guard lock(bed->mutex);
    ASSERT_EQ(bed->setFormats.size(), 1u);
    EXPECT_EQ(bed->setFormats[0].fmt.pix.pixelformat, static_cast<uint32_t>(V4L2_PIX_FMT_MJPEG));
    EXPECT_EQ(bed->setFormats[0].fmt.pix.width, 1920u);
    ASSERT_EQ(bed->setIntervals.size(), 1u);
    EXPECT_EQ(bed->setIntervals[0].numerator, 1001u);
    EXPECT_EQ(bed->setIntervals[0].denominator, 60000u);
}

TEST_F(V4l2Fixture, AStreamTheDriverRefusesFailsCleanly) {
    HRESULT hr = E_FAIL;
    auto source = V4l2MediaSource::open("/dev/video0", &hr);
    ASSERT_TRUE(source);
    EXPECT_TRUE(FAILED(source->startStream(0)));
    SourceReadResult result;
    EXPECT_EQ(source->pullSample(0, 10, &result), S_FALSE);
    EXPECT_EQ(source->Shutdown(), S_OK);
    EXPECT_EQ(source->pullSample(0, 10, &result), MF_E_SHUTDOWN);
}

TEST_F(V4l2Fixture, AMissingNodeCannotBeOpened) {
    HRESULT hr = S_OK;
    EXPECT_FALSE(V4l2MediaSource::open("/dev/video7", &hr));
    EXPECT_TRUE(FAILED(hr));
}

}  // namespace
}  // namespace tovrel::platform
