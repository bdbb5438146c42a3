#include <gtest/gtest.h>

#include "capture/mf_manager.h"
#include "platform/system/manual_clock.h"
#include "tests/platform/media/fake_media_source.h"

namespace tovrel::capture {
namespace {

using namespace platform;
using test::videoType;

struct CatalogueFixture : ::testing::Test {
    void open(std::vector<MediaType> types) {
        source = std::make_shared<test::FakeMediaSource>(
            std::vector<std::vector<MediaType>>{std::move(types)});
        Attributes attributes;
        attributes.SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, 1);
        ASSERT_EQ(MFCreateSourceReaderFromMediaSource(source, &attributes, &reader), S_OK);
    }
    ManualClock clock;
    MFManager manager{clock};
    std::shared_ptr<test::FakeMediaSource> source;
    std::unique_ptr<SourceReader> reader;
};

TEST_F(CatalogueFixture, ListsTheThreeFormatsInOrderWithWholeFrameRates) {
    open({videoType(MFVideoFormat_YUY2, 1920, 1080, 30000, 1001),
          videoType(MFVideoFormat_RGB32, 640, 480, 30, 1),
          videoType(MFVideoFormat_MJPG, 1920, 1080, 60000, 1001),
          videoType(MFVideoFormat_NV12, 1280, 720, 60, 1),
          videoType(MFVideoFormat_YUY2, 640, 480, 60, 1)});
    ASSERT_EQ(manager.buildFormatCatalogue(reader.get()), S_OK);
    ASSERT_EQ(manager.yuy2ModeCount, 2);
    ASSERT_EQ(manager.mjpgModeCount, 1);
    ASSERT_EQ(manager.nv12ModeCount, 1);
    EXPECT_EQ(manager.yuy2Modes[0].width, 1920u);
    EXPECT_EQ(manager.yuy2Modes[0].height, 1080u);
    EXPECT_EQ(manager.yuy2Modes[0].frameRate, 29u) << "30000/1001 truncates";
    EXPECT_EQ(manager.yuy2Modes[1].frameRate, 60u);
    EXPECT_EQ(manager.mjpgModes[0].frameRate, 59u);
    EXPECT_EQ(manager.mjpgModes[0].subtype, MFVideoFormat_MJPG);
    EXPECT_EQ(manager.nv12Modes[0].width, 1280u);
}

TEST_F(CatalogueFixture, ATypeWithoutSizeOrRateTakesTheValuesReadLast) {
    open({videoType(MFVideoFormat_YUY2, 1280, 720, 50, 1),
          videoType(MFVideoFormat_MJPG, 0, 0, 0, 0)});
    manager.buildFormatCatalogue(reader.get());
    ASSERT_EQ(manager.mjpgModeCount, 1);
    EXPECT_EQ(manager.mjpgModes[0].width, 1280u);
    EXPECT_EQ(manager.mjpgModes[0].frameRate, 50u);
}

TEST_F(CatalogueFixture, The201stTypeOfAFormatIsIgnoredAndTheOthersStillCount) {
    std::vector<MediaType> types;
    for (uint32_t i = 0; i < 205; ++i)
        types.push_back(videoType(MFVideoFormat_YUY2, 16 + 2 * i, 16, 30, 1));
    types.push_back(videoType(MFVideoFormat_MJPG, 640, 480, 30, 1));
    open(std::move(types));
    ASSERT_EQ(manager.buildFormatCatalogue(reader.get()), S_OK);
    EXPECT_EQ(manager.yuy2ModeCount, kMaxModesPerFormat);
    EXPECT_EQ(manager.yuy2Modes[199].width, 16u + 2 * 199);
    EXPECT_EQ(manager.mjpgModeCount, 1);
}

TEST_F(CatalogueFixture, ARebuildStartsFromAnEmptyTable) {
    open({videoType(MFVideoFormat_YUY2, 640, 480, 30, 1)});
    manager.buildFormatCatalogue(reader.get());
    EXPECT_EQ(manager.buildFormatCatalogue(nullptr), E_POINTER);
    EXPECT_EQ(manager.yuy2ModeCount, 0);
    EXPECT_EQ(manager.yuy2Modes[0].width, 0u);
}

TEST_F(CatalogueFixture, TheSessionRateKeepsItsFraction) {
    open({videoType(MFVideoFormat_YUY2, 1920, 1080, 30000, 1001)});
    manager.buildFormatCatalogue(reader.get());
    ASSERT_EQ(manager.configureVideoType(reader.get(), 0, 0, 0, kFormatYuy2), S_OK);
    EXPECT_EQ(manager.yuy2Modes[0].frameRate, 29u);
    EXPECT_FLOAT_EQ(manager.frameRate, 30000.0f / 1001.0f);
    EXPECT_EQ(manager.width, 1920u);
    EXPECT_EQ(manager.height, 1080u);
    EXPECT_EQ(manager.yuy2Stride, 3840);
    EXPECT_EQ(manager.bgraStride, 7680);
    EXPECT_EQ(manager.nv12LumaStride, 1920);
    for (const FrameBuffer* buffer :
         {&manager.bgraFrame, &manager.snapshotFrame, &manager.previousFrame, &manager.diffFrame}) {
        ASSERT_TRUE(*buffer);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer->get()) % 16, 0u);
    }
    EXPECT_FALSE(manager.decodedFrame) << "MJPEG buffers only in MJPEG mode";
}

TEST_F(CatalogueFixture, AnMjpegOnlyDeviceRunsMjpegWhenYuy2IsAsked) {
    open({videoType(MFVideoFormat_MJPG, 1280, 720, 60, 1),
          videoType(MFVideoFormat_MJPG, 640, 480, 30, 1)});
    manager.buildFormatCatalogue(reader.get());
    ASSERT_EQ(manager.configureVideoType(reader.get(), 0, 0, 0, kFormatYuy2), S_OK);
    EXPECT_EQ(manager.activeFormat, kFormatMjpg);
    std::unique_ptr<MediaType> current;
    reader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, &current);
    Guid subtype;
    current->GetGUID(MF_MT_SUBTYPE, &subtype);
    EXPECT_EQ(subtype, MFVideoFormat_MJPG) << "compressed frames reach the callback";
    ASSERT_TRUE(manager.jpegDecoder);
    ASSERT_TRUE(manager.decodedFrame);
    ASSERT_TRUE(manager.planarFrame);
    EXPECT_EQ(manager.planes[0], manager.planarFrame.get());
    EXPECT_EQ(manager.planes[1], manager.planarFrame.get() + 1280 * 720);
    EXPECT_EQ(manager.planes[2], manager.planarFrame.get() + 1280 * 720 + 1280 * 720 / 2);
    EXPECT_EQ(manager.planeStrides[1], 640);
    // Black until the first frame decodes.
    EXPECT_EQ(manager.decodedFrame.get()[0], 16);
    EXPECT_EQ(manager.decodedFrame.get()[1], 128);
}

TEST_F(CatalogueFixture, ASizeAndRateSelectTheMatchingNativeMode) {
    open({videoType(MFVideoFormat_YUY2, 1920, 1080, 60000, 1001),
          videoType(MFVideoFormat_YUY2, 1280, 720, 60, 1),
          videoType(MFVideoFormat_MJPG, 1280, 720, 30, 1)});
    manager.buildFormatCatalogue(reader.get());
    // The Settings window hands back the catalogue's whole numbers.
    ASSERT_EQ(manager.configureVideoType(reader.get(), 1920, 1080, 59, kFormatYuy2), S_OK);
    EXPECT_EQ(source->selected.back(), 0u);
    EXPECT_NEAR(manager.frameRate, 59.94f, 0.01f);
    ASSERT_EQ(manager.configureVideoType(reader.get(), 1280, 720, 30, kFormatMjpg), S_OK);
    EXPECT_EQ(source->selected.back(), 2u);
    EXPECT_EQ(manager.width, 1280u);
}

TEST_F(CatalogueFixture, AnNv12DeviceIsConvertedToYuy2ByTheReader) {
    open({videoType(MFVideoFormat_NV12, 640, 480, 60, 1)});
    manager.buildFormatCatalogue(reader.get());
    ASSERT_EQ(manager.configureVideoType(reader.get(), 0, 0, 0, kFormatNv12), S_OK);
    std::unique_ptr<MediaType> current;
    reader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, &current);
    Guid subtype;
    current->GetGUID(MF_MT_SUBTYPE, &subtype);
    EXPECT_EQ(subtype, MFVideoFormat_YUY2);
    EXPECT_EQ(manager.activeFormat, kFormatNv12);
}

TEST_F(CatalogueFixture, AMissingReaderFailsCleanly) {
    EXPECT_EQ(manager.configureVideoType(nullptr, 0, 0, 0, kFormatYuy2), E_POINTER);
    EXPECT_EQ(manager.width, 0u);
    EXPECT_FALSE(manager.bgraFrame);
}

}  // namespace
}  // namespace tovrel::capture
