#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <chrono>
#include <cstring>

#include "platform/media/mf_guids.h"
#include "platform/media/source_reader.h"
#include "sim/box/box_model.h"
#include "sim/video/simulated_video_source.h"

namespace tovrel::sim {
namespace {

using namespace platform;

constexpr std::array<SimVideoMode, 3> kModes{{
    {SimPixelFormat::Yuy2, 64, 32, 30, 1},
    {SimPixelFormat::Mjpg, 64, 32, 60000, 1001},
    {SimPixelFormat::Nv12, 64, 32, 60, 1},
}};

struct Pulled {
    HRESULT hr;
    SourceReadResult result;
    std::vector<uint8_t> bytes;
};

Pulled pull(SimulatedVideoSource& source, uint32_t timeoutMs = 200) {
    Pulled out;
    out.hr = source.pullSample(0, timeoutMs, &out.result);
    if (out.hr == S_OK && out.result.sample) {
        std::shared_ptr<MediaBuffer> buffer;
        out.result.sample->ConvertToContiguousBuffer(&buffer);
        uint8_t* data = nullptr;
        uint32_t length = 0;
        buffer->Lock(&data, nullptr, &length);
        out.bytes.assign(data, data + length);
        buffer->Unlock();
    }
    return out;
}

struct JpegInfo {
    int width = 0, height = 0, subsampling = -1;
    bool readable = false;
};
JpegInfo jpegInfo(const std::vector<uint8_t>& jpeg) {
    JpegInfo info;
    tjhandle handle = tjInitDecompress();
    int colorspace = 0;
    info.readable = tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &info.width, &info.height,
                                        &info.subsampling, &colorspace) == 0;
    tjDestroy(handle);
    return info;
}

TEST(BoxModels, EveryModelListsItsNamesAndAtLeastOneUncompressedOrMjpegMode) {
    for (const BoxModel& model : kBoxModels) {
        SCOPED_TRACE(std::string(model.model));
        EXPECT_NE(model.audioFriendlyName.find(model.model), std::string_view::npos);
        EXPECT_FALSE(model.modes.empty());
        auto types = SimulatedVideoSource::nativeTypesOf(model.modes);
        ASSERT_EQ(types.size(), model.modes.size());
        for (const MediaType& type : types) {
            EXPECT_TRUE(type.IsVideo());
            uint32_t w = 0, h = 0;
            EXPECT_EQ(MFGetAttributeSize(&type, MF_MT_FRAME_SIZE, &w, &h), S_OK);
            EXPECT_EQ(w % 2, 0u);
        }
    }
    EXPECT_EQ(findBoxModel("QUORVA PX40")->px40, true);
    EXPECT_EQ(findBoxModel("nothing"), nullptr);
}

TEST(SimulatedVideoSource, OffersTheModesAsNativeTypesInOrder) {
    SimulatedVideoSource source(kModes, SimulatedVideoSource::Pacing::Stepped);
    std::vector<MediaType> types;
    ASSERT_EQ(source.nativeTypes(0, &types), S_OK);
    ASSERT_EQ(types.size(), 3u);
    Guid subtype;
    types[1].GetGUID(MF_MT_SUBTYPE, &subtype);
    EXPECT_EQ(subtype, MFVideoFormat_MJPG);
    uint32_t n = 0, d = 0;
    MFGetAttributeRatio(&types[1], MF_MT_FRAME_RATE, &n, &d);
    EXPECT_EQ(n, 60000u);
    EXPECT_EQ(d, 1001u);
    std::unique_ptr<PresentationDescriptor> presentation;
    ASSERT_EQ(source.CreatePresentationDescriptor(&presentation), S_OK);
    uint32_t count = 0;
    presentation->GetStreamDescriptorCount(&count);
    EXPECT_EQ(count, 1u);
}

TEST(SimulatedVideoSource, SteppedFramesCarryTimeStampsOfTheModesRate) {
    SimulatedVideoSource source(kModes, SimulatedVideoSource::Pacing::Stepped);
    ASSERT_EQ(source.startStream(0), S_OK);
    EXPECT_EQ(pull(source, 20).hr, S_FALSE) << "nothing until a step";
    source.step(2);
    Pulled first = pull(source);
    Pulled second = pull(source);
    ASSERT_EQ(first.hr, S_OK);
    ASSERT_EQ(second.hr, S_OK);
    EXPECT_EQ(first.result.timestamp100ns, 0);
    EXPECT_EQ(second.result.timestamp100ns, 333333);
    EXPECT_EQ(first.bytes.size(), 64u * 32u * 2u);
    EXPECT_NE(first.bytes, second.bytes) << "the picture moves";
    int64_t duration = 0;
    second.result.sample->GetSampleDuration(&duration);
    EXPECT_EQ(duration, 333333);
    EXPECT_EQ(source.framesDelivered(), 2u);
}

TEST(SimulatedVideoSource, RealTimePacingFollowsTheRate) {
    constexpr std::array<SimVideoMode, 1> fast{{{SimPixelFormat::Yuy2, 32, 16, 100, 1}}};
    SimulatedVideoSource source(fast);
    source.startStream(0);
    const auto start = std::chrono::steady_clock::now();
    int frames = 0;
    while (frames < 6) {
        if (pull(source).hr == S_OK) ++frames;
    }
    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count();
    EXPECT_GE(elapsedMs, 45);  // frames 0..5 at 10 ms
    EXPECT_LT(elapsedMs, 1000);
}

TEST(SimulatedVideoSource, MjpegFramesAre422AtTheModesSize) {
    SimulatedVideoSource source(kModes, SimulatedVideoSource::Pacing::Stepped);
    source.selectNativeType(0, 1);
    source.startStream(0);
    source.step(1);
    Pulled frame = pull(source);
    ASSERT_EQ(frame.hr, S_OK);
    JpegInfo info = jpegInfo(frame.bytes);
    ASSERT_TRUE(info.readable);
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.height, 32);
    EXPECT_EQ(info.subsampling, TJSAMP_422);
}

TEST(SimulatedVideoSource, JpegFaultsSpoilTheNextFramesOnly) {
    SimulatedVideoSource source(kModes, SimulatedVideoSource::Pacing::Stepped);
    source.selectNativeType(0, 1);
    source.startStream(0);
    source.step(5);
    Pulled good = pull(source);
    source.injectFault(VideoFault::CorruptJpeg);
    EXPECT_FALSE(jpegInfo(pull(source).bytes).readable);
    source.injectFault(VideoFault::TruncatedJpeg);
    EXPECT_LT(pull(source).bytes.size(), good.bytes.size() / 2);
    source.injectFault(VideoFault::WrongSizeJpeg);
    source.injectFault(VideoFault::Jpeg420);
    JpegInfo odd = jpegInfo(pull(source).bytes);
    EXPECT_EQ(odd.width, 32);
    EXPECT_EQ(odd.subsampling, TJSAMP_420);
    JpegInfo back = jpegInfo(pull(source).bytes);
    EXPECT_EQ(back.width, 64);
    EXPECT_EQ(back.subsampling, TJSAMP_422);
}

TEST(SimulatedVideoSource, Nv12FramesMatchTheirYuy2Twin) {
    SimulatedVideoSource yuy2(kModes, SimulatedVideoSource::Pacing::Stepped);
    SimulatedVideoSource nv12(kModes, SimulatedVideoSource::Pacing::Stepped);
    nv12.selectNativeType(0, 2);
    yuy2.startStream(0);
    nv12.startStream(0);
    yuy2.step();
    nv12.step();
    Pulled a = pull(yuy2), b = pull(nv12);
    ASSERT_EQ(b.bytes.size(), 64u * 32u * 3u / 2u);
    for (size_t i = 0; i < 64u * 32u; ++i) ASSERT_EQ(b.bytes[i], a.bytes[2 * i]) << "luma " << i;
    nv12.injectFault(VideoFault::ShortSample);
    nv12.step();
    EXPECT_EQ(pull(nv12).bytes.size(), 64u * 32u * 3u / 4u);
}

TEST(SimulatedVideoSource, StreamFaults) {
    SimulatedVideoSource source(kModes, SimulatedVideoSource::Pacing::Stepped);
    source.startStream(0);
    source.step(10);
    source.injectFault(VideoFault::MediaTypeChange);
    Pulled change = pull(source);
    EXPECT_EQ(change.hr, S_OK);
    EXPECT_EQ(change.result.streamFlags, MF_SOURCE_READERF_NATIVEMEDIATYPECHANGED);
    EXPECT_EQ(source.nativeIndex(), 1u);

    source.injectFault(VideoFault::Stall);
    EXPECT_EQ(pull(source, 30).hr, S_FALSE);
    source.clearFaults();
    EXPECT_EQ(pull(source).hr, S_OK);

    source.injectFault(VideoFault::EndOfStream);
    EXPECT_EQ(pull(source).result.streamFlags, MF_SOURCE_READERF_ENDOFSTREAM);
    EXPECT_EQ(pull(source).result.streamFlags, MF_SOURCE_READERF_ENDOFSTREAM)
        << "ended stays ended";
    source.stopStream(0);
    source.startStream(0);
    source.step();
    EXPECT_TRUE(pull(source).result.sample) << "a restart streams again";

    source.injectFault(VideoFault::Unplug);
    EXPECT_EQ(pull(source).hr, MF_E_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(source.startStream(0), MF_E_DEVICE_NOT_CONNECTED);
    source.Shutdown();
    EXPECT_EQ(pull(source).hr, MF_E_SHUTDOWN);
    EXPECT_EQ(source.startStream(0), MF_E_SHUTDOWN);
}

TEST(SimulatedVideoSource, CancelWakesAWaitingPull) {
    SimulatedVideoSource source(kModes, SimulatedVideoSource::Pacing::Stepped);
    source.startStream(0);
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        source.cancelPull(0);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(pull(source, 5000).hr, S_FALSE);
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(SimulatedVideoSource, ThroughTheSourceReaderAsTheBoxsEntry) {
    const BoxModel& model = *findBoxModel("Sorvane");
    auto entry = simulatedVideoEntry(model, SimulatedVideoSource::Pacing::Stepped);
    EXPECT_EQ(entry.friendlyName, "Sorvane USB 3.0 Video Bridge");
    std::shared_ptr<MediaSource> opened;
    ASSERT_EQ(entry.activation(&opened), S_OK);
    auto* source = static_cast<SimulatedVideoSource*>(opened.get());
    std::unique_ptr<SourceReader> reader;
    Attributes attributes;
    attributes.SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, 1);
    ASSERT_EQ(MFCreateSourceReaderFromMediaSource(opened, &attributes, &reader), S_OK);
    MediaType nv12;
    nv12.SetGUID(MF_MT_SUBTYPE, MFVideoFormat_NV12);
    uint32_t flags = 0;
    ASSERT_EQ(reader->SetNativeMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, nv12, &flags), S_OK);
    EXPECT_EQ(source->nativeIndex(), 4u);
    MediaType yuy2;
    yuy2.SetGUID(MF_MT_SUBTYPE, MFVideoFormat_YUY2);
    ASSERT_EQ(reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, yuy2), S_OK);
    EXPECT_EQ(source->nativeIndex(), 4u) << "converted, not switched to the YUY2 mode";
    source->step();
    uint32_t stream = 0;
    int64_t time = 0;
    std::shared_ptr<Sample> sample;
    ASSERT_EQ(
        reader->ReadSample(MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0, &stream, &flags, &time, &sample),
        S_OK);
    uint32_t length = 0;
    sample->GetTotalLength(&length);
    EXPECT_EQ(length, 1920u * 1080u * 2u);
}

}  // namespace
}  // namespace tovrel::sim
